// Printing a document page by page and into areas, on the fixed-metrics
// canvas: where pages break, what the header and footer bands get, and that
// the screen state comes back.
#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/recording_canvas.h"
#include "richtext/controls/rich_text_print.h"
#include "tests/support/text32.h"

using qn::test::Ansi;
using qn::test::U32;

using namespace qn;

namespace {

// Arial 10 pt on the recording canvas at 96 ppi: lines of 16 pixels.
class Doc : public TQnRTFTextPaint {
public:
    RecordingCanvas Screen{96, 96};

    Doc()
    {
        SetCanvas(&Screen);
        SetWindowHeight(300);
        SetWrapToWindow(true);
        SetWindowWidth(400);
    }

    void Fill(int paragraphs, const std::string &prefix = "line")
    {
        Clear();
        for (int i = 0; i < paragraphs; ++i) {
            const std::string text = prefix + std::to_string(i);
            if (i == 0)
                SetParagraphText(0, U32(text), nullptr);
            else
                AddParagraphWithText(i, U32(text), nullptr);
        }
        ReformatAll();
    }
};

// Pages on a recording canvas; the text of each page is kept apart.
class Pages : public TQnPrintTarget {
public:
    RecordingCanvas Printer{192, 192, kTechnologyPrinter, 1632, 2112};
    std::vector<size_t> PageStarts{0};
    int Offset = 0;

    Canvas *PageCanvas() override { return &Printer; }
    int OffsetX() const override { return Offset; }
    int OffsetY() const override { return Offset; }
    int PrintableHeight() const override { return 2112; }
    bool NewPage() override
    {
        PageStarts.push_back(Printer.Ops.size());
        return true;
    }

    std::string PageText(size_t page) const
    {
        std::string text;
        const size_t end = page + 1 < PageStarts.size() ? PageStarts[page + 1] : Printer.Ops.size();
        for (size_t i = PageStarts[page]; i < end; ++i)
            if (Printer.Ops[i].Type == CanvasOp::Glyphs)
                text += Printer.Ops[i].Text + " ";
        return text;
    }
    int PageCount() const { return int(PageStarts.size()); }
};

struct Band {
    int X, Y, W, H, Page, Line;
};

// Arial 10 pt on the recording canvas at 192 ppi: em 27, lines of 33 pixels.
constexpr int kLine = 33;

// One-inch margins and a text area that holds exactly `lines` lines at 192 ppi.
void setPage(Doc &doc, int lines)
{
    doc.Header->MarginTop = 1440;
    doc.Header->MarginBottom = 1440;
    doc.Header->MarginLeft = 1440;
    doc.Header->MarginRight = 1440;
    doc.Header->PageHeight = 2880 + (lines * kLine * 1440 + 191) / 192;
}

} // namespace

TEST(RichTextPrint, LinesCrossingThePageBottomAndPageBreaksStartNewPages)
{
    Doc doc;
    doc.Fill(12);
    setPage(doc, 5);
    doc.ParagraphAt(7)->ParFlags |= kParPageBreak;
    Pages pages;
    std::vector<Band> headers, footers;
    const auto outcome = PrintDocumentPages(
        doc, pages,
        [&](Canvas &, int x, int y, int w, int h, int page, int line) {
            headers.push_back({x, y, w, h, page, line});
        },
        [&](Canvas &, int x, int y, int w, int h, int page, int line) {
            footers.push_back({x, y, w, h, page, line});
        });
    // Lines 0-4 fill page 1, 5-6 go on page 2 until the page break before 7,
    // 7-11 fill page 3.
    ASSERT_EQ(pages.PageCount(), 3);
    EXPECT_EQ(pages.PageText(0), "line0 line1 line2 line3 line4 ");
    EXPECT_EQ(pages.PageText(1), "line5 line6 ");
    EXPECT_EQ(pages.PageText(2), "line7 line8 line9 line10 line11 ");
    EXPECT_EQ(outcome.Pages, 3);
    EXPECT_EQ(outcome.Lines, 12);
    ASSERT_EQ(headers.size(), 3u);
    ASSERT_EQ(footers.size(), 3u);
    // At 192 ppi: left margin 192, top margin 192, text area five lines high.
    EXPECT_EQ(headers[0].X, 192);
    EXPECT_EQ(headers[0].Y, 0);
    EXPECT_EQ(headers[0].H, 192);
    EXPECT_EQ(headers[0].W, 1248); // (12240 - 2880) twips of text width at 192 ppi
    EXPECT_EQ(footers[0].Y, 192 + 5 * kLine);
    EXPECT_EQ(footers[0].H, 2112 - 192 - 5 * kLine);
    EXPECT_EQ(headers[1].Page, 2);
    EXPECT_EQ(headers[1].Line, 6); // the line about to print, counted from 1
    EXPECT_EQ(footers[2].Page, 3);
}

