#include <gtest/gtest.h>

#include "richtext/model/language.h"
#include "richtext/model/rtf_text.h"
#include "tests/richtext/model/model_test_util.h"

using namespace qn;
using namespace qn::test;

TEST(Document, NewDocumentHasOneEmptyParagraphAndDefaults)
{
    TQnRTFText doc;
    ASSERT_NE(doc.FirstParagraph, nullptr);
    EXPECT_EQ(doc.FirstParagraph->Next, nullptr);
    ASSERT_NE(doc.FirstParagraph->Lines, nullptr);
    EXPECT_EQ(doc.FirstParagraph->Lines->Next, nullptr);
    EXPECT_EQ(doc.FirstParagraph->Lines->Length, 0);
    EXPECT_EQ(doc.FirstParagraph->Lines->Capacity, 40);
    EXPECT_TRUE(doc.Created);
    EXPECT_TRUE(doc.IsRich());
    EXPECT_EQ(doc.Header->RichMode, 1);
    EXPECT_EQ(doc.CurrentAttr.Size, 10);
    EXPECT_EQ(doc.InsertMode, 1);
    EXPECT_EQ(doc.CharWidths[200], 16);
    EXPECT_EQ(doc.PlainLineHeight, 16);
    EXPECT_EQ(doc.PlainAscent, 14);

    const TTextHeader &h = *doc.Header;
    EXPECT_EQ(h.PageWidth, 12240);
    EXPECT_EQ(h.PageHeight, 15840);
    EXPECT_EQ(h.MarginLeft, 1880);
    EXPECT_EQ(h.MarginRight, 1880);
    EXPECT_EQ(h.MarginTop, 1440);
    EXPECT_EQ(h.LayoutWidthTwips, 8480);
    EXPECT_EQ(h.UseInch, 1);
    EXPECT_EQ(h.LoadedFormat, 0);
    EXPECT_EQ(h.Colors[1], 0x0000FFu);  // red in the low byte
    EXPECT_EQ(h.Colors[2], 0x008000u);  // green
    EXPECT_EQ(h.Colors[11], 0x800000u); // navy
    EXPECT_EQ(h.Colors[13], 0xC0C0C0u);
    EXPECT_EQ(h.FontNames[0], "Arial");

    // Deleting the only character of a new document leaves it as it was.
    TParagraph *p = doc.FirstParagraph;
    ASSERT_TRUE(doc.InsertChar(p, p->Lines, 'x', 0));
    ASSERT_TRUE(doc.DeleteChar(p, p->Lines, 0));
    EXPECT_EQ(doc.FirstParagraph, p);
    EXPECT_EQ(p->Next, nullptr);
    EXPECT_EQ(p->Lines->Next, nullptr);
    EXPECT_EQ(p->Lines->Length, 0);
    EXPECT_FALSE(doc.DeleteChar(p, p->Lines, 0)); // nothing left to delete or join
    EXPECT_EQ(doc.ParagraphCount(), 1);
}

TEST(Document, HeaderPixelSizesAndDecimalCharFollowResolutionAndLanguage)
{
    TQnRTFText doc;
    doc.Header->PixelsPerInchX = 96;
    doc.Header->PixelsPerInchY = 96;
    doc.Header->RecomputePixelSizes();
    EXPECT_EQ(doc.Header->TextAreaWidthPixels, 565); // 8480 * 96 / 1440 = 565.3
    EXPECT_EQ(doc.Header->TextAreaHeightPixels, 864);
    EXPECT_EQ(doc.Header->RulerStepPixels, 32);
    doc.Header->UseInch = 0;
    doc.Header->RecomputePixelSizes();
    EXPECT_EQ(doc.Header->RulerStepPixels, 38); // 96 * 100 / 254 = 37.8

    EXPECT_EQ(doc.Header->DecimalChar, '.');
    SetEngineLanguage(tqnGerman);
    doc.Clear();
    EXPECT_EQ(doc.Header->DecimalChar, ',');
    SetEngineLanguage(tqnEnglish);
    doc.Clear();
    EXPECT_EQ(doc.Header->DecimalChar, '.');
}

