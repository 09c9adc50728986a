#include <gtest/gtest.h>

#include <cstring>

#include "html_test_util.h"
#include "io_test_util.h"
#include "tests/support/text32.h"

namespace qn::test {
namespace {

// Appends a run to the end of a paragraph.
void appendRun(TQnRTFText &doc, TParagraph *p, std::string_view text, const TCharAttr &a)
{
    doc.AppendToLine(p->LastLine(), U32(text), a);
}

TEST(HtmlWriter, HeaderAndPlainParagraphs)
{
    TQnRTFText doc;
    setText(doc, 0, "one");
    setText(doc, 1, "two");
    doc.Header->Title = "A <day>";
    doc.Header->Colors[0] = 0x00332211;
    const std::string html = writeHtml(doc);
    EXPECT_EQ(html.substr(0, html.find("<p>")), "<html>\r\n<title>A &lt;day&gt;</title>\r\n"
                                                "<BASEFONT FACE=\"Arial\" COLOR=#112233>\r\n");
    EXPECT_EQ(htmlBody(html),
              "<p><FONT SIZE=2>one</FONT></p>\r\n<p><FONT SIZE=2>two</FONT></p>\r\n");
    EXPECT_EQ(html.substr(html.size() - 9), "\r\n</html>");
}

TEST(HtmlWriter, TextEscapingKeepsBackslashesAndBraces)
{
    TQnRTFText doc;
    TCharAttr a = makeAttr(0, 12);
    std::string text = "a<b>&c \\{x} \xE9\x02\t";
    text += '\n';
    text += "z";
    doc.SetParagraphText(0, U32(text), &a);
    EXPECT_EQ(htmlBody(writeHtml(doc)), "<p>a&lt;b&gt;&amp;c \\{x} &#233;&#9;<br>\r\nz</p>\r\n");
}

TEST(HtmlWriter, CharacterElementsAndFontAttributes)
{
    TQnRTFText doc;
    const int courier = doc.FindOrAddFont("Courier New");
    TParagraph *p = doc.FirstParagraph;
    appendRun(doc, p, "b", makeAttr(kStyleBold | kStyleItalic | kStyleUnderline, 12));
    appendRun(doc, p, "s", makeAttr(kStyleSuperscript, 24, 0x31, static_cast<uint8_t>(courier)));
    appendRun(doc, p, "n", makeAttr(0, 12));
    EXPECT_EQ(htmlBody(writeHtml(doc)),
              "<p><b><u><i>b</i></u></b>"
              "<sup><FONT FACE=\"Courier New\" SIZE=6 COLOR=#FF0000 BGCOLOR=#0000FF>s</FONT></sup>"
              "n</p>\r\n");
}

TEST(HtmlWriter, LinksFromDoubleUnderlineAndHiddenText)
{
    TQnRTFText doc;
    TParagraph *p = doc.FirstParagraph;
    appendRun(doc, p, "go ", makeAttr(0, 12));
    appendRun(doc, p, "here", makeAttr(kStyleDoubleUnderline, 12));
    appendRun(doc, p, "http://a.b/?x=1&y=\"2\"", makeAttr(kStyleHidden, 12));
    appendRun(doc, p, " or ", makeAttr(0, 12));
    appendRun(doc, p, "there", makeAttr(kStyleDoubleUnderline | kStyleBold, 12));
    appendRun(doc, p, ".", makeAttr(0, 12));
    EXPECT_EQ(htmlBody(writeHtml(doc)),
              "<p>go <A HREF=\"http://a.b/?x=1&amp;y=&quot;2&quot;\">here</A> or "
              "<A><b>there</b></A>.</p>\r\n");
}

TEST(HtmlWriter, LinkAtTheEndOfTheDocumentIsWritten)
{
    TQnRTFText doc;
    TParagraph *p = doc.FirstParagraph;
    appendRun(doc, p, "end", makeAttr(kStyleDoubleUnderline, 12));
    appendRun(doc, p, "x.html", makeAttr(kStyleHidden, 12));
    EXPECT_EQ(htmlBody(writeHtml(doc)), "<p><A HREF=\"x.html\">end</A></p>\r\n");
}

TEST(HtmlWriter, NestedListsWithoutGeneratedNumbers)
{
    TQnRTFText doc;
    TCharAttr num = makeAttr(kStyleListNumber, 12);
    TCharAttr plain = makeAttr(0, 12);
    const struct {
        uint8_t numbering;
        const char *number, *text;
    } items[] = {
        {0x61, "1.\t", "a"}, {0x32, "a)\t", "b"}, {0x32, "b)\t", "c"}, {0x61, "2.\t", "d"}};
    for (int i = 0; i < 4; ++i) {
        TParagraph *p = i == 0 ? doc.FirstParagraph : doc.AddParagraphWithText(i, U32(""), &plain);
        p->Numbering = items[i].numbering;
        appendRun(doc, p, items[i].number, num);
        appendRun(doc, p, items[i].text, plain);
    }
    setText(doc, 4, "after");
    doc.LastParagraph()->Numbering = 0;
    EXPECT_EQ(htmlBody(writeHtml(doc)), "<ol TYPE=1><li>a</li>\r\n"
                                        "<ol TYPE=a><li>b</li>\r\n<li>c</li>\r\n</ol>\r\n"
                                        "<li>d</li>\r\n</ol>\r\n"
                                        "<p><FONT SIZE=2>after</FONT></p>\r\n");
}

TEST(HtmlWriter, HeadingWithoutFontElements)
{
    TQnRTFText doc;
    TParProps props;
    const uint8_t id = doc.AddStyle(props, "h1");
    const TCharAttr big = makeAttr(kStyleBold, 22, 0x01, 0);
    doc.SetParagraphText(0, U32("Big"), &big);
    doc.FirstParagraph->StyleId = id;
    doc.FirstParagraph->Alignment = kAlignCenter;
    setText(doc, 1, "x");
    doc.LastParagraph()->StyleId = 0;
    doc.LastParagraph()->Alignment = kAlignLeft;
    EXPECT_EQ(htmlBody(writeHtml(doc)),
              "<H1 ALIGN=\"CENTER\">Big</H1>\r\n<p><FONT SIZE=2>x</FONT></p>\r\n");
}

TEST(HtmlWriter, TablesRulesAndBorderedParagraphs)
{
    TQnRTFText doc;
    readHtml(doc, "<table><tr><td colspan=2 align=right>A</td></tr><tr><td rowspan=2>B<td>C"
                  "<tr><td>D</table><hr><table border><tr><td>boxed</table>");
    EXPECT_EQ(htmlBody(writeHtml(doc)),
              "\r\n<table BORDER><tr><td COLSPAN=2 ALIGN=\"RIGHT\">A</td>\r\n</tr>\r\n"
              "<tr><td ROWSPAN=2>B</td>\r\n<td>C</td>\r\n</tr>\r\n"
              "<tr><td>D</td>\r\n</tr>\r\n</table>\r\n"
              "<hr>"
              "\r\n<table BORDER><td>boxed</td></table>\r\n");
}

TEST(HtmlWriter, ObjectsWithFileNamesAndFootnotes)
{
    TQnRTFText doc;
    TQnObject *named = doc.AddObject(nullptr, -1);
    named->FileName = "a\"b.bmp";
    named->Width = 150;
    named->Height = 300;
    TQnObject *unnamed = doc.AddObject(std::make_shared<TQnGraphic>(), 7);
    TQnFootnote *note = doc.AddFootnote('!', 0, "see <b>me</b>");
    TParagraph *p = doc.FirstParagraph;
    appendRun(doc, p, "\x01", makeAttr(kStyleObject, 12, 0, 0, static_cast<int16_t>(named->Tag)));
    appendRun(doc, p, "\x01", makeAttr(kStyleObject, 12, 0, 0, static_cast<int16_t>(unnamed->Tag)));
    appendRun(doc, p, "!", makeAttr(kStyleRaised, 12, 0, 0, static_cast<int16_t>(note->Id)));
    EXPECT_EQ(htmlBody(writeHtml(doc)),
              "<p><IMG SRC=\"a&quot;b.bmp\" WIDTH=\"10\" HEIGHT=\"20\">see <b>me</b></p>\r\n");
    EXPECT_EQ(
        htmlBody(writeHtml(doc, shcHiddenFootnote)),
        "<p><IMG SRC=\"a&quot;b.bmp\" WIDTH=\"10\" HEIGHT=\"20\"><!--see <b>me</b>--></p>\r\n");
    EXPECT_EQ(htmlBody(writeHtml(doc, shcOFF)),
              "<p><IMG SRC=\"a&quot;b.bmp\" WIDTH=\"10\" HEIGHT=\"20\"></p>\r\n");
}

TEST(HtmlWriter, ShortWriteIsReported)
{
    struct Full : TQnMemoryStream {
        int64_t Write(const void *, int64_t) override { return 0; }
    };
    TQnRTFText doc;
    setText(doc, 0, "x");
    Full out;
    EXPECT_EQ(WriteHTMLDocument(doc, out), kWriteShort);
}

// What the writer writes, the reader reads back as the same document.
TEST(HtmlRoundTrip, LinksListsTablesAndStylesSurvive)
{
    const std::string source =
        "<title>Diary</title><h2>Monday</h2><p>Went to <a "
        "href=\"http://example.org/x?a=1&amp;b=2\">the "
        "<b>site</b></a>, paid 5 &lt; 6 \\{ok}.</p>"
        "<ol><li>one<ol type=i><li>sub</ol><li>two</ol>"
        "<table border><tr><td>a<td colspan=2>b<tr><td rowspan=2>c<td>d<td>e<tr><td>f<td>g</table>"
        "<p align=right><font color=#102030 size=5 face=Verdana>big</font> caf&#233;<!--hidden "
        "note--></p>";
    TQnRTFText first;
    TQnHTMLReadOptions options;
    options.Comments = shcHiddenFootnote;
    readHtml(first, source, options);
    const std::string html = writeHtml(first, shcHiddenFootnote);
    TQnRTFText second;
    readHtml(second, html, options);
    EXPECT_EQ(second.Header->Title, "Diary");
    ASSERT_EQ(paragraphTexts(second), paragraphTexts(first)) << html;
    for (const TParagraph *a = first.FirstParagraph, *b = second.FirstParagraph; a && b;
         a = a->Next, b = b->Next) {
        SCOPED_TRACE(Ansi(TQnRTFText::ParagraphText(a)));
        EXPECT_EQ(a->ParFlags, b->ParFlags);
        EXPECT_EQ(a->TabMask, b->TabMask);
        EXPECT_EQ(a->Numbering, b->Numbering);
        EXPECT_EQ(a->Alignment, b->Alignment);
        EXPECT_EQ(a->StyleId, b->StyleId);
        const int n = a->TextLength();
        for (int i = 0; i < n; ++i) {
            const TCharAttr x = attrAt(a, i), y = attrAt(b, i);
            EXPECT_EQ(x.Style, y.Style) << i;
            EXPECT_EQ(x.Size, y.Size) << i;
            EXPECT_EQ(first.Header->FontNames[x.FontIndex], second.Header->FontNames[y.FontIndex]);
            EXPECT_EQ(first.Header->Colors[x.TextColor()], second.Header->Colors[y.TextColor()]);
        }
    }
    // Writing again gives the same bytes.
    EXPECT_EQ(writeHtml(second, shcHiddenFootnote), html);
}

} // namespace
} // namespace qn::test

