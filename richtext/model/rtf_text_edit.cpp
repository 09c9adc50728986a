// Character and text edits, chain insertion and protection.

#include "richtext/model/rtf_text.h"

#include <algorithm>
#include <cstring>

#include "platform/notifications.h"

namespace qn {

namespace {

// Moves the characters (and attributes) from `from` up to and including the
// NUL at Length by `delta` positions; the caller has made room.
void shiftTail(TLine *line, int from, int delta)
{
    const int count = line->Length - from + 1;
    std::memmove(line->Text + from + delta, line->Text + from, count * sizeof(char32_t));
    if (line->Attrs)
        std::memmove(static_cast<void *>(line->Attrs + from + delta), line->Attrs + from,
                     count * sizeof(TCharAttr));
}

// Removes n characters at position from a line.
void removeChars(TLine *line, int position, int n)
{
    shiftTail(line, position + n, -n);
    line->Length = static_cast<uint16_t>(line->Length - n);
    line->LineFlags |= kLineChanged;
}

// Moves the attributes' grouping key: an insert point and the automatic text
// that follows it form one run.
uint8_t runKey(uint16_t style)
{
    uint8_t high = style >> 8;
    return (high & 0x30) ? (high | 0x30) : high;
}

} // namespace

// ---------------------------------------------------------------------------
// Helpers

void TQnRTFText::EnsureRoom(TLine *line, int more, int slack)
{
    const int need = line->Length + more + 1;
    if (need <= line->Capacity)
        return;
    if (need > kMaxLineCapacity)
        throw EQnRTFText(kErrorLineTooLong);
    GrowLine(line, std::min(line->Length + more + slack, kMaxLineCapacity));
}

void TQnRTFText::StoreChars(TLine *line, std::u32string_view text, const TCharAttr &attr)
{
    int at = line->Length;
    std::copy(text.begin(), text.end(), line->Text + at);
    if (line->Attrs)
        for (size_t i = 0; i < text.size(); ++i) {
            TCharAttr &a = line->Attrs[at + i] = attr;
            // Until layout measures them, characters get the plain metrics,
            // so that no fresh text looks like zero-width (guardable) text.
            if (!(attr.Style & kStyleObject))
                FillPlainMetrics(a, text[i]);
        }
    line->Length = static_cast<uint16_t>(at + text.size());
    line->Text[line->Length] = 0;
    if (line->Attrs)
        line->Attrs[line->Length] = attr;
    line->LineFlags |= kLineChanged;
}

void TQnRTFText::AppendToLine(TLine *line, std::u32string_view text, const TCharAttr &attr)
{
    if (!line || text.empty())
        return;
    EnsureRoom(line, static_cast<int>(text.size()), 10);
    StoreChars(line, text, attr);
}

TLine *TQnRTFText::MakeTextLines(std::u32string_view text, const TCharAttr &attr, int extra,
                                 TLine **last)
{
    TLine *first = nullptr;
    TLine *line = nullptr;
    try {
        do {
            std::u32string_view chunk = text.substr(0, kMaxChunk);
            text.remove_prefix(chunk.size());
            AddLine(line, static_cast<int>(chunk.size()) + extra);
            if (!first)
                first = line;
            StoreChars(line, chunk, attr);
        } while (!text.empty());
    } catch (...) {
        while (first) {
            TLine *next = first->Next;
            delete first;
            first = next;
        }
        throw;
    }
    *last = line;
    return first;
}

// ---------------------------------------------------------------------------
// Protection

bool TQnRTFText::IsGuarded(const TParagraph *paragraph, const TLine *line, int position,
                           bool *whole) const
{
    if (whole)
        *whole = false;
    if (ProtectOff)
        return false;
    if (paragraph && (paragraph->ParFlags & kParProtected) &&
        (ProtectOptions & kProtectParagraph)) {
        if (whole)
            *whole = true;
        return true;
    }
    if (!line || !line->Attrs || position < 0 || position >= line->Length)
        return false;
    const TCharAttr &a = line->Attrs[position];
    return ((ProtectOptions & kProtectShadow) && (a.Style & kStyleShadow)) ||
           ((ProtectOptions & kProtectInsertPoint) && (a.Style & kStyleInsertPoint) &&
            !InsertMode) ||
           ((ProtectOptions & kProtectAutoText) && (a.Style & kStyleAutoText)) ||
           ((ProtectOptions & kProtectHidden) && (a.Style & kStyleHidden)) ||
           ((ProtectOptions & kProtectZeroWidth) && a.Width == 0);
}

bool TQnRTFText::RefuseGuarded(TParagraph *paragraph, TLine *line, int position)
{
    bool whole = false;
    if (!IsGuarded(paragraph, line, position, &whole))
        return false;
    FieldTextEvent(paragraph, line, whole, position);
    return true;
}

void TQnRTFText::FieldTextEvent(TParagraph *paragraph, TLine *line, bool whole, int position)
{
    if (!OnFieldText)
        return;
    if (whole) {
        OnFieldText(ParagraphText(paragraph), 0);
        return;
    }
    if (!line || !line->Attrs || position < 0 || position >= line->Length)
        return;
    const uint8_t key = runKey(line->Attrs[position].Style);
    int start = position;
    while (start > 0 && runKey(line->Attrs[start - 1].Style) == key)
        --start;
    std::u32string text;
    int tag = 0;
    for (int i = start;
         i < line->Length && runKey(line->Attrs[i].Style) == key && text.size() < 254; ++i) {
        text.push_back(line->Text[i]);
        const TCharAttr &a = line->Attrs[i];
        if (!tag && (a.Style & (kStyleInsertPoint | kStyleAutoText)))
            tag = a.Tag;
    }
    OnFieldText(text, tag);
}

// ---------------------------------------------------------------------------
// Character edits

bool TQnRTFText::InsertChar(TParagraph *paragraph, TLine *line, char32_t ch, int position)
{
    if (!paragraph || !line)
        return false;
    position = std::clamp<int>(position, 0, line->Length);
    if (RefuseGuarded(paragraph, line, position))
        return false;
    if (paragraph->IsCoveredCell()) {
        MessageBeep(0);
        return false;
    }
    if (position < line->Length && !InsertMode) {
        line->Text[position] = ch;
        if (line->Attrs)
            line->Attrs[position] = CurrentAttr;
    } else {
        if (line->Capacity < line->Length + 4) {
            // Grow in steps of ten; the last step may stop at the limit.
            if (line->Length + 2 > kMaxLineCapacity)
                throw EQnRTFText(kErrorLineTooLong);
            GrowLine(line, std::min(line->Length + 10, kMaxLineCapacity));
        }
        if (position < line->Length) {
            shiftTail(line, position, 1);
            line->Text[position] = ch;
            if (line->Attrs)
                line->Attrs[position] = CurrentAttr;
            ++line->Length;
        } else {
            line->Text[position] = ch;
            line->Text[position + 1] = 0;
            ++line->Length;
            SetCharAttr(line, position, CurrentAttr);
        }
    }
    line->LineFlags |= kLineChanged;
    paragraph->State |= kStateRebreak;
    return true;
}

bool TQnRTFText::DeleteChar(TParagraph *paragraph, TLine *line, int position)
{
    if (!paragraph || !line)
        return false;
    position = std::max(position, 0);
    if (RefuseGuarded(paragraph, line, position))
        return false;
    if (position < line->Length) {
        removeChars(line, position, 1);
        paragraph->State |= kStateRebreak;
        return true;
    }
    if (TLine *next = line->Next) {
        // The character after the line end is the next line's first one.
        int skip = next->Length > 0 ? 1 : 0;
        if (skip && RefuseGuarded(paragraph, next, 0))
            skip = 0;
        const int rest = next->Length - skip;
        const int joined = line->Length + rest;
        if (line->Capacity < joined + 6) {
            if (joined + 6 > kMaxLineCapacity)
                return false;
            GrowLine(line, std::min(joined + 30, kMaxLineCapacity));
        }
        const int at = line->Length;
        std::copy_n(next->Text + skip, rest + 1, line->Text + at);
        if (line->Attrs && next->Attrs)
            std::copy(next->Attrs + skip, next->Attrs + skip + rest + 1, line->Attrs + at);
        line->Length = static_cast<uint16_t>(joined);
        line->LineFlags |= kLineChanged;
        DeleteLine(paragraph, next);
        paragraph->State |= kStateRebreak;
        return true;
    }
    // End of the paragraph: join the next one.
    if (paragraph->IsTableCell())
        return false;
    TParagraph *next = paragraph->Next;
    if (!next)
        return false;
    // Joining would carry a protected paragraph's text out of its protection.
    bool whole = false;
    if (IsGuarded(next, next->Lines, 0, &whole) && whole) {
        FieldTextEvent(next, next->Lines, true, 0);
        return false;
    }
    line->Next = next->Lines;
    if (next->Lines)
        next->Lines->Prev = line;
    next->Lines = nullptr;
    if (next->IsTableCell()) {
        paragraph->State = next->State;
        paragraph->Alignment = next->Alignment;
        paragraph->ParFlags = next->ParFlags;
        paragraph->BorderFlags = next->BorderFlags;
        paragraph->BorderStyle = next->BorderStyle;
        paragraph->BorderWidth = next->BorderWidth;
        paragraph->BorderSpaceColor = next->BorderSpaceColor;
        paragraph->TabMask = next->TabMask;
        paragraph->SpaceBefore = next->SpaceBefore;
        paragraph->LineSpacing = next->LineSpacing;
        paragraph->SpaceAfter = next->SpaceAfter;
    }
    paragraph->Next = next->Next;
    if (next->Next)
        next->Next->Prev = paragraph;
    delete next;
    paragraph->State |= kStateRebreak;
    return true;
}

bool TQnRTFText::SplitParagraph(TParagraph *paragraph, TLine *line, int position)
{
    if (!paragraph || !line)
        return false;
    position = std::clamp<int>(position, 0, line->Length);
    if (RefuseGuarded(paragraph, line, position))
        return false;
    const int moved = line->Length - position;
    TParagraph *fresh = paragraph;
    NewParagraph(fresh, std::min(moved + 30, kMaxLineCapacity));
    TLine *first = fresh->Lines;
    std::copy_n(line->Text + position, moved + 1, first->Text);
    if (first->Attrs && line->Attrs && moved > 0)
        std::copy(line->Attrs + position, line->Attrs + line->Length + 1, first->Attrs);
    first->Length = static_cast<uint16_t>(moved);
    line->Length = static_cast<uint16_t>(position);
    line->Text[position] = 0;
    line->LineFlags |= kLineChanged;
    if (TLine *after = line->Next) {
        first->Next = after;
        after->Prev = first;
        line->Next = nullptr;
    }
    paragraph->State |= kStateRebreak;
    fresh->State |= kStateRebreak;
    return true;
}

// ---------------------------------------------------------------------------
// Text edits by paragraph offset

void TQnRTFText::InsertText(TParagraph *paragraph, int position, const TCharAttr *attr,
                            std::u32string_view text)
{
    if (!paragraph || !paragraph->Lines || text.empty())
        return;
    const TCharAttr &a = attr ? *attr : InsertAttr;
    TLine *last = nullptr;
    TLine *block = MakeTextLines(text, a, 4, &last);
    if (position <= 0) {
        last->Next = paragraph->Lines;
        paragraph->Lines->Prev = last;
        paragraph->Lines = block;
    } else {
        TLine *line = paragraph->Lines;
        int offset = position;
        while (line->Next && offset > line->Length) {
            offset -= line->Length;
            line = line->Next;
        }
        offset = std::min<int>(offset, line->Length);
        if (offset < line->Length) {
            // The tail of the cut line goes into a line of its own.
            const int tail = line->Length - offset;
            TLine *tailLine = line;
            try {
                AddLine(tailLine, tail + 4);
            } catch (...) {
                for (TLine *l = block; l;) {
                    TLine *n = l->Next;
                    delete l;
                    l = n;
                }
                throw;
            }
            std::copy_n(line->Text + offset, tail + 1, tailLine->Text);
            if (tailLine->Attrs && line->Attrs)
                std::copy(line->Attrs + offset, line->Attrs + line->Length + 1, tailLine->Attrs);
            tailLine->Length = static_cast<uint16_t>(tail);
            line->Length = static_cast<uint16_t>(offset);
            line->Text[offset] = 0;
            line->LineFlags |= kLineChanged;
        }
        last->Next = line->Next;
        if (line->Next)
            line->Next->Prev = last;
        line->Next = block;
        block->Prev = line;
    }
    paragraph->State |= kStateRebreak | kStateRepaint;
}

void TQnRTFText::DeleteText(TParagraph *paragraph, int position, int count)
{
    if (!paragraph || !paragraph->Lines || count <= 0)
        return;
    TLine *line = paragraph->Lines;
    int offset = std::max(position, 0);
    while (line->Next && offset > line->Length) {
        offset -= line->Length;
        line = line->Next;
    }
    offset = std::min<int>(offset, line->Length);
    bool first = true;
    while (line && count > 0) {
        const int n = std::min<int>(count, line->Length - offset);
        if (n > 0) {
            if (first && line->Attrs)
                InsertAttr = line->Attrs[offset];
            first = false;
            removeChars(line, offset, n);
            count -= n;
        }
        offset = 0;
        line = line->Next;
    }
    paragraph->State |= kStateRebreak | kStateRepaint;
}

int TQnRTFText::ReplaceRange(TParagraph *paragraph, TLine *line, const TCharAttr *attrSource,
                             int newLength, const char32_t *newText, int oldLength, int position,
                             bool perCharAttrs)
{
    if (!line || newLength < 0 || (newLength > 0 && !newText))
        return 0;
    position = std::clamp<int>(position, 0, line->Length);
    oldLength = std::clamp(oldLength, 0, line->Length - position);
    const int diff = newLength - oldLength;
    if (diff > 0) {
        EnsureRoom(line, diff, 6);
        shiftTail(line, position + oldLength, diff);
    } else if (diff < 0) {
        if (position + oldLength >= line->Length)
            line->Text[position + newLength] = 0; // a delete to the end only truncates
        else
            shiftTail(line, position + oldLength, diff);
    }
    line->Length = static_cast<uint16_t>(line->Length + diff);
    line->Text[line->Length] = 0;
    if (newLength > 0)
        std::copy_n(newText, newLength, line->Text + position);
    if (line->Attrs)
        for (int i = 0; i < newLength; ++i) {
            const TCharAttr *a = attrSource ? attrSource + (perCharAttrs ? i : 0) : &CurrentAttr;
            line->Attrs[position + i] = *a;
        }
    line->LineFlags |= kLineChanged;
    if (paragraph)
        paragraph->State |= kStateRebreak | kStateRepaint;
    return diff;
}

int TQnRTFText::ReplaceText(TParagraph *paragraph, TLine *line, std::u32string_view text,
                            int position)
{
    const int n = static_cast<int>(text.size());
    return ReplaceRange(paragraph, line, nullptr, n, text.data(), n, position);
}

// ---------------------------------------------------------------------------
// Linking a chain of paragraphs

int TQnRTFText::InsertParagraphs(TParagraph *&par, TLine *&line, TParagraph *first, int &position)
{
    if (!first || !first->Lines)
        return 0;
    TParagraph *last = first;
    while (last->Next)
        last = last->Next;
    for (TParagraph *p = first; p; p = p->Next)
        p->State |= kStateRebreak | kStateRepaint;
    if (ReadingChain == first)
        ReadingChain = nullptr;

    const bool empty =
        !FirstParagraph || (!FirstParagraph->Next && FirstParagraph->Lines &&
                            !FirstParagraph->Lines->Next && FirstParagraph->Lines->Length == 0);
    if (empty) {
        FreeAllParagraphs();
        FirstParagraph = first;
        first->Prev = nullptr;
        par = last;
        line = last->LastLine();
        position = line->Length;
        return 1;
    }
    if (!par || !line || par->IsTableCell())
        return 0;

    position = std::clamp<int>(position, 0, line->Length);
    const int tailLength = line->Length - position;
    TLine *tail = nullptr;
    AddLine(tail, tailLength + 4);
    std::copy_n(line->Text + position, tailLength + 1, tail->Text);
    if (tail->Attrs && line->Attrs && tailLength > 0)
        std::copy(line->Attrs + position, line->Attrs + line->Length + 1, tail->Attrs);
    tail->Length = static_cast<uint16_t>(tailLength);
    line->Length = static_cast<uint16_t>(position);
    line->Text[position] = 0;
    line->LineFlags |= kLineChanged;

    // The lines after the cut travel with the tail.
    if (TLine *after = line->Next) {
        tail->Next = after;
        after->Prev = tail;
    }
    // The first inserted paragraph's lines continue this paragraph.
    line->Next = first->Lines;
    first->Lines->Prev = line;
    first->Lines = nullptr;

    TParagraph *rest = first->Next;
    TParagraph *target = rest ? last : par;
    TLine *end = target->LastLine();
    end->Next = tail;
    tail->Prev = end;
    if (rest) {
        TParagraph *oldNext = par->Next;
        par->Next = rest;
        rest->Prev = par;
        last->Next = oldNext;
        if (oldNext)
            oldNext->Prev = last;
    }
    delete first;
    par->State |= kStateRebreak | kStateRepaint;
    par = target;
    line = tail;
    position = 0;
    return 1;
}

} // namespace qn
