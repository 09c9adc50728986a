#include <cstring>

#include <gtest/gtest.h>

#include "richtext/model/rtf_text.h"
#include "tests/richtext/model/model_test_util.h"
#include "tests/support/notification_capture.h"

using namespace qn;
using namespace qn::test;

namespace {

void Type(TQnRTFText &doc, TParagraph *p, TLine *line, const std::string &text)
{
    for (char c : text)
        ASSERT_TRUE(doc.InsertChar(p, line, static_cast<uint8_t>(c), line->Length));
}

} // namespace

TEST(InsertChar, InsertOverwriteAndGrowth)
{
    TQnRTFText doc;
    TParagraph *p = doc.FirstParagraph;
    TLine *line = p->Lines;
    doc.CurrentAttr.Style = kStyleBold;
    Type(doc, p, line, "ac");
    EXPECT_EQ(line->Attrs[1].Style, kStyleBold);
    EXPECT_EQ(line->Attrs[1].Width, 16); // measured with the plain metrics at the end
    doc.CurrentAttr.Style = kStyleItalic;
    ASSERT_TRUE(doc.InsertChar(p, line, 'b', 1));
    EXPECT_EQ(doc.ParagraphText(0), U"abc");
    EXPECT_EQ(line->Attrs[0].Style, kStyleBold);
    EXPECT_EQ(line->Attrs[1].Style, kStyleItalic);
    EXPECT_EQ(line->Attrs[2].Style, kStyleBold); // moved up with its character
    EXPECT_TRUE(line->LineFlags & kLineChanged);

    doc.InsertMode = 0;
    ASSERT_TRUE(doc.InsertChar(p, line, 'X', 0));
    EXPECT_EQ(doc.ParagraphText(0), U"Xbc");
    ASSERT_TRUE(doc.InsertChar(p, line, 'd', 99)); // beyond the end: appended
    EXPECT_EQ(doc.ParagraphText(0), U"Xbcd");
    doc.InsertMode = 1;

    // A full buffer grows by ten when fewer than four places are left.
    TLine *small = p->Lines;
    doc.GrowLine(small, 8);
    doc.InsertChar(p, small, 'z', small->Length);
    EXPECT_EQ(small->Length, 5);
    EXPECT_EQ(small->Capacity, 8);
    doc.InsertChar(p, small, 'z', small->Length); // 8 < 5 + 4: grows to 5 + 10, made even
    EXPECT_EQ(small->Capacity, 16);
    EXPECT_EQ(doc.ParagraphText(0), U"Xbcdzz");
    EXPECT_TRUE(ChainsConsistent(doc));
}

TEST(InsertChar, StopsAtTheLineLimit)
{
    TQnRTFText doc;
    TParagraph *p = doc.FirstParagraph;
    TLine *line = p->Lines;
    doc.SetMemoryFormat(fmPlainText);
    doc.GrowLine(line, 10000);
    std::memset(line->Text, 'a', 9998);
    line->Length = 9998;
    line->Text[9998] = 0;
    ASSERT_TRUE(doc.InsertChar(p, line, 'b', 0)); // the last place
    EXPECT_EQ(line->Length, 9999);
    EXPECT_THROW(doc.InsertChar(p, line, 'c', 0), EQnRTFText);
    EXPECT_EQ(line->Length, 9999);
    EXPECT_EQ(line->Text[9999], 0);
}

TEST(InsertChar, CoveredTableCellBeepsAndRefuses)
{
    qn::test::NotificationCapture capture;
    TQnRTFText doc;
    TParagraph *p = doc.FirstParagraph;
    p->ParFlags = kParTableCell;
    p->SetCellSpan(0x11); // spans, but is not covered
    EXPECT_TRUE(doc.InsertChar(p, p->Lines, 'a', 0));
    p->SetCellSpan(kCellCovered);
    EXPECT_FALSE(doc.InsertChar(p, p->Lines, 'b', 1));
    EXPECT_EQ(capture.beeps, std::vector<uint32_t>{0}); // the default beep
    EXPECT_EQ(doc.ParagraphText(0), U"a");
    EXPECT_EQ(p->CellSpan(), 240);
    EXPECT_EQ(p->TabMask >> 16 & 0xFF, 240u);
}

