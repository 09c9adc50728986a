// Real pages and damaged input: reading never fails, loops or keeps more
// than it must, and what is read can always be written and read again.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "html_test_util.h"
#include "io_test_util.h"
#include "tests/support/notification_capture.h"
#include "tests/support/temp_dir.h"
#include "tests/support/text32.h"

namespace qn::test {
namespace {

std::string fixture(const std::string &name)
{
    return readFile(sourceDir() / "tests/richtext/io/html_fixtures" / name);
}

// Everything a reader must leave sound, whatever it was given.
void checkDocument(const TQnRTFText &doc, size_t inputSize)
{
    int paragraphs = 0;
    for (const TParagraph *p = doc.FirstParagraph; p; p = p->Next) {
        ++paragraphs;
        ASSERT_NE(p->Lines, nullptr);
        ASSERT_TRUE(p->Next == nullptr || p->Next->Prev == p);
        for (const TLine *l = p->Lines; l; l = l->Next) {
            ASSERT_LT(l->Length, l->Capacity);
            ASSERT_EQ(l->Text[l->Length], 0);
        }
        ASSERT_LE(p->Numbering & 7, 7);
        if (p->IsTableCell() && !p->IsCoveredCell()) {
            ASSERT_GE(p->CellWidth(), 1);
            ASSERT_LE(p->CellWidth() + 0, 255);
        }
    }
    // Paragraphs come from tags, so there are never more than bytes read
    // (plus the one of an empty document).
    ASSERT_LE(static_cast<size_t>(paragraphs), inputSize + 1);
    ASSERT_LE(doc.Header->Title.size(), 1024u);
}

void readWriteRead(const std::string &html)
{
    TQnRTFText doc;
    {
        TQnMemoryStream in(html);
        TQnHTMLReadOptions options;
        options.Comments = shcHiddenFootnote;
        ReadHTMLDocument(doc, in, options);
    }
    checkDocument(doc, html.size());
    TQnMemoryStream out;
    ASSERT_EQ(WriteHTMLDocument(doc, out, shcHiddenFootnote), 0);
    TQnRTFText again;
    TQnMemoryStream in2(out.Bytes());
    ReadHTMLDocument(again, in2);
    checkDocument(again, out.Bytes().size());
}

TEST(HtmlFixtures, PandocPageReadsAsItsText)
{
    TQnRTFText doc;
    readHtml(doc, fixture("pandoc_notes.html"));
    EXPECT_EQ(doc.Header->Title, "Holiday notes & plans");
    const auto texts = paragraphTexts(doc);
    auto has = [&](const std::string &s) {
        return std::any_of(texts.begin(), texts.end(),
                           [&](const std::string &t) { return t.find(s) != std::string::npos; });
    };
    EXPECT_TRUE(has("Week one"));
    EXPECT_TRUE(has("We arrived on Monday after a long drive."));
    EXPECT_TRUE(has("food < expectations but > nothing"));
    EXPECT_TRUE(has("code {braces} \\ backslash"));
    EXPECT_TRUE(has("Passport"));
    EXPECT_FALSE(has("font-family")); // the style sheet is no text
    EXPECT_FALSE(has("color:"));
    int cells = 0;
    for (const TParagraph *p = doc.FirstParagraph; p; p = p->Next)
        cells += p->IsTableCell();
    EXPECT_EQ(cells, 9);
}

// Without a hook of its own the reader tells the user through the
// notifications every layer shares.
TEST(HtmlFixtures, AReaderWithoutAHookTellsTheUser)
{
    TQnRTFText doc;
    NotificationCapture capture;
    readHtml(doc, "<table><tr><td rowspan=2>a<td>b</tr><tr><td>c<td>d</table>");
    EXPECT_EQ(capture.engineMessages, std::vector<std::string>{"Table not\tcorrect"});
}

TEST(HtmlFixtures, OldStylePageReadsAsItsText)
{
    TQnRTFText doc;
    NotificationCapture capture;
    readHtml(doc, fixture("old_style_page.html"));
    EXPECT_TRUE(capture.engineMessages.empty());
    EXPECT_EQ(doc.Header->Title, "Garden diary 1999");

    auto find = [&](const std::string &s) -> const TParagraph * {
        for (const TParagraph *p = doc.FirstParagraph; p; p = p->Next)
            if (Ansi(TQnRTFText::ParagraphText(p)).find(s) != std::string::npos)
                return p;
        return nullptr;
    };
    ASSERT_NE(find("My Garden"), nullptr);
    EXPECT_FALSE(find("My Garden")->IsTableCell()); // a one-column table
    ASSERT_NE(find("Spring & Summer"), nullptr);
    EXPECT_NE(find("Spring & Summer")->StyleId, 0);
    ASSERT_NE(find("Cut the hedge"), nullptr);
    EXPECT_EQ(find("Cut the hedge")->Numbering, 4 * 16 + 1);
    ASSERT_NE(find("buy nails"), nullptr);
    EXPECT_EQ(find("buy nails")->Numbering, 1 * 16 + 2);
    ASSERT_NE(find("August"), nullptr);
    EXPECT_EQ(find("August")->CellSpan(), 0x10);
    EXPECT_NE(Ansi(TQnRTFText::ParagraphText(find("Mow the lawn"))).find("lawn\n(twice"),
              std::string::npos);
    EXPECT_EQ(find("document.write"), nullptr);
    EXPECT_NE(find("leeks   onions"), nullptr);
    EXPECT_EQ(doc.Objects.size(), 1u);
    EXPECT_EQ(doc.Footnotes.size(), 1u); // the navigation comment
}

TEST(HtmlRobustness, MutatedPagesNeverBreakTheReader)
{
    const std::string pages[] = {fixture("pandoc_notes.html"), fixture("old_style_page.html")};
    const char *pieces[] = {"<table>",
                            "</table>",
                            "<tr>",
                            "<td colspan=99999 rowspan=-3>",
                            "<th rowspan=16>",
                            "<ol type=",
                            "</ol>",
                            "<li>",
                            "<ul>",
                            "&#",
                            "&#99999999999999999999;",
                            "<!--",
                            "-->",
                            "\"",
                            "'",
                            "<a href=",
                            "</a>",
                            "<font size=-99 color=#zzzzzz face=",
                            "</font>",
                            "<h7>",
                            "<h1>",
                            "<pre>",
                            "<title>",
                            "<img src=",
                            "<",
                            ">",
                            "&",
                            "=",
                            "<script>",
                            "<small>",
                            "</small>",
                            "\0",
                            "<p align="};
    std::mt19937 random(20261208);
    NotificationCapture quiet;
    for (const std::string &page : pages) {
        for (int round = 0; round < 150; ++round) {
            std::string html = page;
            const int edits = 1 + static_cast<int>(random() % 12);
            for (int e = 0; e < edits && !html.empty(); ++e) {
                const size_t at = random() % html.size();
                switch (random() % 5) {
                case 0:
                    html[at] = static_cast<char>(random() % 256);
                    break;
                case 1:
                    html.insert(at, pieces[random() % std::size(pieces)]);
                    break;
                case 2:
                    html.erase(at, random() % 64);
                    break;
                case 3:
                    html.insert(at, html.substr(random() % html.size(), random() % 200));
                    break;
                default:
                    html.resize(at);
                    break;
                }
            }
            SCOPED_TRACE("round " + std::to_string(round));
            readWriteRead(html);
            if (HasFatalFailure())
                break;
        }
    }
}

TEST(HtmlRobustness, HostileShapes)
{
    NotificationCapture quiet;
    std::string deepTables, deepLists, deepFonts, manyColumns, spans;
    for (int i = 0; i < 20000; ++i) {
        deepTables += "<table><tr><td>x<td>";
        deepLists += "<ol><li>y";
        deepFonts += "<font color=#0" + std::to_string(10000 + i) + " size=+1>z";
    }
    manyColumns = "<table><tr>";
    for (int i = 0; i < 3000; ++i)
        manyColumns += "<td>c";
    manyColumns += "</table>";
    spans = "<table>";
    for (int i = 0; i < 300; ++i)
        spans += "<tr><td rowspan=16 colspan=16>a<td>b<td rowspan=9>c";
    spans += "</table>";
    std::string oneColumnNest;
    for (int i = 0; i < 20000; ++i)
        oneColumnNest += "<table><tr><td>";
    const std::string cases[] = {
        deepTables,
        deepLists,
        deepFonts,
        manyColumns,
        spans,
        oneColumnNest,
        "<a href=\"" + std::string(1 << 20, 'h') + "\">x</a>",
        "<p " + std::string(1 << 20, 'a') + ">",
        "<" + std::string(1 << 20, 't') + ">text",
        "<!-- never closed " + std::string(100000, '-'),
        "<p title=\"never closed>text and more",
        "&" + std::string(100000, 'e') + ";",
        std::string(50000, '<'),
        std::string(50000, '&'),
        "<td>cell<tr>row</table></td></ol></ul></font></a></h1></pre></title>",
        "<title>" + std::string(100000, 'T'),
    };
    for (const std::string &html : cases) {
        SCOPED_TRACE(html.substr(0, 40));
        readWriteRead(html);
    }
    // Binary junk.
    std::mt19937 random(7);
    for (int round = 0; round < 20; ++round) {
        std::string junk(20000, '\0');
        for (char &c : junk)
            c = static_cast<char>(random() % 256);
        readWriteRead(junk);
    }
}

TEST(HtmlRobustness, ReadsIntoAGivenParagraph)
{
    TQnRTFText doc;
    setText(doc, 0, "before");
    TQnHTMLReader reader;
    reader.Header = doc.Header.get();
    reader.Document = &doc;
    reader.Paragraph = doc.FirstParagraph;
    TQnMemoryStream in(" and <b>after</b><p>next");
    TParagraph *first = nullptr;
    EXPECT_EQ(reader.Read(in, first), 0);
    EXPECT_EQ(first, doc.FirstParagraph);
    EXPECT_EQ(paragraphTexts(doc), (std::vector<std::string>{"before and after", "next"}));
}

} // namespace
} // namespace qn::test

