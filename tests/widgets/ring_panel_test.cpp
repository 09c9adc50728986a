// The ring-binder page: ground, page, rings, and the edges painting sets.
#include "platform/recording_canvas.h"
#include "widgets/ring_panel.h"

#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>

#include <set>

using namespace qn;

namespace {

std::vector<int> ringTops(const RecordingCanvas &canvas)
{
    std::vector<int> tops;
    for (const CanvasOp *op : canvas.OpsOfKind(CanvasOp::Bitmap))
        tops.push_back(op->Rect.Top);
    return tops;
}

} // namespace

TEST(RingPanel, PicturesHaveTheirSizesAndColourZones)
{
    for (bool small : {false, true}) {
        const CanvasBitmap &ring = RingPicture(small);
        const int inset = small ? 15 : 22;
        EXPECT_EQ(ring.Width, small ? 31 : 43);
        EXPECT_EQ(ring.Height, 11);
        // Ground left of the inset, the page's outline at it, page beyond.
        EXPECT_EQ(ring.At(0, 0), Rgb(128, 128, 128));
        EXPECT_EQ(ring.At(inset - 1, 0), Rgb(128, 128, 128));
        EXPECT_EQ(ring.At(inset, 0), Rgb(0, 0, 0));
        EXPECT_EQ(ring.At(inset + 1, 0), Rgb(255, 255, 255));
        EXPECT_EQ(ring.At(ring.Width - 1, 10), Rgb(255, 255, 255));
        // The bar crosses the outline: silver there, not black.
        EXPECT_EQ(ring.At(inset, 5), Rgb(192, 192, 192));
        // And ends in a black hole on the page.
        EXPECT_EQ(ring.At(ring.Width - 4, 5), Rgb(0, 0, 0));
        std::set<ColorRef> colours(ring.Pixels.begin(), ring.Pixels.end());
        EXPECT_LE(colours.size(), 16u);
    }
}

TEST(RingPanel, PaintsGroundPageAndRingsAndSetsTheEdges)
{
    TRingPanel panel;
    EXPECT_EQ(panel.Shape(), 1);
    EXPECT_FALSE(panel.DoubleRing());
    EXPECT_FALSE(panel.SmallRing());
    RecordingCanvas canvas;
    panel.Paint(canvas, 300, 200);
    EXPECT_EQ(panel.LeftEdge(), 43);
    EXPECT_EQ(panel.RightEdge(), 22);

    ASSERT_GE(canvas.Ops.size(), 2u);
    EXPECT_EQ(canvas.Ops[0].Type, CanvasOp::Fill);
    EXPECT_EQ(canvas.Ops[0].Rect, (CanvasRect{0, 0, 300, 200}));
    EXPECT_EQ(canvas.Ops[0].Color, Rgb(128, 128, 128));
    EXPECT_EQ(canvas.Ops[1].Type, CanvasOp::RoundRect);
    EXPECT_EQ(canvas.Ops[1].Rect, (CanvasRect{22, 5, 278, 195}));
    EXPECT_EQ(canvas.Ops[1].X, 25);
    EXPECT_EQ(canvas.Ops[1].Y, 25);
    EXPECT_EQ(canvas.Ops[1].Brush, Rgb(255, 255, 255));
    EXPECT_EQ(canvas.Ops[1].Color, Rgb(0, 0, 0));
    // Rings every 50 pixels from 20 while y <= H - 40 (160).
    EXPECT_EQ(ringTops(canvas), (std::vector<int>{20, 70, 120}));
    for (const CanvasOp *op : canvas.OpsOfKind(CanvasOp::Bitmap))
        EXPECT_EQ(op->Rect, (CanvasRect{0, op->Rect.Top, 43, op->Rect.Top + 11}));
}

TEST(RingPanel, DoubleAndSmallRings)
{
    TRingPanel panel;
    panel.SetDoubleRing(true);
    RecordingCanvas canvas;
    panel.Paint(canvas, 300, 332);
    EXPECT_EQ(ringTops(canvas),
              (std::vector<int>{20, 35, 70, 85, 120, 135, 170, 185, 220, 235, 270, 285}));

    // Switching to small rings changes the edges at the next paint.
    panel.SetSmallRing(true);
    EXPECT_EQ(panel.LeftEdge(), 43);
    canvas.ClearOps();
    panel.Paint(canvas, 300, 332);
    EXPECT_EQ(panel.LeftEdge(), 31);
    EXPECT_EQ(panel.RightEdge(), 15);
    EXPECT_EQ(canvas.OpsOfKind(CanvasOp::RoundRect)[0]->Rect, (CanvasRect{15, 5, 285, 327}));
    EXPECT_EQ(canvas.OpsOfKind(CanvasOp::Bitmap)[0]->Rect.Right, 31);
}

TEST(RingPanel, NoRingsBelowSixtyPixels)
{
    TRingPanel panel;
    RecordingCanvas canvas;
    panel.Paint(canvas, 200, 59);
    EXPECT_TRUE(ringTops(canvas).empty());
    canvas.ClearOps();
    panel.Paint(canvas, 200, 60);
    EXPECT_EQ(ringTops(canvas), (std::vector<int>{20}));
}

TEST(RingPanel, OnScreenInsideItsBorder)
{
    QWidget window;
    window.resize(220, 200);
    auto *panel = new TRingPanel(&window);
    panel->SetBorderStyle(bsSingle);
    panel->SetSmallRing(true);
    panel->setGeometry(0, 0, 220, 200);
    int resized = 0;
    panel->OnResize = [&] { ++resized; };
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(panel->ClientRect(), QRect(1, 1, 218, 198));
    panel->resize(220, 190);
    EXPECT_GE(resized, 1);
    QImage image = panel->grab().toImage();
    EXPECT_EQ(image.pixelColor(1, 1), QColor(128, 128, 128)) << "ground";
    EXPECT_EQ(image.pixelColor(110, 100), QColor(255, 255, 255)) << "page";
    EXPECT_EQ(image.pixelColor(1 + 15, 100), QColor(0, 0, 0)) << "page outline";
    // A ring at client y 20: its hole is black on the page.
    EXPECT_EQ(image.pixelColor(1 + 27, 1 + 20 + 5), QColor(0, 0, 0));
    EXPECT_EQ(panel->LeftEdge(), 31);
}
