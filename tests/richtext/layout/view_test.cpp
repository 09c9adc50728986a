// Points to positions, the caret, scrolling and its refusals, and the
// incremental path that re-breaks one paragraph and repaints changed lines.
#include <gtest/gtest.h>

#include "tests/richtext/layout/layout_test_util.h"

using namespace qn;
using qn::test::LayoutDoc;

TEST(PointToPosition, TheRightHalfOfACharacterPlacesTheCursorAfterIt)
{
    LayoutDoc doc(200, 100);
    doc.SetText({"abcdef", "second"});
    // "c" covers x 13..18: its left half goes before it, its right half after.
    doc.PointToPosition(15, 5, false);
    EXPECT_EQ(doc.Cursor.Offset, 2);
    doc.PointToPosition(16, 5, false);
    EXPECT_EQ(doc.Cursor.Offset, 2) << "the middle still counts as the left half";
    doc.PointToPosition(17, 5, false);
    EXPECT_EQ(doc.Cursor.Offset, 3);
    doc.PointToPosition(150, 20, false);
    EXPECT_EQ(doc.Cursor.Paragraph, doc.Par(1));
    EXPECT_EQ(doc.Cursor.Offset, 6);
    // Below the text: the last line; with extend the block grows backwards.
    doc.PointToPosition(1, 90, false);
    EXPECT_EQ(doc.Cursor.Line, doc.Line(1, 0));
    doc.PointToPosition(8, 2, true);
    EXPECT_TRUE(doc.BlockStarted);
    EXPECT_TRUE(doc.Reversed);
    EXPECT_EQ(doc.BlockEnd.Offset, 1);
    EXPECT_EQ(doc.BlockAnchor.Paragraph, doc.Par(1));
    // The flag that forbids caret placement by mouse.
    doc.PaintFlags |= kPaintNoMouseCaret;
    doc.PointToPosition(150, 20, false);
    EXPECT_EQ(doc.Cursor.Offset, 1);
}

TEST(Caret, InsertAndOverwriteMode)
{
    LayoutDoc doc(200, 100);
    doc.SetText({"Abc", "x"});
    TLine *line = doc.Line(0, 0);
    line->Attrs[0].Size = 20; // "A" is 27 pixels high: ascent 27
    doc.ReformatAll();
    line = doc.Line(0, 0);
    ASSERT_EQ(line->Ascent, 27);
    int placed = 0, movedY = 0;
    doc.CaretPlaced = [&] { ++placed; };
    doc.CaretYChanged = [&] { ++movedY; };
    doc.Cursor = {doc.Par(0), line, 1};
    doc.ShowCaret();
    EXPECT_EQ(doc.CaretX, 1 + 13);
    EXPECT_EQ(doc.CaretHeight, 13);
    EXPECT_EQ(doc.CaretTop, 27 - 13);
    EXPECT_EQ(doc.CaretWidth, 1);
    EXPECT_EQ(placed, 1);
    EXPECT_EQ(movedY, 1);
    // Overwrite: as wide as the character under the cursor.
    doc.InsertMode = 0;
    doc.Cursor.Offset = 0;
    doc.PlaceCaret();
    EXPECT_EQ(doc.CaretWidth, 13);
    EXPECT_EQ(doc.CaretHeight, 27);
    EXPECT_EQ(doc.CaretTop, 0);
    // At the end of the line: the height of the text before it.
    doc.Cursor.Offset = 3;
    doc.PlaceCaret();
    EXPECT_EQ(doc.CaretX, 1 + 13 + 12);
    EXPECT_EQ(doc.CaretHeight, 13);
    EXPECT_EQ(doc.CaretWidth, 0);
    // On the next paragraph's line.
    doc.InsertMode = 1;
    doc.Cursor = {doc.Par(1), doc.Line(1, 0), 1};
    doc.PlaceCaret();
    EXPECT_EQ(doc.CaretTop, 33);
    EXPECT_EQ(doc.CaretX, 7);
}

