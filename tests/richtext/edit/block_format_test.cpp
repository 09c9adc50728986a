// Deleting the selected block, and character and paragraph formatting over
// the block or at the cursor.
#include <gtest/gtest.h>

#include "edit_test_util.h"
#include "tests/support/text32.h"

namespace qn::test {
namespace {

using Texts = std::vector<std::string>;

// A row of two cells after a plain paragraph, and one after it.
void makeTable(EditDoc &doc)
{
    doc.SetText({"intro", "c1", "c2", "d1", "d2", "outro"});
    for (int row : {1, 3}) {
        doc.Par(row)->ParFlags = kParTableCell | kParCellRowOpen;
        doc.Par(row)->TabMask = 127; // the left half
        doc.Par(row + 1)->ParFlags = kParTableCell | kParCellNotFirst;
        doc.Par(row + 1)->TabMask = 0x00007F7F; // the right half
    }
    doc.ReformatAll();
}

TEST(DeleteBlock, InOneLineInEitherDirection)
{
    EditDoc doc;
    doc.SetText({"abcdefgh"});
    EXPECT_FALSE(doc.DeleteBlock());
    doc.Select(0, 6, 0, 2); // dragged leftwards
    EXPECT_TRUE(doc.Reversed);
    EXPECT_TRUE(doc.DeleteBlock());
    EXPECT_EQ(doc.Texts(), Texts{"abgh"});
    EXPECT_EQ(doc.Where(), std::make_pair(0, 2));
    EXPECT_FALSE(doc.HasBlock());
    EXPECT_EQ(doc.Suspend, 0);
    EXPECT_EQ(doc.ProtectOff, 0);
}

TEST(DeleteBlock, AcrossLinesAndParagraphs)
{
    EditDoc doc(61);
    doc.SetText({"abcde fghij klmno pqrst", "second", "third", "fourth"});
    ASSERT_EQ(doc.LineCount(0), 4);
    doc.Select(0, 3, 0, 20); // from the first line into the last
    doc.DeleteBlock();
    EXPECT_EQ(doc.Texts()[0], "abcrst");
    EXPECT_EQ(doc.LineCount(0), 1);

    doc.Select(0, 2, 2, 3); // over a whole paragraph into a third
    doc.DeleteBlock();
    EXPECT_EQ(doc.Texts(), (Texts{"abrd", "fourth"}));
    EXPECT_EQ(doc.Where(), std::make_pair(0, 2));
    EXPECT_EQ(doc.Line(1, 0)->Top, 16);
    EXPECT_EQ(doc.DocumentHeight, 32);
    EXPECT_EQ(checkInvariants(doc), "");
}

TEST(DeleteBlock, ProtectedTextGoesWithTheBlock)
{
    EditDoc doc;
    doc.SetText({"abcdef"});
    TCharAttr shadow = look(kStyleShadow);
    doc.InsertText(doc.Par(0), 3, &shadow, U32("XYZ"));
    doc.ReformatAll();
    doc.ProtectOptions = kProtectShadow;
    doc.At(0, 4);
    doc.Key(127); // guarded on its own
    EXPECT_EQ(doc.Texts(), Texts{"abcXYZdef"});
    doc.Select(0, 2, 0, 7);
    doc.Key(127);
    EXPECT_EQ(doc.Texts(), Texts{"abef"});
}

TEST(DeleteBlock, CellsAreEmptiedUnlessWholeCellsAreSelected)
{
    EditDoc doc;
    makeTable(doc);
    doc.Select(0, 2, 2, 1); // from the intro into the middle of c2
    doc.DeleteBlock();
    EXPECT_EQ(doc.Texts(), (Texts{"in", "", "2", "d1", "d2", "outro"}));
    EXPECT_TRUE(doc.Par(1)->IsTableCell());
    EXPECT_EQ(checkInvariants(doc), "");

    makeTable(doc);
    doc.Select(1, 0, 2, 2); // the whole first row
    doc.DeleteBlock();
    EXPECT_EQ(doc.Texts(), (Texts{"intro", "", "d1", "d2", "outro"}));
    EXPECT_EQ(checkInvariants(doc), "");
    // The row marks left over no longer make a row; layout turns it plain.
    EXPECT_FALSE(doc.Par(1)->IsTableCell());
    EXPECT_TRUE(doc.Par(2)->IsTableCell());
}

TEST(SelectionAttr, AppliedOverABlockIsMeasuredAndBroken)
{
    EditDoc doc(121); // twenty characters a line
    doc.SetText({"aaaa bbbb cccc", "dddd eeee"});
    doc.Select(0, 5, 1, 4);
    doc.SetSelectionAttr(look(kStyleBold, 20), kAttrSize | kAttrStyleOn);
    EXPECT_EQ(doc.AttrAt(0, 4).Width, 6);
    EXPECT_EQ(doc.AttrAt(0, 5).Width, 13);
    EXPECT_EQ(doc.AttrAt(0, 5).Style, kStyleBold);
    EXPECT_EQ(doc.AttrAt(1, 3).Width, 13);
    EXPECT_EQ(doc.AttrAt(1, 4).Width, 6);
    EXPECT_EQ(doc.AttrAt(1, 5).Style, 0);
    // The wider text wraps again, lines grow to the font, tops follow.
    EXPECT_EQ(doc.LineCount(0), 2);
    EXPECT_EQ(doc.Line(0, 0)->Height, 33); // 20 pt: em 27, height 27 + 27 / 4
    EXPECT_EQ(doc.Line(1, 0)->Top, 66);
    EXPECT_EQ(doc.DocumentHeight, 99);
    // The current attribute takes the same change.
    EXPECT_EQ(doc.CurrentAttr.Size, 20);
    EXPECT_EQ(doc.CurrentAttr.Style & kStyleBold, kStyleBold);
}

TEST(SelectionAttr, EveryPartOfTheMask)
{
    EditDoc doc;
    doc.SetText({"x"});
    auto apply = [&](TCharAttr start, const TCharAttr &given, uint8_t parts) {
        doc.SetText({"x"}, &start);
        doc.Select(0, 0, 0, 1);
        doc.SetSelectionAttr(given, parts);
        return doc.AttrAt(0, 0);
    };
    const TCharAttr base = look(kStyleHidden | kStyleDoubleUnderline | kStyleItalic, 12, 0x21, 1);
    const TCharAttr given = look(kStyleBold | kStyleUnderline, 18, 0x53, 2);

    TCharAttr a = apply(base, given, kAttrFont);
    EXPECT_EQ(a.FontIndex, 2);
    EXPECT_EQ(a.Size, 12);
    a = apply(base, given, kAttrSize);
    EXPECT_EQ(a.Size, 18);
    EXPECT_EQ(a.FontIndex, 1);
    a = apply(base, given, kAttrTextColor);
    EXPECT_EQ(a.Colors, 0x23);
    a = apply(base, given, kAttrBackColor);
    EXPECT_EQ(a.Colors, 0x51);
    a = apply(base, given, kAttrStyleOn);
    EXPECT_EQ(a.Style, base.Style | given.Style);
    a = apply(base, look(kStyleItalic | kStyleHidden), kAttrStyleOff);
    EXPECT_EQ(a.Style, kStyleDoubleUnderline);
    // The group replaces hidden too; double underline is not in it.
    a = apply(base, given, kAttrStyleGroup);
    EXPECT_EQ(a.Style, kStyleBold | kStyleUnderline | kStyleDoubleUnderline);
    // The basic styles leave hidden alone.
    a = apply(base, given, kAttrBasicStyles);
    EXPECT_EQ(a.Style, kStyleBold | kStyleUnderline | kStyleDoubleUnderline | kStyleHidden);
    EXPECT_EQ(a.Width, 0); // hidden, measured again
}

TEST(SelectionAttr, SuperscriptAndSubscriptExcludeEachOther)
{
    EditDoc doc;
    doc.SetText({"x"});
    auto apply = [&](uint16_t from, uint16_t on) {
        const TCharAttr start = look(from);
        doc.SetText({"x"}, &start);
        doc.Select(0, 0, 0, 1);
        doc.SetSelectionAttr(look(on), kAttrStyleOn);
        return doc.AttrAt(0, 0).Style;
    };
    EXPECT_EQ(apply(kStyleSubscript | kStyleBold, kStyleSuperscript),
              kStyleSuperscript | kStyleBold);
    EXPECT_EQ(apply(kStyleSuperscript, kStyleSubscript), kStyleSubscript);
    EXPECT_EQ(apply(kStyleSubscript, kStyleRaised), kStyleRaised);
    // Raised text is measured at two thirds of its size.
    EXPECT_EQ(doc.AttrAt(0, 0).Width, 4);
}

TEST(SelectionAttr, WithoutABlockOnlyTheCurrentAttributeChangesAndTheListenerHears)
{
    struct Listener : TQnAttrListener {
        std::string calls;
        void CursorMoved() override { calls += "M"; }
        void AttrChanged() override { calls += "A"; }
    } listener;
    EditDoc doc;
    doc.SetText({"abc"});
    doc.AttrListener = &listener;
    doc.At(0, 3);
    doc.SetStyle(kStyleItalic, true);
    EXPECT_EQ(doc.AttrAt(0, 2).Style, 0);
    EXPECT_EQ(doc.CurrentAttr.Style, kStyleItalic);
    EXPECT_EQ(listener.calls, "AM");
    doc.Type("d");
    EXPECT_EQ(doc.AttrAt(0, 3).Style, kStyleItalic);

    // Moving takes the look before the cursor; the listener hears of a change only.
    listener.calls.clear();
    doc.MoveCursor(kMoveRight, false);
    EXPECT_EQ(listener.calls, "M"); // still italic before the cursor
    doc.MoveCursor(kMoveLeft, false);
    EXPECT_EQ(listener.calls, "MAM");
    EXPECT_EQ(doc.CurrentAttr.Style, 0);

    // Style 0 turns every character style off over the block.
    doc.Select(0, 0, 0, 4);
    doc.SetSelectionAttr(look(kStyleBold | kStyleUnderline), kAttrStyleOn);
    doc.SetStyle(0, true);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(doc.AttrAt(0, i).Style, 0);
}

TEST(ParagraphFormat, AlignmentAndTabsOverTheBlock)
{
    EditDoc doc;
    doc.SetText({"one", "two", "three"});
    doc.Select(0, 1, 1, 1);
    doc.SetAlignment(kAlignRight);
    EXPECT_EQ(doc.Par(0)->Alignment, kAlignRight);
    EXPECT_EQ(doc.Par(1)->Alignment, kAlignRight);
    EXPECT_EQ(doc.Par(2)->Alignment, kAlignLeft);
    EXPECT_EQ(doc.LineStartX(doc.Par(0), doc.Line(0, 0)), 565 - 18);

    const uint32_t bit = doc.AddTab(1440, tkLeft);
    ASSERT_NE(bit, 0u);
    doc.SetTab(bit, false);
    EXPECT_EQ(doc.Par(0)->TabMask, bit);
    EXPECT_EQ(doc.Par(1)->TabMask, bit);
    EXPECT_EQ(doc.Par(2)->TabMask, 0u);
    EXPECT_EQ(doc.Header->RulerTabMask, bit);
    doc.SetTab(bit, true);
    EXPECT_EQ(doc.Par(0)->TabMask, 0u);
    EXPECT_EQ(doc.Header->RulerTabMask, 0u);

    // A cell keeps its one tab in the CellTab nibble, its geometry untouched.
    makeTable(doc);
    doc.At(1, 0);
    doc.SetTab(bit, false);
    int slot = 0;
    while (!((bit >> slot) & 1u))
        ++slot;
    EXPECT_EQ(doc.Par(1)->CellTab(), slot + 1);
    EXPECT_EQ(doc.Par(1)->CellWidth(), 127);
    EXPECT_EQ(doc.Header->RulerTabMask, bit);
    doc.SetTab(bit, true);
    EXPECT_EQ(doc.Par(1)->CellTab(), 0);
}

TEST(ParagraphFormat, IndentsKeepUnchangedValuesAndSpreadOverATable)
{
    EditDoc doc;
    std::string text;
    for (int i = 0; i < 15; ++i)
        text += "word ";
    doc.SetText({text, "second"});
    ASSERT_EQ(doc.LineCount(0), 1);
    doc.At(0, 0);
    doc.SetIndents(1440, 720, kIndentUnchanged);
    EXPECT_EQ(doc.Par(0)->FirstIndent, 1440);
    EXPECT_EQ(doc.Par(0)->LeftIndent, 720);
    EXPECT_EQ(doc.Par(0)->RightIndent, 0);
    EXPECT_EQ(doc.Header->RulerFirstIndent, 1440);
    doc.SetIndents(kIndentUnchanged, kIndentUnchanged, 4320);
    EXPECT_EQ(doc.Par(0)->FirstIndent, 1440);
    EXPECT_EQ(doc.Par(0)->RightIndent, 4320);
    EXPECT_EQ(doc.Par(1)->RightIndent, 0);
    // Narrower: broken again at once.
    EXPECT_EQ(doc.LineCount(0), 3);
    EXPECT_EQ(doc.Line(1, 0)->Top, 48);
    doc.SetIndents(65000, 100, 65535);
    EXPECT_EQ(doc.Par(0)->FirstIndent, 1440);
    EXPECT_EQ(doc.Par(0)->LeftIndent, 100);

    makeTable(doc);
    doc.At(2, 0);
    doc.SetIndents(kIndentUnchanged, 360, kIndentUnchanged);
    for (int i = 1; i <= 4; ++i)
        EXPECT_EQ(doc.Par(i)->LeftIndent, 360) << i;
    EXPECT_EQ(doc.Par(0)->LeftIndent, 0);
    EXPECT_EQ(doc.Par(5)->LeftIndent, 0);
}

TEST(ParagraphFormat, ReadOnlyChangesNothing)
{
    EditDoc doc;
    doc.SetText({"abc"});
    doc.Select(0, 0, 0, 3);
    doc.ReadOnly = true;
    doc.SetSelectionAttr(look(kStyleBold), kAttrStyleOn);
    doc.SetAlignment(kAlignCenter);
    doc.SetIndents(720, 720, 720);
    EXPECT_EQ(doc.AttrAt(0, 0).Style, 0);
    EXPECT_EQ(doc.Par(0)->Alignment, kAlignLeft);
    EXPECT_EQ(doc.Par(0)->LeftIndent, 0);
}

} // namespace
} // namespace qn::test
