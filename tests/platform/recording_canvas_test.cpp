// The fixed-metrics canvas and the drawing rules every canvas shares: text
// placement and the current position, lines without their last point,
// DrawText's alignment, breaking and ellipsis.
#include "platform/recording_canvas.h"

#include <gtest/gtest.h>

using namespace qn;

namespace {

FontSpec font(int points, const char *name = "Arial")
{
    FontSpec f;
    f.Name = name;
    f.SizePoints = points;
    return f;
}

} // namespace

TEST(RecordingCanvas, MetricsFollowTheEmHeightAtTheResolution)
{
    RecordingCanvas c(96, 96);
    c.SelectFont(font(10)); // 13.33 pixels -> 13
    FontMetrics m = c.Metrics();
    EXPECT_EQ(m.Ascent, 13);
    EXPECT_EQ(m.Descent, 3);
    EXPECT_EQ(m.Height, 16);
    EXPECT_EQ(c.CharWidths()['A'], 6);
    EXPECT_EQ(c.CharWidths()['\t'], c.CharWidths()[' ']);
    EXPECT_EQ(c.TextWidth("Hello"), 30);

    FontSpec big = font(10);
    big.PixelHeight = 40; // a pixel height wins over the point size
    c.SelectFont(big);
    EXPECT_EQ(c.Metrics().Ascent, 40);
    EXPECT_EQ(c.CharWidths()['x'], 20);

    c.SetResolution(300, 300);
    c.SelectFont(font(12)); // 50 pixels
    EXPECT_EQ(c.Metrics().Height, 62);

    c.SetWidthRule(
        [](int em, unsigned char code, const FontSpec &) { return code == 'i' ? 1 : em; });
    EXPECT_EQ(c.TextWidth("ii"), 2);
    EXPECT_EQ(c.CharWidths()[9], 50); // control codes still measure as a blank
}

TEST(RecordingCanvas, TextOutAtBaseLineWithCurrentPositionAndOpaqueCell)
{
    RecordingCanvas c(96, 96);
    FontSpec f = font(10);
    f.Color = Rgb(255, 0, 0);
    c.SelectFont(f);
    EXPECT_EQ(c.TextColor(), Rgb(255, 0, 0));
    c.SetBackgroundColor(Rgb(0, 255, 0));
    c.SetBackgroundMode(BackgroundMode::Opaque);
    c.SetTextAlign(kAlignBaseline | kAlignUpdateCp);
    c.MoveTo(10, 50);
    c.TextOut(0, 0, "abc");
    c.TextOut(0, 0, "de");
    EXPECT_EQ(c.CurrentPosition(), (CanvasPoint{10 + 30, 50}));
    auto texts = c.OpsOfKind(CanvasOp::Glyphs);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0]->X, 10);
    EXPECT_EQ(texts[0]->Y, 50);
    EXPECT_EQ(texts[1]->X, 28);
    EXPECT_EQ(texts[1]->Color, Rgb(255, 0, 0));
    auto fills = c.OpsOfKind(CanvasOp::Fill);
    ASSERT_EQ(fills.size(), 2u);
    EXPECT_EQ(fills[0]->Rect, (CanvasRect{10, 37, 28, 53}));
    EXPECT_EQ(fills[0]->Color, Rgb(0, 255, 0));

    // Top-left alignment, transparent: no fill, base line one ascent down.
    c.ClearOps();
    c.SetTextAlign(kAlignTop);
    c.SetBackgroundMode(BackgroundMode::Transparent);
    c.TextOut(5, 5, "x");
    EXPECT_TRUE(c.OpsOfKind(CanvasOp::Fill).empty());
    EXPECT_EQ(c.OpsOfKind(CanvasOp::Glyphs)[0]->Y, 18);

    // ExtTextOut fills its rectangle when asked, and clips only for the call.
    c.ClearOps();
    CanvasRect r{0, 0, 100, 20};
    c.ExtTextOut(0, 0, kTextOpaque | kTextClipped, &r, "x");
    EXPECT_EQ(c.OpsOfKind(CanvasOp::Fill)[0]->Rect, r);
    EXPECT_FALSE(c.HasClip());
}

