// Paragraphs addressed by index, and copying text out.

#include "richtext/model/rtf_text.h"

#include <algorithm>
#include <cstring>

namespace qn {

int TQnRTFText::ParagraphCount() const
{
    int n = 0;
    for (TParagraph *p = FirstParagraph; p; p = p->Next)
        ++n;
    return n;
}

TParagraph *TQnRTFText::ParagraphAt(int index) const
{
    if (index < 0)
        return nullptr;
    TParagraph *p = FirstParagraph;
    while (p && index-- > 0)
        p = p->Next;
    return p;
}

TParagraph *TQnRTFText::LastParagraph() const
{
    TParagraph *p = FirstParagraph;
    while (p && p->Next)
        p = p->Next;
    return p;
}

bool TQnRTFText::SetParagraphText(int index, std::u32string_view text, const TCharAttr *attr)
{
    TParagraph *p = ParagraphAt(index);
    if (!p)
        return false;
    ReplaceParagraphLines(p, text, attr ? *attr : CurrentAttr);
    return true;
}

void TQnRTFText::ReplaceParagraphLines(TParagraph *p, std::u32string_view text,
                                       const TCharAttr &attr)
{
    TLine *last = nullptr;
    TLine *lines = MakeTextLines(text, attr, 2, &last);
    TLine *old = p->Lines;
    while (old) {
        TLine *next = old->Next;
        delete old;
        old = next;
    }
    p->Lines = lines;
    p->State |= kStateRebreak | kStateRepaint;
}

TParagraph *TQnRTFText::AddParagraphWithText(int index, std::u32string_view text,
                                             const TCharAttr *attr)
{
    TParagraph *first = FirstParagraph;
    if (first && !first->Next && first->Lines && !first->Lines->Next && first->Lines->Length == 0) {
        SetParagraphText(0, text, attr);
        return first;
    }
    TParagraph *p = nullptr;
    if (index <= 0 || !first) {
        NewParagraph(p, 8);
        p->Next = first;
        if (first)
            first->Prev = p;
        FirstParagraph = p;
    } else {
        p = ParagraphAt(std::min(index, ParagraphCount()) - 1);
        NewParagraph(p, 8);
    }
    ReplaceParagraphLines(p, text, attr ? *attr : CurrentAttr);
    return p;
}

bool TQnRTFText::DeleteParagraphAt(int index)
{
    TParagraph *p = ParagraphAt(index);
    if (!p)
        return false;
    DeleteParagraph(p);
    return true;
}

int TQnRTFText::ParagraphLength(int index) const
{
    const TParagraph *p = ParagraphAt(index);
    return p ? p->TextLength() : -1;
}

int TQnRTFText::ParagraphText(int index, char32_t *buffer, int size) const
{
    if (!buffer || size <= 0)
        return 0;
    const TParagraph *p = ParagraphAt(index);
    if (!p) {
        buffer[0] = 0;
        return 0;
    }
    return CopyText(p, 0, buffer, size - 1);
}

std::u32string TQnRTFText::ParagraphText(int index) const
{
    return ParagraphText(ParagraphAt(index));
}

std::u32string TQnRTFText::ParagraphText(const TParagraph *paragraph)
{
    std::u32string text;
    if (!paragraph)
        return text;
    text.reserve(paragraph->TextLength());
    for (const TLine *l = paragraph->Lines; l; l = l->Next)
        text.append(l->Text, l->Length);
    return text;
}

int TQnRTFText::CopyText(const TParagraph *paragraph, int offset, char32_t *buffer, int count)
{
    if (!buffer)
        return 0;
    int copied = 0;
    if (paragraph && count > 0) {
        offset = std::max(offset, 0);
        for (const TLine *l = paragraph->Lines; l && copied < count; l = l->Next) {
            if (offset >= l->Length) {
                offset -= l->Length;
                continue;
            }
            const int n = std::min<int>(count - copied, l->Length - offset);
            std::copy_n(l->Text + offset, n, buffer + copied);
            copied += n;
            offset = 0;
        }
    }
    buffer[copied] = 0;
    return copied;
}

} // namespace qn
