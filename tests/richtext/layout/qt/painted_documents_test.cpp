// Documents painted with the real fonts onto a screen image, saved as PNG
// under build/screenshots for review and checked by pixel probes at the
// places the layout computed.
#include <QDir>
#include <QImage>
#include <gtest/gtest.h>

#include "platform/qt/qt_canvas.h"
#include "platform/winmath.h"
#include "richtext/layout/rtf_text_paint.h"
#include "tests/support/temp_dir.h"
#include "tests/support/text32.h"

using qn::test::Ansi;
using qn::test::U32;

using namespace qn;

namespace {

class PaintedDoc : public TQnRTFTextPaint {
public:
    QImage Image;
    std::unique_ptr<QtCanvas> Surface;

    PaintedDoc(int width, int height) : Image(width, height, QImage::Format_RGB32)
    {
        Image.fill(Qt::magenta); // anything left unpainted shows
        Surface = std::make_unique<QtCanvas>(&Image, 96, 96);
        BackgroundColor = Rgb(255, 255, 255);
        SetCanvas(Surface.get());
        SetWindowHeight(height);
        SetWrapToWindow(true);
        SetWindowWidth(width);
    }

    TParagraph *Add(const std::string &text, const TCharAttr &attr)
    {
        TParagraph *p = AddParagraphWithText(ParagraphCount(), U32(text), &attr);
        // A new paragraph inherits the look of the one before: start plain.
        p->FirstIndent = p->LeftIndent = p->RightIndent = 0;
        p->ParFlags = p->BorderFlags = p->BorderSpaceColor = p->BorderWidth = 0;
        p->TabMask = 0;
        return p;
    }

    ColorRef At(int x, int y) const
    {
        const QRgb p = Image.pixel(x, y);
        return Rgb(qRed(p), qGreen(p), qBlue(p));
    }

    void Save(const std::string &name)
    {
        const QString dir = QString::fromStdString((test::binaryDir() / "screenshots").string());
        QDir().mkpath(dir);
        EXPECT_TRUE(Image.save(dir + "/" + QString::fromStdString(name), "PNG"));
    }
};

TCharAttr look(int size, uint16_t style = 0, uint8_t colors = 0, uint8_t font = 0)
{
    TCharAttr a;
    a.Size = static_cast<uint8_t>(size);
    a.Style = style;
    a.Colors = colors;
    a.FontIndex = font;
    return a;
}

// A 24-bit bitmap of w x h pixels in one colour.
std::vector<uint8_t> solidDib(int w, int h, ColorRef color)
{
    const int stride = (w * 3 + 3) & ~3;
    std::vector<uint8_t> dib(40 + size_t(stride) * size_t(h), 0);
    dib[0] = 40;
    dib[4] = uint8_t(w);
    dib[8] = uint8_t(h);
    dib[12] = 1;
    dib[14] = 24;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t *px = dib.data() + 40 + y * stride + x * 3;
            px[0] = uint8_t(BlueOf(color));
            px[1] = uint8_t(GreenOf(color));
            px[2] = uint8_t(RedOf(color));
        }
    return dib;
}

bool darkIn(const PaintedDoc &doc, int x0, int x1, int y0, int y1)
{
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (qGray(doc.Image.pixel(x, y)) < 100)
                return true;
    return false;
}

} // namespace

