#include <gtest/gtest.h>

#include "html_test_util.h"
#include "io_test_util.h"
#include "tests/support/text32.h"

namespace qn::test {
namespace {

TEST(HtmlReader, EntitiesAndNumericCharacters)
{
    TQnRTFText doc;
    // The entities around b are text, not a tag. Numbers read as browsers
    // read them (0 is U+FFFD); an unknown name is text; &nbsp; is a blank.
    readHtml(doc, "&lt;b&gt; &#65;&#0;&#999;&bogus;x &amp; &quot;&nbsp;AT & T");
    ASSERT_EQ(doc.ParagraphCount(), 1);
    EXPECT_EQ(doc.ParagraphText(0), U"<b> A\uFFFD\u03E7&bogus;x & \" AT & T");
    EXPECT_EQ(attrAt(doc.FirstParagraph, 1).Style & kStyleBold, 0);
}

TEST(HtmlReader, EntityNamesEndAtBlanksAndAmpersands)
{
    TQnRTFText doc;
    // The legacy names need no ';'; a name that is no reference stays text.
    readHtml(doc, "a&lt b&lt&gt;c &abcdefghijklmnopqrstuvwxyz;");
    EXPECT_EQ(Ansi(doc.ParagraphText(0)), "a< b<>c &abcdefghijklmnopqrstuvwxyz;");
}

TEST(HtmlReader, PlainParagraphsAndBlanks)
{
    TQnRTFText doc;
    readHtml(doc, "<p>First line\r\n  goes on</p>\r\n<p>Second</p>\n<p align=center>Third<br>\n  "
                  "after break");
    EXPECT_EQ(paragraphTexts(doc),
              (std::vector<std::string>{"First line goes on", "Second", "Third\nafter break"}));
    const TParagraph *p = doc.FirstParagraph;
    EXPECT_EQ(p->SpaceAfter, 180);
    EXPECT_EQ(p->FirstIndent, 144);
    EXPECT_EQ(p->LeftIndent, 144);
    EXPECT_EQ(p->Next->Next->Alignment, kAlignCenter);
    EXPECT_EQ(doc.Header->LoadedFormat, 4);
}

TEST(HtmlReader, CharacterStylesAndSuperscript)
{
    TQnRTFText doc;
    readHtml(doc, "<b>B<i>I</b><u>U</i></u><sup>2<sub>3</sub></sup>x");
    const TParagraph *p = doc.FirstParagraph;
    EXPECT_EQ(Ansi(doc.ParagraphText(0)), "BIU23x");
    EXPECT_EQ(attrAt(p, 0).Style, kStyleBold);
    EXPECT_EQ(attrAt(p, 1).Style, kStyleBold | kStyleItalic);
    EXPECT_EQ(attrAt(p, 2).Style, kStyleItalic | kStyleUnderline);
    EXPECT_EQ(attrAt(p, 3).Style, kStyleSuperscript);
    EXPECT_EQ(attrAt(p, 4).Style, kStyleSubscript);
    EXPECT_EQ(attrAt(p, 5).Style, 0);
}

TEST(HtmlReader, SpanStylesAsBrowsersCopyThem)
{
    TQnRTFText doc;
    readHtml(doc, "<span style=\"color: rgb(200, 0, 0); font-weight: 700\">R<span "
                  "style='font-style:italic;text-decoration:underline;color:#0000ff'>I</span>"
                  "b</span>x<span style=\"font-weight:normal;color\">n</span></span>y");
    const TParagraph *p = doc.FirstParagraph;
    EXPECT_EQ(Ansi(doc.ParagraphText(0)), "RIbxny");
    EXPECT_EQ(attrAt(p, 0).Style, kStyleBold);
    EXPECT_EQ(doc.Header->Colors[attrAt(p, 0).TextColor()], 0x0000C8u);
    EXPECT_EQ(attrAt(p, 1).Style, kStyleBold | kStyleItalic | kStyleUnderline);
    EXPECT_EQ(doc.Header->Colors[attrAt(p, 1).TextColor()], 0xFF0000u);
    // Each end of a span restores the look before it; a stray end changes nothing.
    EXPECT_EQ(attrAt(p, 2).Style, kStyleBold);
    EXPECT_EQ(attrAt(p, 2).Colors, attrAt(p, 0).Colors);
    EXPECT_EQ(attrAt(p, 3).Style, 0);
    EXPECT_EQ(attrAt(p, 4).Style, 0);
    EXPECT_EQ(attrAt(p, 5).Colors, attrAt(p, 3).Colors);
}

TEST(HtmlReader, LinkBecomesDoubleUnderlineAndHiddenAddress)
{
    TQnRTFText doc;
    readHtml(doc, "see <A HREF=\"http://x.org/a?b=1\">the site</a> now <a name=top>anchor</a>");
    const TParagraph *p = doc.FirstParagraph;
    EXPECT_EQ(textWith(p, kStyleDoubleUnderline, true), "the site");
    EXPECT_EQ(textWith(p, kStyleHidden, true), "http://x.org/a?b=1");
    EXPECT_EQ(textWith(p, kStyleHidden, false), "see the site now anchor");
    // The hidden address is not double-underlined.
    EXPECT_EQ(attrAt(p, 12).Style & kStyleDoubleUnderline, 0);
}

TEST(HtmlReader, HeadingsUseTheirStyles)
{
    TQnRTFText doc;
    readHtml(doc, "<h1>Title</h1>text<h3 align=right>Sub</h3>");
    ASSERT_EQ(paragraphTexts(doc), (std::vector<std::string>{"Title", "text", "Sub"}));
    const TParagraph *h1 = doc.FirstParagraph;
    EXPECT_EQ(h1->Alignment, kAlignCenter);
    EXPECT_EQ(h1->SpaceBefore, 200);
    EXPECT_EQ(h1->SpaceAfter, 250);
    EXPECT_EQ(attrAt(h1, 0).Size, 22);
    std::string name;
    uint8_t id = h1->StyleId;
    ASSERT_NE(doc.FindStyle(name, id), nullptr);
    EXPECT_EQ(name, "H1");
    const TParagraph *text = h1->Next;
    EXPECT_EQ(text->StyleId, 0);
    EXPECT_EQ(attrAt(text, 0).Size, 12); // back to the base size
    const TParagraph *h3 = text->Next;
    EXPECT_EQ(h3->Alignment, kAlignRight);
    EXPECT_EQ(h3->LeftIndent, 288);
    EXPECT_EQ(attrAt(h3, 0).Style, kStyleItalic);
    EXPECT_EQ(attrAt(h3, 0).Size, 15);

    // An existing style's values are used instead of the table's.
    TQnRTFText styled;
    TParProps props;
    props.Alignment = kAlignRight;
    props.SpaceBefore = 7;
    props.CharAttr.Size = 30;
    styled.AddStyle(props, "h2");
    readHtml(styled, "<h2>Mine</h2>");
    EXPECT_EQ(styled.FirstParagraph->Alignment, kAlignRight);
    EXPECT_EQ(styled.FirstParagraph->SpaceBefore, 7);
    EXPECT_EQ(attrAt(styled.FirstParagraph, 0).Size, 30);
}

TEST(HtmlReader, NestedOrderedListsNumberFromOne)
{
    TQnRTFText doc;
    readHtml(doc, "<ol><li>a<li>b<ol type=a><li>c<li>d</ol><li>e</ol><ul><li>f</ul>after");
    ASSERT_EQ(paragraphTexts(doc), (std::vector<std::string>{"1.\ta", "2.\tb", "a)\tc", "b)\td",
                                                             "3.\te", "l\tf", "after"}));
    const TParagraph *p = doc.FirstParagraph;
    EXPECT_EQ(p->Numbering, 6 * 16 + 1);
    EXPECT_EQ(p->SpaceAfter, 50);
    EXPECT_EQ(textWith(p, kStyleListNumber, true), "1.\t");
    const TParagraph *c = p->Next->Next;
    EXPECT_EQ(c->Numbering, 3 * 16 + 2);
    EXPECT_GT(c->LeftIndent, p->LeftIndent);
    const TParagraph *f = c->Next->Next->Next;
    EXPECT_EQ(f->Numbering, 1 * 16 + 1);
    EXPECT_EQ(doc.Header->FontNames[attrAt(f, 0).FontIndex], "WingDings");
    const TParagraph *after = f->Next;
    EXPECT_EQ(after->Numbering, 0);
    EXPECT_EQ(after->LeftIndent, 144);
}

TEST(HtmlReader, ListsDeeperThanFifteenLevelsStayBalanced)
{
    std::string html;
    for (int i = 0; i < 40; ++i)
        html += "<ol><li>x";
    for (int i = 0; i < 40; ++i)
        html += "</ol>";
    html += "<p>end";
    TQnRTFText doc;
    readHtml(doc, html);
    const TParagraph *last = doc.LastParagraph();
    EXPECT_EQ(Ansi(TQnRTFText::ParagraphText(last)), "end");
    EXPECT_EQ(last->Numbering, 0);
    int maxLevel = 0;
    for (const TParagraph *p = doc.FirstParagraph; p; p = p->Next)
        maxLevel = std::max(maxLevel, p->Numbering & 7);
    EXPECT_EQ(maxLevel, 7);
}

TEST(HtmlReader, OneColumnTableIsBorderedParagraphs)
{
    TQnRTFText doc;
    readHtml(doc, "<table border><tr><td>one</td></tr><tr><td>two</td></tr></table>after");
    ASSERT_EQ(paragraphTexts(doc), (std::vector<std::string>{"one", "two", "after"}));
    for (const TParagraph *p = doc.FirstParagraph; p; p = p->Next)
        EXPECT_FALSE(p->IsTableCell());
    EXPECT_EQ(doc.FirstParagraph->BorderFlags & (kBorderOn | kBorderBox), kBorderOn | kBorderBox);
    EXPECT_EQ(doc.LastParagraph()->BorderFlags, 0);
}

TEST(HtmlReader, TableCellsShareTheRowWidth)
{
    TQnRTFText doc;
    readHtml(doc, "<table border=1><tr><th>A</th><td>B</td><td>C</td></tr>"
                  "<tr><td colspan=2>D</td></tr></table>end");
    std::vector<const TParagraph *> cells;
    for (const TParagraph *p = doc.FirstParagraph; p; p = p->Next)
        if (p->IsTableCell())
            cells.push_back(p);
    ASSERT_EQ(cells.size(), 5u); // the short row is filled
    EXPECT_EQ(cells[0]->ParFlags, kParTableCell | kParCellRowOpen);
    EXPECT_EQ(cells[1]->ParFlags, kParTableCell | kParCellRowOpen | kParCellNotFirst);
    EXPECT_EQ(cells[2]->ParFlags, kParTableCell | kParCellNotFirst);
    EXPECT_EQ(cells[0]->Alignment, kAlignCenter); // th
    EXPECT_EQ(cells[0]->CellWidth(), 85);
    EXPECT_EQ(cells[1]->CellLeft(), 85);
    EXPECT_EQ(cells[2]->CellLeft(), 170);
    EXPECT_EQ(cells[3]->CellWidth(), 170);
    EXPECT_EQ(cells[3]->CellSpan(), 1);
    EXPECT_EQ(cells[4]->CellLeft(), 170);
    EXPECT_EQ(Ansi(TQnRTFText::ParagraphText(cells[4])), "");
    EXPECT_EQ(cells[0]->SpaceBefore, 57);
    EXPECT_TRUE(cells[0]->BorderFlags & kBorderBox);
    EXPECT_EQ(Ansi(TQnRTFText::ParagraphText(doc.LastParagraph())), "end");
    EXPECT_FALSE(doc.LastParagraph()->IsTableCell());
}

TEST(HtmlReader, RowSpanCoversTheCellsBelow)
{
    TQnRTFText doc;
    readHtml(doc, "<table><tr><td rowspan=2>A</td><td>B</td></tr><tr><td>C</td></tr></table>");
    std::vector<const TParagraph *> cells;
    for (const TParagraph *p = doc.FirstParagraph; p; p = p->Next)
        if (p->IsTableCell())
            cells.push_back(p);
    ASSERT_EQ(cells.size(), 4u);
    EXPECT_EQ(cells[0]->CellSpan(), 0x10);
    EXPECT_TRUE(cells[2]->IsCoveredCell());
    EXPECT_EQ(Ansi(TQnRTFText::ParagraphText(cells[3])), "C");
    EXPECT_EQ(cells[3]->CellLeft(), 127);
}

TEST(HtmlReader, NestedTableInsideACellIsIgnoredAndParagraphsBreakLines)
{
    TQnRTFText doc;
    readHtml(doc,
             "<table><tr><td><p>a<p>b<table><tr><td>x<td>y</table></td><td>c</td></tr></table>");
    std::vector<std::string> cells;
    for (const TParagraph *p = doc.FirstParagraph; p; p = p->Next)
        if (p->IsTableCell())
            cells.push_back(Ansi(TQnRTFText::ParagraphText(p)));
    EXPECT_EQ(cells, (std::vector<std::string>{"a\nbxy", "c"}));
}

TEST(HtmlReader, TooManyCellsShowTheMessageOnce)
{
    TQnRTFText doc;
    // The row span pushes the second row one cell past the two columns.
    TQnMemoryStream in("<table><tr><td rowspan=2>a<td>b</tr><tr><td>c<td>d</table>");
    TQnHTMLReader reader;
    reader.Header = doc.Header.get();
    reader.Document = &doc;
    std::vector<std::string> messages;
    reader.OnMessage = [&](const std::string &m) { messages.push_back(m); };
    TParagraph *first = nullptr;
    EXPECT_EQ(reader.Read(in, first), 0);
    EXPECT_EQ(messages, std::vector<std::string>{"Table not\tcorrect"});
    int cells = 0;
    for (const TParagraph *p = first; p; p = p->Next) {
        cells += p->IsTableCell();
    }
    EXPECT_EQ(cells, 5);
    TQnRTFText::FreeParagraphChain(first);
}

TEST(HtmlReader, RuleFontsColoursAndSizes)
{
    TQnRTFText doc;
    readHtml(doc, "<hr size=1>"
                  "<font face=\"courier, mono\" color=red size=+2>A<font color=#123456 "
                  "bgcolor=gray size=1>B</font>C</font>"
                  "<small>s</small>D");
    const TParagraph *rule = doc.FirstParagraph;
    EXPECT_EQ(Ansi(TQnRTFText::ParagraphText(rule)), "\xA0");
    EXPECT_EQ(rule->BorderFlags & (kBorderOn | kBorderTop), kBorderOn | kBorderTop);
    EXPECT_EQ(rule->Alignment, kAlignCenter);
    EXPECT_EQ(attrAt(rule, 0).Size, 1);
    const TParagraph *p = rule->Next;
    ASSERT_EQ(Ansi(TQnRTFText::ParagraphText(p)), "ABCsD");
    const TCharAttr a = attrAt(p, 0), b = attrAt(p, 1), c = attrAt(p, 2), s = attrAt(p, 3),
                    d = attrAt(p, 4);
    EXPECT_EQ(doc.Header->FontNames[a.FontIndex], "Courier New");
    EXPECT_EQ(a.Size, 18);
    EXPECT_EQ(doc.Header->Colors[a.TextColor()], 0x0000FFu);
    EXPECT_EQ(b.Size, 8);
    EXPECT_EQ(doc.Header->Colors[b.TextColor()], 0x563412u);
    EXPECT_EQ(doc.Header->Colors[b.BackColor()], 0x7F7F7Fu);
    EXPECT_EQ(c.Colors, a.Colors);
    EXPECT_EQ(c.Size, 18);
    EXPECT_EQ(s.Size, 10);
    EXPECT_EQ(d.Size, 12);
    EXPECT_EQ(d.Colors, 0);
    EXPECT_EQ(d.FontIndex, 0);
    // The same colour again takes the same entry.
    TQnRTFText again;
    readHtml(again, "<font color=red>a</font><font color=#FF0000>b</font>");
    EXPECT_EQ(attrAt(again.FirstParagraph, 0).Colors, attrAt(again.FirstParagraph, 1).Colors);
}

TEST(HtmlReader, TitlePreCommentsAndScripts)
{
    TQnRTFText doc;
    readHtml(doc, "<html><head><title>My &amp; Day</title><style>p { color: red }</style>"
                  "<script>if (a < b) x();</script></head>"
                  "<body>A<!-- note -->B<pre>x  y\n z</pre>after</body></html>");
    EXPECT_EQ(doc.Header->Title, "My & Day");
    ASSERT_EQ(paragraphTexts(doc), (std::vector<std::string>{"A!B", "x  y\n z", "after"}));
    const TCharAttr mark = attrAt(doc.FirstParagraph, 1);
    EXPECT_EQ(mark.Style & kStyleRaised, kStyleRaised);
    const TQnFootnote *note = doc.FindFootnote(mark.Tag);
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(note->Text, " note ");
    EXPECT_EQ(note->MarkChar, '!');
    const TParagraph *pre = doc.FirstParagraph->Next;
    EXPECT_EQ(doc.Header->FontNames[attrAt(pre, 0).FontIndex], "Courier New");
    EXPECT_EQ(attrAt(pre, 0).Size, 10);

    TQnRTFText hidden;
    TQnHTMLReadOptions options;
    options.Comments = shcHiddenFootnote;
    readHtml(hidden, "A<!--n-->B", options);
    EXPECT_TRUE(attrAt(hidden.FirstParagraph, 1).Style & kStyleHidden);
    options.Comments = shcOFF;
    readHtml(hidden, "A<!--n-->B", options);
    EXPECT_EQ(Ansi(hidden.ParagraphText(0)), "AB");
}

TEST(HtmlReader, ImagesBecomeObjectsThroughTheLoader)
{
    struct Reader : TQnHTMLReader {
        std::vector<std::string> asked;
        std::shared_ptr<TQnGraphic> LoadPicture(const std::string &name) override
        {
            asked.push_back(name);
            if (name != "pic.bmp")
                return nullptr;
            auto g = std::make_shared<TQnGraphic>();
            g->WidthPixels = 10;
            g->HeightPixels = 20;
            return g;
        }
    };
    TQnRTFText doc;
    int needed = 0;
    doc.OnNeedObject = [&](int, TQnObject &) { ++needed; };
    Reader reader;
    reader.Header = doc.Header.get();
    reader.Document = &doc;
    TQnMemoryStream in("a<img src=\"pic.bmp\" width=4 height=5 align=middle>b<img "
                       "src=missing.gif><IMG SRC=pic.bmp>");
    TParagraph *first = nullptr;
    EXPECT_EQ(reader.Read(in, first), 0);
    EXPECT_EQ(reader.asked, (std::vector<std::string>{"pic.bmp", "missing.gif"}));
    EXPECT_EQ(needed, 1);
    ASSERT_EQ(doc.Objects.size(), 2u);
    const TQnObject &pic = *doc.Objects[0];
    EXPECT_EQ(pic.FileName, "pic.bmp");
    EXPECT_EQ(pic.Width, 60);
    EXPECT_EQ(pic.Height, 75);
    EXPECT_EQ(pic.Reserved2, 2);
    EXPECT_TRUE(pic.Graphic);
    // a, object, blank, b, object, blank, object, blank
    EXPECT_EQ(Ansi(TQnRTFText::ParagraphText(first)), std::string("a\x01 b\x01 \x01 ", 8));
    EXPECT_EQ(attrAt(first, 1).Style & kStyleObject, kStyleObject);
    EXPECT_EQ(attrAt(first, 1).Tag, pic.Tag);
    EXPECT_EQ(attrAt(first, 6).Tag, pic.Tag); // found again by name
    TQnRTFText::FreeParagraphChain(first);
}

TEST(HtmlReader, MissingTargetsAreWrongArguments)
{
    TQnHTMLReader reader;
    TQnMemoryStream in("x");
    TParagraph *first = nullptr;
    EXPECT_THROW(reader.Read(in, first), EQnRTFText);
}

} // namespace
} // namespace qn::test

