// The canvas on Qt with the pinned real fonts: metrics and widths, glyphs
// placed at the reported advances, exact pixels of lines and shapes,
// bitmaps, scrolling, and a PDF device.
#include "platform/qt/qt_canvas.h"

#include <QPdfWriter>
#include <gtest/gtest.h>

#include "tests/support/command.h"
#include "tests/support/temp_dir.h"

using namespace qn;

namespace {

QImage whiteImage(int w = 200, int h = 100)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

// Columns holding a pixel darker than mid-grey, within [y0, y1).
std::pair<int, int> darkColumns(const QImage &image, int y0, int y1)
{
    int first = -1, last = -1;
    for (int x = 0; x < image.width(); ++x)
        for (int y = y0; y < y1; ++y)
            if (qGray(image.pixel(x, y)) < 128) {
                if (first < 0)
                    first = x;
                last = x;
                break;
            }
    return {first, last};
}

FontSpec arial(int points)
{
    FontSpec f;
    f.Name = "Arial";
    f.SizePoints = points;
    return f;
}

} // namespace

TEST(QtCanvas, RealFontMetricsAndWidths)
{
    QImage image = whiteImage();
    QtCanvas c(&image, 96, 96);
    EXPECT_EQ(c.Technology(), kTechnologyDisplay);
    EXPECT_EQ(c.DeviceWidth(), 200);
    c.SelectFont(arial(10));
    const FontMetrics m = c.Metrics();
    EXPECT_EQ(m.Height, m.Ascent + m.Descent);
    EXPECT_GE(m.Ascent, 11);
    EXPECT_LE(m.Ascent, 14);
    EXPECT_GE(m.UnderlinePosition, 1);
    const int16_t *w = c.CharWidths();
    EXPECT_LT(w['l'], w['W']);
    EXPECT_EQ(w['\t'], w[' ']);
    EXPECT_EQ(w[0x81], w[' ']); // an undefined code measures as a blank
    EXPECT_GT(w[0xE9], 0);      // é
    EXPECT_GT(w[0x80], 0);      // €

    // Bold is wider; a larger size is taller; a pixel height wins.
    FontSpec bold = arial(10);
    bold.Bold = true;
    c.SelectFont(bold);
    EXPECT_GE(c.CharWidths()['W'], w['W']);
    FontSpec px = arial(10);
    px.PixelHeight = 40;
    c.SelectFont(px);
    EXPECT_GE(c.Metrics().Height, 40);

    // A name fontconfig lacks falls back to a font it has.
    FontSpec unknown = arial(10);
    unknown.Name = "No Such Font Anywhere";
    c.SelectFont(unknown);
    EXPECT_GT(c.Metrics().Height, 0);
    EXPECT_GT(c.CharWidths()['A'], 0);
}

TEST(QtCanvas, GlyphsLandAtTheMeasuredAdvances)
{
    QImage image = whiteImage(300, 60);
    QtCanvas c(&image, 96, 96);
    FontSpec f = arial(20);
    c.SelectFont(f);
    c.SetBackgroundMode(BackgroundMode::Transparent);
    c.SetTextAlign(kAlignBaseline | kAlignUpdateCp);
    c.MoveTo(10, 40);
    c.TextOut(0, 0, "....");
    const int dots = c.TextWidth("....");
    c.TextOut(0, 0, "I");
    EXPECT_EQ(c.CurrentPosition().X, 10 + dots + c.CharWidths()['I']);
    c.End();
    // The I starts within its cell, a pixel or two after the dots' advance.
    auto [first, last] = darkColumns(image, 0, 41);
    EXPECT_GE(first, 10);
    auto [iFirst, iLast] = darkColumns(image.copy(10 + dots, 0, 40, 60), 0, 41);
    EXPECT_GE(iFirst, 0);
    EXPECT_LE(iFirst, 4);
    EXPECT_LT(iLast, c.CharWidths()['I']);
}