TEST(Document, ClearKeepsCurrentFontAsFirstAndResetsTheRest)
{
    TQnRTFText doc;
    Fill(doc, {"one", "two", "three"});
    int courier = doc.FindOrAddFont("Courier New");
    doc.FindOrAddFont("Symbol");
    doc.Header->FontPitchFamily[courier] = 0x31;
    doc.Header->MarginLeft = 100;
    doc.Header->Colors[3] = 0x123456;
    doc.Header->Title = "kept";
    doc.Header->LoadedFormat = 2;
    doc.AddObject(std::make_shared<TQnGraphic>(), 0);
    doc.AddFootnote('*', 1, "text");
    TParProps props;
    doc.AddStyle(props, "heading");
    doc.CurrentAttr.FontIndex = static_cast<uint8_t>(courier);
    doc.CurrentAttr.Size = 0;
    int changes = 0;
    doc.OnChange = [&] { ++changes; };

    doc.Clear();
    EXPECT_EQ(doc.Header->FontNames[0], "Courier New");
    EXPECT_EQ(doc.Header->FontPitchFamily[0], 0x31);
    EXPECT_TRUE(doc.Header->FontNames[1].empty());
    EXPECT_TRUE(doc.Header->FontNames[2].empty());
    EXPECT_EQ(doc.CurrentAttr.FontIndex, 0);
    EXPECT_EQ(doc.CurrentAttr.Size, 10);
    EXPECT_EQ(doc.Header->MarginLeft, 1880);
    EXPECT_EQ(doc.Header->Colors[3], kDefaultColors[3]);
    EXPECT_EQ(doc.Header->Title, "kept");
    EXPECT_EQ(doc.Header->LoadedFormat, 2);
    EXPECT_TRUE(doc.Objects.empty());
    EXPECT_TRUE(doc.Footnotes.empty());
    EXPECT_EQ(doc.Styles.size(), 1u);
    EXPECT_EQ(doc.ParagraphCount(), 1);
    EXPECT_EQ(doc.FirstParagraph->Lines->Capacity, 100);
    EXPECT_EQ(doc.FirstParagraph->State & 0x03, 0x03);
    EXPECT_EQ(changes, 1);

    // An empty first slot gets the default font.
    doc.Header->FontNames[0].clear();
    doc.Clear();
    EXPECT_EQ(doc.Header->FontNames[0], "Arial");
}

TEST(Document, NewParagraphInheritsPropertiesButNotState)
{
    TQnRTFText doc;
    TParagraph *p = doc.FirstParagraph;
    p->FirstIndent = 100;
    p->LeftIndent = 200;
    p->RightIndent = 300;
    p->SpaceBefore = 40;
    p->SpaceAfter = 50;
    p->LineSpacing = 360;
    p->Alignment = kAlignCenter;
    p->ParFlags = kParPageBreak | kParProtected;
    p->Numbering = 0x61;
    p->StyleId = 3;
    p->TabMask = 0x5;
    p->BorderFlags = kBorderOn | kBorderBox;
    p->BorderStyle = kBorderDotted;
    p->BorderWidth = 2;
    p->BorderSpaceColor = 0x13;
    p->State = 0x03;

    TParagraph *q = p;
    doc.NewParagraph(q, 20);
    ASSERT_EQ(p->Next, q);
    EXPECT_EQ(q->Prev, p);
    EXPECT_EQ(q->FirstIndent, 100);
    EXPECT_EQ(q->LeftIndent, 200);
    EXPECT_EQ(q->RightIndent, 300);
    EXPECT_EQ(q->SpaceBefore, 40);
    EXPECT_EQ(q->SpaceAfter, 50);
    EXPECT_EQ(q->LineSpacing, 360);
    EXPECT_EQ(q->Alignment, kAlignCenter);
    EXPECT_EQ(q->ParFlags, kParPageBreak | kParProtected);
    EXPECT_EQ(q->Numbering, 0x61);
    EXPECT_EQ(q->StyleId, 3);
    EXPECT_EQ(q->TabMask, 0x5u);
    EXPECT_EQ(q->BorderFlags, kBorderOn | kBorderBox);
    EXPECT_EQ(q->BorderSpaceColor, 0x13);
    EXPECT_EQ(q->State, 0);
    EXPECT_EQ(q->Lines->Capacity, 20);
    EXPECT_EQ(q->Lines->Length, 0);

    // A border marked "not passed on" stays behind; a cell's geometry too.
    p->BorderFlags |= kBorderNotInherited;
    p->ParFlags = kParTableCell;
    p->TabMask = 0x00F05A10;
    TParagraph *r = p;
    doc.NewParagraph(r, 8);
    EXPECT_EQ(r->Next, q); // inserted between p and q
    EXPECT_EQ(q->Prev, r);
    EXPECT_EQ(r->BorderFlags, 0);
    EXPECT_EQ(r->BorderStyle, 0);
    EXPECT_EQ(r->BorderWidth, 0);
    EXPECT_EQ(r->BorderSpaceColor, 0);
    EXPECT_EQ(r->TabMask, 0u);
    EXPECT_EQ(r->ParFlags, kParTableCell);

    // Without a paragraph before it, everything is zero and nothing is linked.
    TParagraph *lone = nullptr;
    doc.NewParagraph(lone, 8);
    EXPECT_EQ(lone->Prev, nullptr);
    EXPECT_EQ(lone->Next, nullptr);
    EXPECT_EQ(lone->LeftIndent, 0);
    EXPECT_EQ(lone->ParFlags, 0);
    TQnRTFText::FreeParagraphChain(lone);
    EXPECT_EQ(doc.ParagraphCount(), 3);
}

