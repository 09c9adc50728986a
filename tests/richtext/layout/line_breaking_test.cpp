// Line breaking, tabs, placement and page breaks, exact to the pixel on the
// fixed-metrics canvas (glyphs 6 pixels wide, lines 16 high, text from x = 1).
#include <gtest/gtest.h>

#include "platform/winmath.h"
#include "tests/richtext/layout/layout_test_util.h"

using namespace qn;
using qn::test::LayoutDoc;

using Lines = std::vector<std::string>;

TEST(LineBreaking, BreaksAfterTheLastBlankBeforeTheEdge)
{
    LayoutDoc doc(61); // 60 pixels: ten glyphs
    doc.SetText({"aaaa bbbb cccc"});
    EXPECT_EQ(doc.Lines(0), (Lines{"aaaa bbbb ", "cccc"}));
    EXPECT_EQ(doc.Line(0, 0)->LineWidth, 54) << "the width before the breaking blank";
    EXPECT_EQ(doc.Line(0, 1)->Top, 16);
    EXPECT_EQ(doc.DocumentHeight, 32);

    // A word longer than the line takes characters until the width is
    // exceeded, the exceeding one included; it is not split at a blank.
    doc.SetText({"abcdefghijklmno pq"});
    EXPECT_EQ(doc.Lines(0), (Lines{"abcdefghijk", "lmno pq"}));

    // A line feed ends its line; a blank at a line's start is no break.
    doc.SetText({"ab\ncd efghijklm"});
    EXPECT_EQ(doc.Lines(0), (Lines{"ab\n", "cd ", "efghijklm"}));

    // The exceeding character may be the paragraph's last one.
    doc.SetText({"aaaa bbbbbb"});
    EXPECT_EQ(doc.Lines(0), (Lines{"aaaa ", "bbbbbb"}));
}

TEST(LineBreaking, AvailableWidthBelowOnePixelIsSixteen)
{
    LayoutDoc doc(61);
    doc.SetText({"abcdefg"});
    TParagraph *p = doc.Par(0);
    p->FirstIndent = p->LeftIndent = 20000; // far beyond the page
    EXPECT_EQ(doc.AvailableWidth(p, true), 16);
    doc.ReformatAll();
    EXPECT_EQ(doc.Lines(0), (Lines{"abc", "def", "g"}));
}

TEST(LineBreaking, JustifiedLinesAndTheLastLine)
{
    LayoutDoc doc(61);
    doc.SetText({"aa bb cc dd ee ff"});
    TParagraph *p = doc.Par(0);
    p->Alignment = kAlignJustify;
    doc.ReformatAll();
    ASSERT_EQ(doc.Lines(0), (Lines{"aa bb cc ", "dd ee ff"}));
    TLine *first = doc.Line(0, 0);
    // extra = blanks 18 + available 60 - width 48 - slack 6 = 24 over 2 blanks.
    EXPECT_TRUE(first->LineFlags & kLineJustified);
    EXPECT_EQ(first->LineWidth, 0);
    EXPECT_EQ(first->JustifyExtra, 12);
    EXPECT_EQ(first->JustifyRemainder, 0);
    EXPECT_EQ(doc.XOfChar(p, first, 3), 1 + 12 + 12);
    EXPECT_EQ(doc.XOfChar(p, first, 6), 1 + 12 + 12 + 12 + 12);
    // The last line is left-aligned with its natural width...
    TLine *last = doc.Line(0, 1);
    EXPECT_FALSE(last->LineFlags & kLineJustified);
    EXPECT_EQ(last->LineWidth, 48);
    EXPECT_EQ(doc.XOfChar(p, last, 3), 1 + 18);
    // ...unless the paragraph asks for it: 12 + 60 - 48 - 6 = 18 for one gap.
    p->ParFlags |= 0x40;
    doc.ReformatAll();
    last = doc.Line(0, 1);
    EXPECT_TRUE(last->LineFlags & kLineJustified);
    EXPECT_EQ(last->JustifyExtra, 18);
    EXPECT_EQ(doc.XOfChar(p, last, 3), 1 + 12 + 18);

    // A line with one blank is not stretched; a remainder goes to the first blanks.
    doc.SetText({"aaaa bbbbbbbbb"});
    doc.Par(0)->Alignment = kAlignJustify;
    doc.ReformatAll();
    EXPECT_FALSE(doc.Line(0, 0)->LineFlags & kLineJustified);
    doc.SetText({"a b c dddddd"});
    doc.Par(0)->Alignment = kAlignJustify;
    doc.ReformatAll();
    ASSERT_EQ(doc.Lines(0), (Lines{"a b c ", "dddddd"}));
    // 18 + 60 - 30 - 6 = 42 over 2 blanks: 21 each.
    EXPECT_EQ(doc.Line(0, 0)->JustifyExtra, 21);
    doc.SetText({"a b c d eeeee"});
    doc.Par(0)->Alignment = kAlignJustify;
    doc.ReformatAll();
    ASSERT_EQ(doc.Lines(0), (Lines{"a b c d ", "eeeee"}));
    // 24 + 60 - 42 - 6 = 36 over 3 blanks; then a remainder case:
    EXPECT_EQ(doc.Line(0, 0)->JustifyExtra, 12);
    EXPECT_EQ(doc.Line(0, 0)->JustifyRemainder, 0);
    doc.Canvas.SetWidthRule(
        [](int em, unsigned char code, const FontSpec &) { return code == ' ' ? 5 : em / 2; });
    doc.ReformatAll();
    // blanks 20 + 60 - (4 * 6 + 3 * 5) - 6 = 35 = 3 * 11 + 2.
    EXPECT_EQ(doc.Line(0, 0)->JustifyExtra, 11);
    EXPECT_EQ(doc.Line(0, 0)->JustifyRemainder, 2);
    TParagraph *q = doc.Par(0);
    EXPECT_EQ(doc.XOfChar(q, doc.Line(0, 0), 6), 1 + 6 + 12 + 6 + 12 + 6 + 11);
}

