// Printing through the rich text control onto the "Print to PDF" printer,
// read back with pdftotext: pages break where a paragraph asks and where a
// line would cross the bottom of the text area, headers and footers get
// their bands, and the screen is as before whatever happens.
#include <QApplication>
#include <QDir>
#include <gtest/gtest.h>

#include <sstream>

#include "platform/qt/print_job.h"
#include "platform/qt/printers.h"
#include "platform/unicode_text.h"
#include "richtext/controls/rich_text.h"
#include "tests/richtext/io/unicode_samples.h"
#include "tests/support/command.h"
#include "tests/support/temp_dir.h"

using namespace qn;

namespace {

class RichTextPdfTest : public testing::Test {
protected:
    void SetUp() override
    {
        saved = CurrentPrinter();
        CurrentPrinter().PrinterName = kPdfPrinterName;
        CurrentPrinter().PageSize = QPageSize(QPageSize::Letter);
        CurrentPrinter().Orientation = QPageLayout::Portrait;
        CurrentPrinter().PdfResolution = 600;
        window = std::make_unique<QWidget>();
        window->resize(520, 420);
        edit = new TQnRichText(window.get());
        edit->setGeometry(0, 0, 500, 400);
        edit->SetWordWrap(true);
        window->show();
        QApplication::processEvents();
    }
    void TearDown() override
    {
        window.reset();
        CurrentPrinter() = saved;
    }

    std::string print(const std::string &name)
    {
        const auto file = dir / name;
        CurrentPrinter().PdfFileName = QString::fromStdString(file.string());
        EXPECT_TRUE(edit->Print());
        return file.string();
    }

    // The text of each page.
    static std::vector<std::string> pages(const std::string &pdf)
    {
        std::vector<std::string> result;
        auto text = test::commandOutput("pdftotext " + test::shellQuote(pdf) + " -");
        if (!text)
            return result;
        std::string page;
        for (char c : *text) {
            if (c == '\f') {
                result.push_back(page);
                page.clear();
            } else {
                page += c;
            }
        }
        return result;
    }

    TPrinterSetup saved;
    test::TempDir dir;
    std::unique_ptr<QWidget> window;
    TQnRichText *edit = nullptr;
};

// n paragraphs "Line 00" .. at 12 pt, one-inch margins on Letter.
std::string numberedLines(int n)
{
    std::ostringstream rtf;
    rtf << "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\paperw12240\\paperh15840"
           "\\margl1440\\margr1440\\margt1440\\margb1440\\f0\\fs24 ";
    for (int i = 0; i < n; ++i) {
        char line[16];
        std::snprintf(line, sizeof line, "Line %02d", i);
        rtf << line << (i + 1 < n ? "\\par " : "");
    }
    rtf << "}";
    return rtf.str();
}

} // namespace

TEST_F(RichTextPdfTest, PageBreaksAndLinesPastThePageBottomStartNewPages)
{
    edit->SetText(numberedLines(80));
    edit->RtfText().ParagraphAt(10)->ParFlags |= kParPageBreak;
    edit->RtfText().ReformatAll();
    const std::string pdf = print("breaks.pdf");
    const auto texts = pages(pdf);
    ASSERT_GE(texts.size(), 3u) << "is pdftotext (poppler-utils) installed?";
    // The page break: page 1 ends with line 09, page 2 starts with line 10.
    EXPECT_NE(texts[0].find("Line 09"), std::string::npos);
    EXPECT_EQ(texts[0].find("Line 10"), std::string::npos);
    EXPECT_EQ(texts[1].rfind("Line 10", 0), 0u) << texts[1].substr(0, 40);
    // Every line printed exactly once, in order, over the pages.
    std::string all;
    for (const auto &t : texts)
        all += t;
    size_t at = 0;
    for (int i = 0; i < 80; ++i) {
        char line[16];
        std::snprintf(line, sizeof line, "Line %02d", i);
        const size_t found = all.find(line, at);
        ASSERT_NE(found, std::string::npos) << line;
        EXPECT_EQ(all.find(line, found + 1), std::string::npos) << line << " twice";
        at = found;
    }
    // Nothing is printed into the top or bottom margin (72 points each).
    auto boxes = test::commandOutput("pdftotext -bbox " + test::shellQuote(pdf) + " -");
    ASSERT_TRUE(boxes.has_value());
    std::istringstream in(*boxes);
    std::string token;
    int words = 0;
    while (in >> token) {
        if (token.rfind("<word", 0) != 0)
            continue;
        double yMin = 0, yMax = 0;
        std::string attr;
        while (in >> attr && attr.find('>') == std::string::npos) {
            if (attr.rfind("yMin=", 0) == 0)
                yMin = std::stod(attr.substr(6));
            if (attr.rfind("yMax=", 0) == 0)
                yMax = std::stod(attr.substr(6));
        }
        if (attr.rfind("yMax=", 0) == 0)
            yMax = std::stod(attr.substr(6));
        ++words;
        EXPECT_GE(yMin, 71.0);
        EXPECT_LE(yMax, 792.0 - 72.0 + 1.0);
    }
    EXPECT_EQ(words, 160);
}

