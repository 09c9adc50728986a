#include "app/help_viewer.h"
#include "app/main_screen.h"
#include "app/splash_form.h"
#include "platform/profile.h"
#include "platform/program_dir.h"
#include "platform/qt/messages.h"
#include "spell/dialog/spell_check_dialog.h"
#include "spell/qnspell.h"
#include "spell/spelling_engine.h"
#include "tests/support/text32.h"
#include "widgets/flat_button.h"
#include "widgets/ring_panel.h"
#include "widgets/save_form_state.h"

#include "tests/support/notification_capture.h"
#include "tests/support/temp_dir.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>

using qn::test::Ansi;
using qn::test::U32;

using namespace qn;

namespace {

// A main window, shown and active, as the user sees it after start.
class MainScreenTest : public testing::Test {
protected:
    std::unique_ptr<TMainScreen> w;

    void SetUp() override
    {
        // Every case starts as a first run, without a saved placement.
        std::filesystem::remove(PlacementFileName(ProgramDir()));
        w = std::make_unique<TMainScreen>();
        w->show();
        QApplication::setActiveWindow(w.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    }
    void TearDown() override
    {
        w.reset();
        ResetFormatSettings();
    }

    void settle() { QApplication::processEvents(); }
};

struct MenuRow {
    const char *caption; // nullptr: separator
    const char *shortcut;
};

void expectMenu(QMenu *menu, const char *caption, std::vector<MenuRow> rows)
{
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->title(), caption);
    QList<QAction *> actions = menu->actions();
    ASSERT_EQ(actions.size(), static_cast<qsizetype>(rows.size())) << caption;
    for (size_t i = 0; i < rows.size(); ++i) {
        QAction *action = actions[static_cast<qsizetype>(i)];
        if (!rows[i].caption) {
            EXPECT_TRUE(action->isSeparator()) << caption << " row " << i;
            continue;
        }
        EXPECT_EQ(action->text(), rows[i].caption);
        EXPECT_EQ(action->shortcut(), QKeySequence(QString::fromLatin1(rows[i].shortcut)))
            << rows[i].caption;
    }
}

} // namespace

TEST_F(MainScreenTest, CaptionBoundsAndFont)
{
    EXPECT_EQ(w->windowTitle(), "Quillnook");
    // A first run: the designed size, centred on the screen.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(w->size(), QSize(610, 460));
    EXPECT_EQ(w->pos(), QPoint(screen.x() + (screen.width() - 610) / 2,
                               screen.y() + (screen.height() - 460) / 2));
    EXPECT_EQ(w->font().family(), "Arial");
    EXPECT_EQ(w->font().pixelSize(), 11);
    QFont date = w->DateLabel->font();
    EXPECT_EQ(date.pixelSize(), 16);
    EXPECT_TRUE(date.bold());
    EXPECT_TRUE(date.italic());
    EXPECT_EQ(w->DateLabel->palette().color(QPalette::WindowText), QColor(128, 0, 128));
    EXPECT_EQ(w->RingPanel1->LeftEdge(), 31);
    EXPECT_EQ(w->RingPanel1->RightEdge(), 15);
    EXPECT_EQ(w->ActionPanel->height(), 39);
    EXPECT_EQ(w->QnToolBar2->height(), 28);
    EXPECT_EQ(w->QnRuler1->height(), 15);
}

TEST_F(MainScreenTest, MenusAsTheUserSeesThem)
{
    QList<QAction *> bar = w->menuBar()->actions();
    ASSERT_EQ(bar.size(), 4);
    expectMenu(bar[0]->menu(), "&File",
               {{"Select or Change Password", ""},
                {nullptr, ""},
                {"Rebuild Indexes (do this often!)", ""},
                {nullptr, ""},
                {"Print Setup", ""},
                {"Print", "Ctrl+P"},
                {nullptr, ""},
                {"Export...", ""},
                {"Import...", ""},
                {nullptr, ""},
                {"E&xit", ""}});
    expectMenu(bar[1]->menu(), "&Edit",
               {{"&Undo", "Ctrl+Z"},
                {"R&edo", "Ctrl+Y"},
                {nullptr, ""},
                {"&Find", "Ctrl+F"},
                {"&Replace", "Ctrl+R"},
                {nullptr, ""},
                {"&Spell Check", "Ctrl+S"},
                {"Check Spelling as &You Type", ""},
                {"Spelling &Language", ""},
                {"Insert Today's &Date ", "Ctrl+D"},
                {nullptr, ""},
                {"&Wrap Text to fit Screen", ""},
                {nullptr, ""},
                {"Default Font", ""}});
    expectMenu(bar[2]->menu(), "&Utilities",
               {{"Find entry containing...", "Ctrl+F4"},
                {"Find Next Entry", "Ctrl+F5"},
                {nullptr, ""},
                {"Restore from Backup...", ""}});
    expectMenu(bar[3]->menu(), "&Help", {{"Contents", ""}, {nullptr, ""}, {"About", ""}});

    EXPECT_EQ(w->mnuRedo->shortcuts(),
              QList<QKeySequence>({QKeySequence(QStringLiteral("Ctrl+Y")),
                                   QKeySequence(QStringLiteral("Ctrl+Shift+Z"))}));
    // Nothing to take back in a fresh entry.
    EXPECT_FALSE(w->mnuUndo->isEnabled());
    EXPECT_FALSE(w->mnuRedo->isEnabled());
    EXPECT_TRUE(w->mnuWrapTexttofitScreen->isCheckable());
    EXPECT_TRUE(w->mnuWrapTexttofitScreen->isChecked());
    EXPECT_FALSE(w->mnuFindNextBig->isEnabled());
    for (QMenu *menu : {w->mnuFile, w->mnuEdit, w->mnuUtilities, w->Help1})
        EXPECT_TRUE(menu->menuAction()->isEnabled());
}