TEST(DeleteChar, InsideLineJoinsLinesAndParagraphs)
{
    TQnRTFText doc;
    Fill(doc, {"abc", "def"});
    TParagraph *p = doc.FirstParagraph;
    p->Lines->Attrs[2].Style = kStyleUnderline;
    ASSERT_TRUE(doc.DeleteChar(p, p->Lines, 1));
    EXPECT_EQ(doc.ParagraphText(0), U"ac");
    EXPECT_EQ(p->Lines->Attrs[1].Style, kStyleUnderline);

    // At a line end the next line's first character goes and the lines join.
    doc.InsertText(p, 2, nullptr, U"XYZ");
    ASSERT_EQ(LineCount(p), 2);
    ASSERT_TRUE(doc.DeleteChar(p, p->Lines, p->Lines->Length));
    EXPECT_EQ(LineCount(p), 1);
    EXPECT_EQ(doc.ParagraphText(0), U"acYZ");

    // At the paragraph end the next paragraph's lines join this paragraph.
    TParagraph *second = p->Next;
    second->Alignment = kAlignRight;
    p->State = 0;
    ASSERT_TRUE(doc.DeleteChar(p, p->LastLine(), p->LastLine()->Length));
    EXPECT_EQ(DocText(doc), "acYZdef");
    EXPECT_EQ(doc.ParagraphCount(), 1);
    EXPECT_EQ(p->Alignment, kAlignLeft); // a plain paragraph's properties do not come along
    EXPECT_TRUE(p->State & kStateRebreak);
    EXPECT_FALSE(doc.DeleteChar(p, p->LastLine(), p->LastLine()->Length)); // document end
    EXPECT_TRUE(ChainsConsistent(doc));
}

TEST(DeleteChar, TableCellRules)
{
    TQnRTFText doc;
    Fill(doc, {"cell", "next", "after"});
    TParagraph *cell = doc.FirstParagraph;
    cell->ParFlags = kParTableCell;
    EXPECT_FALSE(doc.DeleteChar(cell, cell->Lines, 4)); // a cell never joins
    EXPECT_EQ(doc.ParagraphCount(), 3);

    // Joining a cell that follows takes over its properties.
    TParagraph *plain = cell->Next;
    TParagraph *nextCell = plain->Next;
    nextCell->ParFlags = kParTableCell | kParCellNotFirst;
    nextCell->Alignment = kAlignCenter;
    nextCell->TabMask = 0x00000A14;
    nextCell->SpaceBefore = 40;
    nextCell->BorderFlags = kBorderOn | kBorderBox;
    nextCell->LeftIndent = 777;
    ASSERT_TRUE(doc.DeleteChar(plain, plain->Lines, 4));
    EXPECT_EQ(DocText(doc), "cell|nextafter");
    EXPECT_EQ(plain->ParFlags, kParTableCell | kParCellNotFirst);
    EXPECT_EQ(plain->Alignment, kAlignCenter);
    EXPECT_EQ(plain->TabMask, 0x00000A14u);
    EXPECT_EQ(plain->SpaceBefore, 40);
    EXPECT_EQ(plain->BorderFlags, kBorderOn | kBorderBox);
    EXPECT_EQ(plain->LeftIndent, 0); // indents are not part of what a cell passes on
}

TEST(DeleteChar, LineJoinRefusedWhenTooLong)
{
    TQnRTFText doc;
    doc.SetMemoryFormat(fmPlainText);
    TParagraph *p = doc.FirstParagraph;
    doc.SetParagraphText(0, std::u32string(6000, U'a'), nullptr);
    doc.InsertText(p, 6000, nullptr, std::u32string(4000, U'b'));
    ASSERT_EQ(LineCount(p), 2);
    EXPECT_FALSE(doc.DeleteChar(p, p->Lines, p->Lines->Length)); // 9999 + 6 > 10000
    EXPECT_EQ(p->TextLength(), 10000);
    doc.DeleteText(p, 0, 10);
    EXPECT_TRUE(doc.DeleteChar(p, p->Lines, p->Lines->Length));
    EXPECT_EQ(LineCount(p), 1);
    EXPECT_EQ(p->TextLength(), 9989);
    EXPECT_TRUE(ChainsConsistent(doc));
}