TEST_F(RichTextPdfTest, HeadersAndFootersGetTheirBandsOnEveryPage)
{
    edit->SetText(numberedLines(100));
    struct Band {
        int x, y, w, h, page, line;
    };
    std::vector<Band> headers, footers;
    edit->PrintHeader = [&](TQnCustomRichText *, Canvas &c, int x, int y, int w, int h, int page,
                            int line) {
        headers.push_back({x, y, w, h, page, line});
        FontSpec f;
        f.Name = "Arial";
        f.SizePoints = 12;
        f.Bold = f.Italic = true;
        c.SelectFont(f);
        c.SetTextAlign(kAlignTop);
        c.TextOut(x, y + h / 2, "Header " + std::to_string(page));
    };
    edit->PrintFooter = [&](TQnCustomRichText *, Canvas &c, int x, int y, int w, int h, int page,
                            int line) {
        footers.push_back({x, y, w, h, page, line});
        c.SetTextAlign(kAlignTop);
        c.TextOut(x, y + h / 4, "Footer " + std::to_string(page));
    };
    const std::string pdf = print("bands.pdf");
    const auto texts = pages(pdf);
    ASSERT_EQ(headers.size(), texts.size());
    ASSERT_EQ(footers.size(), texts.size());
    for (size_t i = 0; i < texts.size(); ++i) {
        EXPECT_NE(texts[i].find("Header " + std::to_string(i + 1)), std::string::npos);
        EXPECT_NE(texts[i].find("Footer " + std::to_string(i + 1)), std::string::npos);
        EXPECT_EQ(headers[i].page, int(i) + 1);
    }
    // At 600 dpi with no unprintable border: one-inch margins are 600 pixels.
    EXPECT_EQ(headers[0].x, 600);
    EXPECT_EQ(headers[0].y, 0);
    EXPECT_EQ(headers[0].h, 600);
    EXPECT_EQ(headers[0].w, 6.5 * 600);
    EXPECT_EQ(footers[0].y, 600 + 9 * 600);
    EXPECT_EQ(footers[0].h, 600);
    EXPECT_EQ(headers[0].line, 1);
    EXPECT_GT(headers[1].line, 1);
    EXPECT_EQ(footers.back().line, 101) << "after the last line";
}

TEST_F(RichTextPdfTest, TheScreenComesBackAfterPrintingAbortingFailingAndCancelling)
{
    edit->SetText(numberedLines(100));
    edit->SetZooming(125);
    edit->SetCursorOffset(30);
    edit->RtfText().ScrollY = 40;
    edit->Repaint();
    const TQnRTFTextInput &d = edit->RtfText();
    const int ppi = d.Header->PixelsPerInchY, width = d.Header->LayoutWidthPixels;
    const int height = d.DocumentHeight, windowHeight = d.WindowHeight;
    const QImage before = edit->BackingImage().copy();
    auto same = [&] {
        EXPECT_EQ(d.Header->PixelsPerInchY, ppi);
        EXPECT_EQ(d.Header->LayoutWidthPixels, width);
        EXPECT_EQ(d.DocumentHeight, height);
        EXPECT_EQ(d.WindowHeight, windowHeight);
        EXPECT_EQ(d.OriginX, 0);
        EXPECT_EQ(d.OriginY, 0);
        EXPECT_EQ(d.ScrollY, 40);
        EXPECT_EQ(edit->GetCursorOffset(), 30);
        EXPECT_EQ(d.GetCanvas()->Technology(), kTechnologyDisplay);
        EXPECT_TRUE(edit->BackingImage() == before) << "the screen shows what it showed";
    };
    print("plain.pdf");
    same();

    // A header handler that stops the run: nothing is kept.
    edit->PrintHeader = [](TQnCustomRichText *sender, Canvas &, int, int, int, int, int page, int) {
        if (page == 2)
            sender->AbortPrint();
    };
    CurrentPrinter().PdfFileName = QString::fromStdString((dir / "aborted.pdf").string());
    EXPECT_FALSE(edit->Print());
    EXPECT_FALSE(std::filesystem::exists(dir / "aborted.pdf"));
    same();

    // A handler that throws: the failure reaches the caller, the screen is back.
    edit->PrintHeader = [](TQnCustomRichText *, Canvas &, int, int, int, int, int page, int) {
        if (page == 2)
            throw std::runtime_error("out of paper");
    };
    CurrentPrinter().PdfFileName = QString::fromStdString((dir / "failed.pdf").string());
    EXPECT_THROW(edit->Print(), std::runtime_error);
    same();
    edit->PrintHeader = nullptr;

    // The user cancels the question for the file: nothing is printed or changed.
    CurrentPrinter().PdfFileName.clear();
    auto previous = SetPdfFileQuestion([] { return QString(); });
    EXPECT_FALSE(edit->Print());
    same();
    // A named file is written.
    const QString named = QString::fromStdString((dir / "named.pdf").string());
    SetPdfFileQuestion([&] { return named; });
    EXPECT_TRUE(edit->Print());
    EXPECT_TRUE(std::filesystem::exists(dir / "named.pdf"));
    SetPdfFileQuestion(previous);
    same();
}