namespace qn::test {
namespace {

size_t countOf(const std::string &text, const std::string &what)
{
    size_t n = 0;
    for (size_t i = text.find(what); i != std::string::npos; i = text.find(what, i + 1))
        ++n;
    return n;
}

// Whatever the paragraph and run properties, every element the writer opens
// it closes, and a link never swallows the text after it.
TEST(HtmlRobustness, RandomDocumentsWriteBalancedElements)
{
    std::mt19937 random(99);
    for (int round = 0; round < 200; ++round) {
        TQnRTFText doc;
        TParProps props;
        doc.AddStyle(props, "H2");
        doc.AddStyle(props, "BODY");
        const int count = 1 + static_cast<int>(random() % 12);
        for (int i = 0; i < count; ++i) {
            TParagraph *p =
                i == 0 ? doc.FirstParagraph : doc.AddParagraphWithText(i, U32(""), nullptr);
            p->ParFlags = static_cast<uint8_t>(random() % 16);
            p->Numbering = random() % 2 ? static_cast<uint8_t>(random() % 256) : 0;
            p->StyleId = static_cast<uint8_t>(random() % 4);
            p->BorderFlags = static_cast<uint8_t>(random() % 4);
            p->TabMask = static_cast<uint32_t>(random());
            p->Alignment = static_cast<uint8_t>(random() % 4);
            const int runs = static_cast<int>(random() % 5);
            for (int r = 0; r < runs; ++r) {
                static const uint16_t styles[] = {0,
                                                  kStyleBold,
                                                  kStyleDoubleUnderline,
                                                  kStyleHidden,
                                                  kStyleListNumber,
                                                  kStyleItalic | kStyleSubscript};
                TCharAttr a;
                a.Style = styles[random() % std::size(styles)];
                a.Size = static_cast<uint8_t>(random() % 40);
                a.Colors = static_cast<uint8_t>(random());
                std::string text(1 + random() % 6, 'x');
                text[0] = static_cast<char>(random() % 256);
                doc.AppendToLine(p->LastLine(), U32(text), a);
            }
        }
        TQnMemoryStream out;
        ASSERT_EQ(WriteHTMLDocument(doc, out), 0);
        const std::string &html = out.Bytes();
        SCOPED_TRACE(html);
        EXPECT_EQ(countOf(html, "<table"), countOf(html, "</table>"));
        EXPECT_EQ(countOf(html, "<tr>"), countOf(html, "</tr>"));
        EXPECT_EQ(countOf(html, "<td"), countOf(html, "</td>"));
        EXPECT_EQ(countOf(html, "<li>"), countOf(html, "</li>"));
        EXPECT_EQ(countOf(html, "<ol") + countOf(html, "<ul>"),
                  countOf(html, "</ol>") + countOf(html, "</ul>"));
        EXPECT_EQ(countOf(html, "<A"), countOf(html, "</A>"));
        EXPECT_EQ(countOf(html, "<FONT"), countOf(html, "</FONT>"));
        EXPECT_EQ(countOf(html, "<b>"), countOf(html, "</b>"));
        if (HasFailure())
            break;
    }
}

} // namespace
} // namespace qn::test