TEST(SplitParagraph, MovesTheRestAndClampsThePosition)
{
    TQnRTFText doc;
    Fill(doc, {"hello world"});
    TParagraph *p = doc.FirstParagraph;
    p->LeftIndent = 500;
    p->Lines->Attrs[6].Style = kStyleBold;
    doc.InsertText(p, 11, nullptr, U"!!");
    ASSERT_EQ(LineCount(p), 2);
    ASSERT_TRUE(doc.SplitParagraph(p, p->Lines, 5));
    EXPECT_EQ(DocText(doc), "hello| world!!");
    TParagraph *q = p->Next;
    EXPECT_EQ(q->LeftIndent, 500);
    EXPECT_EQ(LineCount(q), 2); // the following line went along
    EXPECT_EQ(q->Lines->Capacity, 6 + 30);
    EXPECT_EQ(q->Lines->Attrs[1].Style, kStyleBold);
    EXPECT_TRUE(p->State & kStateRebreak);
    EXPECT_TRUE(q->State & kStateRebreak);

    // Beyond the line's end it splits at the end.
    ASSERT_TRUE(doc.SplitParagraph(p, p->Lines, 400));
    EXPECT_EQ(DocText(doc), "hello|| world!!");
    ASSERT_TRUE(doc.SplitParagraph(p, p->Lines, -3));
    EXPECT_EQ(DocText(doc), "|hello|| world!!");
    EXPECT_TRUE(ChainsConsistent(doc));
}

TEST(TextByOffset, InsertDeleteAndReplace)
{
    TQnRTFText doc;
    Fill(doc, {"abcdef"});
    TParagraph *p = doc.FirstParagraph;
    TCharAttr red;
    red.Colors = 1;
    doc.InsertText(p, 0, &red, U"<<");
    EXPECT_EQ(p->Lines->Attrs[0].Colors, 1); // its own first line
    doc.InsertText(p, 5, nullptr, U"--");    // cuts U"abcdef" after U"abc"
    doc.InsertText(p, 99, nullptr, U">>");
    EXPECT_EQ(doc.ParagraphText(0), U"<<abc--def>>");
    EXPECT_EQ(LineCount(p), 5);
    EXPECT_EQ(p->State & 0x03, 0x03);

    // Deleting across lines; InsertAttr takes the first removed character's look.
    p->Lines->Next->Attrs[2].Style = kStyleStrikeout; // the 'c'
    doc.DeleteText(p, 4, 5);                          // "c--de"
    EXPECT_EQ(doc.ParagraphText(0), U"<<abf>>");
    EXPECT_EQ(doc.InsertAttr.Style, kStyleStrikeout);
    doc.DeleteText(p, 5, 100);
    EXPECT_EQ(doc.ParagraphText(0), U"<<abf");

    // Replacing inside one line.
    Fill(doc, {"0123456789"});
    p = doc.FirstParagraph;
    TLine *line = p->Lines;
    const char32_t longer[] = U"ABCDE";
    EXPECT_EQ(doc.ReplaceRange(p, line, &red, 5, longer, 2, 3), 3);
    EXPECT_EQ(doc.ParagraphText(0), U"012ABCDE56789");
    EXPECT_EQ(line->Attrs[7].Colors, 1);
    EXPECT_EQ(line->Attrs[8].Colors, 0);
    EXPECT_EQ(doc.ReplaceRange(p, line, nullptr, 1, longer, 4, 3), -3);
    EXPECT_EQ(doc.ParagraphText(0), U"012AE56789");
    EXPECT_EQ(doc.ReplaceRange(p, line, nullptr, 1, longer, 50, 8), -1); // cut to the end
    EXPECT_EQ(doc.ParagraphText(0), U"012AE567A");
    EXPECT_EQ(doc.ReplaceText(p, line, U"xyz", 7), 1);
    EXPECT_EQ(doc.ParagraphText(0), U"012AE56xyz");

    // Growing near the limit uses the last places rather than failing early.
    doc.SetParagraphText(0, U"", nullptr);
    line = p->Lines;
    doc.AppendToLine(line, std::u32string(9990, U'a'), red);
    const char32_t nine[] = U"123456789";
    EXPECT_EQ(doc.ReplaceRange(p, line, nullptr, 9, nine, 0, 0), 9);
    EXPECT_EQ(line->Length, 9999);
    EXPECT_THROW(doc.ReplaceRange(p, line, nullptr, 2, longer, 1, 0), EQnRTFText);
    EXPECT_EQ(line->Length, 9999);
    EXPECT_TRUE(ChainsConsistent(doc));
}

