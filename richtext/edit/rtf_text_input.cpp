// Typing at the cursor: characters, backspace, delete, Enter, page breaks and
// objects, and bringing the screen up to date afterwards.
#include "richtext/edit/rtf_text_input.h"

#include <algorithm>

#include "platform/unicode_text.h"
#include "platform/winmath.h"
#include "richtext/edit/clusters.h"

namespace qn {

namespace {

int lineIndex(const TParagraph *paragraph, const TLine *line)
{
    int index = 0;
    for (const TLine *l = paragraph->Lines; l && l != line; l = l->Next)
        ++index;
    return index;
}

// Characters of generated list number text at the start of a paragraph.
int generatedPrefix(const TParagraph *paragraph)
{
    int count = 0;
    for (const TLine *l = paragraph->Lines; l; l = l->Next) {
        if (!l->Attrs)
            return count;
        for (int i = 0; i < l->Length; ++i) {
            if (!(l->Attrs[i].Style & kStyleListNumber))
                return count;
            ++count;
        }
    }
    return count;
}

} // namespace

TQnRTFTextInput::TQnRTFTextInput() = default;
TQnRTFTextInput::~TQnRTFTextInput() = default;

void TQnRTFTextInput::Clear()
{
    TQnRTFTextPaint::Clear();
    DropBlock();
    Cursor = TTextPos{FirstParagraph, FirstParagraph ? FirstParagraph->Lines : nullptr, 0};
    WantedX = 0;
    FullReformat = false;
    lastEdited_ = nullptr;
    UpdateCurrentAttr();
}

// ---------------------------------------------------------------------------
// Typing a string

void TQnRTFTextInput::InputString(std::string_view ansi)
{
    InputString(unicode::FromAnsi(ansi));
}

void TQnRTFTextInput::InputString(std::u32string_view text)
{
    if (ReadOnly || Suspend || !FirstParagraph)
        return;
    if (!Cursor.Paragraph || !Cursor.Line)
        ResetCursor();
    if (!ObjectInsert)
        CurrentAttr.Style &= static_cast<uint16_t>(~(kStyleInsertPoint | kStyleObject));
    Typing = true;
    if (BeforeInput)
        BeforeInput();
    int result = kRepaintNothing;
    int count = 0;
    try {
        for (const char32_t c : text) {
            if (c == 0)
                break;
            result = std::max(result, typeChar(c));
            ++count;
        }
    } catch (...) {
        Typing = false;
        throw;
    }
    LastRepaint = result;
    if (count <= 1) {
        UpdateScreen(result);
    } else if (FullReformat) {
        // The caller paints; the numbers and lines must be right by then.
        Renumber();
        ReformatAll();
        FullReformat = false;
        LastRepaint = kRepaintWindow;
    }
    Typing = false;
    if (AfterInput)
        AfterInput();
}

void TQnRTFTextInput::UpdateScreen(int result)
{
    if (FullReformat) {
        Renumber();
        ReformatAll();
        PaintAll();
        FullReformat = false;
    } else if (result >= kRepaintWindow) {
        PaintAll();
    } else if (result >= kRepaintLine && Cursor.Paragraph) {
        if (result == kRepaintParagraph)
            for (TLine *l = Cursor.Paragraph->Lines; l; l = l->Next)
                l->LineFlags |= kLineChanged;
        RepaintChangedLines(Cursor.Paragraph, kBreakLineChanged);
    }
    ShowCaret();
    // Up and down aim at the column where typing left the cursor (Enter
    // aims at the line start).
    if (aimAtCaret_ && Cursor.Paragraph && Cursor.Line)
        WantedX = documentX(XOfChar(Cursor.Paragraph, Cursor.Line, Cursor.Offset));
}

int TQnRTFTextInput::typeChar(char32_t ch)
{
    aimAtCaret_ = ch != 13 && ch != 12;
    switch (ch) {
    case 8:
        return typeBackspace();
    case 127:
        return typeDelete();
    case 12:
        return typePageBreak();
    case 13:
        return typeEnter(false);
    default:
        return typeOther(ch);
    }
}

void TQnRTFTextInput::paragraphLeftIfDue()
{
    if ((Cursor.Paragraph != lastEdited_ || HasBlock()) && ParagraphLeft)
        ParagraphLeft();
    lastEdited_ = Cursor.Paragraph;
}

void TQnRTFTextInput::markNumbered(const TParagraph *paragraph)
{
    if (paragraph && paragraph->Numbering)
        FullReformat = true;
}

int TQnRTFTextInput::relayoutCursorParagraph()
{
    return relayout(Cursor.Paragraph);
}

int TQnRTFTextInput::relayout(TParagraph *p)
{
    // An emptied paragraph is as high as its line's own look: measure that.
    if (p->Lines->Length == 0 && !p->Lines->Next)
        p->State |= kStateRepaint;
    // Measuring finishes the old lines first, so breaking alone cannot tell
    // that the paragraph's height changed: compare it here.
    auto heightOf = [](const TParagraph *q) {
        int h = 0;
        for (const TLine *l = q->Lines; l; l = l->Next)
            h += l->Height;
        return h;
    };
    const int before = (p->State & kStateRepaint) ? heightOf(p) : 0;
    int change = ReformatParagraph(p);
    if (before != 0 && change < kBreakMoved && heightOf(p) != before) {
        ComputeDocumentHeight();
        callHook(VerticalChanged);
        change = kBreakMoved;
    }
    return change;
}

// ---------------------------------------------------------------------------
// Characters

int TQnRTFTextInput::typeOther(char32_t ch)
{
    paragraphLeftIfDue();
    int result = kRepaintNothing;
    if (HasBlock() && DeleteBlock())
        result = kRepaintWindow;
    TParagraph *p = Cursor.Paragraph;
    TLine *line = Cursor.Line;
    Cursor.Offset = std::clamp<int>(Cursor.Offset, 0, line->Length);
    if ((CurrentAttr.Style & kStyleHidden) && !ShowHidden() && !ObjectInsert)
        return result;
    const int position = Cursor.Offset;
    try {
        if (!InsertChar(p, line, ch, position))
            return result;
    } catch (const EQnRTFText &) {
        return result; // the line cannot grow: the text stays as it was
    }
    // A character put inside the text took CurrentAttr unmeasured.
    if (line->Attrs)
        SetCharAttr(line, position, CurrentAttr);
    Cursor.Offset = position + 1;
    const int lineBefore = lineIndex(p, line);
    const int change = relayoutCursorParagraph();
    if (ch == 10 || change >= kBreakHeightChanged || lineIndex(p, Cursor.Line) != lineBefore)
        return kRepaintWindow;
    return std::max(result, int(kRepaintLine));
}

int TQnRTFTextInput::typeDelete()
{
    paragraphLeftIfDue();
    if (HasBlock() && DeleteBlock())
        return kRepaintWindow;
    TParagraph *p = Cursor.Paragraph;
    TLine *line = Cursor.Line;
    Cursor.Offset = std::clamp<int>(Cursor.Offset, 0, line->Length);
    if (Cursor.Offset < line->Length) {
        // A letter goes with its marks, an emoji with its modifiers.
        const int count = ClusterEnd(line, Cursor.Offset) - Cursor.Offset;
        if (!DeleteChar(p, line, Cursor.Offset))
            return kRepaintNothing;
        for (int k = 1; k < count && Cursor.Offset < line->Length; ++k)
            if (!DeleteChar(p, line, Cursor.Offset))
                break;
        return relayoutCursorParagraph() >= kBreakHeightChanged ? kRepaintWindow
                                                                : kRepaintParagraph;
    }
    markNumbered(p);
    if (!line->Next && !p->Next) {
        // Nothing follows: the end of the document drops its borders and breaks.
        p->BorderFlags = 0;
        p->BorderStyle = 0;
        p->ParFlags = 0;
        p->State |= kStateRebreak;
        relayoutCursorParagraph();
        ComputeDocumentHeight();
        return kRepaintWindow;
    }
    if (!line->Next && p->Next && !p->IsTableCell()) {
        TParagraph *next = p->Next;
        markNumbered(next);
        // Its list number would end up inside this paragraph's text.
        if (next->Numbering && !IsGuarded(next, next->Lines, 0))
            if (const int generated = generatedPrefix(next))
                DeleteText(next, 0, generated);
    }
    if (!DeleteChar(p, line, Cursor.Offset))
        return kRepaintNothing;
    relayoutCursorParagraph();
    ComputeDocumentHeight();
    callHook(VerticalChanged);
    return kRepaintWindow;
}

int TQnRTFTextInput::typeBackspace()
{
    if (HasBlock())
        return typeDelete();
    TParagraph *p = Cursor.Paragraph;
    TLine *line = Cursor.Line;
    const int offset = std::clamp<int>(Cursor.Offset, 0, line->Length);
    if (offset > 0) {
        Cursor.Offset = ClusterStart(line, offset);
        return typeDelete();
    }
    if (TLine *prev = line->Prev) {
        // Offset 0 of a wrapped line stands right after the previous line's end.
        paragraphLeftIfDue();
        Cursor.Line = prev;
        Cursor.Offset = prev->Length;
        if (prev->Length > 0 && !RefuseGuarded(p, prev, prev->Length - 1)) {
            DeleteChar(p, prev, prev->Length - 1);
            Cursor.Offset = prev->Length;
        }
        p->State |= kStateRebreak;
        relayoutCursorParagraph();
        return kRepaintWindow;
    }
    if (p == FirstParagraph || p->IsTableCell() || !p->Prev)
        return kRepaintNothing;
    TParagraph *prevPar = p->Prev;
    TLine *last = prevPar->LastLine();
    Cursor = TTextPos{prevPar, last, last->Length};
    return typeDelete();
}

int TQnRTFTextInput::typeEnter(bool pageBreak)
{
    paragraphLeftIfDue();
    int result = kRepaintNothing;
    if (HasBlock() && DeleteBlock())
        result = kRepaintWindow;
    TParagraph *p = Cursor.Paragraph;
    TLine *line = Cursor.Line;
    Cursor.Offset = std::clamp<int>(Cursor.Offset, 0, line->Length);
    markNumbered(p);
    const bool atStart = p == FirstParagraph && line == p->Lines && Cursor.Offset == 0;
    if (p->IsTableCell() && !atStart)
        return std::max(result, typeOther(10));
    if (atStart) {
        // A new empty paragraph in front; the cursor stays with its text.
        TParagraph *fresh = nullptr;
        NewParagraph(fresh, 4);
        fresh->Next = FirstParagraph;
        FirstParagraph->Prev = fresh;
        FirstParagraph = fresh;
        fresh->State |= kStateRebreak | kStateRepaint;
        if (pageBreak)
            fresh->Next->ParFlags |= kParPageBreak;
        relayout(fresh);
        ComputeDocumentHeight();
        callHook(VerticalChanged);
        return kRepaintWindow;
    }
    if (!SplitParagraph(p, line, Cursor.Offset))
        return result;
    TParagraph *fresh = p->Next;
    if (pageBreak)
        fresh->ParFlags |= kParPageBreak;
    else
        fresh->ParFlags &= static_cast<uint8_t>(~kParPageBreak);
    Cursor = TTextPos{fresh, fresh->Lines, 0};
    WantedX = 0;
    lastEdited_ = fresh;
    relayout(p);
    relayout(fresh);
    ComputeDocumentHeight();
    callHook(VerticalChanged);
    return kRepaintWindow;
}

int TQnRTFTextInput::typePageBreak()
{
    TParagraph *p = Cursor.Paragraph;
    // At the start of a paragraph the break goes before it (or away again);
    // elsewhere the paragraph is split there.
    if (!HasBlock() && Cursor.Line == p->Lines && Cursor.Offset == 0) {
        paragraphLeftIfDue();
        p->ParFlags ^= kParPageBreak;
        ComputeDocumentHeight();
        return kRepaintWindow;
    }
    return typeEnter(true);
}

// ---------------------------------------------------------------------------
// Objects

TQnObject *TQnRTFTextInput::InsertObject(int &tag, std::shared_ptr<TQnGraphic> graphic, int height,
                                         int width)
{
    TQnObject *object = AddObject(std::move(graphic), tag);
    object->Width = width;
    object->Height = height;
    ObjectSize(*object);
    if (!object->Graphic)
        throw EQnRTFText("No object was defined");
    const bool byTag = tag != 0;
    const int value = byTag ? object->Tag : object->Id;
    tag = value;
    ObjectInsert = true;
    CurrentAttr.Tag = static_cast<int16_t>(value);
    CurrentAttr.Width = static_cast<int16_t>(MulDiv(object->Width, Header->PixelsPerInchX, 1440));
    CurrentAttr.Height = static_cast<int16_t>(MulDiv(object->Height, Header->PixelsPerInchY, 1440));
    CurrentAttr.Style = static_cast<uint16_t>((CurrentAttr.Style | kStyleObject) &
                                              ~(kStyleInsertPoint | kStyleAutoText));
    const char32_t code = byTag ? 1 : 2;
    try {
        InputString(std::u32string_view(&code, 1));
    } catch (...) {
        CurrentAttr.Tag = 0;
        CurrentAttr.Style &= static_cast<uint16_t>(~kStyleObject);
        ObjectInsert = false;
        throw;
    }
    CurrentAttr.Tag = 0;
    CurrentAttr.Style &= static_cast<uint16_t>(~kStyleObject);
    ObjectInsert = false;
    return object;
}

} // namespace qn