TEST(RecordingCanvas, LinesLeaveOutTheirLastPoint)
{
    RecordingCanvas c;
    c.SetPen(Rgb(0, 0, 255), 2, PenStyle::Dash);
    c.MoveTo(0, 5);
    c.LineTo(10, 5);
    c.LineTo(10, 5); // a zero-length line draws nothing
    c.Polyline({{0, 0}, {0, 4}, {4, 4}});
    EXPECT_EQ(c.CurrentPosition(), (CanvasPoint{10, 5})); // Polyline leaves it alone
    auto lines = c.OpsOfKind(CanvasOp::Line);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0]->From, (CanvasPoint{0, 5}));
    EXPECT_EQ(lines[0]->To, (CanvasPoint{9, 5}));
    EXPECT_EQ(lines[0]->Pen, PenStyle::Dash);
    EXPECT_EQ(lines[0]->PenWidth, 2);
    EXPECT_EQ(lines[1]->To, (CanvasPoint{0, 3}));
    EXPECT_EQ(lines[2]->To, (CanvasPoint{3, 4}));

    c.ClearOps();
    c.SetPen(0, 1, PenStyle::None);
    c.LineTo(50, 50);
    EXPECT_TRUE(c.Ops.empty());
}

TEST(RecordingCanvas, DrawTextAlignsBreaksAndShortens)
{
    RecordingCanvas c(72, 72); // 10 pt = 10 pixels: glyphs 5 wide, lines 12 high
    c.SelectFont(font(10));
    c.SetBackgroundMode(BackgroundMode::Transparent);

    CanvasRect r{0, 0, 100, 40};
    c.DrawText("ab", r, kDtRight | kDtSingleLine | kDtVCenter);
    auto t = c.OpsOfKind(CanvasOp::Glyphs);
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t[0]->X, 90);
    EXPECT_EQ(t[0]->Y, 14 + 10); // top (40 - 12) / 2, base line one ascent lower

    // Word breaks at blanks; a word wider than the box stands alone.
    c.ClearOps();
    CanvasRect narrow{0, 0, 30, 100};
    int h = c.DrawText("ab cd efghijkl m", narrow, kDtWordBreak);
    t = c.OpsOfKind(CanvasOp::Glyphs);
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[0]->Text, "ab cd");
    EXPECT_EQ(t[1]->Text, "efghijkl");
    EXPECT_EQ(t[2]->Text, "m");
    EXPECT_EQ(h, 36);

    // Measuring only; accelerator marks are dropped, "&&" stays one "&".
    c.ClearOps();
    CanvasRect calc{10, 10, 10, 10};
    c.DrawText("&Save && go", calc, kDtCalcRect | kDtSingleLine);
    EXPECT_TRUE(c.Ops.empty());
    EXPECT_EQ(calc, (CanvasRect{10, 10, 10 + 5 * 9, 22}));

    c.DrawText("abcdefghij", narrow, kDtSingleLine | kDtEndEllipsis);
    t = c.OpsOfKind(CanvasOp::Glyphs);
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t[0]->Text, "abc...");

    // Tabs expand to multiples of eight widths of "x" (40 pixels here).
    c.ClearOps();
    CanvasRect wide{0, 0, 200, 20};
    c.DrawText("a\tb", wide, kDtExpandTabs | kDtSingleLine);
    t = c.OpsOfKind(CanvasOp::Glyphs);
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[1]->X, 40);
}

TEST(RecordingCanvas, BitmapsMasksAndSystemColours)
{
    CanvasBitmap b(3, 2, Rgb(255, 0, 255));
    b.Set(1, 1, Rgb(1, 2, 3));
    CanvasBitmap mask = b.MaskOf(Rgb(255, 0, 255));
    EXPECT_EQ(mask.At(0, 0), 0u);
    EXPECT_EQ(mask.At(1, 1), 0x00FFFFFFu);

    RecordingCanvas c;
    EXPECT_EQ(c.ResolveColor(kSysColorHighlight), Rgb(0, 0, 128));
    EXPECT_EQ(c.ResolveColor(0x01FF0000), 0x00FF0000u);
    EXPECT_TRUE(c.DrawDib({0, 0, 4, 4}, nullptr, 0));
    c.SetDibDrawable(false);
    EXPECT_FALSE(c.DrawDib({0, 0, 4, 4}, nullptr, 0));
    c.ScrollRect(0, -16, {0, 16, 100, 100}, {0, 0, 100, 100});
    auto s = c.OpsOfKind(CanvasOp::Scroll);
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0]->Y, -16);
}