TEST(LineBreaking, WithoutWordWrapTextWrapsAtThePageWidth)
{
    LayoutDoc doc; // word wrap off, window 565
    doc.SetWindowWidth(61);
    // 12240 - 2 * 1880 twips = 565 pixels; 564 available = 94 glyphs.
    EXPECT_EQ(doc.Header->LayoutWidthPixels, 565);
    doc.SetText({std::string(100, 'x')});
    ASSERT_EQ(doc.Lines(0).size(), 2u);
    EXPECT_EQ(doc.Lines(0)[0].size(), 95u);

    // Word wrap on in a window wider than the page still wraps at the page.
    doc.SetWrapToWindow(true);
    doc.SetWindowWidth(1000);
    EXPECT_EQ(doc.Header->LayoutWidthPixels, 1000);
    EXPECT_EQ(doc.AvailableWidth(doc.Par(0), true), 564);
    EXPECT_EQ(doc.Lines(0)[0].size(), 95u);
    // A narrower window re-breaks at the window.
    doc.SetWindowWidth(121);
    EXPECT_EQ(doc.Lines(0)[0].size(), 21u);
}

TEST(LineBreaking, RightAlignedAndCentredLines)
{
    LayoutDoc doc(61);
    // In a right-aligned paragraph a tab is as wide as a blank.
    doc.SetText({"ab\tcd"});
    TParagraph *p = doc.Par(0);
    p->Alignment = kAlignRight;
    doc.ReformatAll();
    TLine *l = doc.Line(0, 0);
    // Free space: layout 61 - text 30 - right 0 - left 1 = 30.
    EXPECT_EQ(doc.LineStartX(p, l), 31);
    EXPECT_EQ(doc.XOfChar(p, l, 3), 31 + 18);
    // Trailing blanks do not count.
    doc.SetText({"ab  "});
    doc.Par(0)->Alignment = kAlignRight;
    doc.ReformatAll();
    EXPECT_EQ(doc.LineStartX(doc.Par(0), doc.Line(0, 0)), 1 + 60 - 12);
    doc.Par(0)->Alignment = kAlignCenter;
    doc.ReformatAll();
    EXPECT_EQ(doc.LineStartX(doc.Par(0), doc.Line(0, 0)), 1 + 24);
}