TEST(RichTextPrint, LinesPrintAtTheMarginLessThePrintingOffsetOnEveryPage)
{
    Doc doc;
    doc.Fill(7);
    setPage(doc, 5);
    Pages pages;
    pages.Offset = 20;
    PrintDocumentPages(doc, pages, {}, {});
    ASSERT_EQ(pages.PageCount(), 2);
    std::vector<int> tops;
    for (size_t i = pages.PageStarts[1]; i < pages.Printer.Ops.size(); ++i)
        if (pages.Printer.Ops[i].Type == CanvasOp::Glyphs)
            tops.push_back(pages.Printer.Ops[i].Y);
    ASSERT_EQ(tops.size(), 2u);
    // The second page's first line sits where the first page's did.
    const auto first = pages.Printer.OpsOfKind(CanvasOp::Glyphs).front();
    EXPECT_EQ(tops[0], first->Y);
    EXPECT_EQ(tops[1] - tops[0], kLine);
    EXPECT_GE(first->X, 192 - 20);
    EXPECT_LT(first->Y, 192 - 20 + kLine);
}

TEST(RichTextPrint, APageBreakBeforeTheFirstParagraphLeavesNoBlankPage)
{
    Doc doc;
    doc.Fill(2);
    doc.ParagraphAt(0)->ParFlags |= kParPageBreak;
    Pages pages;
    PrintDocumentPages(doc, pages, {}, {});
    EXPECT_EQ(pages.PageCount(), 1);
    EXPECT_EQ(pages.PageText(0), "line0 line1 ");
}

TEST(RichTextPrint, TheScreenStateComesBackAfterPrintingAndAfterAFailure)
{
    Doc doc;
    doc.Fill(40);
    setPage(doc, 5);
    doc.SetZooming(150);
    doc.ScrollY = 48;
    const int ppi = doc.Header->PixelsPerInchX;
    const int layoutWidth = doc.Header->LayoutWidthPixels;
    const int height = doc.DocumentHeight;
    const uint8_t flags = doc.PaintFlags, flags2 = doc.PaintFlags2;
    auto unchanged = [&] {
        EXPECT_EQ(doc.GetCanvas(), &doc.Screen);
        EXPECT_EQ(doc.Header->PixelsPerInchX, ppi);
        EXPECT_EQ(doc.Header->LayoutWidthPixels, layoutWidth);
        EXPECT_EQ(doc.DocumentHeight, height);
        EXPECT_EQ(doc.PaintFlags, flags);
        EXPECT_EQ(doc.PaintFlags2, flags2);
        EXPECT_EQ(doc.WrapToWindow, 1);
        EXPECT_EQ(doc.OriginX, 0);
        EXPECT_EQ(doc.OriginY, 0);
        EXPECT_EQ(doc.WindowWidth, 400);
        EXPECT_EQ(doc.WindowHeight, 300);
        EXPECT_EQ(doc.ScrollY, 48);
    };
    {
        Pages pages;
        PrintDocumentPages(doc, pages, {}, {});
        EXPECT_GT(pages.Printer.Ops.size(), 0u);
    }
    unchanged();
    {
        Pages pages;
        EXPECT_THROW(PrintDocumentPages(doc, pages,
                                        [](Canvas &, int, int, int, int, int page, int) {
                                            if (page == 2)
                                                throw std::runtime_error("paper jam");
                                        },
                                        {}),
                     std::runtime_error);
    }
    unchanged();
    {
        Pages pages;
        int lines = 0;
        const auto outcome = PrintDocumentPages(doc, pages, {}, {}, [&] { return ++lines == 3; });
        EXPECT_TRUE(outcome.Aborted);
        EXPECT_EQ(pages.PageText(0), "line0 line1 line2 ");
    }
    unchanged();
    // The screen lays out at the window width again, not at the page's.
    EXPECT_EQ(doc.Header->LayoutWidthPixels, 400);
}

