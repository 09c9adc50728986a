// The keys of the main window with the focus where a user's is: in the entry.
// Every Alt accelerator of the menus and the action bar runs its command and
// never types into the entry; text typed at the start of a loaded entry takes
// the look of the entry's first character.
#include "app/main_screen.h"
#include "platform/datetime.h"
#include "platform/modal_result.h"

#include "tests/support/notification_capture.h"
#include "tests/support/temp_dir.h"

#include <QApplication>
#include <QComboBox>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

using namespace qn;

namespace {

class MainScreenEditorKeys : public testing::Test {
protected:
    void SetUp() override
    {
        w = std::make_unique<TMainScreen>(dir.path().string());
        w->show();
        QApplication::setActiveWindow(w.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
        // A click into the entry gives it the focus, as it does for a user.
        QTest::mouseClick(w->QnRichText1, Qt::LeftButton, {}, QPoint(40, 10));
        ASSERT_TRUE(w->QnRichText1->hasFocus());
    }

    QString entry() { return w->QnRichText1->PlainText(); }

    // Alt+letter as the keyboard delivers it: to the focused entry, through
    // the window's shortcuts.
    void alt(Qt::Key key)
    {
        if (!w->QnRichText1->hasFocus())
            QTest::mouseClick(w->QnRichText1, Qt::LeftButton, {}, QPoint(40, 10));
        ASSERT_TRUE(w->QnRichText1->hasFocus());
        QTest::keyClick(w->QnRichText1, key, Qt::AltModifier);
        QApplication::processEvents();
    }

    qn::test::TempDir dir;
    std::unique_ptr<TMainScreen> w;
};

TEST_F(MainScreenEditorKeys, EveryAltAcceleratorRunsItsCommandAndNeverTypes)
{
    const TDateTime day = EncodeDate(2024, 3, 10);
    w->CurrentDate = day;
    w->FindDateRecord();
    w->LoadRichText();
    QTest::keyClicks(w->QnRichText1, "entry");
    ASSERT_TRUE(w->SaveButton->isVisible());

    alt(Qt::Key_S); // Save
    EXPECT_FALSE(w->SaveButton->isVisible());
    EXPECT_EQ(entry(), "entry");

    alt(Qt::Key_N); // Next
    EXPECT_EQ(w->CurrentDate, day + 1);
    EXPECT_EQ(entry(), "");
    EXPECT_FALSE(w->SaveButton->isVisible()) << "nothing was typed";
    alt(Qt::Key_P); // Prev
    EXPECT_EQ(w->CurrentDate, day);
    EXPECT_EQ(entry(), "entry");

    w->CurrentDate = day + 5;
    w->FindDateRecord();
    w->LoadRichText();
    alt(Qt::Key_R); // First
    EXPECT_EQ(w->CurrentDate, day);
    w->CurrentDate = day - 5;
    w->FindDateRecord();
    w->LoadRichText();
    alt(Qt::Key_L); // Last
    EXPECT_EQ(w->CurrentDate, day);
    EXPECT_EQ(entry(), "entry");

    int calendars = 0;
    w->RunDateSelector = [&](TMainScreen &, TDateTime &) {
        ++calendars;
        return int(mrCancel);
    };
    alt(Qt::Key_D); // Date
    EXPECT_EQ(calendars, 1);

    QTest::keyClick(w->QnRichText1, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(w->QnRichText1, "x");
    ASSERT_TRUE(w->CancelButton->isVisible());
    alt(Qt::Key_C); // Cancel
    EXPECT_FALSE(w->CancelButton->isVisible());
    EXPECT_EQ(entry(), "entry");

    // The menus open and close again.
    const std::vector<std::pair<Qt::Key, QMenu *>> menus = {{Qt::Key_F, w->mnuFile},
                                                            {Qt::Key_E, w->mnuEdit},
                                                            {Qt::Key_U, w->mnuUtilities},
                                                            {Qt::Key_H, w->Help1}};
    for (const auto &[key, menu] : menus) {
        alt(key);
        EXPECT_EQ(QApplication::activePopupWidget(), menu) << menu->title().toStdString();
        if (QWidget *popup = QApplication::activePopupWidget())
            popup->close();
        QApplication::processEvents();
        EXPECT_EQ(entry(), "entry") << menu->title().toStdString();
    }
    EXPECT_FALSE(w->SaveButton->isVisible());

    alt(Qt::Key_I); // Hide
    EXPECT_TRUE(w->isMinimized());
    w->showNormal();
    QApplication::setActiveWindow(w.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    EXPECT_EQ(entry(), "entry");

    alt(Qt::Key_X); // Exit
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(entry(), "entry");
}

TEST_F(MainScreenEditorKeys, TypingAtTheStartOfALoadedEntryTakesItsSize)
{
    const TDateTime day = EncodeDate(2024, 4, 1);
    w->CurrentDate = day;
    w->FindDateRecord();
    w->LoadRichText();
    QTest::keyClicks(w->QnRichText1, "ten points");
    alt(Qt::Key_S);
    // Loaded again from the diary.
    alt(Qt::Key_N);
    alt(Qt::Key_P);
    ASSERT_EQ(entry(), "ten points");
    const TLine *line = w->QnRichText1->Document->FirstParagraph->Lines;
    ASSERT_NE(line->Attrs, nullptr);
    const int size = line->Attrs[0].Size;
    EXPECT_EQ(size, w->DefaultFontSize);

    QTest::keyClick(w->QnRichText1, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(w->QnToolBar2->FontSizeList()->currentText().trimmed().toInt(), size);
    QTest::keyClicks(w->QnRichText1, "X");
    ASSERT_EQ(entry(), "Xten points");
    EXPECT_EQ(w->QnRichText1->Document->FirstParagraph->Lines->Attrs[0].Size, size);
    EXPECT_EQ(w->QnToolBar2->FontSizeList()->currentText().trimmed().toInt(), size);
}

} // namespace