TEST(Scrolling, RefusalsJumpsAndPixelMoves)
{
    LayoutDoc doc(200, 100);
    std::vector<std::string> text(10, "line");
    doc.SetText(text); // 160 pixels in a window of 100
    int vertical = 0;
    doc.VerticalChanged = [&] { ++vertical; };
    EXPECT_FALSE(doc.ScrollUp(16)) << "already at the top";
    EXPECT_TRUE(doc.ScrollDown(16));
    EXPECT_EQ(doc.ScrollY, 16);
    EXPECT_EQ(vertical, 1);
    // A small scroll moves pixels and paints the uncovered band only.
    auto scrolls = doc.Canvas.OpsOfKind(CanvasOp::Scroll);
    ASSERT_EQ(scrolls.size(), 1u);
    EXPECT_EQ(scrolls[0]->Y, -16);
    doc.Canvas.ClearOps();
    doc.VScroll(kScrollThumbTrack, 60);
    EXPECT_EQ(doc.ScrollY, 60);
    EXPECT_FALSE(doc.ScrollDown(16)) << "the document's end is in view";
    EXPECT_FALSE(doc.ScrollDown(1));
    doc.VScroll(kScrollTop, 0);
    EXPECT_EQ(doc.ScrollY, 0);
    // A page is a jump to the top of the line found there.
    doc.Line(6, 0); // line tops are 0, 16, ..., 144
    doc.VScroll(kScrollPageDown, 0);
    EXPECT_EQ(doc.ScrollY, 96);
    doc.VScroll(kScrollPageUp, 0);
    EXPECT_EQ(doc.ScrollY, 0);
    // The bottom: the last line's top less two thirds of the window.
    doc.VScroll(kScrollBottom, 0);
    EXPECT_EQ(doc.ScrollY, 144 - 33 * 2);
    doc.VScroll(kScrollLineUp, 0);
    EXPECT_EQ(doc.ScrollY, 78 - 16);
    // No scrolling at all with the flag.
    doc.PaintFlags |= kPaintNoScroll;
    EXPECT_FALSE(doc.ScrollUp(16));
    EXPECT_FALSE(doc.ScrollDown(16));
    doc.PaintFlags &= static_cast<uint8_t>(~kPaintNoScroll);

    // Horizontal: with word wrap the text fits and nothing moves.
    EXPECT_FALSE(doc.ScrollRight(16));
    EXPECT_FALSE(doc.ScrollLeft(16));
    doc.SetWrapToWindow(false); // the page's 565 pixels in a 200-pixel window
    int horizontal = 0;
    doc.HorizontalChanged = [&] { ++horizontal; };
    doc.HScroll(kScrollLineDown, 0);
    EXPECT_EQ(doc.ScrollX, -16);
    doc.HScroll(kScrollPageDown, 0);
    EXPECT_EQ(doc.ScrollX, -16 - 150);
    EXPECT_TRUE(doc.ScrollRight(1000));
    EXPECT_EQ(doc.ScrollX, 200 - 565) << "the text's right edge at the window's";
    EXPECT_FALSE(doc.ScrollRight(1));
    doc.HScroll(kScrollThumbPosition, 100);
    EXPECT_EQ(doc.ScrollX, -100);
    doc.HScroll(kScrollTop, 0); // far left: no effect
    EXPECT_EQ(doc.ScrollX, -100);
    doc.HScroll(kScrollBottom, 0); // far right: back to the left end
    EXPECT_EQ(doc.ScrollX, 0);
    EXPECT_FALSE(doc.ScrollLeft(16));
    EXPECT_EQ(horizontal, 5);
    // A window as wide as the layout scrolls back.
    doc.ScrollRight(50);
    doc.SetWindowWidth(600);
    EXPECT_EQ(doc.ScrollX, 0);
}