TEST(Document, LineCapacityRulesAndTheTenThousandLimit)
{
    TQnRTFText doc;
    TLine *line = nullptr;
    doc.AddLine(line, 3);
    EXPECT_EQ(line->Capacity, 8); // at least 8
    EXPECT_EQ(line->Attrs[0], doc.CurrentAttr);
    EXPECT_EQ(line->Height, 16);
    TLine *second = line;
    doc.AddLine(second, 11);
    EXPECT_EQ(second->Capacity, 12); // rounded up to even
    EXPECT_EQ(line->Next, second);
    EXPECT_EQ(second->Prev, line);

    doc.GrowLine(second, 10000);
    EXPECT_EQ(second->Capacity, 10000);
    doc.GrowLine(second, 9999); // rounds to 10000
    EXPECT_EQ(second->Capacity, 10000);
    try {
        doc.GrowLine(second, 10001);
        FAIL() << "10001 accepted";
    } catch (const EQnRTFText &e) {
        EXPECT_STREQ(e.what(), "Line longer then\t10000 character!");
    }
    EXPECT_EQ(second->Capacity, 10000); // unchanged after the refusal
    TLine *third = second;
    EXPECT_THROW(doc.AddLine(third, 10001), EQnRTFText);
    EXPECT_EQ(third, second);

    // Shrinking below the length cuts the text and keeps the NUL.
    TParagraph *p = doc.FirstParagraph;
    for (char c : std::string("abcdefghij"))
        doc.InsertChar(p, p->Lines, c, p->Lines->Length);
    doc.GrowLine(p->Lines, 6);
    EXPECT_EQ(p->Lines->Capacity, 6);
    EXPECT_EQ(p->Lines->Length, 5);
    EXPECT_EQ(doc.ParagraphText(0), U"abcde");
    EXPECT_TRUE(ChainsConsistent(doc));

    delete second;
    line->Next = nullptr;
    delete line;
}

TEST(Document, DeleteLineAndParagraphKeepAtLeastOneOfEach)
{
    TQnRTFText doc;
    Fill(doc, {"aa", "bb", "cc"});
    TParagraph *middle = doc.ParagraphAt(1);
    TLine *extra = doc.AppendLine(middle, 10);
    doc.DeleteLine(middle, middle->Lines);
    EXPECT_EQ(middle->Lines, extra);
    doc.DeleteLine(middle, extra); // the only line: emptied, not removed
    EXPECT_EQ(middle->Lines, extra);
    EXPECT_EQ(extra->Length, 0);

    TParagraph *p = doc.FirstParagraph;
    doc.DeleteParagraph(p);
    EXPECT_EQ(p, middle);
    EXPECT_EQ(doc.FirstParagraph, middle);
    EXPECT_EQ(middle->Prev, nullptr);
    TParagraph *last = doc.LastParagraph();
    doc.DeleteParagraph(last);
    EXPECT_EQ(last, middle);
    EXPECT_EQ(middle->Next, nullptr);
    doc.DeleteParagraph(last); // the only one: emptied
    EXPECT_EQ(doc.FirstParagraph, middle);
    EXPECT_EQ(doc.ParagraphCount(), 1);
    EXPECT_EQ(doc.ParagraphLength(0), 0);
    EXPECT_TRUE(ChainsConsistent(doc));
}

