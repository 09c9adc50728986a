// Cursor moves by character, word, line and page, and the selection they extend.
#include <gtest/gtest.h>

#include "edit_test_util.h"
#include "tests/support/text32.h"

namespace qn::test {
namespace {

using Pos = std::pair<int, int>;

TEST(Moves, CharactersAcrossLinesAndParagraphsAndTheDocumentEnds)
{
    EditDoc doc;
    doc.SetText({"abc", "de"});
    doc.MoveCursor(kMoveLeft, false);
    EXPECT_EQ(doc.Where(), Pos(0, 0));
    doc.At(0, 3);
    doc.MoveCursor(kMoveRight, false);
    EXPECT_EQ(doc.Where(), Pos(1, 0));
    doc.MoveCursor(kMoveLeft, false);
    EXPECT_EQ(doc.Where(), Pos(0, 3));
    doc.CursorRight(5, false, true);
    EXPECT_EQ(doc.Where(), Pos(1, 2)); // stops at the end
    doc.CursorLeft(2, false, true);
    EXPECT_EQ(doc.Where(), Pos(1, 0));
}

TEST(Moves, InvisibleCharactersArePassedOverUnlessShown)
{
    EditDoc doc;
    doc.SetText({"abcd"});
    TCharAttr hidden = look(kStyleHidden);
    doc.InsertText(doc.Par(0), 2, &hidden, U32("XY"));
    doc.ReformatAll();
    doc.At(0, 2);
    doc.MoveCursor(kMoveRight, false);
    EXPECT_EQ(doc.Where(), Pos(0, 5)); // over the hidden pair and the c
    doc.MoveCursor(kMoveLeft, false);
    EXPECT_EQ(doc.Where(), Pos(0, 4));
    doc.MoveCursor(kMoveLeft, false);
    EXPECT_EQ(doc.Where(), Pos(0, 1));
    doc.SetPaintFlags2(doc.PaintFlags2 | kPaint2ShowHidden);
    doc.At(0, 2);
    doc.MoveCursor(kMoveRight, false);
    EXPECT_EQ(doc.Where(), Pos(0, 3));
}

TEST(Moves, WordsStopAtLettersAndDigitsAcrossPunctuation)
{
    EditDoc doc;
    doc.SetText({"hello, world; 42x again!", "caf\xE9 next"});
    std::vector<int> stops;
    for (int i = 0; i < 5; ++i) {
        doc.MoveCursor(kMoveWordRight, false);
        stops.push_back(doc.Where().second);
    }
    EXPECT_EQ(stops, (std::vector<int>{5, 12, 17, 23, 24}));
    doc.MoveCursor(kMoveWordRight, false); // at the line end: on to the next paragraph
    EXPECT_EQ(doc.Where(), Pos(1, 0));
    doc.MoveCursor(kMoveWordRight, false);
    EXPECT_EQ(doc.Where(), Pos(1, 4)); // an accented letter is a letter
    doc.At(0, 2);
    doc.MoveCursor(kMoveWordRight, false); // from inside a word: its end
    EXPECT_EQ(doc.Where(), Pos(0, 5));

    doc.At(0, 24);
    stops.clear();
    for (int i = 0; i < 4; ++i) {
        doc.MoveCursor(kMoveWordLeft, false);
        stops.push_back(doc.Where().second);
    }
    EXPECT_EQ(stops, (std::vector<int>{18, 14, 7, 0}));
    doc.At(1, 0);
    doc.MoveCursor(kMoveWordLeft, false);
    EXPECT_EQ(doc.Where(), Pos(0, 24));
}

TEST(Moves, UpAndDownKeepTheColumnAndStopAtTheFirstAndLastLines)
{
    EditDoc doc;
    doc.SetText({"first line", "x", "third line"});
    doc.At(0, 6);
    doc.MoveCursor(kMoveRight, false);
    doc.MoveCursor(kMoveDown, false);
    EXPECT_EQ(doc.Where(), Pos(1, 1));
    doc.MoveCursor(kMoveDown, false);
    EXPECT_EQ(doc.Where(), Pos(2, 7));
    doc.MoveCursor(kMoveDown, false);
    EXPECT_EQ(doc.Cursor.Line, doc.Line(2, 0)); // the last line stays
    doc.CursorUp(5, false, true);
    EXPECT_EQ(doc.Where(), Pos(0, 7));
    doc.MoveCursor(kMoveUp, false);
    EXPECT_EQ(doc.Cursor.Line, doc.Line(0, 0)); // so does the first

    doc.MoveCursor(kMoveLineEnd, false);
    EXPECT_EQ(doc.WantedX, kWantedXLineEnd);
    doc.MoveCursor(kMoveDown, false);
    EXPECT_EQ(doc.Where(), Pos(1, 1));
    doc.MoveCursor(kMoveLineStart, false);
    EXPECT_EQ(doc.WantedX, 0);
    doc.MoveCursor(kMoveDocumentEnd, false);
    EXPECT_EQ(doc.Where(), Pos(2, 10));
    doc.MoveCursor(kMoveDocumentStart, false);
    EXPECT_EQ(doc.Where(), Pos(0, 0));
}

TEST(Moves, LeftAtALineStartLandsAtThePreviousLinesEnd)
{
    EditDoc doc(61);
    doc.SetText({"abcdefgh ij"});
    ASSERT_EQ(doc.LineCount(0), 2);
    doc.Cursor = TTextPos{doc.Par(0), doc.Line(0, 1), 0};
    doc.MoveCursor(kMoveLeft, false);
    EXPECT_EQ(doc.Cursor.Line, doc.Line(0, 0));
    EXPECT_EQ(doc.Cursor.Offset, 9);
    doc.MoveCursor(kMoveRight, false);
    EXPECT_EQ(doc.Cursor.Line, doc.Line(0, 1));
    EXPECT_EQ(doc.Cursor.Offset, 0);
}

TEST(Moves, ExtendingBuildsTheBlockAndAPlainMoveDropsIt)
{
    EditDoc doc;
    doc.SetText({"abcdef", "gh"});
    doc.At(0, 2);
    doc.MoveCursor(kMoveRight, true);
    doc.MoveCursor(kMoveRight, true);
    EXPECT_TRUE(doc.BlockStarted);
    EXPECT_EQ(doc.BlockAnchor.Offset, 2);
    EXPECT_EQ(doc.BlockEnd.Offset, 4);
    EXPECT_FALSE(doc.Reversed);
    doc.CursorLeft(4, true, true);
    EXPECT_EQ(doc.BlockEnd.Offset, 0);
    EXPECT_TRUE(doc.Reversed);
    EXPECT_EQ(doc.BlockAnchor.Offset, 2);

    // A move without extending stops the block growing but keeps it...
    doc.CursorRight(1, false, true);
    EXPECT_FALSE(doc.BlockStarted);
    EXPECT_TRUE(doc.HasBlock());
    // ...while MoveCursor removes it first.
    doc.MoveCursor(kMoveRight, false);
    EXPECT_FALSE(doc.HasBlock());

    doc.At(0, 4);
    doc.MoveCursor(kMoveDocumentEnd, true);
    EXPECT_TRUE(doc.DeleteBlock());
    EXPECT_EQ(doc.Texts(), std::vector<std::string>{"abcd"});
    EXPECT_EQ(checkInvariants(doc), "");
}

TEST(Moves, PagesPutTheCursorAtTheTopOfTheWindow)
{
    EditDoc doc(0, 100);
    std::vector<std::string> lines;
    for (int i = 0; i < 40; ++i)
        lines.push_back("line " + std::to_string(i));
    doc.SetText(lines);
    doc.MoveCursor(kMovePageDown, false);
    EXPECT_EQ(doc.ScrollY, 96);
    EXPECT_EQ(doc.Where(), Pos(6, 0));
    doc.MoveCursor(kMovePageUp, false);
    EXPECT_EQ(doc.ScrollY, 0);
    EXPECT_EQ(doc.Where(), Pos(0, 0));
    // At the end of the view the cursor goes to the last line.
    doc.MoveCursor(kMoveDocumentEnd, false);
    doc.MoveCursor(kMoveLineStart, false);
    doc.MoveCursor(kMovePageDown, false);
    EXPECT_EQ(doc.Where(), Pos(39, 0));
}

TEST(Moves, NothingMovesWhileMouseCaretPlacementIsOffAndHooksFire)
{
    EditDoc doc;
    doc.SetText({"abc"});
    doc.PaintFlags |= kPaintNoMouseCaret;
    doc.MoveCursor(kMoveRight, false);
    doc.CursorRight(1, false, false);
    doc.WordRight(1, false, true);
    EXPECT_EQ(doc.Where(), Pos(0, 0));
    doc.PaintFlags &= static_cast<uint8_t>(~kPaintNoMouseCaret);

    int moved = 0;
    doc.CursorMoved = [&] { ++moved; };
    doc.CursorRight(1, false, true);
    EXPECT_EQ(moved, 0); // scrolled into view instead
    doc.CursorRight(1, false, false);
    EXPECT_EQ(moved, 1);
    EXPECT_EQ(doc.Where(), Pos(0, 2));
}

} // namespace
} // namespace qn::test
