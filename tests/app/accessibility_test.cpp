// What a screen reader finds in the diary's windows: every control a person
// can reach has a name, the action bar's buttons are pressed by name, the
// entry's text and formatting are read, the calendar says the focused day.
#include "app/date_selector.h"
#include "app/exchange_dialogs.h"
#include "app/get_password.h"
#include "app/look_for_all.h"
#include "app/main_screen.h"
#include "app/print_options.h"
#include "platform/datetime.h"
#include "richtext/controls/find_replace_dialog.h"
#include "richtext/controls/paragraph_prop_dlg.h"
#include "richtext/controls/ruler.h"
#include "richtext/controls/tool_bar.h"
#include "spell/dialog/spell_check_dialog.h"

#include "tests/support/accessibility_listener.h"
#include "tests/support/temp_dir.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAccessibleTextInterface>
#include <QApplication>
#include <QLabel>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace qn;

namespace {

// The roles of what a person operates.
bool isControl(QAccessible::Role role)
{
    switch (role) {
    case QAccessible::PushButton:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::ComboBox:
    case QAccessible::ButtonMenu:
    case QAccessible::ButtonDropDown:
    case QAccessible::SpinBox:
    case QAccessible::EditableText:
    case QAccessible::Slider:
        return true;
    default:
        return false;
    }
}

void walk(QAccessibleInterface *iface, const std::function<void(QAccessibleInterface *)> &visit,
          int depth = 0)
{
    if (!iface || depth > 40)
        return;
    visit(iface);
    for (int i = 0; i < iface->childCount(); ++i)
        walk(iface->child(i), visit, depth + 1);
}

// Shown controls without a name, as "role objectName" lines.
std::string unnamedControls(QWidget *window)
{
    QStringList unnamed;
    walk(QAccessible::queryAccessibleInterface(window), [&](QAccessibleInterface *iface) {
        if (!isControl(iface->role()) || iface->state().invisible)
            return;
        if (iface->text(QAccessible::Name).trimmed().isEmpty())
            unnamed << QStringLiteral("%1 %2")
                           .arg(int(iface->role()), 0, 16)
                           .arg(iface->object() ? iface->object()->objectName() : QString());
    });
    return unnamed.join(QStringLiteral(", ")).toStdString();
}

QAccessibleInterface *findByName(QWidget *window, QAccessible::Role role, const QString &name)
{
    QAccessibleInterface *found = nullptr;
    walk(QAccessible::queryAccessibleInterface(window), [&](QAccessibleInterface *iface) {
        if (!found && iface->role() == role && iface->text(QAccessible::Name) == name)
            found = iface;
    });
    return found;
}

class MainWindowReader : public testing::Test {
protected:
    void SetUp() override
    {
        w = std::make_unique<TMainScreen>(dir.path().string());
        w->show();
        QApplication::setActiveWindow(w.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
        w->QnRichText1->setFocus();
        QApplication::processEvents();
    }
    qn::test::TempDir dir;
    std::unique_ptr<TMainScreen> w;
};

} // namespace

TEST_F(MainWindowReader, EveryControlIsNamedAndTheBarsReadAsTheyShould)
{
    EXPECT_EQ(unnamedControls(w.get()), "");

    // The action bar: push buttons named by caption, described, pressable.
    QAccessibleInterface *exit = findByName(w.get(), QAccessible::PushButton, "Exit");
    ASSERT_TRUE(exit);
    EXPECT_EQ(exit->object(), w->FlatButton1);
    EXPECT_EQ(exit->text(QAccessible::Description), "Close the diary");
    EXPECT_EQ(exit->text(QAccessible::Accelerator), QKeySequence("Alt+X").toString());
    EXPECT_TRUE(findByName(w.get(), QAccessible::PushButton, "First"));
    EXPECT_TRUE(findByName(w.get(), QAccessible::PushButton, "Prev"));

    // The tool bar: check boxes named by their hints.
    for (const char *hint : {"Bold", "Italic", "Underline", "Strikeout", "Align left", "Centre",
                             "Align right", "Justify"}) {
        QAccessibleInterface *b = findByName(w.get(), QAccessible::CheckBox, hint);
        EXPECT_TRUE(b) << hint;
        if (b) {
            EXPECT_TRUE(b->state().checkable) << hint;
        }
    }
    QAccessibleInterface *text = findByName(w.get(), QAccessible::ComboBox, "Text colour");
    ASSERT_TRUE(text);
    EXPECT_EQ(text->text(QAccessible::Value), "Black");
    QAccessibleInterface *back = findByName(w.get(), QAccessible::ComboBox, "Background colour");
    ASSERT_TRUE(back);
    w->QnToolBar2->BackgroundColorList()->setCurrentIndex(3); // blue in a new entry's colours
    EXPECT_EQ(back->text(QAccessible::Value), "Blue");
    EXPECT_TRUE(findByName(w.get(), QAccessible::ComboBox, "Font"));
    EXPECT_TRUE(findByName(w.get(), QAccessible::ComboBox, "Font size"));

    // The ruler, the date heading, the ring panel's container.
    QAccessibleInterface *ruler = QAccessible::queryAccessibleInterface(w->QnRuler1);
    EXPECT_EQ(ruler->text(QAccessible::Name), "Ruler");
    EXPECT_TRUE(ruler->text(QAccessible::Description).startsWith("First line indent 0 in"));
    QAccessibleInterface *heading = QAccessible::queryAccessibleInterface(w->DateLabel);
    EXPECT_EQ(heading->role(), QAccessible::Heading);
    EXPECT_EQ(heading->text(QAccessible::Name), w->DateLabel->text());
    QAccessibleInterface *ring = QAccessible::queryAccessibleInterface(w->RingPanel1);
    EXPECT_EQ(ring->role(), QAccessible::Pane);
    EXPECT_TRUE(ring->text(QAccessible::Name).isEmpty());
    // Nothing is a picture for the reader to stumble over.
    walk(QAccessible::queryAccessibleInterface(w.get()), [&](QAccessibleInterface *iface) {
        if (!iface->state().invisible) {
            EXPECT_NE(iface->role(), QAccessible::Graphic);
        }
    });
}

TEST_F(MainWindowReader, NextPressedByItsActionMovesToTheNextDay)
{
    w->CurrentDate = EncodeDate(2024, 2, 28);
    w->SetDateCaption();
    QAccessibleInterface *next = findByName(w.get(), QAccessible::PushButton, "Next");
    ASSERT_TRUE(next);
    EXPECT_EQ(next->object(), w->Nextbutton);
    QAccessibleActionInterface *actions = next->actionInterface();
    ASSERT_TRUE(actions);
    ASSERT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
    actions->doAction(QAccessibleActionInterface::pressAction());
    QTRY_COMPARE(w->DateLabel->text(), QString("Thursday, February 29, 2024"));
    EXPECT_EQ(w->CurrentDate, EncodeDate(2024, 2, 29));
}

TEST_F(MainWindowReader, TheEntrysTextCaretAndBoldWordAreRead)
{
    qn::test::AccessibilityListener reader;
    ASSERT_TRUE(reader.active());
    QTest::keyClicks(w->QnRichText1, "plain ");
    QAccessibleInterface *bold = findByName(w.get(), QAccessible::CheckBox, "Bold");
    ASSERT_TRUE(bold);
    bold->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    QTRY_VERIFY(bold->state().checked);
    w->QnRichText1->setFocus();
    QTest::keyClicks(w->QnRichText1, "word");

    QAccessibleInterface *entry = QAccessible::queryAccessibleInterface(w->QnRichText1);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->role(), QAccessible::EditableText);
    QAccessibleTextInterface *t = entry->textInterface();
    ASSERT_TRUE(t);
    EXPECT_EQ(t->text(0, t->characterCount()), "plain word");
    EXPECT_EQ(t->cursorPosition(), 10);
    int start = -1, end = -1;
    EXPECT_TRUE(t->attributes(7, &start, &end).contains("font-weight:bold;"));
    EXPECT_EQ(t->text(start, end), "word");
    EXPECT_TRUE(t->attributes(1, &start, &end).contains("font-weight:normal;"));