TEST_F(MainScreenTest, ShortcutsReachTheirCommandsUnlessDisabled)
{
    QSignalSpy print(w->PrintNow, &QAction::triggered);
    QSignalSpy spell(w->SpellCheck1, &QAction::triggered);
    QSignalSpy findAll(w->mnuFindentrycontaining, &QAction::triggered);
    QSignalSpy findNext(w->mnuFindNextBig, &QAction::triggered);
    // The commands run for real: their dialogs answer at once.
    qn::test::NotificationCapture capture;
    w->RunLookForAll = [](TMainScreen &, std::string &) { return 2; };
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (QWidget *modal = QApplication::activeModalWidget())
            modal->close();
    });
    closer.start(20);
    for (Qt::Key key : {Qt::Key_P, Qt::Key_S, Qt::Key_F4, Qt::Key_F5}) {
        QApplication::setActiveWindow(w.get()); // back from the last dialog
        QTest::keyClick(w.get(), key, Qt::ControlModifier);
    }
    EXPECT_EQ(print.count(), 1);
    EXPECT_EQ(spell.count(), 1);
    EXPECT_EQ(findAll.count(), 1);
    EXPECT_EQ(findNext.count(), 0) << "Find Next Entry is disabled at start";
}

TEST_F(MainScreenTest, ActionBarButtonsInOrderWithSeparators)
{
    QLayout *layout = w->ActionPanel->layout();
    std::vector<QString> order;
    for (int i = 0; i < layout->count(); ++i) {
        QWidget *item = layout->itemAt(i)->widget();
        if (!item)
            continue;
        if (auto *button = qobject_cast<TFlatButton *>(item))
            order.push_back(button->Caption());
        else if (qobject_cast<QFrame *>(item))
            order.push_back("|");
    }
    std::vector<QString> expected = {"&Save", "&Cancel", "|", "Fi&rst", "&Prev", "&Date",
                                     "&Next", "&Last",   "|", "H&ide",  "E&xit"};
    EXPECT_EQ(order, expected);
    EXPECT_FALSE(w->SaveButton->isVisible());
    EXPECT_FALSE(w->CancelButton->isVisible());
    for (TFlatButton *b : {w->FirstButton, w->PriorButton, w->CalendarButton, w->Nextbutton,
                           w->LastButton, w->Hidebutton, w->FlatButton1})
        EXPECT_TRUE(b->isVisible()) << b->Caption().toStdString();
    // Flat buttons with their pictures, grey until hovered; the pictures
    // sit left of the caption up to Prev, right of it from Date on.
    for (TFlatButton *b :
         {w->SaveButton, w->CancelButton, w->FirstButton, w->PriorButton, w->CalendarButton,
          w->Nextbutton, w->LastButton, w->Hidebutton, w->FlatButton1}) {
        EXPECT_EQ(b->Bitmap().Width, 16) << b->Caption().toStdString();
        EXPECT_EQ(b->Bitmap().Height, 16);
        EXPECT_EQ(b->Options(), TButtonOptions(boMonoDisplay | boPopupMark));
        EXPECT_FALSE(b->GreyBitmap().IsEmpty());
        EXPECT_EQ(b->Layout(), b->x() < w->CalendarButton->x() ? blBitmapLeft : blBitmapRight);
    }
}

TEST_F(MainScreenTest, OpensOnTodayWithTheLongDateLine)
{
    EXPECT_EQ(w->CurrentDate, Date());
    EXPECT_FALSE(w->RecordFound);
    EXPECT_EQ(w->DateLabel->text().toStdString(), FormatDateTime("dddd, mmmm d, yyyy", Date()));
    EXPECT_EQ(FormatSettings().ShortDateFormat, "mm/dd/yyyy");

    w->CurrentDate = EncodeDate(2026, 12, 7);
    w->SetDateCaption();
    EXPECT_EQ(w->DateLabel->text(), "Monday, December 7, 2026");
}