TEST_F(RichTextPdfTest, PrintLinesThroughTheControlOnAPdfCanvas)
{
    edit->SetText(numberedLines(30));
    CurrentPrinter().PdfFileName = QString::fromStdString((dir / "lines.pdf").string());
    TPrintJob pdf(CurrentPrinter());
    ASSERT_TRUE(pdf.Begin("lines"));
    Canvas &canvas = *pdf.PageCanvas();
    // Measure, then draw the same run: both say where the next page begins.
    const int measured = edit->PrintLines(canvas, 600, 0, 0, 3000, 3000, 600);
    const int drawn = edit->PrintLines(canvas, 600, 1, 0, 3000, 3000, 600);
    EXPECT_GT(measured, 0);
    EXPECT_EQ(measured, drawn);
    pdf.NewPage();
    EXPECT_EQ(edit->PrintLines(canvas, 600, 1, drawn, 9000, 3000, 600), 0);
    ASSERT_TRUE(pdf.End());
    const auto texts = pages(pdf.OutputFile().toStdString());
    ASSERT_EQ(texts.size(), 2u);
    char first[16];
    std::snprintf(first, sizeof first, "Line %02d", drawn);
    EXPECT_EQ(texts[1].rfind(first, 0), 0u);
    EXPECT_EQ(edit->RtfText().GetCanvas()->Technology(), kTechnologyDisplay);
}