    // The typing was heard as it happened.
    QString typed;
    for (const auto &h : reader.of(w->QnRichText1, QAccessible::TextInserted))
        typed += h.Text;
    EXPECT_EQ(typed, "plain word");
    EXPECT_EQ(reader.of(w->QnRichText1, QAccessible::TextCaretMoved).back().Position, 10);
}

TEST(DateSelectorReader, TheFocusedDayIsAnnouncedWithItsDateAndEntry)
{
    TDateSelector d;
    d.InitialDate = EncodeDate(2024, 3, 14);
    d.OnFillMonth = [](QStringList &list, int y, int m) {
        list.clear();
        if (y == 2024 && m == 3)
            list << "15"
                 << "20";
    };
    qn::test::AccessibilityListener reader;
    d.show();
    QApplication::setActiveWindow(&d);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
    d.Calendar->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(unnamedControls(&d), "");

    QAccessibleInterface *calendar = QAccessible::queryAccessibleInterface(d.Calendar);
    ASSERT_TRUE(calendar);
    EXPECT_EQ(calendar->text(QAccessible::Name), "Calendar");
    EXPECT_EQ(calendar->childCount(), 31);
    EXPECT_EQ(calendar->child(14)->text(QAccessible::Name), "Friday, March 15, 2024, has an entry");
    EXPECT_EQ(calendar->child(13)->text(QAccessible::Name), "Thursday, March 14, 2024, no entry");
    ASSERT_TRUE(calendar->focusChild());
    EXPECT_TRUE(calendar->focusChild()->state().focused);

    reader.clear();
    QTest::keyClick(d.Calendar, Qt::Key_Right);
    auto focused = reader.of(nullptr, QAccessible::Focus);
    ASSERT_FALSE(focused.empty());
    EXPECT_EQ(focused.back().Text, "Friday, March 15, 2024, has an entry");
    EXPECT_EQ(calendar->text(QAccessible::Value), "Friday, March 15, 2024, has an entry");

    // A month on: the days of April, their entries asked again.
    QTest::keyClick(d.Calendar, Qt::Key_PageDown);
    EXPECT_EQ(calendar->childCount(), 30);
    focused = reader.of(nullptr, QAccessible::Focus);
    EXPECT_EQ(focused.back().Text, "Monday, April 15, 2024, no entry");
    EXPECT_FALSE(calendar->child(30));

    // The buttons read as words.
    EXPECT_TRUE(findByName(&d, QAccessible::PushButton, "Previous year"));
    EXPECT_TRUE(findByName(&d, QAccessible::PushButton, "Next month"));
}