TEST_F(MainScreenTest, CtrlPageKeysMoveOneDayOnlyWithoutOtherModifiers)
{
    // A focused control below the form: the form sees the key first and
    // consumes it, so the control never gets it.
    auto *edit = new QLineEdit(w->RingPanel1);
    edit->show();
    edit->setFocus();
    settle();
    int keysSeenByEdit = 0;
    struct Counter : QObject {
        int *count;
        explicit Counter(int *c) : count(c) {}
        bool eventFilter(QObject *, QEvent *e) override
        {
            // QTest also presses the modifier keys themselves; count the others.
            if (e->type() == QEvent::KeyPress) {
                int key = static_cast<QKeyEvent *>(e)->key();
                if (key != Qt::Key_Control && key != Qt::Key_Shift && key != Qt::Key_Alt)
                    ++*count;
            }
            return false;
        }
    } counter(&keysSeenByEdit);
    edit->installEventFilter(&counter);

    const TDateTime start = EncodeDate(2024, 2, 28);
    w->CurrentDate = start;
    QTest::keyClick(edit, Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(w->CurrentDate, start + 1);
    EXPECT_EQ(w->DateLabel->text(), "Thursday, February 29, 2024");
    QTest::keyClick(edit, Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(w->DateLabel->text(), "Friday, March 1, 2024");
    QTest::keyClick(edit, Qt::Key_PageUp, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_PageUp, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_PageUp, Qt::ControlModifier);
    EXPECT_EQ(w->CurrentDate, start - 1);
    EXPECT_EQ(keysSeenByEdit, 0);

    // With Shift or Alt held too, or without Ctrl, the keys pass on.
    QTest::keyClick(edit, Qt::Key_PageDown, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(edit, Qt::Key_PageUp, Qt::ControlModifier | Qt::AltModifier);
    QTest::keyClick(edit, Qt::Key_PageDown);
    QTest::keyClick(edit, Qt::Key_A);
    EXPECT_EQ(w->CurrentDate, start - 1);
    EXPECT_EQ(keysSeenByEdit, 4);
    edit->removeEventFilter(&counter);

    // Without any focused control the window itself gets the key.
    edit->hide();
    w->setFocus();
    QTest::keyClick(w.get(), Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(w->CurrentDate, start);
}

TEST_F(MainScreenTest, PrevAndNextButtonsMoveTheDate)
{
    w->CurrentDate = EncodeDate(2023, 12, 31);
    QTest::mouseClick(w->Nextbutton, Qt::LeftButton);
    EXPECT_EQ(w->DateLabel->text(), "Monday, January 1, 2024");
    QTest::mouseClick(w->PriorButton, Qt::LeftButton);
    QTest::mouseClick(w->PriorButton, Qt::LeftButton);
    EXPECT_EQ(w->DateLabel->text(), "Saturday, December 30, 2023");
}

TEST_F(MainScreenTest, FormResizePlacesTheDateLineLinesAndEditor)
{
    for (QSize size : {QSize(610, 460), QSize(900, 700), QSize(300, 200)}) {
        w->resize(size);
        settle();
        const int ringWidth = w->RingPanel1->width();
        const int ringHeight = w->RingPanel1->height();
        // A narrow window breaks the tool bar into more rows of 28 pixels.
        const int barHeight = w->QnToolBar2->height();
        EXPECT_EQ(barHeight, size.width() >= 610 ? 28 : 56);
        EXPECT_EQ(ringHeight, w->height() - w->menuBar()->height() - barHeight - 15 - 39);
        // Places count from inside the panel's one-pixel border.
        const int border = 1;
        EXPECT_EQ(w->RingPanel1->ClientRect().topLeft(), QPoint(border, border));
        const int left = border + 31 + 15;
        const int width = ringWidth - 31 - 15 - 20;
        EXPECT_EQ(w->DateLabel->x(), left);
        EXPECT_EQ(w->DateLabel->y(), border + 8);
        EXPECT_EQ(w->DateLabel->width(), width);
        EXPECT_EQ(w->TopLine->geometry(), QRect(left, border + 28, width, 1));
        EXPECT_EQ(w->Bottomline->geometry(), QRect(left, border + ringHeight - 20, width, 1));
        EXPECT_EQ(w->QnRichText1->geometry(),
                  QRect(left, border + 35, width, ringHeight - 35 - 22));
    }
}

TEST_F(MainScreenTest, LockingCoversTheEntryAndLeavesOnlyHelp)
{
    w->DiaryPassword = "Secret 1";
    w->HideAllThings(true);
    settle();
    EXPECT_TRUE(w->PrivacyPanel->isVisible());
    EXPECT_EQ(w->PrivacyPanel->geometry(), w->RingPanel1->contentsRect());
    EXPECT_FALSE(w->ActionPanel->isVisible());
    EXPECT_FALSE(w->QnToolBar2->isVisible());
    EXPECT_TRUE(w->QnRuler1->isVisible());
    EXPECT_FALSE(w->mnuFile->menuAction()->isEnabled());
    EXPECT_FALSE(w->mnuEdit->menuAction()->isEnabled());
    EXPECT_FALSE(w->mnuUtilities->menuAction()->isEnabled());
    EXPECT_TRUE(w->Help1->menuAction()->isEnabled());
    // The layout still follows the area, which grew by the tool bar.
    EXPECT_EQ(w->Bottomline->y(), 1 + w->RingPanel1->height() - 20);

    qn::test::NotificationCapture capture;
    w->Pass->setText("secret 1");
    QTest::mouseClick(w->BitBtn1, Qt::LeftButton);
    ASSERT_EQ(capture.informations.size(), 1u);
    EXPECT_EQ(capture.informations[0], "Sorry, that is the wrong password");
    EXPECT_TRUE(w->PrivacyPanel->isVisible());

    w->Pass->setText("Secret 1");
    QTest::mouseClick(w->BitBtn1, Qt::LeftButton);
    EXPECT_EQ(capture.informations.size(), 1u);
    EXPECT_FALSE(w->PrivacyPanel->isVisible());
    EXPECT_TRUE(w->ActionPanel->isVisible());
    EXPECT_TRUE(w->mnuFile->menuAction()->isEnabled());
}

TEST_F(MainScreenTest, ALockedWindowPutsTheFocusInThePasswordWhenActivated)
{
    w->DiaryPassword = "abc";
    w->HideAllThings(true);
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    QApplication::setActiveWindow(w.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    EXPECT_EQ(QApplication::focusWidget(), w->Pass);
    EXPECT_EQ(w->Pass->echoMode(), QLineEdit::Password);
    // Return in the password edit is the OK button.
    qn::test::NotificationCapture capture;
    QTest::keyClicks(w->Pass, "abc");
    QTest::keyClick(w->Pass, Qt::Key_Return);
    EXPECT_TRUE(capture.informations.empty());
    EXPECT_FALSE(w->PrivacyPanel->isVisible());
}

TEST_F(MainScreenTest, ALockedWindowAnswersNoKeyButThoseOfHelpAndThePassword)
{
    // Longer than the password dialog allows: the panel takes any length.
    w->DiaryPassword = "a long secret";
    w->HideAllThings(true);
    w->Pass->setFocus();
    settle();
    ASSERT_EQ(QApplication::focusWidget(), w->Pass);

    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (QMenu *menu : {w->mnuFile, w->mnuEdit, w->mnuUtilities})
        for (QAction *action : menu->actions())
            spies.push_back(std::make_unique<QSignalSpy>(action, &QAction::triggered));
    const TDateTime date = w->CurrentDate;
    const QString dateLine = w->DateLabel->text();
    struct Press {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
    };
    const Press presses[] = {
        {Qt::Key_P, Qt::ControlModifier},      {Qt::Key_F, Qt::ControlModifier},
        {Qt::Key_R, Qt::ControlModifier},      {Qt::Key_F4, Qt::ControlModifier},
        {Qt::Key_S, Qt::ControlModifier},      {Qt::Key_D, Qt::ControlModifier},
        {Qt::Key_PageUp, Qt::ControlModifier}, {Qt::Key_PageDown, Qt::ControlModifier},
        {Qt::Key_F, Qt::AltModifier},          {Qt::Key_E, Qt::AltModifier},
        {Qt::Key_U, Qt::AltModifier},          {Qt::Key_X, Qt::AltModifier},
    };
    auto actionsRun = [&] {
        int count = 0;
        for (const auto &spy : spies)
            count += static_cast<int>(spy->count());
        return count;
    };
    for (const Press &press : presses) {
        QTest::keyClick(QApplication::focusWidget(), press.key, press.modifiers);
        settle();
        EXPECT_EQ(actionsRun(), 0) << "key " << press.key << " ran a command";
        EXPECT_EQ(w->CurrentDate, date) << "key " << press.key << " moved the diary";
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr)
            << "key " << press.key << " opened a menu";
        if (QWidget *popup = QApplication::activePopupWidget())
            popup->close();
        for (const auto &spy : spies)
            spy->clear();
        w->CurrentDate = date;
    }
    EXPECT_EQ(w->DateLabel->text(), dateLine);
    EXPECT_TRUE(w->PrivacyPanel->isVisible());

    // Help still opens from the keyboard.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_H, Qt::AltModifier);
    settle();
    EXPECT_EQ(QApplication::activePopupWidget(), w->Help1);
    if (QWidget *popup = QApplication::activePopupWidget())
        popup->close();
    settle();

    qn::test::NotificationCapture capture;
    w->Pass->setFocus();
    QTest::keyClicks(w->Pass, "a long secret");
    QTest::keyClick(w->Pass, Qt::Key_Return);
    EXPECT_TRUE(capture.informations.empty());
    ASSERT_FALSE(w->PrivacyPanel->isVisible());

    // Unlocked, the shortcuts work again; Find Next Entry keeps its state.
    QSignalSpy print(w->PrintNow, &QAction::triggered);
    QSignalSpy findNext(w->mnuFindNextBig, &QAction::triggered);
    QTimer closer; // the commands' dialogs answer at once
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (QWidget *modal = QApplication::activeModalWidget())
            modal->close();
    });
    closer.start(20);
    QTest::keyClick(w.get(), Qt::Key_P, Qt::ControlModifier);
    QTest::keyClick(w.get(), Qt::Key_F5, Qt::ControlModifier);
    EXPECT_EQ(print.count(), 1);
    EXPECT_EQ(findNext.count(), 0);
    EXPECT_FALSE(w->mnuFindNextBig->isEnabled());
    w->setFocus();
    QTest::keyClick(w.get(), Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(w->CurrentDate, date + 1);
}

TEST_F(MainScreenTest, ExitAndCloseEndTheWindow)
{
    QTest::mouseClick(w->FlatButton1, Qt::LeftButton);
    EXPECT_FALSE(w->isVisible());
    w->show();
    w->exit1->trigger();
    EXPECT_FALSE(w->isVisible());
    w->show();
    w->DiaryPassword = "x";
    w->HideAllThings(true);
    QTest::mouseClick(w->BitBtn2, Qt::LeftButton);
    EXPECT_FALSE(w->isVisible());
}

TEST_F(MainScreenTest, HideMinimises)
{
    QTest::mouseClick(w->Hidebutton, Qt::LeftButton);
    settle();
    EXPECT_TRUE(w->isMinimized());
}

TEST_F(MainScreenTest, AboutShowsTheSplashCentredWithItsOkButton)
{
    bool seen = false;
    QTimer::singleShot(0, [&] {
        for (QWidget *top : QApplication::topLevelWidgets()) {
            auto *splash = qobject_cast<TSplashform *>(top);
            if (!splash || !splash->isVisible())
                continue;
            seen = true;
            EXPECT_EQ(splash->size(), QSize(334, 221));
            EXPECT_TRUE(splash->windowFlags() & Qt::FramelessWindowHint);
            EXPECT_TRUE(splash->windowFlags() & Qt::WindowStaysOnTopHint);
            EXPECT_EQ(splash->TitleLabel->text(), "Quillnook!");
            EXPECT_EQ(splash->TitleLabel->font().family(), "Times New Roman");
            EXPECT_EQ(splash->TitleLabel->font().pixelSize(), 24);
            EXPECT_EQ(splash->VersionLabel->text(), "Version 2.1a");
            EXPECT_TRUE(splash->PlatformLabel->isVisible());
            // What this build is, not a platform it never ran on.
            const QString platform = splash->PlatformLabel->text();
            EXPECT_EQ(platform, BuildDescription());
            EXPECT_FALSE(platform.contains("Windows")) << platform.toStdString();
            EXPECT_TRUE(platform.contains("Linux")) << platform.toStdString();
            EXPECT_TRUE(platform.contains(QStringLiteral("Qt " QT_VERSION_STR)))
                << platform.toStdString();
            EXPECT_TRUE(platform.contains(QSysInfo::buildCpuArchitecture()));
            EXPECT_TRUE(platform.contains(QStringLiteral("Build 2.1a "))) << platform.toStdString();
            EXPECT_TRUE(splash->Okbutton->isVisible());
            EXPECT_EQ(splash->pos(), CenteredPosition(w->frameGeometry(), QSize(334, 221)));
            std::filesystem::create_directories(qn::test::binaryDir() / "screenshots");
            splash->grab().toImage().save(QString::fromStdString(
                (qn::test::binaryDir() / "screenshots" / "about_box.png").string()));
            QTest::mouseClick(splash->Okbutton, Qt::LeftButton);
        }
    });
    w->About1Click();
    EXPECT_TRUE(seen);
}

TEST_F(MainScreenTest, ContentsOpensTheHelpAtItsContentsTopic)
{
    w->HelpFile = qn::test::sourceDir() / "resources" / "help" / "QUILLNK.HLP";
    w->Contents1->trigger();
    ASSERT_NE(w->HelpViewer(), nullptr);
    EXPECT_TRUE(w->HelpViewer()->isVisible());
    EXPECT_EQ(w->HelpViewer()->CurrentContext(), 1009);
    EXPECT_EQ(w->HelpViewer()->CurrentTitle(), "Contents");
    // Following a link shows its topic.
    emit w->HelpViewer()->TopicText->anchorClicked(QUrl("topic:1017"));
    EXPECT_EQ(w->HelpViewer()->CurrentTitle(), "Your password");
    // Closing the main window closes the help too.
    w->close();
    EXPECT_FALSE(w->HelpViewer()->isVisible());
}

TEST_F(MainScreenTest, AMissingHelpFileIsReported)
{
    qn::test::TempDir dir;
    w->HelpFile = dir / "QUILLNK.HLP";
    qn::test::NotificationCapture capture;
    w->Contents1Click();
    ASSERT_EQ(capture.informations.size(), 1u);
    EXPECT_EQ(capture.informations[0], "The help file QUILLNK.HLP cannot be found.");

    qn::test::writeFile(w->HelpFile, "not a help file\n");
    w->Contents1Click();
    ASSERT_EQ(capture.informations.size(), 2u);
    EXPECT_TRUE(capture.informations[1].find("Line 1") != std::string::npos)
        << capture.informations[1];
}

TEST_F(MainScreenTest, Screenshot)
{
    w->CurrentDate = EncodeDate(2026, 12, 7);
    w->SetDateCaption();
    settle();
    std::filesystem::create_directories(qn::test::binaryDir() / "screenshots");
    QImage picture = w->grab().toImage();
    ASSERT_FALSE(picture.isNull());
    EXPECT_TRUE(picture.save(QString::fromStdString(
        (qn::test::binaryDir() / "screenshots" / "main_screen.png").string())));
}

TEST(MainScreenGeometry, MaximizedWindowsAreCutToTheFullScreenArea)
{
    const QRect screen(0, 0, 1024, 738);
    // Taller: the height is cut and the window moves to the top.
    EXPECT_EQ(FitMaximizedRect(QRect(-4, -4, 1032, 776), screen), QRect(-4, 0, 1032, 738));
    // Taller and wider: only the height is corrected in one call.
    EXPECT_EQ(FitMaximizedRect(QRect(-4, -4, 1032, 776), screen).width(), 1032);
    // Only wider: the width is cut and the window moves to the left edge.
    EXPECT_EQ(FitMaximizedRect(QRect(-4, 0, 1032, 700), screen), QRect(0, 0, 1024, 700));
    // Fits: unchanged.
    EXPECT_EQ(FitMaximizedRect(QRect(0, 0, 1024, 738), screen), QRect(0, 0, 1024, 738));
    // The area need not start at the origin (a panel at the top).
    EXPECT_EQ(FitMaximizedRect(QRect(0, 0, 800, 700), QRect(0, 30, 1024, 600)),
              QRect(0, 30, 800, 600));
}

TEST(MainScreenGeometry, CentringHalvesTowardZero)
{
    EXPECT_EQ(CenteredPosition(QRect(144, 99, 610, 460), QSize(334, 221)), QPoint(282, 218));
    EXPECT_EQ(CenteredPosition(QRect(0, 0, 101, 101), QSize(50, 50)), QPoint(25, 25));
    // A dialog larger than the window: -51 div 2 is -25, not -26.
    EXPECT_EQ(CenteredPosition(QRect(10, 10, 100, 100), QSize(151, 151)), QPoint(-15, -15));
}

// The dictionary the build makes, where the program looks for it, for the
// length of a test: false when there is none.
class MainDictionaryInPlace {
public:
    MainDictionaryInPlace()
    {
        const auto made = test::binaryDir() / "bin" / "quillnk.dct";
        copied_ = !FindResourceFile("quillnk.dct") && std::filesystem::exists(made) &&
                  std::filesystem::copy_file(made, placed_);
    }
    ~MainDictionaryInPlace()
    {
        if (copied_)
            std::filesystem::remove(placed_);
    }
    explicit operator bool() const { return FindResourceFile("quillnk.dct").has_value(); }

private:
    std::filesystem::path placed_ = std::filesystem::path(ProgramDir()) / "quillnk.dct";
    bool copied_ = false;
};

// The marked words of the editor's paragraphs, in order.
std::vector<std::string> markedWords(TQnRichText *editor)
{
    std::vector<std::string> out;
    for (TParagraph *p = editor->Document->FirstParagraph; p; p = p->Next) {
        std::string text;
        for (const TLine *l = p->Lines; l; l = l->Next)
            text += Ansi(std::u32string_view(l->Text, l->Length));
        for (const auto &r : editor->SpellMarks->ParagraphMarks(p))
            out.push_back(text.substr(static_cast<size_t>(r.Start), static_cast<size_t>(r.Length)));
    }
    return out;
}

// The menu a right click of the mouse over the character at an offset of the
// first line pops up (the caret moves there first); closed when it goes.
class RightClickMenu {
public:
    RightClickMenu(TQnRichText *editor, int offset)
    {
        TQnRTFTextInput &doc = *editor->Document;
        TParagraph *p = doc.FirstParagraph;
        TLine *l = p->Lines;
        const QPoint client((doc.XOfChar(p, l, offset) + doc.XOfChar(p, l, offset + 1)) / 2,
                            l->Top - doc.ScrollY + l->Height / 2);
        const QPoint at = client + editor->ClientRect().topLeft();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, editor->mapToGlobal(at));
        QApplication::sendEvent(editor, &event);
        for (QMenu *menu : editor->findChildren<QMenu *>(QStringLiteral("EditorContextMenu")))
            if (menu->isVisible())
                menu_ = menu;
    }
    ~RightClickMenu()
    {
        if (menu_)
            menu_->close();
        QApplication::processEvents();
    }
    RightClickMenu(const RightClickMenu &) = delete;
    RightClickMenu &operator=(const RightClickMenu &) = delete;

    QMenu *menu() const { return menu_; }

private:
    QPointer<QMenu> menu_;
};

QAction *menuItem(QMenu &menu, const QString &text)
{
    for (QAction *action : menu.actions())
        if (action->text() == text)
            return action;
    return nullptr;
}

bool germanInstalled()
{
    const auto installed = spell::InstalledDictionaries();
    return std::any_of(installed.begin(), installed.end(),
                       [](const spell::InstalledDictionary &d) { return d.Code == "de_DE"; });
}

// Finished words the dictionary does not know are marked; the word being
// typed is not; switching to German marks English words and not German ones.
TEST_F(MainScreenTest, SpellingMarksFinishedWordsInTheChosenLanguage)
{
    const MainDictionaryInPlace dictionary;
    if (!dictionary)
        GTEST_SKIP() << "no main dictionary";
    w->SetSpellingLanguage("");
    TQnRichText *editor = w->QnRichText1;
    ASSERT_NE(editor->SpellMarks->Engine(), nullptr);
    editor->SetText("We did recieve teh parcel");
    editor->SetCursorOffset(0);
    settle();
    auto words = [editor] { return markedWords(editor); };
    EXPECT_EQ(words(), (std::vector<std::string>{"recieve", "teh"}));
    // A picture of the marks for review, under build/screenshots.
    const auto shots = test::binaryDir() / "screenshots";
    std::filesystem::create_directories(shots);
    w->grab().save(QString::fromStdString((shots / "spelling_marks.png").string()));
    editor->SetCursorOffset(18); // just after "teh": still being typed
    EXPECT_EQ(words(), (std::vector<std::string>{"recieve"}));
    editor->SetCursorOffset(0);
    EXPECT_EQ(editor->SpellMarks->Engine()->Suggest("recieve", 8).at(0), "receive");

    // The right-click menu on a marked word offers the suggestions above the
    // editor's own items; choosing one replaces the word as one undo step.
    {
        const RightClickMenu menu(editor, 8);
        ASSERT_NE(menu.menu(), nullptr);
        const QList<QAction *> items = menu.menu()->actions();
        ASSERT_FALSE(items.isEmpty());
        EXPECT_EQ(items.first()->text().toStdString(), "receive");
        EXPECT_TRUE(std::any_of(items.begin(), items.end(), [](QAction *a) {
            return a->objectName() == QStringLiteral("Paste");
        }));
        items.first()->trigger();
    }
    EXPECT_EQ(editor->PlainText().toStdString(), "We did receive teh parcel");
    editor->Undo();
    EXPECT_EQ(editor->PlainText().toStdString(), "We did recieve teh parcel");
    editor->SetCursorOffset(0);

    w->SetSpellAsYouType(false);
    EXPECT_TRUE(words().empty());
    w->SetSpellAsYouType(true);

    if (!germanInstalled())
        return;
    w->SetSpellingLanguage("de_DE");
    editor->SetText("the Haus.");
    editor->SetCursorOffset(9); // after the full stop: no word is being typed
    EXPECT_EQ(words(), (std::vector<std::string>{"the"}));
    w->SetSpellingLanguage("");
}

// "Add to Dictionary" and "Ignore All" of the right-click menu take the mark
// off every occurrence of the word at once; an added word is kept in the
// user's words of the chosen language, an ignored one only for the session.
TEST_F(MainScreenTest, SpellingMenuAddsAndIgnoresEveryOccurrence)
{
    const MainDictionaryInPlace dictionary;
    if (!dictionary)
        GTEST_SKIP() << "no main dictionary";
    const std::filesystem::path folder(ProgramDir());
    const auto user = folder / "quillnku.dct";
    const auto germanWords = folder / "quillnku-de_DE.txt";
    std::filesystem::remove(user);
    std::filesystem::remove(germanWords);
    w->SetSpellingLanguage("");
    TQnRichText *editor = w->QnRichText1;
    // Offsets:           0         10        20        30        40
    editor->SetText("I met Zorbly. Quillnook met Zorbly, Zorbly and Quillnook.\nQuillnook again.");
    editor->SetCursorOffset(0);
    settle();
    ASSERT_EQ(markedWords(editor), (std::vector<std::string>{"Zorbly", "Quillnook", "Zorbly",
                                                             "Zorbly", "Quillnook", "Quillnook"}));

    {
        const RightClickMenu menu(editor, 16); // in "Quillnook"
        ASSERT_NE(menu.menu(), nullptr);
        QAction *add = menuItem(*menu.menu(), QStringLiteral("Add to Dictionary"));
        ASSERT_NE(add, nullptr);
        ASSERT_NE(menuItem(*menu.menu(), QStringLiteral("Ignore All")), nullptr);
        add->trigger();
    }
    EXPECT_EQ(markedWords(editor), (std::vector<std::string>{"Zorbly", "Zorbly", "Zorbly"}))
        << "every occurrence, in every paragraph";
    TQnSpell later;
    ASSERT_GT(later.OpenUserDictionary(user.string()), 0) << "made with the first word";
    EXPECT_TRUE(later.IsCorrect("Quillnook"));

    {
        const RightClickMenu menu(editor, 8); // in "Zorbly"
        ASSERT_NE(menu.menu(), nullptr);
        QAction *ignore = menuItem(*menu.menu(), QStringLiteral("Ignore All"));
        ASSERT_NE(ignore, nullptr);
        ignore->trigger();
    }
    EXPECT_TRUE(markedWords(editor).empty());
    EXPECT_FALSE(later.IsCorrect("Zorbly")) << "ignored, not added";
    {
        const RightClickMenu menu(editor, 8);
        ASSERT_NE(menu.menu(), nullptr);
        EXPECT_EQ(menuItem(*menu.menu(), QStringLiteral("Ignore All")), nullptr)
            << "no spelling items over a word that is no longer marked";
    }

    // In German the added word goes to the German list beside the English
    // dictionary, which it leaves alone.
    if (germanInstalled()) {
        w->SetSpellingLanguage("de_DE");
        editor->SetText("Das Flurbo und das Flurbo.");
        editor->SetCursorOffset(0);
        settle();
        ASSERT_EQ(markedWords(editor), (std::vector<std::string>{"Flurbo", "Flurbo"}));
        {
            const RightClickMenu menu(editor, 5);
            ASSERT_NE(menu.menu(), nullptr);
            QAction *add = menuItem(*menu.menu(), QStringLiteral("Add to Dictionary"));
            ASSERT_NE(add, nullptr);
            add->trigger();
        }
        EXPECT_TRUE(markedWords(editor).empty());
        std::ifstream list(germanWords);
        const std::string kept((std::istreambuf_iterator<char>(list)), {});
        EXPECT_EQ(kept, "Flurbo\n");
        EXPECT_FALSE(later.IsCorrect("Flurbo"));

        // A list that cannot be read is not written over: the word is said
        // not to be added, and only ignored.
        std::filesystem::remove(germanWords);
        std::filesystem::create_directory(germanWords);
        w->SetSpellingLanguage("de_DE");
        editor->SetText("Das Grumpel.");
        editor->SetCursorOffset(0);
        settle();
        test::NotificationCapture messages;
        {
            const RightClickMenu menu(editor, 5);
            ASSERT_NE(menu.menu(), nullptr);
            QAction *add = menuItem(*menu.menu(), QStringLiteral("Add to Dictionary"));
            ASSERT_NE(add, nullptr);
            add->trigger();
        }
        ASSERT_EQ(messages.informations.size(), 1u);
        EXPECT_NE(messages.informations[0].find("\"Grumpel\" could not be added"),
                  std::string::npos);
        EXPECT_TRUE(markedWords(editor).empty());
        EXPECT_TRUE(std::filesystem::is_directory(germanWords));
        std::filesystem::remove(germanWords);
        w->SetSpellingLanguage("");
    }
    std::filesystem::remove(user);
    std::filesystem::remove(germanWords);
}

// Edit > Spell Check works in the chosen language; a word added there is
// marked no more in the entry.
TEST_F(MainScreenTest, SpellCheckDialogUsesTheChosenLanguage)
{
    if (!germanInstalled())
        GTEST_SKIP() << "no German Hunspell dictionary (package hunspell-de-de)";
    const auto germanWords = std::filesystem::path(ProgramDir()) / "quillnku-de_DE.txt";
    std::filesystem::remove(germanWords);
    w->SetSpellingLanguage("de_DE");
    TQnRichText *editor = w->QnRichText1;
    editor->SetText("Das Haus und der Flurbo.");
    editor->SetCursorOffset(0);
    settle();
    ASSERT_EQ(markedWords(editor), std::vector<std::string>{"Flurbo"});

    test::NotificationCapture messages;
    QString asked;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<TSpellCheckDialog *>(QApplication::activeModalWidget());
        if (!dialog || dialog->Word->text().isEmpty())
            return;
        asked = dialog->Word->text();
        dialog->Addbutton->click();
    });
    poll.start(10);
    w->SpellCheck1->trigger();
    poll.stop();
    EXPECT_EQ(asked, "Flurbo") << "the German dictionary knows the other words";
    EXPECT_EQ(messages.informations, std::vector<std::string>{"Spell check complete"});
    EXPECT_TRUE(markedWords(editor).empty());
    w->SetSpellingLanguage("");
    std::filesystem::remove(germanWords);
}