TEST(Document, AttributeAccessAndLastLineErrors)
{
    TQnRTFText doc;
    TLine *line = doc.FirstParagraph->Lines;
    EXPECT_NO_THROW(doc.AttribPtr(line, 0));
    try {
        doc.AttribPtr(line, line->Capacity);
        FAIL();
    } catch (const EQnRTFText &e) {
        EXPECT_STREQ(e.what(), "Error AttribPtr()");
    }
    doc.SetMemoryFormat(fmPlainText);
    EXPECT_THROW(doc.AttribPtr(doc.FirstParagraph->Lines, 0), EQnRTFText);

    TParagraph bare;
    EXPECT_EQ(doc.GetLastLine(&bare), nullptr);
    EXPECT_EQ(doc.LastError, "l=nil in Get_LastLine");
    EXPECT_EQ(doc.GetLastLine(doc.FirstParagraph), doc.FirstParagraph->Lines);
}

TEST(Document, ParagraphsByIndex)
{
    TQnRTFText doc;
    TParagraph *only = doc.FirstParagraph;
    doc.AddParagraphWithText(5, U"first", nullptr); // fills the empty document
    EXPECT_EQ(doc.FirstParagraph, only);
    doc.AddParagraphWithText(0, U"zero", nullptr);
    doc.AddParagraphWithText(99, U"last", nullptr);
    doc.AddParagraphWithText(1, U"one", nullptr);
    EXPECT_EQ(DocText(doc), "zero|one|first|last");
    EXPECT_EQ(doc.ParagraphCount(), 4);
    EXPECT_EQ(doc.ParagraphLength(2), 5);
    EXPECT_EQ(doc.ParagraphLength(4), -1);

    char32_t buffer[4];
    EXPECT_EQ(doc.ParagraphText(2, buffer, std::size(buffer)), 3);
    EXPECT_EQ(std::u32string(buffer), U"fir");
    EXPECT_TRUE(doc.SetParagraphText(1, U"uno", nullptr));
    EXPECT_FALSE(doc.SetParagraphText(7, U"x", nullptr));
    EXPECT_TRUE(doc.DeleteParagraphAt(0));
    EXPECT_FALSE(doc.DeleteParagraphAt(3));
    EXPECT_EQ(DocText(doc), "uno|first|last");

    // A paragraph of several lines reads as one text.
    TParagraph *p = doc.FirstParagraph;
    doc.InsertText(p, 1, nullptr, U"--");
    EXPECT_GT(LineCount(p), 1);
    char32_t copy[8];
    EXPECT_EQ(TQnRTFText::CopyText(p, 1, copy, 3), 3);
    EXPECT_EQ(std::u32string(copy), U"--n");
    EXPECT_EQ(TQnRTFText::CopyText(p, 4, copy, 7), 1);
    EXPECT_EQ(std::u32string(copy), U"o");

    // Text longer than one line buffer is spread over several lines.
    std::u32string big(25000, U'q');
    doc.SetParagraphText(2, big, nullptr);
    EXPECT_EQ(doc.ParagraphText(2), big);
    EXPECT_TRUE(ChainsConsistent(doc));
}

TEST(Document, AppendToLineGrowsAndRefusesBeyondTheLimit)
{
    TQnRTFText doc;
    TLine *line = doc.FirstParagraph->Lines;
    TCharAttr attr;
    attr.Style = kStyleItalic;
    doc.AppendToLine(line, std::u32string(50, U'm'), attr);
    EXPECT_EQ(line->Length, 50);
    EXPECT_GE(line->Capacity, 51);
    EXPECT_EQ(line->Attrs[49].Style, kStyleItalic);
    EXPECT_EQ(line->Attrs[49].Width, 16);
    EXPECT_THROW(doc.AppendToLine(line, std::u32string(9950, U'm'), attr), EQnRTFText);
    EXPECT_EQ(line->Length, 50);
    doc.AppendToLine(line, std::u32string(9949, U'm'), attr);
    EXPECT_EQ(line->Length, 9999);
    EXPECT_TRUE(ChainsConsistent(doc));
}
