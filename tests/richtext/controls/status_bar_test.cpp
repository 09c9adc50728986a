// The status bar: panels from definition lines, their widths and flags, the
// texts written by kind and clicks on panels.
#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>

#include "richtext/controls/rich_text.h"
#include "richtext/controls/status_bar.h"

using namespace qn;

TEST(StatusBar, DefinitionLinesMakePanelsWithTheirWidthsFlagsAndKinds)
{
    TQnStatusBarBasic bar;
    bar.resize(400, 22);
    bar.show();
    bar.SetLines({"@$20stStatus=Ready", "", "%STFILENAME=diary.rtf", "Hello there",
                  "5stTxtFmt=RICH", "120stUnknown=free"});
    const auto &panels = bar.Panels();
    ASSERT_EQ(panels.size(), 5u);

    EXPECT_EQ(panels[0].Kind, stStatus);
    EXPECT_EQ(panels[0].Flags, kPanelRaised | kPanelPressed);
    EXPECT_EQ(panels[0].DefinedWidth, 20);
    EXPECT_EQ(panels[0].Text, "Ready");
    EXPECT_EQ(panels[0].X, 2);

    // Kind names ignore case; without a width the text decides it.
    EXPECT_EQ(panels[1].Kind, stFileName);
    EXPECT_EQ(panels[1].Flags, kPanelGrayed);
    EXPECT_EQ(panels[1].Line, 2);
    EXPECT_EQ(panels[1].DefinedWidth,
              std::max(30, QFontMetrics(bar.font()).horizontalAdvance("diary.rtf") + 6));

    // No kind name: a free text panel showing the whole line.
    EXPECT_EQ(panels[2].Kind, stString);
    EXPECT_EQ(panels[2].Text, "Hello there");
    // Widths of 9 or less become 30.
    EXPECT_EQ(panels[3].Kind, stTxtFmt);
    EXPECT_EQ(panels[3].DefinedWidth, 30);
    EXPECT_EQ(panels[4].Kind, stString);
    EXPECT_EQ(panels[4].Text, "free");

    // Laid out 2 pixels apart; the last one reaches 2 pixels before the edge.
    for (size_t i = 1; i < panels.size(); ++i)
        EXPECT_EQ(panels[i].X, panels[i - 1].X + panels[i - 1].Width + 2);
    EXPECT_EQ(panels.back().X + panels.back().Width, 398);

    // Texts go to the first panel of a kind.
    EXPECT_TRUE(bar.SetPanelText(stStatus, "Saving"));
    EXPECT_EQ(bar.Panels()[0].Text, "Saving");
    EXPECT_FALSE(bar.SetPanelText(stDate, "today"));
    // A resize keeps the texts.
    bar.resize(500, 22);
    EXPECT_EQ(bar.Panels()[0].Text, "Saving");
    EXPECT_EQ(bar.Panels().back().X + bar.Panels().back().Width, 498);
}

TEST(StatusBar, PanelsShrinkProportionallyAndTheGaugeKeepsTheRightEnd)
{
    TQnStatusBarBasic bar;
    bar.resize(204, 22);
    bar.SetLines({"100stStatus=a", "200stName=b", "100stPage=c"});
    const auto &panels = bar.Panels();
    ASSERT_EQ(panels.size(), 3u);
    EXPECT_LE(panels.back().X + panels.back().Width, 202);
    EXPECT_NEAR(panels[1].Width, 2 * panels[0].Width, 1);
    EXPECT_NEAR(panels[2].Width, panels[0].Width, 1);

    bar.resize(600, 22);
    bar.SetLines({"100stStatus=a", "50stPage=c"});
    bar.SetGaugeWidth(80);
    bar.SetShowGauge(true);
    ASSERT_EQ(bar.Panels().size(), 3u);
    const auto &g = bar.Panels()[2];
    EXPECT_EQ(g.Kind, stGauge);
    EXPECT_EQ(g.Width, 80);
    EXPECT_EQ(g.X + g.Width, 598);
    EXPECT_EQ(bar.Panels()[1].X + bar.Panels()[1].Width + 2, g.X);
    EXPECT_EQ(bar.Panels()[0].Width, 100);
}

TEST(StatusBar, ClicksNameThePanelAndTheEditorWritesItsPanels)
{
    QWidget window;
    window.resize(500, 300);
    auto *edit = new TQnRichText(&window);
    edit->setGeometry(0, 0, 500, 250);
    auto *bar = new TQnStatusBarBasic(&window);
    bar->setGeometry(0, 260, 500, 22);
    bar->SetLines({"80stStatus=", "60stTxtFmt=", "stFileName=none"});
    window.show();
    QApplication::processEvents();

    int clicked = -1, kind = -1;
    bar->OnPanelClick = [&](TQnStatusBarBasic *, int index, int k, const QString &, int) {
        clicked = index;
        kind = k;
    };
    const auto &panels = bar->Panels();
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(panels[1].X + 5, 10));
    EXPECT_EQ(clicked, 1);
    EXPECT_EQ(kind, stTxtFmt);

    edit->SetStatusBar(bar);
    EXPECT_EQ(bar->Panels()[0].Text, "Ready");
    EXPECT_EQ(bar->Panels()[1].Text, "RICH");
    EXPECT_EQ(bar->Panels()[2].Text, " ");
    edit->ShowStatus("Busy");
    EXPECT_EQ(bar->Panels()[0].Text, "Busy");
}