TEST(LineBreaking, EveryTabKind)
{
    LayoutDoc doc; // page width 565
    auto tabAt = [&](const std::string &text, int twips, TTabKind kind, uint8_t decimal = '.') {
        doc.ClearTabs();
        doc.SetText({text});
        doc.Header->DecimalChar = decimal;
        TParagraph *p = doc.Par(0);
        if (twips > 0)
            p->TabMask = doc.AddTab(twips, kind);
        doc.ReformatAll();
        return doc.XOfChar(p, doc.Line(0, 0), int(text.find('\t')) + 1);
    };
    // 1440 twips = 96 pixels from the margin; "a" ends at 7.
    EXPECT_EQ(tabAt("a\tbcd", 1440, tkLeft), 96);
    EXPECT_EQ(tabAt("a\tbcd", 1440, tkAll), 96);
    EXPECT_EQ(tabAt("a\tbcd", 1440, tkRight), 96 - 18);
    EXPECT_EQ(tabAt("a\tbcd", 1440, tkCenter), 96 - 9);
    EXPECT_EQ(tabAt("a\t12.50", 1440, tkDecimal), 96 - 12);
    EXPECT_EQ(tabAt("a\t12,5\tx", 1440, tkDecimal, ','), 96 - 12);
    // Right-aligned text that does not fit before the stop starts at x.
    EXPECT_EQ(tabAt("a\t" + std::string(20, 'b'), 1440, tkRight), 7);
    // A stop beyond the right indent leaves x unchanged.
    EXPECT_EQ(tabAt("a\tb", 10000, tkLeft), 7);
    // No stop after x: the next multiple of the ruler step (96 / 3 = 32).
    EXPECT_EQ(tabAt("a\tb", 0, tkLeft), 32);
    EXPECT_EQ(tabAt("aaaaaa\tb", 0, tkLeft), 64);
    // The smallest stop after x wins, whatever order the slots are in.
    doc.ClearTabs();
    doc.SetText({"a\tb\tc"});
    TParagraph *p = doc.Par(0);
    p->TabMask = doc.AddTab(2880, tkLeft) | doc.AddTab(720, tkLeft);
    doc.ReformatAll();
    EXPECT_EQ(doc.XOfChar(p, doc.Line(0, 0), 2), 48);
    EXPECT_EQ(doc.XOfChar(p, doc.Line(0, 0), 4), 192);
    // In a narrower window the second stop lies beyond the right indent.
    doc.SetWrapToWindow(true);
    doc.SetWindowWidth(150);
    EXPECT_EQ(doc.Lines(0), (Lines{"a\tb\tc"}));
    EXPECT_EQ(doc.XOfChar(p, doc.Line(0, 0), 4), 54);
}

TEST(LineBreaking, ZoomScalesTheResolution)
{
    LayoutDoc doc;
    doc.SetText({"abc"});
    doc.SetZooming(200);
    EXPECT_EQ(doc.Header->PixelsPerInchX, 192);
    EXPECT_EQ(doc.Line(0, 0)->Height, 27 + 6); // as 20 pt at 96 dpi
    EXPECT_EQ(doc.XOfChar(doc.Par(0), doc.Line(0, 0), 1), 1 + 13);
    doc.SetZooming(0); // ignored
    EXPECT_EQ(doc.Zooming, 200);
    doc.SetPaintFlags(doc.PaintFlags | kPaintNoZoom);
    EXPECT_EQ(doc.Header->PixelsPerInchX, 96);
    doc.SetResizing(50);
    EXPECT_EQ(doc.Line(0, 0)->Height, 7 + 1); // 5 pt: em 7, descent 1
}

TEST(LineBreaking, LineHeightsAndParagraphSpacing)
{
    LayoutDoc doc(200);
    doc.SetText({"one", "two", ""});
    TParagraph *p = doc.Par(0);
    p->SpaceBefore = 150; // 10 pixels
    p->SpaceAfter = 300;  // 20 pixels
    p->LineSpacing = 120; // 8 pixels, half to the ascent
    doc.ReformatAll();
    TLine *l = doc.Line(0, 0);
    EXPECT_EQ(l->Height, 16 + 8 + 10 + 20);
    EXPECT_EQ(l->Ascent, 13 + 4 + 10);
    EXPECT_EQ(doc.Line(1, 0)->Top, l->Height);
    // An empty paragraph is as high as its own font.
    EXPECT_EQ(doc.Line(2, 0)->Height, 16);
    TCharAttr big;
    big.Size = 20;
    doc.Par(2)->Lines->Attrs[0] = big;
    doc.Par(2)->State |= kStateRepaint;
    doc.FormatAll();
    EXPECT_EQ(doc.Line(2, 0)->Height, 27 + 6);
    EXPECT_EQ(doc.DocumentHeight, 54 + 16 + 33);

    // The tallest visible character decides; hidden text and blanks do not.
    doc.SetText({"ab c"});
    TLine *line = doc.Line(0, 0);
    line->Attrs[2].Size = 30; // the blank
    line->Attrs[3].Style = kStyleHidden;
    line->Attrs[3].Size = 40;
    line->Attrs[1].Size = 20;
    doc.ReformatAll();
    EXPECT_EQ(doc.Line(0, 0)->Height, 27 + 6);
    EXPECT_EQ(doc.XOfChar(doc.Par(0), doc.Line(0, 0), 4), 1 + 6 + 13 + 20)
        << "hidden text takes no room";
}

