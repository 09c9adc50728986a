// Cursor moves by character, word, line and page, to the ends of line and
// document, with or without extending the selection.
#include <algorithm>

#include "platform/ansi.h"
#include "platform/unicode_text.h"
#include "richtext/edit/clusters.h"
#include "richtext/edit/rtf_text_input.h"

namespace qn {

namespace {

bool isWordChar(char32_t c)
{
    const int code = AnsiCode(c);
    if (code < 0)
        return unicode::IsWordChar(c); // beyond the code page: letters, marks, digits
    return code != ' ' && code != 8 && IsCharAlphaNumeric(static_cast<unsigned char>(code));
}

} // namespace

// ---------------------------------------------------------------------------
// Coordinates: WantedX is kept in document pixels so that horizontal
// scrolling between moves does not change the column aimed at.

int TQnRTFTextInput::documentX(int windowX) const
{
    return windowX - OriginX - ((PaintFlags2 & kPaint2NoScrollX) ? 0 : ScrollX);
}

int TQnRTFTextInput::windowX(int documentX) const
{
    return documentX + OriginX + ((PaintFlags2 & kPaint2NoScrollX) ? 0 : ScrollX);
}

void TQnRTFTextInput::aimAtWantedX()
{
    Cursor.Offset = CharAt(Cursor.Paragraph, Cursor.Line, windowX(WantedX));
}

bool TQnRTFTextInput::zeroWidth(const TLine *line, int i) const
{
    if (ShowHidden() || !line->Attrs)
        return false;
    const char32_t ch = line->Text[i];
    return line->Attrs[i].Width == 0 && ch != '\t' && ch != '\n';
}

// ---------------------------------------------------------------------------
// Single steps

bool TQnRTFTextInput::lineUp()
{
    if (Cursor.Line->Prev) {
        Cursor.Line = Cursor.Line->Prev;
    } else if (TParagraph *prev = Cursor.Paragraph->Prev) {
        Cursor.Paragraph = prev;
        Cursor.Line = prev->LastLine();
    } else {
        return false;
    }
    Cursor.Offset = std::min<int>(Cursor.Offset, Cursor.Line->Length);
    return true;
}

bool TQnRTFTextInput::lineDown()
{
    if (Cursor.Line->Next) {
        Cursor.Line = Cursor.Line->Next;
    } else if (TParagraph *next = Cursor.Paragraph->Next) {
        Cursor.Paragraph = next;
        Cursor.Line = next->Lines;
    } else {
        return false;
    }
    Cursor.Offset = std::min<int>(Cursor.Offset, Cursor.Line->Length);
    return true;
}

bool TQnRTFTextInput::stepLeft()
{
    const TLine *line = Cursor.Line;
    int o = std::clamp<int>(Cursor.Offset, 0, line->Length);
    // Invisible characters are passed over without counting.
    while (o > 0 && zeroWidth(line, o - 1))
        --o;
    if (o > 0) {
        Cursor.Offset = ClusterStart(line, o);
        return true;
    }
    TParagraph *p = Cursor.Paragraph;
    if (!line->Prev && !p->Prev) {
        const bool moved = Cursor.Offset != o;
        Cursor.Offset = o;
        return moved;
    }
    // A cell beside the previous one keeps the column: that cell lies to the left.
    const bool cellAfterCell = !line->Prev && p->IsTableCell() && (p->ParFlags & kParCellNotFirst);
    lineUp();
    if (cellAfterCell) {
        aimAtWantedX();
    } else {
        Cursor.Offset = Cursor.Line->Length;
        WantedX = std::max(Header->TextAreaWidthPixels, Header->LayoutWidthPixels);
    }
    return true;
}

bool TQnRTFTextInput::stepRight()
{
    const TLine *line = Cursor.Line;
    int o = std::clamp<int>(Cursor.Offset, 0, line->Length);
    while (o < line->Length && zeroWidth(line, o))
        ++o;
    if (o < line->Length) {
        Cursor.Offset = ClusterEnd(line, o);
        return true;
    }
    TParagraph *p = Cursor.Paragraph;
    if (!line->Next && !p->Next) {
        const bool moved = Cursor.Offset != o;
        Cursor.Offset = o;
        return moved;
    }
    // The last line of a cell with another cell after it in its row keeps the column.
    const bool cellBeforeCell = !line->Next && p->IsTableCell() && (p->ParFlags & kParCellRowOpen);
    lineDown();
    if (cellBeforeCell) {
        aimAtWantedX();
    } else {
        WantedX = 0;
        Cursor.Offset = 0;
    }
    return true;
}

bool TQnRTFTextInput::wordStepLeft()
{
    const TLine *line = Cursor.Line;
    int o = std::clamp<int>(Cursor.Offset, 0, line->Length);
    if (o == 0)
        return stepLeft();
    while (o > 0 && !isWordChar(line->Text[o - 1]))
        --o;
    while (o > 0 && isWordChar(line->Text[o - 1]))
        --o;
    Cursor.Offset = ClusterFloor(line, o);
    return true;
}

bool TQnRTFTextInput::wordStepRight()
{
    const TLine *line = Cursor.Line;
    int o = std::clamp<int>(Cursor.Offset, 0, line->Length);
    if (o >= line->Length) {
        stepRight();
        return false; // a line change ends the count
    }
    while (o < line->Length && !isWordChar(line->Text[o]))
        ++o;
    while (o < line->Length && isWordChar(line->Text[o]))
        ++o;
    Cursor.Offset = ClusterCeiling(line, o);
    return true;
}

void TQnRTFTextInput::pageMove(bool down)
{
    const int height = std::max(1, WindowHeight);
    const bool scrolled = down ? ScrollDown(height) : ScrollUp(height);
    TParagraph *p = nullptr;
    TLine *l = nullptr;
    if (scrolled && LineAt(windowX(WantedX), OriginY, p, l)) {
        Cursor.Paragraph = p;
        Cursor.Line = l;
        // A line that ends exactly at the window's top is out of view.
        if (l->Top + l->Height <= ScrollY)
            lineDown();
    } else {
        // The view is at its end already: the cursor goes to the first or last line.
        while (down ? lineDown() : lineUp()) {
        }
    }
    aimAtWantedX();
}

// ---------------------------------------------------------------------------
// Moves with their after-work

void TQnRTFTextInput::beginMove(bool extend)
{
    if (extend && !BlockStarted) {
        BlockAnchor = Cursor;
        BlockEnd = Cursor;
        BlockStarted = true;
    }
}

void TQnRTFTextInput::endMove(bool extend, bool scroll, bool hadBlock)
{
    if (extend) {
        BlockEnd = Cursor;
        Reversed = PositionBefore(BlockEnd, BlockAnchor);
    } else {
        BlockStarted = false;
    }
    UpdateCurrentAttr();
    if (extend || hadBlock != HasBlock())
        PaintAll(); // the marked text changed
    if (scroll) {
        ShowCaret();
    } else {
        PlaceCaret();
        if (CursorMoved)
            CursorMoved();
    }
    if (AttrListener)
        AttrListener->CursorMoved();
}

namespace {

// Runs one kind of step count times, stopping when a step reports false.
template <class Step> void repeat(int count, Step step)
{
    for (int i = 0; i < count; ++i)
        if (!step())
            break;
}

} // namespace

void TQnRTFTextInput::CursorLeft(int count, bool extend, bool scroll)
{
    if (movesLocked() || !Cursor.Paragraph || !Cursor.Line)
        return;
    const bool hadBlock = HasBlock();
    beginMove(extend);
    bool wrapped = false;
    repeat(count, [&] {
        const TLine *before = Cursor.Line;
        const bool moved = stepLeft();
        wrapped = wrapped || Cursor.Line != before;
        return moved;
    });
    if (!wrapped)
        WantedX = documentX(XOfChar(Cursor.Paragraph, Cursor.Line, Cursor.Offset));
    endMove(extend, scroll, hadBlock);
}

void TQnRTFTextInput::CursorRight(int count, bool extend, bool scroll)
{
    if (movesLocked() || !Cursor.Paragraph || !Cursor.Line)
        return;
    const bool hadBlock = HasBlock();
    beginMove(extend);
    repeat(count, [&] { return stepRight(); });
    WantedX = documentX(XOfChar(Cursor.Paragraph, Cursor.Line, Cursor.Offset));
    endMove(extend, scroll, hadBlock);
}

void TQnRTFTextInput::CursorUp(int count, bool extend, bool scroll)
{
    if (movesLocked() || !Cursor.Paragraph || !Cursor.Line)
        return;
    const bool hadBlock = HasBlock();
    beginMove(extend);
    repeat(count, [&] { return lineUp(); });
    aimAtWantedX();
    endMove(extend, scroll, hadBlock);
}

void TQnRTFTextInput::CursorDown(int count, bool extend, bool scroll)
{
    if (movesLocked() || !Cursor.Paragraph || !Cursor.Line)
        return;
    const bool hadBlock = HasBlock();
    beginMove(extend);
    repeat(count, [&] { return lineDown(); });
    aimAtWantedX();
    endMove(extend, scroll, hadBlock);
}

void TQnRTFTextInput::WordLeft(int count, bool extend, bool scroll)
{
    if (movesLocked() || !Cursor.Paragraph || !Cursor.Line)
        return;
    const bool hadBlock = HasBlock();
    beginMove(extend);
    repeat(count, [&] { return wordStepLeft(); });
    WantedX = documentX(XOfChar(Cursor.Paragraph, Cursor.Line, Cursor.Offset));
    endMove(extend, scroll, hadBlock);
}

void TQnRTFTextInput::WordRight(int count, bool extend, bool scroll)
{
    if (movesLocked() || !Cursor.Paragraph || !Cursor.Line)
        return;
    const bool hadBlock = HasBlock();
    beginMove(extend);
    repeat(count, [&] { return wordStepRight(); });
    WantedX = documentX(XOfChar(Cursor.Paragraph, Cursor.Line, Cursor.Offset));
    endMove(extend, scroll, hadBlock);
}

void TQnRTFTextInput::MoveCursor(int kind, bool extend)
{
    if (movesLocked() || !Cursor.Paragraph || !Cursor.Line)
        return;
    if (!extend && HasBlock()) {
        DropBlock();
        PaintAll();
    }
    switch (kind) {
    case kMoveLeft:
        return CursorLeft(1, extend, true);
    case kMoveRight:
        return CursorRight(1, extend, true);
    case kMoveUp:
        return CursorUp(1, extend, true);
    case kMoveDown:
        return CursorDown(1, extend, true);
    case kMoveWordLeft:
        return WordLeft(1, extend, true);
    case kMoveWordRight:
        return WordRight(1, extend, true);
    default:
        break;
    }
    const bool hadBlock = HasBlock();
    beginMove(extend);
    switch (kind) {
    case kMoveLineStart:
        Cursor.Offset = 0;
        WantedX = 0;
        break;
    case kMoveLineEnd:
        Cursor.Offset = Cursor.Line->Length;
        WantedX = kWantedXLineEnd;
        break;
    case kMovePageUp:
        pageMove(false);
        break;
    case kMovePageDown:
        pageMove(true);
        break;
    case kMoveDocumentStart:
        Cursor = TTextPos{FirstParagraph, FirstParagraph->Lines, 0};
        WantedX = 0;
        break;
    case kMoveDocumentEnd: {
        TParagraph *last = LastParagraph();
        TLine *line = last->LastLine();
        Cursor = TTextPos{last, line, line->Length};
        WantedX = kWantedXLineEnd;
        break;
    }
    default:
        break;
    }
    endMove(extend, true, hadBlock);
}

} // namespace qn