TEST(Scrolling, ShowCaretBringsTheCursorIntoView)
{
    LayoutDoc doc(200, 100);
    std::vector<std::string> text(20, "line");
    doc.SetText(text);
    doc.Cursor = {doc.Par(9), doc.Line(9, 0), 0};
    doc.ShowCaret(); // bottom 160 - 100 + 4 = 64 down: a small scroll
    EXPECT_EQ(doc.ScrollY, 64);
    EXPECT_EQ(doc.CaretTop - doc.ScrollY, 144 - 64);
    doc.Cursor = {doc.Par(1), doc.Line(1, 0), 0};
    doc.ShowCaret();
    EXPECT_EQ(doc.ScrollY, 16);
    // Far down: a jump.
    doc.Cursor = {doc.Par(19), doc.Line(19, 0), 0};
    doc.ShowCaret();
    EXPECT_LE(doc.ScrollY, 304);
    EXPECT_GE(doc.ScrollY + 100, 320);
    // Horizontally, without word wrap.
    doc.SetWrapToWindow(false);
    doc.SetText({std::string(90, 'x')});
    doc.Cursor = {doc.Par(0), doc.Line(0, 0), 60};
    doc.ShowCaret(); // x 361 beyond 196: scroll by 66 + 361 - 200
    EXPECT_EQ(doc.ScrollX, -(66 + 361 - 200));
    doc.Cursor.Offset = 0;
    doc.ShowCaret();
    EXPECT_EQ(doc.ScrollX, 0);
}

TEST(Incremental, OneParagraphIsBrokenAgainAndOnlyChangedLinesRepaint)
{
    LayoutDoc doc(61, 200);
    doc.SetText({"first", "aaaa bbbb cccc", "last"});
    TParagraph *p = doc.Par(1);
    TLine *second = doc.Line(1, 1);
    doc.Cursor = {p, second, 2};
    // Typing inside the second line changes that line only.
    ASSERT_TRUE(doc.InsertChar(p, second, 'x', 2));
    p->State |= kStateRepaint;
    int change = doc.ReformatParagraph(p);
    EXPECT_EQ(change, kBreakLineChanged);
    EXPECT_EQ(doc.Lines(1), (std::vector<std::string>{"aaaa bbbb ", "ccxcc"}));
    EXPECT_FALSE(doc.Line(1, 0)->LineFlags & kLineChanged);
    EXPECT_TRUE(doc.Line(1, 1)->LineFlags & kLineChanged);
    EXPECT_EQ(doc.Cursor.Line, doc.Line(1, 1)) << "the cursor is carried to the new line";
    EXPECT_EQ(doc.Cursor.Offset, 2);
    doc.Canvas.ClearOps();
    doc.RepaintChangedLines(p, change);
    EXPECT_EQ(doc.Canvas.AllText(), "ccxcc");
    EXPECT_FALSE(doc.Line(1, 1)->LineFlags & kLineChanged);

    // Two letters that no longer fit move a word down: everything below moves.
    TLine *first = doc.Line(1, 0);
    ASSERT_TRUE(doc.InsertChar(p, first, 'y', 5));
    ASSERT_TRUE(doc.InsertChar(p, first, 'y', 5));
    p->State |= kStateRepaint;
    change = doc.ReformatParagraph(p);
    EXPECT_EQ(change, kBreakMoved);
    EXPECT_EQ(doc.Lines(1), (std::vector<std::string>{"aaaa ", "yybbbb ", "ccxcc"}));
    EXPECT_EQ(doc.Line(2, 0)->Top, 16 * 4) << "tops below follow at once";
    EXPECT_EQ(doc.Cursor.Line, doc.Line(1, 2));
    EXPECT_EQ(doc.Cursor.Offset, 2);
    doc.Canvas.ClearOps();
    doc.RepaintChangedLines(p, change);
    EXPECT_EQ(doc.Canvas.AllText(), "aaaa yybbbb ccxcclast");

    // Nothing changed: nothing to paint.
    p->State |= kStateRebreak;
    EXPECT_EQ(doc.ReformatParagraph(p), kBreakSame);
}

TEST(Incremental, ALongParagraphBreaksIntoEqualLines)
{
    LayoutDoc doc(400, 200);
    std::string words;
    for (int i = 0; i < 1000; ++i)
        words += "word ";
    doc.SetText({words});
    TParagraph *p = doc.Par(0);
    int lines = 0;
    for (TLine *l = p->Lines; l; l = l->Next)
        ++lines;
    EXPECT_EQ(lines, (5000 + 64) / 65);
    // A second break of unchanged text reports no change.
    p->State |= kStateRebreak;
    EXPECT_EQ(doc.ReformatParagraph(p), kBreakSame);
}
