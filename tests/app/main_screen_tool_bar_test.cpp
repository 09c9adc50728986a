// The main window's formatting tool bar and ruler as start-up leaves them.
#include "app/main_screen.h"
#include "richtext/controls/ruler.h"
#include "richtext/controls/tool_bar.h"
#include "widgets/flat_button.h"

#include "tests/support/temp_dir.h"

#include <QAction>
#include <QApplication>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include <memory>

using namespace qn;

TEST(MainScreenToolBar, HoldsItsListsIconsAndTheFourSpeedButtons)
{
    qn::test::TempDir dir;
    auto w = std::make_unique<TMainScreen>(dir.path().string());
    w->show();
    QApplication::setActiveWindow(w.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));

    TQnToolBar *bar = w->QnToolBar2;
    EXPECT_EQ(bar->height(), 28);
    EXPECT_TRUE(bar->FontNameList() && bar->FontSizeList() && bar->FontColorList() &&
                bar->BackgroundColorList());
    EXPECT_EQ(bar->FontSizeList()->itemText(0), " 8");
    EXPECT_EQ(bar->Icons().size(), 12u);
    EXPECT_FALSE(bar->Hints().join('\n').contains("Hidden"));
    EXPECT_EQ(bar->IconButton(1, 4)->toolTip(), "Under");

    // The speed buttons follow the bar's own controls, in this order.
    const int n = bar->ControlCount();
    ASSERT_GE(n, 4);
    EXPECT_EQ(bar->Control(n - 4), w->DocPageBreakButton);
    EXPECT_EQ(bar->Control(n - 3), w->ParagraphSetupButton);
    EXPECT_EQ(bar->Control(n - 2), w->DocWordWrapButton);
    EXPECT_EQ(bar->Control(n - 1), w->Printbutton);
    EXPECT_EQ(w->DocPageBreakButton->toolTip(), "Insert Page Break");
    EXPECT_EQ(w->ParagraphSetupButton->toolTip(), "Paragraph properties");
    EXPECT_EQ(w->Printbutton->toolTip(), "Print diary entries");
    EXPECT_TRUE(w->mnuWrapTexttofitScreen->isChecked());
    EXPECT_EQ(w->DocWordWrapButton->toolTip(), "Toggle word wrap off");
    for (int i = n - 4; i < n; ++i) {
        EXPECT_TRUE(bar->Control(i)->isVisible());
        EXPECT_LE(bar->Control(i)->geometry().right(), bar->width());
    }

    TQnRuler *ruler = w->QnRuler1;
    EXPECT_EQ(ruler->height(), 15);
    EXPECT_EQ(ruler->Units(), Inch);
    EXPECT_FALSE(ruler->ShowNumbers());
    EXPECT_EQ(ruler->NewTabKind, tkAll);
    EXPECT_EQ(ruler->y(), bar->y() + bar->height());

    // A press on the ruler marks the entry modified.
    EXPECT_FALSE(w->SaveButton->isVisible());
    QTest::mouseClick(ruler, Qt::LeftButton, {}, QPoint(200, 7));
    EXPECT_TRUE(w->SaveButton->isVisible());
    EXPECT_TRUE(w->CancelButton->isVisible());
}