namespace qn::test {
namespace {

std::string writePage(TQnRTFText &doc)
{
    TQnMemoryStream out;
    TQnHTMLWriter writer(doc);
    writer.CompletePage = true;
    writer.Utf8Text = true;
    writer.CssLayout = true;
    EXPECT_EQ(writer.Write(out), 0);
    return out.Bytes();
}

// An entry as the diary keeps it: Windows-1252 text, an indented paragraph
// with a tab stop, a centred one with spacing, an empty line.
const char *kEntry = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}{\\f1 Times New Roman;}}"
                     "{\\colortbl;\\red200\\green0\\blue0;}\\f0\\fs20 "
                     "\\li720\\tx2880 Price:\\tab 5 \\'80 \\'97 \\'93quoted\\'94\\par "
                     "\\pard\\qc\\sb240\\sa120 {\\b\\cf1 Centred} {\\f1\\fs28 title}\\par "
                     "\\pard\\par "
                     "\\pard\\fi-720\\li1440\\ri720\\sl360\\qr Right\\line two}";

TEST(HtmlPage, AWholeUtf8DocumentWithCharactersAsThemselves)
{
    TQnRTFText doc;
    ASSERT_EQ(readRtf(doc, kEntry), 0);
    doc.Header->Title = "Diary \x96 2024";
    const std::string html = writePage(doc);
    EXPECT_EQ(html.rfind("<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<meta charset=\"utf-8\">\r\n", 0),
              0u)
        << html;
    EXPECT_NE(html.find("<title>Diary \u2013 2024</title>"), std::string::npos);
    EXPECT_NE(html.find("</head>\r\n<body>"), std::string::npos);
    EXPECT_EQ(html.substr(html.size() - 18), "</body>\r\n</html>\r\n");
    // Euro, em dash and curly quotes as UTF-8, never as C1 control codes.
    EXPECT_NE(html.find("5 \u20AC \u2014 \u201Cquoted\u201D"), std::string::npos) << html;
    for (const char *c1 : {"&#128;", "&#151;", "&#147;", "&#148;", "BASEFONT", "<FONT"})
        EXPECT_EQ(html.find(c1), std::string::npos) << c1;
}