TEST(DialogReader, EveryFieldOfTheDialogsIsLabelled)
{
    qn::test::TempDir dir;
    TMainScreen main(dir.path().string());
    std::vector<std::unique_ptr<QDialog>> dialogs;
    dialogs.push_back(std::make_unique<TPrintOptions>());
    dialogs.push_back(std::make_unique<TGetPassword>(main));
    dialogs.push_back(std::make_unique<TLookForAll>());
    dialogs.push_back(std::make_unique<TSpellCheckDialog>());
    dialogs.push_back(std::make_unique<TParagraphPropDlg>());
    dialogs.push_back(std::make_unique<TQnFindDialog>(TQnFindDialog::Find));
    dialogs.push_back(std::make_unique<TQnFindDialog>(TQnFindDialog::Replace));
    dialogs.push_back(std::make_unique<TExportDialog>(main));
    dialogs.push_back(std::make_unique<TImportDialog>(main));
    dialogs.push_back(std::make_unique<TRestoreDialog>(main));
    for (auto &dialog : dialogs) {
        dialog->show();
        QApplication::processEvents();
        EXPECT_EQ(unnamedControls(dialog.get()), "") << dialog->metaObject()->className();
        dialog->hide();
    }
}

TEST_F(MainWindowReader, F6ReachesTheToolBarsListsAndEscapeReturns)
{
    ASSERT_TRUE(w->QnRichText1->hasFocus());
    QTest::keyClick(w->QnRichText1, Qt::Key_F6);
    EXPECT_TRUE(w->QnToolBar2->FontNameList()->isAncestorOf(QApplication::focusWidget()));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_TRUE(w->QnToolBar2->FontSizeList()->isAncestorOf(QApplication::focusWidget()));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), static_cast<QWidget *>(w->QnToolBar2->FontColorList()));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_TRUE(w->QnRichText1->hasFocus());
    // F6 on the bar goes back as well.
    QTest::keyClick(w->QnRichText1, Qt::Key_F6);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6);
    EXPECT_TRUE(w->QnRichText1->hasFocus());
}