TEST(InsertParagraphs, IntoAnEmptyDocumentTheChainBecomesTheDocument)
{
    TQnRTFText doc;
    TParagraph *chain = nullptr;
    doc.NewParagraph(chain, 8);
    TParagraph *first = chain;
    doc.InsertText(chain, 0, nullptr, U"one");
    doc.NewParagraph(chain, 8);
    doc.InsertText(chain, 0, nullptr, U"two");

    TParagraph *par = doc.FirstParagraph;
    TLine *line = par->Lines;
    int pos = 0;
    ASSERT_EQ(doc.InsertParagraphs(par, line, first, pos), 1);
    EXPECT_EQ(doc.FirstParagraph, first);
    EXPECT_EQ(DocText(doc), "one|two");
    EXPECT_EQ(par, chain);
    EXPECT_EQ(line, chain->LastLine());
    EXPECT_EQ(pos, line->Length);
    EXPECT_TRUE(ChainsConsistent(doc));
}

TEST(InsertParagraphs, IntoTextSplitsAtThePosition)
{
    TQnRTFText doc;
    Fill(doc, {"head-tail", "after"});
    TParagraph *target = doc.FirstParagraph;
    doc.InsertText(target, 9, nullptr, U"+more"); // a line after the cut line
    auto makeChain = [&](std::vector<std::u32string> texts) {
        TParagraph *chain = nullptr, *first = nullptr;
        for (auto &t : texts) {
            doc.NewParagraph(chain, 8);
            if (!first)
                first = chain;
            doc.InsertText(chain, 0, nullptr, t);
        }
        return first;
    };

    TParagraph *par = target;
    TLine *line = target->Lines;
    int pos = 5;
    TParagraph *chain = makeChain({U"A", U"B", U"C"});
    TParagraph *lastOfChain = chain->Next->Next;
    ASSERT_EQ(doc.InsertParagraphs(par, line, chain, pos), 1);
    EXPECT_EQ(DocText(doc), "head-A|B|Ctail+more|after");
    EXPECT_EQ(par, lastOfChain);
    EXPECT_EQ(pos, 0);
    char32_t rest[16];
    TQnRTFText::CopyText(par, 1, rest, 15);
    EXPECT_EQ(std::u32string(rest), U"tail+more");
    EXPECT_EQ(line->Length, 4); // the tail line
    EXPECT_EQ(line->Text[0], 't');

    // A one-paragraph chain stays inside the current paragraph.
    par = doc.LastParagraph();
    line = par->Lines;
    pos = 2;
    ASSERT_EQ(doc.InsertParagraphs(par, line, makeChain({U"xyz"}), pos), 1);
    EXPECT_EQ(DocText(doc), "head-A|B|Ctail+more|afxyzter");
    EXPECT_EQ(par, doc.LastParagraph());
    EXPECT_EQ(doc.ParagraphCount(), 4);

    // A table cell refuses and leaves the chain to the caller.
    par->ParFlags = kParTableCell;
    TParagraph *refused = makeChain({U"no"});
    EXPECT_EQ(doc.InsertParagraphs(par, line, refused, pos), 0);
    EXPECT_EQ(DocText(doc), "head-A|B|Ctail+more|afxyzter");
    TQnRTFText::FreeParagraphChain(refused);
    EXPECT_TRUE(ChainsConsistent(doc));
}