TEST(PaintedDocuments, AFormattedEntry)
{
    PaintedDoc doc(480, 420);
    doc.Clear();
    const int times = doc.FindOrAddFont("Times New Roman");
    const int symbol = doc.FindOrAddFont("WingDings");
    doc.SetParagraphText(0, U32("A day at the sea"), nullptr);
    TLine *heading = doc.FirstParagraph->Lines;
    for (int i = 0; i < heading->Length; ++i)
        heading->Attrs[i] = look(16, kStyleBold, 0x0B, uint8_t(times)); // navy
    TParagraph *body = doc.Add("We walked along the beach before breakfast; the wind was "
                               "strong and the water cold.",
                               look(11));
    TParagraph *links = doc.Add("Underlined in red and a link in green.", look(11));
    TLine *ll = links->Lines; // until the layout breaks it into new lines
    for (int i = 0; i < 10; ++i)
        ll->Attrs[i] = look(11, kStyleUnderline, 0x01); // "Underlined" red
    for (int i = 24; i < 28; ++i)
        ll->Attrs[i] = look(11, kStyleDoubleUnderline, 0x03); // "link" blue
    TParagraph *boxed = doc.Add("A framed remark.", look(11));
    boxed->BorderFlags = kBorderOn | kBorderBox;
    boxed->BorderWidth = 1;
    boxed->BorderSpaceColor = 0x23; // 2 mm gap, blue
    boxed->LeftIndent = boxed->FirstIndent = 360;
    boxed->RightIndent = 720;
    TParagraph *bullet = doc.Add("l\tshells", look(11));
    bullet->Lines->Attrs[0] = look(11, 0, 0, uint8_t(symbol));
    TParagraph *cell1 = doc.Add("Morning", look(11));
    TParagraph *cell2 = doc.Add("Afternoon and evening", look(11));
    cell1->ParFlags = kParTableCell | kParCellRowOpen;
    cell2->ParFlags = kParTableCell | kParCellNotFirst;
    cell1->SetCellWidth(85);
    cell2->SetCellLeft(85);
    cell2->SetCellWidth(170);
    TParagraph *picture = doc.Add("Picture: ", look(11));
    auto g = std::make_shared<TQnGraphic>();
    g->Kind = gkDib;
    g->Data = solidDib(4, 2, Rgb(0, 128, 128));
    TQnObject *object = doc.AddObject(g, 0);
    object->Width = 720;  // 48 pixels
    object->Height = 360; // 24 pixels
    TCharAttr objectLook = look(11, kStyleObject);
    objectLook.Tag = static_cast<int16_t>(object->Id);
    doc.InsertText(picture, 9, &objectLook, U32("\x02"));
    auto meta = std::make_shared<TQnGraphic>();
    meta->Kind = gkMetafile;
    TQnObject *metafile = doc.AddObject(meta, 0);
    metafile->Width = metafile->Height = 450; // 30 pixels
    objectLook.Tag = static_cast<int16_t>(metafile->Id);
    doc.InsertText(picture, 10, &objectLook, U32("\x02"));
    TParagraph *next = doc.Add("A new page starts here.", look(11));
    next->ParFlags |= kParPageBreak;
    doc.PaintGrayTable = true;
    doc.ReformatAll();

    // A selection from "walked" to "Under".
    doc.BlockStarted = true;
    doc.BlockAnchor = {body, body->Lines, 3};
    doc.BlockEnd = {links, links->Lines, 5};
    doc.PaintAll();
    doc.Save("layout_entry.png");

    ll = links->Lines;
    // The selection: highlight behind the selected text of the first line.
    const ColorRef highlight = doc.Surface->ResolveColor(kSysColorHighlight);
    TLine *bodyLine = body->Lines;
    const int selX = doc.XOfChar(body, bodyLine, 3);
    EXPECT_EQ(doc.At(selX, bodyLine->Top + 1), highlight);
    EXPECT_EQ(doc.At(doc.XOfChar(body, bodyLine, 0), bodyLine->Top + 1), Rgb(255, 255, 255));
    // ... across the line's end and into the next paragraph.
    ASSERT_TRUE(bodyLine->Next);
    EXPECT_EQ(doc.At(470, bodyLine->Next->Top + 1), Rgb(255, 255, 255))
        << "paper after the text, outside a table";
    EXPECT_EQ(doc.At(doc.XOfChar(links, ll, 2), ll->Top + 1), highlight);
    EXPECT_EQ(doc.At(doc.XOfChar(links, ll, 7), ll->Top + 1), Rgb(255, 255, 255));

    // The red underline under "lined" (unselected), the green link mark.
    doc.SelectFont(ll->Attrs[6]);
    const FontMetrics m = doc.Surface->Metrics();
    const int underlineY = ll->Top + ll->Ascent + m.UnderlinePosition;
    EXPECT_EQ(doc.At(doc.XOfChar(links, ll, 8), underlineY), Rgb(255, 0, 0));
    EXPECT_EQ(doc.At(doc.XOfChar(links, ll, 26), underlineY), Rgb(0, 128, 0));

    // The box: blue, at the left indent, around the text with its gap.
    TLine *bl = boxed->Lines;
    const int boxLeft = MulDiv(360, 96, 1440);
    EXPECT_EQ(doc.At(boxLeft, bl->Top + bl->Height / 2), Rgb(0, 0, 255));
    EXPECT_EQ(doc.At(boxLeft + 5, bl->Top), Rgb(0, 0, 255));
    EXPECT_GT(doc.LineStartX(boxed, bl), boxLeft + 7) << "the 2 mm gap";

    // The bullet is drawn, and the tab after it lands on a ruler step.
    TLine *bu = bullet->Lines;
    EXPECT_TRUE(darkIn(doc, 1, doc.XOfChar(bullet, bu, 1), bu->Top, bu->Top + bu->Height));
    EXPECT_EQ(doc.XOfChar(bullet, bu, 2), 32);

    // The grey grid between the cells, both cells ending together.
    const ColorRef shadow = doc.Surface->ResolveColor(kSysColorButtonShadow);
    const int gridX = doc.LeftIndentPixels(cell2, false) - 1;
    EXPECT_EQ(doc.At(gridX, cell2->Lines->Top + 3), shadow);
    EXPECT_EQ(cell1->LastLine()->Top + cell1->LastLine()->Height,
              cell2->LastLine()->Top + cell2->LastLine()->Height);

    // The picture in its colour, the placeholder framed.
    TLine *pl = picture->Lines;
    const int px = doc.XOfChar(picture, pl, 9);
    EXPECT_EQ(doc.At(px + 24, pl->Top + pl->Ascent - 12), Rgb(0, 128, 128));
    EXPECT_EQ(doc.At(px + 48, pl->Top + pl->Ascent - 1), shadow);

    // The page-break sign: a dotted grey rule across the window, never black
    // like underlined text, and its label right of the line's text.
    TLine *nl = next->Lines;
    int grey = 0, black = 0;
    for (int x = 0; x < 480; ++x) {
        grey += doc.At(x, nl->Top) == Rgb(128, 128, 128);
        black += doc.At(x, nl->Top) == Rgb(0, 0, 0);
    }
    EXPECT_GT(grey, 100);
    EXPECT_LT(grey, 460);
    EXPECT_EQ(black, 0);
    int label = 0;
    for (int y = nl->Top + 1; y < nl->Top + nl->Height; ++y)
        for (int x = 400; x < 480; ++x)
            label += doc.At(x, y) != Rgb(255, 255, 255);
    EXPECT_GT(label, 10) << "the label \"page break\"";

    // Nothing left unpainted above the text's end or below it.
    for (int y = 0; y < 420; y += 7)
        for (int x = 0; x < 480; x += 7)
            ASSERT_NE(doc.At(x, y), Rgb(255, 0, 255)) << x << "," << y;
}

