// Typing at the cursor: characters, backspace, delete, Enter, page breaks,
// objects, and what the screen gets repainted.
#include <gtest/gtest.h>

#include <memory>

#include "edit_test_util.h"
#include "tests/support/text32.h"

namespace qn::test {
namespace {

using Texts = std::vector<std::string>;

TEST(Typing, CharactersAreMeasuredWhereverTheyLand)
{
    EditDoc doc;
    doc.Type("Hello");
    EXPECT_EQ(doc.Texts(), Texts{"Hello"});
    EXPECT_EQ(doc.Where(), std::make_pair(0, 5));
    EXPECT_EQ(doc.LastRepaint, kRepaintLine);

    // A bigger character typed into the middle gets its own width, not the
    // width that CurrentAttr happened to carry.
    doc.At(0, 2);
    doc.SetCurrentAttr(look(kStyleBold, 20));
    doc.Type("X");
    EXPECT_EQ(doc.Texts(), Texts{"HeXllo"});
    EXPECT_EQ(doc.AttrAt(0, 2).Width, 13); // 20 pt: em 27, half of it
    EXPECT_EQ(doc.AttrAt(0, 2).Style, kStyleBold);
    EXPECT_EQ(doc.AttrAt(0, 3).Width, 6);
    EXPECT_EQ(doc.Line(0, 0)->Height, 33); // the taller font makes the line taller
    EXPECT_EQ(doc.LastRepaint, kRepaintWindow);
    EXPECT_EQ(checkInvariants(doc), "");
}

TEST(Typing, RepaintResultsFollowWhatMoved)
{
    EditDoc doc(61); // 60 pixels: ten characters a line
    doc.Type("abcd");
    EXPECT_EQ(doc.LastRepaint, kRepaintLine);
    doc.Key(127); // nothing after the cursor in the paragraph: end of document
    EXPECT_EQ(doc.LastRepaint, kRepaintWindow);
    doc.At(0, 1);
    doc.Key(127); // inside the line
    EXPECT_EQ(doc.Texts(), Texts{"acd"});
    EXPECT_EQ(doc.LastRepaint, kRepaintParagraph);
    doc.Type("\n");
    EXPECT_EQ(doc.LastRepaint, kRepaintWindow); // a line break
    doc.SetText({"abcde fghi"});
    doc.At(0, 10);
    doc.Type("j"); // "abcde fghij" wraps: a new line appears
    EXPECT_EQ(doc.LineCount(0), 2);
    EXPECT_EQ(doc.LastRepaint, kRepaintWindow);
    EXPECT_EQ(doc.Cursor.Line, doc.Line(0, 1));
    EXPECT_EQ(doc.Cursor.Offset, 5);
    EXPECT_EQ(checkInvariants(doc), "");
}

TEST(Typing, OnlyTheTypedParagraphIsBrokenAndOnlyItsLinePainted)
{
    EditDoc doc(301);
    std::string longText;
    for (int i = 0; i < 200; ++i)
        longText += "word ";
    doc.SetText({"before", longText, "after"});
    TLine *beforeLine = doc.Line(0, 0), *afterLine = doc.Line(2, 0);
    const int afterTop = afterLine->Top;
    doc.At(1, 2);
    doc.Canvas.ClearOps();
    doc.Type("x");
    EXPECT_EQ(doc.LastRepaint, kRepaintLine);
    // The other paragraphs kept their very lines.
    EXPECT_EQ(doc.Line(0, 0), beforeLine);
    EXPECT_EQ(doc.Line(2, 0), afterLine);
    EXPECT_EQ(afterLine->Top, afterTop);
    // Only the first line of the long paragraph was drawn again.
    int glyphRuns = 0;
    for (const CanvasOp *op : doc.Canvas.OpsOfKind(CanvasOp::Glyphs)) {
        ++glyphRuns;
        EXPECT_EQ(op->Y, doc.Line(1, 0)->Top + doc.Line(1, 0)->Ascent);
    }
    EXPECT_GE(glyphRuns, 1);
}

TEST(Typing, BackspaceAtTheDocumentStartAndInCells)
{
    EditDoc doc;
    doc.SetText({"abc", "def"});
    doc.Key(8);
    EXPECT_EQ(doc.Texts(), (Texts{"abc", "def"}));
    EXPECT_EQ(doc.Where(), std::make_pair(0, 0));
    EXPECT_EQ(doc.LastRepaint, kRepaintNothing);

    // At the start of the second paragraph it joins the first.
    doc.At(1, 0);
    doc.Key(8);
    EXPECT_EQ(doc.Texts(), Texts{"abcdef"});
    EXPECT_EQ(doc.Where(), std::make_pair(0, 3));

    // A cell is never joined with what is before it.
    doc.SetText({"abc", "cell"});
    doc.Par(1)->ParFlags |= kParTableCell;
    doc.At(1, 0);
    doc.Key(8);
    EXPECT_EQ(doc.Texts(), (Texts{"abc", "cell"}));
    EXPECT_EQ(doc.Where(), std::make_pair(1, 0));
    EXPECT_EQ(checkInvariants(doc), "");
}

TEST(Typing, BackspaceAtTheStartOfAWrappedLineTakesThePreviousLinesLastCharacter)
{
    EditDoc doc(61);
    doc.SetText({"abcdefghij klm"});
    ASSERT_EQ(doc.LineCount(0), 2);
    doc.Cursor = TTextPos{doc.Par(0), doc.Line(0, 1), 0};
    doc.Key(8);
    EXPECT_EQ(doc.Texts(), Texts{"abcdefghijklm"});
    EXPECT_EQ(doc.Where(), std::make_pair(0, 10));
    EXPECT_EQ(doc.LastRepaint, kRepaintWindow);
    EXPECT_EQ(checkInvariants(doc), "");
}

TEST(Typing, DeleteAtTheDocumentEndClearsFlagsInsteadOfJoining)
{
    EditDoc doc;
    doc.SetText({"abc", "last"});
    TParagraph *last = doc.Par(1);
    last->BorderFlags = kBorderOn | kBorderBox;
    last->BorderStyle = kBorderDotted;
    last->ParFlags = kParPageBreak;
    doc.ReformatAll();
    doc.At(1, 4);
    doc.Key(127);
    EXPECT_EQ(doc.Texts(), (Texts{"abc", "last"}));
    EXPECT_EQ(last->BorderFlags, 0);
    EXPECT_EQ(last->BorderStyle, 0);
    EXPECT_EQ(last->ParFlags, 0);
    EXPECT_EQ(doc.LastRepaint, kRepaintWindow);

    // Elsewhere at a paragraph end it joins the next paragraph.
    doc.At(0, 3);
    doc.Key(127);
    EXPECT_EQ(doc.Texts(), Texts{"abclast"});
    EXPECT_EQ(checkInvariants(doc), "");
}

TEST(Typing, JoiningANumberedParagraphDropsItsNumber)
{
    EditDoc doc;
    doc.SetText({"plain", "first", "second"});
    doc.Par(1)->Numbering = 0x60; // decimal
    doc.Par(2)->Numbering = 0x60;
    doc.Renumber();
    doc.ReformatAll();
    ASSERT_EQ(doc.Texts(), (Texts{"plain", "1.\tfirst", "2.\tsecond"}));
    doc.At(0, 5);
    doc.Key(127);
    // The join renumbers: the number text never ends up inside the line.
    EXPECT_EQ(doc.Texts(), (Texts{"plainfirst", "1.\tsecond"}));
    EXPECT_FALSE(doc.FullReformat);
    EXPECT_EQ(checkInvariants(doc), "");
}

TEST(Typing, EnterSplitsAndAtTheDocumentStartPutsAnEmptyParagraphInFront)
{
    EditDoc doc;
    doc.SetText({"abc"});
    doc.Par(0)->ParFlags = kParPageBreak;
    doc.Par(0)->Alignment = kAlignCenter;
    doc.Key(13);
    EXPECT_EQ(doc.Texts(), (Texts{"", "abc"}));
    EXPECT_EQ(doc.Par(0)->ParFlags, 0);
    EXPECT_EQ(doc.Par(0)->Alignment, kAlignLeft);
    EXPECT_EQ(doc.Where(), std::make_pair(1, 0)); // the cursor stays with its text
    EXPECT_EQ(doc.Line(1, 0)->Top, 16);

    // In the middle: the new paragraph takes the properties, not the page break.
    doc.At(1, 1);
    doc.Key(13);
    EXPECT_EQ(doc.Texts(), (Texts{"", "a", "bc"}));
    EXPECT_EQ(doc.Where(), std::make_pair(2, 0));
    EXPECT_EQ(doc.Par(2)->Alignment, kAlignCenter);
    EXPECT_EQ(doc.Par(2)->ParFlags & kParPageBreak, 0);
    EXPECT_EQ(doc.WantedX, 0);
    EXPECT_EQ(doc.Line(2, 0)->Top, 32);
    EXPECT_EQ(checkInvariants(doc), "");
}

TEST(Typing, EnterInATableCellTypesALineBreak)
{
    EditDoc doc;
    doc.SetText({"text", "cell one", "cell two"});
    for (int i : {1, 2})
        doc.Par(i)->ParFlags |= kParTableCell;
    doc.Par(1)->ParFlags |= kParCellRowOpen;
    doc.Par(2)->ParFlags |= kParCellNotFirst;
    doc.Par(1)->TabMask = 127;        // the left half
    doc.Par(2)->TabMask = 0x00007F7F; // the right half
    doc.ReformatAll();
    doc.At(1, 4);
    doc.Key(13);
    EXPECT_EQ(doc.Texts(), (Texts{"text", "cell\n one", "cell two"}));
    EXPECT_EQ(doc.LineCount(1), 2);
    EXPECT_EQ(doc.Where(), std::make_pair(1, 5));
    EXPECT_EQ(checkInvariants(doc), "");
}

TEST(Typing, PageBreakTogglesAtAParagraphStartAndSplitsElsewhere)
{
    EditDoc doc(61);
    doc.SetText({"abcdefghij klm"});
    doc.Key(12);
    EXPECT_EQ(doc.Par(0)->ParFlags, kParPageBreak);
    doc.Key(12);
    EXPECT_EQ(doc.Par(0)->ParFlags, 0);
    // At the start of a wrapped line the break goes there, not before the paragraph.
    doc.Cursor = TTextPos{doc.Par(0), doc.Line(0, 1), 0};
    doc.Key(12);
    EXPECT_EQ(doc.Texts(), (Texts{"abcdefghij ", "klm"}));
    EXPECT_EQ(doc.Par(0)->ParFlags, 0);
    EXPECT_EQ(doc.Par(1)->ParFlags, kParPageBreak);
    EXPECT_EQ(doc.Where(), std::make_pair(1, 0));
}

TEST(Typing, TypingAfterHiddenOrMarkedTextStartsPlainButKeepsBold)
{
    EditDoc doc;
    doc.SetText({"ab"});
    TCharAttr hidden = look(kStyleBold | kStyleHidden);
    doc.InsertText(doc.Par(0), 2, &hidden, U32("secret"));
    TCharAttr mark = look(kStyleBold | kStyleRaised | kStyleInsertPoint, 10, 0, 0, 7);
    doc.InsertText(doc.Par(0), 8, &mark, U32("1"));
    doc.ReformatAll();
    doc.MoveCursor(kMoveLineEnd, false);
    EXPECT_EQ(doc.CurrentAttr.Style, kStyleBold);
    EXPECT_EQ(doc.CurrentAttr.Tag, 0);
    doc.Type("c");
    EXPECT_EQ(doc.Texts(), Texts{"absecret1c"});
    EXPECT_EQ(doc.AttrAt(0, 9).Style, kStyleBold);
    EXPECT_EQ(doc.AttrAt(0, 9).Width, 6);

    // A hidden current attribute types nothing while hidden text is not shown.
    doc.CurrentAttr.Style = kStyleHidden;
    doc.Type("z");
    EXPECT_EQ(doc.Texts(), Texts{"absecret1c"});
    doc.SetPaintFlags2(doc.PaintFlags2 | kPaint2ShowHidden);
    doc.CurrentAttr.Style = kStyleHidden;
    doc.Type("z");
    EXPECT_EQ(doc.Texts(), Texts{"absecret1cz"});
}

TEST(Typing, ReadOnlyOverwriteAndSelectionReplacement)
{
    EditDoc doc;
    doc.SetText({"abcdef"});
    doc.ReadOnly = true;
    doc.Type("x");
    EXPECT_EQ(doc.Texts(), Texts{"abcdef"});
    doc.ReadOnly = false;

    doc.InsertMode = 0;
    doc.At(0, 1);
    doc.Type("XY");
    EXPECT_EQ(doc.Texts(), Texts{"aXYdef"});
    doc.InsertMode = 1;

    doc.Select(0, 1, 0, 4);
    doc.Type("-");
    EXPECT_EQ(doc.Texts(), Texts{"a-ef"});
    EXPECT_FALSE(doc.HasBlock());
    EXPECT_EQ(doc.Where(), std::make_pair(0, 2));
}

TEST(Typing, HooksAroundInputAndWhenAnotherParagraphIsEdited)
{
    EditDoc doc;
    doc.SetText({"one", "two"});
    std::string calls;
    doc.BeforeInput = [&] { calls += "B"; };
    doc.AfterInput = [&] { calls += "A"; };
    doc.ParagraphLeft = [&] { calls += "L"; };
    doc.Type("x");
    doc.Type("y");
    doc.At(1, 0);
    doc.Type("z");
    EXPECT_EQ(calls, "BLABABLA");
}

TEST(Typing, ObjectsAreTypedAsOneMeasuredCharacter)
{
    EditDoc doc;
    doc.SetText({"ab"});
    doc.At(0, 1);
    int tag = 0;
    EXPECT_THROW(
        {
            try {
                doc.InsertObject(tag, nullptr, 0, 0);
            } catch (const EQnRTFText &e) {
                EXPECT_STREQ(e.what(), "No object was defined");
                throw;
            }
        },
        EQnRTFText);
    EXPECT_EQ(doc.Objects.size(), 1u); // the record stays
    EXPECT_FALSE(doc.ObjectInsert);
    EXPECT_EQ(doc.Texts(), Texts{"ab"});

    auto picture = std::make_shared<TQnGraphic>();
    picture->WidthPixels = 40;
    picture->HeightPixels = 20;
    tag = 0;
    TQnObject *byId = doc.InsertObject(tag, picture, 1440, 720); // 1 x 0.5 inch
    EXPECT_EQ(tag, byId->Id);
    EXPECT_EQ(doc.Texts(), Texts{"a\x02"
                                 "b"});
    const TCharAttr &a = doc.AttrAt(0, 1);
    EXPECT_EQ(a.Style & kStyleObject, kStyleObject);
    EXPECT_EQ(a.Tag, byId->Id);
    EXPECT_EQ(a.Width, 48);
    EXPECT_EQ(doc.CurrentAttr.Style & kStyleObject, 0);
    EXPECT_EQ(doc.CurrentAttr.Tag, 0);

    tag = -1;
    TQnObject *byTag = doc.InsertObject(tag, picture, 0, 0);
    EXPECT_GE(tag, 2000);
    EXPECT_EQ(byTag->Tag, tag);
    EXPECT_EQ(doc.AttrAt(0, 2).Width, 40); // the size from the picture
    EXPECT_EQ(Ansi(doc.ParagraphText(0))[2], '\x01');
    EXPECT_EQ(doc.Where(), std::make_pair(0, 3));
}

TEST(Typing, ClearLeavesOneEmptyParagraphWithTheCursorInIt)
{
    EditDoc doc;
    doc.SetText({"a", "b"});
    doc.Select(0, 0, 1, 1);
    doc.Clear();
    EXPECT_EQ(doc.Texts(), Texts{""});
    EXPECT_FALSE(doc.HasBlock());
    EXPECT_EQ(doc.Where(), std::make_pair(0, 0));
    EXPECT_EQ(checkInvariants(doc), "");
}

} // namespace
} // namespace qn::test