TEST(QtCanvas, OpaqueTextUnderlineAndTheSymbolBullet)
{
    QImage image = whiteImage(200, 60);
    QtCanvas c(&image, 96, 96);
    FontSpec f = arial(12);
    f.Underline = true;
    f.Color = Rgb(0, 0, 255);
    c.SelectFont(f);
    c.SetBackgroundColor(Rgb(255, 255, 0));
    c.SetBackgroundMode(BackgroundMode::Opaque);
    c.TextOut(5, 5, "ab");
    const FontMetrics m = c.Metrics();
    const int w = c.TextWidth("ab");
    // The cell is yellow; the underline is blue under the whole run.
    EXPECT_EQ(c.GetPixel(5, 5), Rgb(255, 255, 0));
    EXPECT_EQ(c.GetPixel(5 + w - 1, 5 + m.Height - 1), Rgb(255, 255, 0));
    EXPECT_EQ(c.GetPixel(5 + w, 5), Rgb(255, 255, 255));
    EXPECT_EQ(c.GetPixel(5 + w - 1, 5 + m.Ascent + m.UnderlinePosition), Rgb(0, 0, 255));

    // "l" in the symbol font is a round bullet, not the letter: it is wide
    // and fills the middle of its cell.
    FontSpec symbol = arial(12);
    symbol.Name = "WingDings";
    c.SelectFont(symbol);
    c.SetBackgroundMode(BackgroundMode::Transparent);
    const int bulletWidth = c.CharWidths()['l'];
    c.SelectFont(arial(12));
    EXPECT_GT(bulletWidth, c.CharWidths()['l']);
    c.SelectFont(symbol);
    c.TextOut(100, 5, "l");
    c.End();
    auto [first, last] = darkColumns(image.copy(100, 5, bulletWidth, m.Height), 0, m.Height);
    EXPECT_GE(last - first + 1, bulletWidth / 3);
}

TEST(QtCanvas, LinesAndShapesHitExactPixels)
{
    QImage image = whiteImage();
    QtCanvas c(&image, 96, 96);
    const ColorRef red = Rgb(255, 0, 0), black = 0;
    c.SetPen(red);
    c.MoveTo(10, 10);
    c.LineTo(20, 10);
    EXPECT_EQ(c.GetPixel(10, 10), red);
    EXPECT_EQ(c.GetPixel(19, 10), red);
    EXPECT_EQ(c.GetPixel(20, 10), Rgb(255, 255, 255)) << "the last point is left out";
    c.LineTo(20, 30);
    EXPECT_EQ(c.GetPixel(20, 29), red);
    EXPECT_EQ(c.GetPixel(20, 30), Rgb(255, 255, 255));

    // A dotted pen leaves gaps.
    c.SetPen(black, 1, PenStyle::Dot);
    c.MoveTo(0, 50);
    c.LineTo(60, 50);
    int set = 0;
    for (int x = 0; x < 60; ++x)
        set += c.GetPixel(x, 50) == black;
    EXPECT_GT(set, 10);
    EXPECT_LT(set, 50);

    // Rectangle: outline on its edge pixels, brush inside, right/bottom excluded.
    c.SetPen(black);
    c.SetBrush(Rgb(0, 255, 0));
    c.Rectangle({100, 10, 110, 20});
    EXPECT_EQ(c.GetPixel(100, 10), black);
    EXPECT_EQ(c.GetPixel(109, 19), black);
    EXPECT_EQ(c.GetPixel(110, 19), Rgb(255, 255, 255));
    EXPECT_EQ(c.GetPixel(105, 15), Rgb(0, 255, 0));

    c.SetBrush(Rgb(255, 255, 255));
    c.RoundRect({120, 10, 190, 60}, 25, 25);
    EXPECT_EQ(c.GetPixel(155, 10), black);              // top edge
    EXPECT_EQ(c.GetPixel(121, 11), Rgb(255, 255, 255)); // rounded corner left open

    c.FillRect({0, 70, 10, 80}, kSysColorHighlight);
    EXPECT_EQ(c.GetPixel(0, 70), c.ResolveColor(kSysColorHighlight));
    c.SetPixel(199, 99, red);
    EXPECT_EQ(c.GetPixel(199, 99), red);
    EXPECT_EQ(c.GetPixel(500, 500), 0xFFFFFFFFu);

    // Clipping keeps drawing inside the rectangle.
    c.SetClipRect({0, 85, 5, 90});
    c.FillRect({0, 85, 20, 90}, red);
    c.ClearClip();
    EXPECT_EQ(c.GetPixel(4, 86), red);
    EXPECT_EQ(c.GetPixel(5, 86), Rgb(255, 255, 255));
}