TEST(PaintedDocuments, ScrollingRepaintsOnlyTheUncoveredBand)
{
    PaintedDoc doc(300, 120);
    doc.Clear();
    for (int i = 0; i < 30; ++i)
        doc.Add("Line " + std::to_string(i + 1), look(10));
    doc.ReformatAll();
    doc.PaintAll();
    const int lineHeight = doc.FirstParagraph->Lines->Height;
    doc.ScrollDown(lineHeight * 2);
    // What the scroll moved and what was painted fresh look like one picture:
    // paint the same view from scratch and compare.
    QImage scrolled = doc.Image.copy();
    doc.Image.fill(Qt::magenta);
    doc.PaintAll();
    EXPECT_EQ(scrolled, doc.Image);
    doc.Save("layout_scrolled.png");
}

TEST(PaintedDocuments, TypingRepaintsTheChangedLineAlone)
{
    PaintedDoc doc(300, 120);
    doc.Clear();
    doc.SetParagraphText(0, U32("Short line\nand a second line"), nullptr);
    doc.Add("Below", look(10));
    doc.ReformatAll();
    doc.PaintAll();
    TParagraph *p = doc.FirstParagraph;
    TLine *first = p->Lines;
    ASSERT_TRUE(first->Next);
    // Paint the other lines over in magenta: a repaint must not touch them.
    const int top2 = first->Next->Top;
    {
        QPainter *painter = doc.Surface->Painter();
        painter->fillRect(QRect(0, top2, 300, 120 - top2), Qt::magenta);
    }
    doc.InsertChar(p, first, 'X', 0);
    p->State |= kStateRepaint;
    const int change = doc.ReformatParagraph(p);
    ASSERT_EQ(change, kBreakLineChanged);
    doc.RepaintChangedLines(p, change);
    EXPECT_EQ(doc.At(150, top2 + 2), Rgb(255, 0, 255)) << "lines below untouched";
    EXPECT_TRUE(darkIn(doc, 1, 12, first->Top, first->Top + first->Height));
}
