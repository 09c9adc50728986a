// Lifecycle, paragraph and line records, attributes and the memory format.

#include "richtext/model/rtf_text.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/ansi.h"

namespace qn {

namespace {

int evenCapacity(int capacity)
{
    if (capacity < 2)
        capacity = 2;
    return (capacity + 1) & ~1;
}

} // namespace

TQnRTFText::TQnRTFText() : Header(std::make_unique<TTextHeader>())
{
    Header->UseInch = 1;
    Header->RichMode = 1;
    Header->OnTabsFull = [this] { CollectTabSlots(); };
    CurrentAttr.Size = 10;
    std::fill(std::begin(CharWidths), std::end(CharWidths), PlainCharWidth);
    SetMemoryFormat(fmRichText);
    InsertMode = 1;
    // A new document names its default font like a cleared one, so that the
    // font table is never empty while characters refer to slot 0.
    PutDefaultFontInSlotZero();
    TParagraph *par = nullptr;
    FirstParagraph = NewParagraph(par, 40);
    Created = 1;
}

TQnRTFText::~TQnRTFText()
{
    FreeAllParagraphs();
}

void TQnRTFText::FreeAllParagraphs()
{
    FreeParagraphChain(FirstParagraph);
    FirstParagraph = nullptr;
}

void TQnRTFText::FreeParagraphChain(TParagraph *first)
{
    while (first) {
        TParagraph *next = first->Next;
        delete first;
        first = next;
    }
}

void TQnRTFText::PutDefaultFontInSlotZero()
{
    if (Header->FontNames[0].empty())
        Header->FontNames[0] = "Arial";
}

// ---------------------------------------------------------------------------
// Virtual operations

void TQnRTFText::SetCharAttr(TLine *line, int position, const TCharAttr &attr)
{
    if (!line || !line->Attrs)
        return;
    TCharAttr *target = AttribPtr(line, position);
    *target = attr;
    if (!(attr.Style & kStyleObject))
        FillPlainMetrics(*target, position < line->Capacity ? line->Text[position] : 0);
}

void TQnRTFText::SetCurrentAttr(const TCharAttr &attr)
{
    CurrentAttr = attr;
}

void TQnRTFText::Clear()
{
    FreeAllParagraphs();
    // The current font survives as the document's first font.
    if (CurrentAttr.FontIndex != 0 && CurrentAttr.FontIndex < kFontSlots) {
        const int from = CurrentAttr.FontIndex;
        Header->FontNames[0] = Header->FontNames[from];
        Header->FontPitchFamily[0] = Header->FontPitchFamily[from];
        Header->FontCharset[0] = Header->FontCharset[from];
    }
    CurrentAttr.FontIndex = 0;
    if (CurrentAttr.Size == 0)
        CurrentAttr.Size = 10;
    PutDefaultFontInSlotZero();
    Header->Reset();
    Objects.clear();
    Footnotes.clear();
    Header->RichMode = PlainMode ? 0 : 1;
    TParagraph *par = nullptr;
    FirstParagraph = NewParagraph(par, 100);
    FirstParagraph->State |= kStateRebreak | kStateRepaint;
    Changed();
}

// ---------------------------------------------------------------------------
// Paragraphs and lines

TParagraph *TQnRTFText::NewParagraph(TParagraph *&par, int capacity)
{
    TParagraph *p = nullptr;
    try {
        p = new TParagraph;
        TLine *line = nullptr;
        p->Lines = AddLine(line, capacity);
    } catch (const std::bad_alloc &) {
        delete p;
        throw EQnRTFText(kErrorNewParagraphMemory);
    } catch (...) {
        delete p;
        throw;
    }
    if (TParagraph *old = par) {
        p->FirstIndent = old->FirstIndent;
        p->LeftIndent = old->LeftIndent;
        p->RightIndent = old->RightIndent;
        p->SpaceBefore = old->SpaceBefore;
        p->SpaceAfter = old->SpaceAfter;
        p->LineSpacing = old->LineSpacing;
        p->Alignment = old->Alignment;
        p->ParFlags = old->ParFlags;
        p->Numbering = old->Numbering;
        p->StyleId = old->StyleId;
        // A cell's TabMask holds its cell geometry, not tab slots.
        if (!old->IsTableCell())
            p->TabMask = old->TabMask;
        if (!(old->BorderFlags & kBorderNotInherited)) {
            p->BorderFlags = old->BorderFlags;
            p->BorderStyle = old->BorderStyle;
            p->BorderWidth = old->BorderWidth;
            p->BorderSpaceColor = old->BorderSpaceColor;
        }
        p->Prev = old;
        p->Next = old->Next;
        if (old->Next)
            old->Next->Prev = p;
        old->Next = p;
    }
    par = p;
    return p;
}

TLine *TQnRTFText::AddLine(TLine *&line, int capacity)
{
    if (capacity < 8)
        capacity = 8;
    capacity = evenCapacity(capacity);
    if (capacity > kMaxLineCapacity)
        throw EQnRTFText(kErrorLineTooLong);
    auto fresh = std::make_unique<TLine>();
    fresh->Text = new char32_t[capacity]();
    if (Header->RichMode) {
        fresh->Attrs = new TCharAttr[capacity];
        fresh->Attrs[0] = CurrentAttr;
    }
    fresh->Capacity = static_cast<uint16_t>(capacity);
    fresh->Height = static_cast<uint16_t>(PlainLineHeight);
    fresh->Ascent = static_cast<uint16_t>(PlainAscent);
    fresh->LineFlags = kLineChanged;
    TLine *n = fresh.release();
    if (TLine *old = line) {
        n->Prev = old;
        n->Next = old->Next;
        if (old->Next)
            old->Next->Prev = n;
        old->Next = n;
    }
    line = n;
    return n;
}

TLine *TQnRTFText::AppendLine(TParagraph *paragraph, int capacity)
{
    TLine *last = paragraph->LastLine();
    TLine *line = last;
    AddLine(line, capacity);
    if (!last)
        paragraph->Lines = line;
    return line;
}

void TQnRTFText::DeleteLine(TParagraph *paragraph, TLine *line)
{
    if (!paragraph || !line)
        return;
    if (paragraph->Lines == line && !line->Next) {
        line->Length = 0;
        line->Text[0] = 0;
        line->LineFlags |= kLineChanged;
        paragraph->State |= kStateRebreak | kStateRepaint;
        return;
    }
    if (line->Prev)
        line->Prev->Next = line->Next;
    if (line->Next)
        line->Next->Prev = line->Prev;
    if (paragraph->Lines == line)
        paragraph->Lines = line->Next;
    delete line;
    paragraph->State |= kStateRebreak | kStateRepaint;
}

void TQnRTFText::DeleteParagraph(TParagraph *&par)
{
    TParagraph *p = par;
    if (!p)
        return;
    if (p == FirstParagraph && !p->Next) {
        while (p->Lines->Next)
            DeleteLine(p, p->Lines->Next);
        DeleteLine(p, p->Lines);
        return;
    }
    if (p->Prev)
        p->Prev->Next = p->Next;
    if (p->Next)
        p->Next->Prev = p->Prev;
    if (FirstParagraph == p)
        FirstParagraph = p->Next;
    par = p->Next ? p->Next : p->Prev;
    delete p;
}

void TQnRTFText::GrowLine(TLine *line, int capacity)
{
    capacity = evenCapacity(capacity);
    if (capacity > kMaxLineCapacity)
        throw EQnRTFText(kErrorLineTooLong);
    int length = line->Length;
    if (capacity <= length)
        length = capacity - 1;
    auto text = std::make_unique<char32_t[]>(capacity);
    std::copy_n(line->Text, std::min<int>(length, line->Capacity), text.get());
    text[length] = 0;
    TCharAttr *attrs = nullptr;
    if (line->Attrs) {
        attrs = new TCharAttr[capacity];
        std::copy(line->Attrs, line->Attrs + std::min<int>(length + 1, line->Capacity), attrs);
    }
    delete[] line->Text;
    delete[] line->Attrs;
    line->Text = text.release();
    line->Attrs = attrs;
    line->Capacity = static_cast<uint16_t>(capacity);
    line->Length = static_cast<uint16_t>(length);
}

// ---------------------------------------------------------------------------
// Attributes

TCharAttr *TQnRTFText::AttribPtr(TLine *line, int position)
{
    if (!line || !line->Attrs || position < 0 || position >= line->Capacity)
        throw EQnRTFText(kErrorAttribPtr);
    return &line->Attrs[position];
}

TLine *TQnRTFText::GetLastLine(TParagraph *paragraph)
{
    if (!paragraph || !paragraph->Lines) {
        // Callers treat the missing line as "nothing to do"; the error is
        // kept for inspection rather than raised.
        LastError = EQnRTFText(kErrorLastLine).what();
        return nullptr;
    }
    return paragraph->LastLine();
}

int16_t TQnRTFText::wideOrCodePageWidth(char32_t ch) const
{
    const std::optional<unsigned char> code = UnicodeToAnsi(ch);
    return code ? CharWidths[*code] : WideWidth(ch);
}

int16_t TQnRTFText::WideWidth(char32_t) const
{
    return PlainCharWidth;
}

void TQnRTFText::FillPlainMetrics(TCharAttr &attr, char32_t ch) const
{
    attr.Width = PlainWidth(ch == 9 ? U' ' : ch);
    attr.Height = PlainLineHeight;
    attr.Ascent = PlainAscent;
}

// ---------------------------------------------------------------------------
// Memory format

void TQnRTFText::SetMemoryFormat(TQnMemoryFormat format)
{
    if (format == fmRichText) {
        if (!PlainMode || !FirstParagraph || Suspend) {
            Header->RichMode = 1;
            PlainMode = 0;
            return;
        }
        if (CurrentAttr.Size == 0)
            CurrentAttr.Size = 10;
        try {
            for (TParagraph *p = FirstParagraph; p; p = p->Next)
                for (TLine *l = p->Lines; l; l = l->Next) {
                    // Arrays kept by a suspended switch are rebuilt too.
                    delete[] l->Attrs;
                    l->Attrs = nullptr;
                    l->Attrs = new TCharAttr[l->Capacity];
                    for (int i = 0; i <= l->Length && i < l->Capacity; ++i) {
                        l->Attrs[i] = CurrentAttr;
                        l->Attrs[i].Width = PlainWidth(l->Text[i]);
                    }
                    l->Height = static_cast<uint16_t>(CurrentAttr.Height);
                    l->Ascent = static_cast<uint16_t>(CurrentAttr.Ascent);
                }
        } catch (const std::bad_alloc &) {
            // Stay in plain mode, intact.
            for (TParagraph *p = FirstParagraph; p; p = p->Next)
                for (TLine *l = p->Lines; l; l = l->Next) {
                    delete[] l->Attrs;
                    l->Attrs = nullptr;
                }
            PlainMode = 1;
            Header->RichMode = 0;
            return;
        }
        MarkAllParagraphs();
        Header->RichMode = 1;
        PlainMode = 0;
        Changed();
        return;
    }
    if (Suspend) {
        Header->RichMode = 0;
        PlainMode = 1;
        return;
    }
    for (TParagraph *p = FirstParagraph; p; p = p->Next)
        for (TLine *l = p->Lines; l; l = l->Next) {
            delete[] l->Attrs;
            l->Attrs = nullptr;
            l->Height = static_cast<uint16_t>(PlainLineHeight);
            l->Ascent = static_cast<uint16_t>(PlainAscent);
        }
    MarkAllParagraphs();
    Header->RichMode = 0;
    PlainMode = 1;
    Changed();
}

void TQnRTFText::MarkAllParagraphs()
{
    for (TParagraph *p = FirstParagraph; p; p = p->Next)
        p->State |= kStateRebreak | kStateRepaint;
}

void TQnRTFText::Changed()
{
    if (OnChange)
        OnChange();
}

} // namespace qn