TEST(PageBreaks, AutomaticBreaksAndAKeptTableRow)
{
    LayoutDoc doc(300);
    // Page: (15840 - 2 * 1440) * 96 / 1440 = 864 pixels = 54 lines of 16.
    std::vector<std::string> text(70, "x");
    doc.SetText(text);
    int firstBreak = -1;
    for (int i = 0; i < 70; ++i)
        if (doc.Line(i, 0)->LineFlags & kLinePageStart) {
            firstBreak = i;
            break;
        }
    EXPECT_EQ(firstBreak, 55) << "the first line whose top is more than a page down";

    // A row of two cells at y = 800: the first cell has five lines, so the
    // row (800 + 80) does not fit and moves to a new page as a whole.
    std::vector<std::string> rows(50, "x");
    rows.push_back("a\nb\nc\nd\ne");
    rows.push_back("z");
    rows.push_back("after");
    doc.SetText(rows);
    TParagraph *c1 = doc.Par(50), *c2 = doc.Par(51);
    c1->ParFlags = kParTableCell | kParCellRowOpen;
    c2->ParFlags = kParTableCell | kParCellNotFirst;
    c1->SetCellLeft(0);
    c1->SetCellWidth(127);
    c2->SetCellLeft(127);
    c2->SetCellWidth(128);
    doc.ReformatAll();
    ASSERT_EQ(doc.Lines(50).size(), 5u);
    EXPECT_EQ(c1->Lines->Top, 800);
    EXPECT_EQ(c2->Lines->Top, 800) << "cells stand side by side";
    EXPECT_TRUE(c1->Lines->LineFlags & kLinePageStart);
    EXPECT_FALSE(c2->Lines->LineFlags & kLinePageStart);
    // Both cells end together; the paragraph after the row follows it.
    EXPECT_EQ(c2->Lines->Height, 80);
    EXPECT_EQ(c2->SpaceAfter, 960);
    EXPECT_EQ(doc.Line(52, 0)->Top, 880);
    EXPECT_FALSE(doc.Line(52, 0)->LineFlags & kLinePageStart);
    EXPECT_EQ(doc.DocumentHeight, 896);
    // The cells share the layout width (300 pixels = 4500 twips).
    EXPECT_EQ(doc.Header->LayoutWidthTwips, 4500);
    EXPECT_EQ(doc.LeftIndentPixels(c2, false), MulDiv(4500 * 127 / 255, 96, 1440) + 1);

    // A row mark without its partner makes the paragraph an ordinary one.
    c2->ParFlags = 0;
    doc.ReformatAll();
    EXPECT_FALSE(c1->IsTableCell());
    EXPECT_EQ(c2->Lines->Top, 880);
}

TEST(PageBreaks, APageBreakBeforeStartsAFreshPage)
{
    LayoutDoc doc(300);
    std::vector<std::string> text(80, "x");
    doc.SetText(text);
    doc.Par(10)->ParFlags |= kParPageBreak;
    doc.ReformatAll();
    // The page now starts at paragraph 10 (y 160): the next automatic break
    // is the first line more than 864 below it.
    int firstBreak = -1;
    for (int i = 0; i < 80; ++i)
        if (doc.Line(i, 0)->LineFlags & kLinePageStart) {
            firstBreak = i;
            break;
        }
    EXPECT_EQ(firstBreak, 10 + 55);
}

// A letter's marks stay on its line, but never past what a line holds: an
// overflowing letter near the end of a line buffer (after hidden text) with
// its marks once made the layout throw.
TEST(LineBreaking, MarksNeverTakeALinePastItsCapacity)
{
    LayoutDoc doc(662); // ten letters with their marks (66 pixels each) a line
    for (int hidden = 9870; hidden <= 9910; ++hidden) {
        std::u32string text(size_t(hidden), U'x');
        for (int k = 0; k < 12; ++k)
            text += U"b" + std::u32string(10, U'\u0301');
        doc.Clear();
        const TCharAttr plain{};
        doc.SetParagraphText(0, text, &plain);
        int at = 0;
        for (TLine *l = doc.Par(0)->Lines; l; l = l->Next)
            for (int k = 0; k < l->Length; ++k, ++at)
                if (at < hidden)
                    l->Attrs[k].Style |= kStyleHidden;
        ASSERT_NO_THROW(doc.ReformatAll()) << hidden;
        size_t total = 0;
        for (TLine *l = doc.Par(0)->Lines; l; l = l->Next) {
            EXPECT_LE(l->Length + 4, kMaxLineCapacity) << hidden;
            total += l->Length;
        }
        EXPECT_EQ(total, text.size()) << hidden;
    }
}