TEST(RichTextPrint, PrintLinesCountsTheLinesThatFitInBothModes)
{
    Doc doc;
    doc.Fill(10);
    RecordingCanvas printer{192, 192, kTechnologyPrinter};
    // Lines of 33 pixels: 3 fit in 100, the fourth (index 3) does not.
    EXPECT_EQ(PrintDocumentLines(doc, printer, 50, 0, 0, 100, 1000, 200), 3);
    EXPECT_TRUE(printer.OpsOfKind(CanvasOp::Glyphs).empty()) << "mode 0 only measures";
    EXPECT_EQ(PrintDocumentLines(doc, printer, 50, 1, 0, 100, 1000, 200), 3);
    auto glyphs = printer.OpsOfKind(CanvasOp::Glyphs);
    ASSERT_EQ(glyphs.size(), 3u);
    EXPECT_EQ(glyphs[0]->Text, "line0");
    EXPECT_GE(glyphs[0]->X, 50);
    EXPECT_GE(glyphs[0]->Y, 200);
    EXPECT_LE(glyphs[2]->Y, 300);
    // Going on from line 3: 3, 4, 5; then the rest fits and the answer is 0.
    printer.ClearOps();
    EXPECT_EQ(PrintDocumentLines(doc, printer, 50, 1, 3, 100, 1000, 0), 6);
    EXPECT_EQ(printer.OpsOfKind(CanvasOp::Glyphs).front()->Text, "line3");
    EXPECT_EQ(PrintDocumentLines(doc, printer, 50, 0, 6, 1000, 1000, 0), 0);
    EXPECT_EQ(PrintDocumentLines(doc, printer, 50, 1, 6, 4 * kLine, 1000, 0), 0);
    // The screen layout is back.
    EXPECT_EQ(doc.GetCanvas(), &doc.Screen);
    EXPECT_EQ(doc.Header->LayoutWidthPixels, 400);
}

TEST(RichTextPrint, PrintLinesBreaksAtTheGivenWidthAndAlwaysGetsFurther)
{
    Doc doc;
    doc.Fill(1, std::string(60, 'x') + " tail ");
    RecordingCanvas printer{192, 192, kTechnologyPrinter};
    // At 192 ppi a glyph is 13 pixels: 60 x's do not fit in 400 pixels.
    EXPECT_EQ(PrintDocumentLines(doc, printer, 0, 0, 0, 10000, 400, 0), 0);
    printer.ClearOps();
    // An area lower than one line: mode 1 still prints the first line.
    const int next = PrintDocumentLines(doc, printer, 0, 1, 0, 5, 400, 0);
    EXPECT_EQ(next, 1);
    EXPECT_EQ(printer.OpsOfKind(CanvasOp::Glyphs).size(), 1u);
}

TEST(RichTextPrint, PrintLinesStopsAtAPageBreakInsideTheLines)
{
    Doc doc;
    doc.Fill(6);
    doc.ParagraphAt(3)->ParFlags |= kParPageBreak;
    doc.ReformatAll();
    RecordingCanvas printer{192, 192, kTechnologyPrinter};
    // Room for all six, yet the page ends before the paragraph that starts one.
    EXPECT_EQ(PrintDocumentLines(doc, printer, 50, 0, 0, 10000, 1000, 0), 3);
    EXPECT_EQ(PrintDocumentLines(doc, printer, 50, 1, 0, 10000, 1000, 0), 3);
    ASSERT_EQ(printer.OpsOfKind(CanvasOp::Glyphs).size(), 3u);
    // Going on from there starts with it, with no break in front.
    printer.ClearOps();
    EXPECT_EQ(PrintDocumentLines(doc, printer, 50, 1, 3, 10000, 1000, 0), 0);
    auto glyphs = printer.OpsOfKind(CanvasOp::Glyphs);
    ASSERT_EQ(glyphs.size(), 3u);
    EXPECT_EQ(glyphs[0]->Text, "line3");
}