namespace qn::test {
namespace {

TEST(HtmlReader, BlanksKeepTheAttributeWhereTheyStood)
{
    TQnRTFText doc;
    readHtml(doc, "the <b>site</b> and <i>roses</i>\n came<pre>\n a\n</pre>");
    const TParagraph *p = doc.FirstParagraph;
    ASSERT_EQ(Ansi(TQnRTFText::ParagraphText(p)), "the site and roses came");
    EXPECT_EQ(attrAt(p, 3).Style, 0);  // before <b>
    EXPECT_EQ(attrAt(p, 8).Style, 0);  // after </b>
    EXPECT_EQ(attrAt(p, 18).Style, 0); // after </i>
    // The line end right after <pre> is no text.
    EXPECT_EQ(Ansi(TQnRTFText::ParagraphText(p->Next)), " a\n");
}

TEST(HtmlReader, ParagraphOpeningAListItemIsTheItem)
{
    TQnRTFText doc;
    readHtml(doc, "<ol>\n<li>\n<p>one</p>\n<p>more</p></li>\n<li><p>two</p></li>\n</ol>");
    EXPECT_EQ(paragraphTexts(doc), (std::vector<std::string>{"1.\tone", "more", "2.\ttwo"}));
    EXPECT_EQ(doc.FirstParagraph->Next->Numbering, 0);
}

TEST(HtmlReader, PlainTextDocumentsReadWithoutAttributes)
{
    TQnRTFText doc;
    doc.SetMemoryFormat(fmPlainText);
    readHtml(doc,
             "<p>a <b>b</b><!--c--><img src=x.bmp><ol><li>i</ol><table><tr><td>1<td>2</table>");
    EXPECT_EQ(paragraphTexts(doc), (std::vector<std::string>{"a b", "1.\ti", "1", "2"}));
    const std::string html = writeHtml(doc);
    EXPECT_NE(html.find("<td>1</td>"), std::string::npos) << html;
}

} // namespace
} // namespace qn::test