// A formatted entry of several pages with a dated header and a footer, as
// the diary prints one; kept under build/screenshots for review.
TEST_F(RichTextPdfTest, AFormattedDocumentPrintsWithHeadersAndFooters)
{
    std::ostringstream rtf;
    rtf << "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}{\\f1 Times New Roman;}{\\f2 Courier New;}}"
           "{\\colortbl;\\red0\\green0\\blue0;\\red200\\green0\\blue0;\\red0\\green0\\blue160;"
           "\\red0\\green128\\blue0;}"
           "\\paperw12240\\paperh15840\\margl1440\\margr1440\\margt1890\\margb1440"
           "\\pard\\qc\\sa240\\f0\\fs40\\b A Week by the Sea\\b0\\par"
           "\\pard\\qj\\sa120\\f1\\fs24 ";
    const char *body =
        "The morning began grey and quiet, the harbour still asleep under a low sky. "
        "We walked along the quay past the fishing boats, counting the gulls that sat "
        "in rows on the railings, and stopped for coffee at the little kiosk by the "
        "lighthouse. ";
    for (int day = 1; day <= 14; ++day) {
        rtf << "\\pard\\sb120\\sa60\\f0\\fs28\\cf3\\b Day " << day << "\\b0\\cf0\\par"
            << "\\pard\\qj\\sa120\\f1\\fs24 " << body << "{\\i In the afternoon} the wind "
            << "turned and {\\cf2 the first rain} came across the water; we read, wrote "
            << "letters and watched the {\\ul ferries} come and go. " << body << "\\par"
            << "\\pard\\li720\\f2\\fs20\\cf4 tide " << day << ":00  high, " << (day + 6) % 12
            << ":30  low\\cf0\\par";
        if (day == 7)
            rtf << "\\pard\\qc\\f0\\fs32\\page\\b The second week\\b0\\par";
    }
    rtf << "\\pard\\f1\\fs24 The end.}";
    edit->SetText(rtf.str());
    edit->PrintHeader = [](TQnCustomRichText *, Canvas &c, int x, int y, int w, int h, int page,
                           int) {
        FontSpec f;
        f.Name = "Arial";
        f.SizePoints = 12;
        f.Bold = f.Italic = true;
        c.SelectFont(f);
        c.SetTextAlign(kAlignTop);
        c.SetBackgroundMode(BackgroundMode::Transparent);
        c.TextOut(x, y + h / 2, "Monday, July 8, 2024  -  page " + std::to_string(page));
        c.SetPen(0, 1);
        c.MoveTo(x, y + h - h / 4);
        c.LineTo(x + w, y + h - h / 4);
    };
    edit->PrintFooter = [](TQnCustomRichText *, Canvas &c, int x, int y, int w, int h, int page,
                           int) {
        c.SetPen(0, 1);
        c.MoveTo(x, y);
        c.LineTo(x + w, y);
        FontSpec f;
        f.Name = "Arial";
        f.SizePoints = 9;
        c.SelectFont(f);
        c.SetTextAlign(kAlignTop);
        c.SetBackgroundMode(BackgroundMode::Transparent);
        c.TextOut(x + w / 2 - 100, y + h / 5, "- " + std::to_string(page) + " -");
    };
    const std::string pdf = print("formatted.pdf");
    const auto texts = pages(pdf);
    ASSERT_GE(texts.size(), 3u);
    for (size_t i = 0; i < texts.size(); ++i)
        EXPECT_NE(texts[i].find("page " + std::to_string(i + 1)), std::string::npos);
    // "The second week" opens a page of its own.
    int opened = 0;
    for (const auto &t : texts) {
        const size_t at = t.find("The second week");
        if (at != std::string::npos) {
            ++opened;
            EXPECT_EQ(t.substr(0, at).find("Day"), std::string::npos);
        }
    }
    EXPECT_EQ(opened, 1);
    const auto keep = test::binaryDir() / "screenshots";
    std::filesystem::create_directories(keep);
    std::filesystem::copy_file(pdf, keep / "rich_text_print.pdf",
                               std::filesystem::copy_options::overwrite_existing);
}

// An entry of every script on paper: characters the entry's font lacks are
// drawn by a font that has them, and the PDF's text holds them all (what a
// reader copies out of it). The PDF and a picture of its page are left in
// build/screenshots for review.
TEST_F(RichTextPdfTest, EveryScriptIsPrinted)
{
    std::string rtf = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs24 ";
    const std::u32string lines[] = {U"Łódź, Kraków, Gdańsk",
                                    U"Καλημέρα, Αθήνα",
                                    U"Съешь же ещё этих мягких булок",
                                    U"日本語のテキスト、カタカナ",
                                    U"你好，世界",
                                    U"Emoji \U0001F600 \U0001F44D\U0001F3FD"};
    for (const std::u32string &line : lines) {
        for (const char16_t unit : unicode::ToUtf16(line))
            rtf += unit < 0x80 ? std::string(1, char(unit))
                               : "\\u" + std::to_string(int16_t(unit)) + "?";
        rtf += "\\par ";
    }
    edit->SetText(rtf + "}");
    const auto shots = test::binaryDir() / "screenshots";
    std::filesystem::create_directories(shots);
    const std::string pdf = print("every_script.pdf");
    std::filesystem::copy_file(pdf, shots / "every_script.pdf",
                               std::filesystem::copy_options::overwrite_existing);
    const auto text = test::commandOutput("pdftotext " + test::shellQuote(pdf) + " -");
    ASSERT_TRUE(text.has_value()) << "is pdftotext (poppler-utils) installed?";
    for (const std::u32string &line : lines) {
        if (line.rfind(U"Emoji", 0) == 0)
            continue; // colour emoji are pictures in a PDF, not text
        EXPECT_NE(text->find(unicode::ToUtf8(line)), std::string::npos)
            << unicode::ToUtf8(line) << " not in:\n"
            << *text;
    }
    test::commandOutput("pdftoppm -r 60 -png -singlefile " + test::shellQuote(pdf) + " " +
                        test::shellQuote((shots / "every_script_printed").string()));
    // The screen is drawn too.
    EXPECT_TRUE(
        window->grab().save(QString::fromStdString((shots / "every_script_screen.png").string())));
}