TEST(QtCanvas, BitmapsTransparencyMasksAndDibs)
{
    QImage image = whiteImage();
    QtCanvas c(&image, 96, 96);
    const ColorRef magenta = Rgb(255, 0, 255), blue = Rgb(0, 0, 255);
    CanvasBitmap b(4, 4, magenta);
    b.Set(1, 1, blue);
    c.DrawTransparentBitmap(10, 10, b, magenta);
    EXPECT_EQ(c.GetPixel(11, 11), blue);
    EXPECT_EQ(c.GetPixel(10, 10), Rgb(255, 255, 255));
    c.DrawMask(20, 10, b.MaskOf(blue), Rgb(0, 128, 0));
    EXPECT_EQ(c.GetPixel(21, 11), Rgb(0, 128, 0));
    EXPECT_EQ(c.GetPixel(20, 10), Rgb(255, 255, 255));
    c.DrawBitmap({30, 10, 38, 18}, b); // stretched twice
    EXPECT_EQ(c.GetPixel(33, 13), blue);

    // A 2 x 2 24-bit bitmap, bottom row first: red green / blue white.
    std::vector<uint8_t> dib(40 + 16, 0);
    dib[0] = 40;
    dib[4] = 2;  // width
    dib[8] = 2;  // height
    dib[12] = 1; // planes
    dib[14] = 24;
    const uint8_t rows[16] = {255, 0, 0,   255, 255, 255, 0, 0,  // bottom: blue, white
                              0,   0, 255, 0,   255, 0,   0, 0}; // top: red, green
    std::copy(rows, rows + 16, dib.begin() + 40);
    EXPECT_TRUE(c.DrawDib({100, 10, 120, 30}, dib.data(), dib.size()));
    EXPECT_EQ(c.GetPixel(102, 12), Rgb(255, 0, 0));
    EXPECT_EQ(c.GetPixel(117, 12), Rgb(0, 255, 0));
    EXPECT_EQ(c.GetPixel(102, 27), Rgb(0, 0, 255));
    const uint8_t junk[8] = {1, 2, 3};
    EXPECT_FALSE(c.DrawDib({0, 0, 5, 5}, junk, sizeof junk));
    EXPECT_FALSE(c.DrawDib({0, 0, 5, 5}, dib.data(), 20));
}

TEST(QtCanvas, ScrollingMovesPixelsWithinTheClip)
{
    QImage image = whiteImage();
    QtCanvas c(&image, 96, 96);
    const ColorRef red = Rgb(255, 0, 0);
    c.FillRect({0, 40, 10, 50}, 0);
    c.FillRect({0, 90, 10, 100}, red);
    c.ScrollRect(0, -30, {0, 0, 200, 100}, {0, 0, 200, 100});
    EXPECT_EQ(c.GetPixel(5, 15), 0u);
    EXPECT_EQ(c.GetPixel(5, 45), Rgb(255, 255, 255));
    EXPECT_EQ(c.GetPixel(5, 65), red);
    EXPECT_EQ(c.GetPixel(5, 95), red) << "the uncovered band is left for the caller";
    c.ScrollRect(50, 0, {0, 0, 200, 100}, {0, 0, 20, 100});
    EXPECT_EQ(c.GetPixel(55, 15), Rgb(255, 255, 255)) << "clipped";
}

TEST(QtCanvas, PdfDeviceDrawsAtItsResolution)
{
    test::TempDir dir;
    const auto file = dir / "canvas.pdf";
    {
        QPdfWriter writer(QString::fromStdString(file.string()));
        writer.setResolution(600);
        writer.setPageSize(QPageSize(QPageSize::Letter));
        QtCanvas c(&writer);
        EXPECT_EQ(c.Technology(), kTechnologyPrinter);
        EXPECT_EQ(c.PixelsPerInchX(), 600);
        c.SelectFont(arial(12));
        EXPECT_GT(c.Metrics().Height, 50); // 12 pt at 600 dpi is 100 pixels
        c.SetTextAlign(kAlignTop);
        c.TextOut(600, 600, "First page caf\xE9");
        EXPECT_TRUE(c.NewPage());
        c.TextOut(600, 600, "Second page");
        c.End();
    }
    auto text = test::commandOutput("pdftotext " + test::shellQuote(file.string()) + " -");
    ASSERT_TRUE(text);
    EXPECT_NE(text->find("First page caf\xC3\xA9"), std::string::npos);
    EXPECT_NE(text->find("Second page"), std::string::npos);
    EXPECT_NE(text->find('\f'), std::string::npos);
}