TEST_F(MainWindowReader, TabGoesOnToThePictureButtonsAndSpacePressesThem)
{
    // Alignment has no key of its own: its buttons are reached from the
    // keyboard (Tab to the group, arrows within it, as radio buttons), and
    // a click still leaves the focus in the entry.
    ASSERT_TRUE(w->QnRichText1->hasFocus());
    QTest::keyClick(w->QnRichText1, Qt::Key_F6);
    const auto focusedButton = [] {
        auto *button = qobject_cast<QToolButton *>(QApplication::focusWidget());
        return button ? button->accessibleName() : QString();
    };
    for (int i = 0; i < 12 && focusedButton() != QStringLiteral("Align left"); ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(focusedButton(), QStringLiteral("Align left"));
    for (int i = 0; i < 4 && focusedButton() != QStringLiteral("Align right"); ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
    ASSERT_EQ(focusedButton(), QStringLiteral("Align right"));
    auto *right = qobject_cast<QToolButton *>(QApplication::focusWidget());
    QTest::keyClick(right, Qt::Key_Space);
    EXPECT_TRUE(right->isChecked());
    EXPECT_EQ(w->QnRichText1->Document->Cursor.Paragraph->Alignment, kAlignRight);
    QTest::keyClick(right, Qt::Key_Escape);
    EXPECT_TRUE(w->QnRichText1->hasFocus());

    QTest::mouseClick(right, Qt::LeftButton);
    EXPECT_TRUE(w->QnRichText1->hasFocus());
}

TEST(DialogReader, TabReachesEveryFieldOfTheDialogs)
{
    qn::test::TempDir dir;
    TMainScreen main(dir.path().string());
    std::vector<std::unique_ptr<QDialog>> dialogs;
    dialogs.push_back(std::make_unique<TPrintOptions>());
    dialogs.push_back(std::make_unique<TGetPassword>(main));
    dialogs.push_back(std::make_unique<TLookForAll>());
    dialogs.push_back(std::make_unique<TParagraphPropDlg>());
    dialogs.push_back(std::make_unique<TQnFindDialog>(TQnFindDialog::Replace));
    for (auto &dialog : dialogs) {
        const char *name = dialog->metaObject()->className();
        dialog->show();
        QApplication::setActiveWindow(dialog.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get())) << name;
        QList<QWidget *> expected;
        for (QWidget *child : dialog->findChildren<QWidget *>())
            if (child->isVisible() && child->isEnabled() &&
                (child->focusPolicy() & Qt::TabFocus) == Qt::TabFocus && !child->focusProxy())
                expected << child;
        ASSERT_FALSE(expected.isEmpty()) << name;
        // Tab from the first focused field around to it again.
        QWidget *first = QApplication::focusWidget();
        ASSERT_TRUE(first) << name;
        QList<QWidget *> reached{first};
        for (int i = 0; i < 60; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget *now = QApplication::focusWidget();
            if (!now || now == first)
                break;
            if (!reached.contains(now))
                reached << now;
        }
        // Radio buttons of one group share one Tab stop; arrows go among them.
        auto sameGroupReached = [&](QWidget *field) {
            auto *radio = qobject_cast<QRadioButton *>(field);
            if (!radio)
                return false;
            for (QWidget *r : reached)
                if (qobject_cast<QRadioButton *>(r) && r->parentWidget() == radio->parentWidget())
                    return true;
            return false;
        };
        for (QWidget *field : expected)
            EXPECT_TRUE(reached.contains(field) || sameGroupReached(field))
                << name << ": Tab never reaches " << field->objectName().toStdString() << " "
                << field->metaObject()->className();
        dialog->hide();
    }
}

TEST(MainWindowFocus, OpensWithTheFocusInTheEntry)
{
    // The tool bar's lists take the focus from the keyboard too; the window
    // still opens on the entry.
    qn::test::TempDir dir;
    TMainScreen w(dir.path().string());
    w.show();
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), static_cast<QWidget *>(w.QnRichText1));
}