TEST(HtmlPage, LayoutAsCss)
{
    TQnRTFText doc;
    ASSERT_EQ(readRtf(doc, kEntry), 0);
    const std::string html = writePage(doc);
    // The indent, and the text after the tab placed at the 2-inch stop:
    // 1.5 inches from the paragraph's own left edge.
    EXPECT_NE(html.find("<p style=\"margin-left: 0.5in\">"), std::string::npos) << html;
    EXPECT_NE(html.find("<span class=\"at\" style=\"left: 1.5in\">"), std::string::npos) << html;
    // Alignment and spacing.
    EXPECT_NE(html.find("<p style=\"margin-top: 12pt; margin-bottom: 6pt; text-align: center\">"),
              std::string::npos)
        << html;
    // Runs carry their font, size and colour.
    EXPECT_NE(html.find("<b><span style=\"font-family: 'Arial'; font-size: 10pt; color: #C80000\">"
                        "Centred</span></b>"),
              std::string::npos)
        << html;
    EXPECT_NE(html.find("font-family: 'Times New Roman'; font-size: 14pt"), std::string::npos);
    // An empty paragraph keeps its line.
    EXPECT_NE(html.find("<p><br>"), std::string::npos) << html;
    // A hanging first line, a right indent, exact line height, right aligned.
    EXPECT_NE(html.find("<p style=\"margin-left: 1in; margin-right: 0.5in; text-indent: "
                        "-0.5in; line-height: 18pt; text-align: right\">"),
              std::string::npos)
        << html;
    // Every element opened is closed.
    for (const char *name : {"p", "span", "b"}) {
        size_t opened = 0, closed = 0;
        for (size_t at = html.find(std::string("<") + name); at != std::string::npos;
             at = html.find(std::string("<") + name, at + 1))
            opened +=
                html[at + 1 + std::strlen(name)] == ' ' || html[at + 1 + std::strlen(name)] == '>';
        for (size_t at = html.find(std::string("</") + name + ">"); at != std::string::npos;
             at = html.find(std::string("</") + name + ">", at + 1))
            ++closed;
        EXPECT_EQ(opened, closed) << name << "\n" << html;
    }
}

TEST(HtmlPage, TabsWithoutStopsUseTheDefaultStepAndTheSimpleWriterIsUnchanged)
{
    TQnRTFText doc;
    ASSERT_EQ(readRtf(doc, "{\\rtf1\\ansi a\\tab b\\'80}"), 0);
    const std::string page = writePage(doc);
    EXPECT_NE(page.find("a<span class=\"tab\">&#9;</span>b\u20AC"), std::string::npos) << page;
    EXPECT_NE(page.find("tab-size: 0.3333in"), std::string::npos) << page;
    // Without the options the writer writes as it always did.
    const std::string simple = writeHtml(doc);
    EXPECT_EQ(simple.rfind("<html>\r\n<BASEFONT", 0), 0u) << simple;
    EXPECT_NE(simple.find("a&#9;b&#128;"), std::string::npos) << simple;
}

} // namespace
} // namespace qn::test
