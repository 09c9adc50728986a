// The selected block: ordering, deletion, and formatting of characters and
// paragraphs; the current attribute.
#include <algorithm>
#include <cstring>
#include <unordered_set>
#include <vector>

#include "platform/ansi.h"
#include "platform/unicode_text.h"
#include "richtext/edit/rtf_text_input.h"

namespace qn {

namespace {

// Removes n characters at position from a line (the NUL moves with the tail).
void removeChars(TLine *line, int position, int n)
{
    n = std::min(n, line->Length - position);
    if (n <= 0)
        return;
    const int tail = line->Length - position - n + 1;
    std::memmove(line->Text + position, line->Text + position + n, sizeof(char32_t) * size_t(tail));
    if (line->Attrs)
        std::memmove(static_cast<void *>(line->Attrs + position), line->Attrs + position + n,
                     sizeof(TCharAttr) * size_t(tail));
    line->Length = static_cast<uint16_t>(line->Length - n);
    line->LineFlags |= kLineChanged;
}

void cutAt(TLine *line, int position)
{
    removeChars(line, position, line->Length - position);
}

int offsetInParagraph(const TTextPos &pos)
{
    int offset = 0;
    for (const TLine *l = pos.Paragraph->Lines; l && l != pos.Line; l = l->Next)
        offset += l->Length;
    return offset + pos.Offset;
}

bool positionInDocument(const TParagraph *first, const TTextPos &pos)
{
    for (const TParagraph *p = first; p; p = p->Next) {
        if (p != pos.Paragraph)
            continue;
        for (const TLine *l = p->Lines; l; l = l->Next)
            if (l == pos.Line)
                return pos.Offset >= 0 && pos.Offset <= l->Length;
        return false;
    }
    return false;
}

constexpr uint16_t kStyleGroup = kStyleBold | kStyleItalic | kStyleUnderline | kStyleStrikeout |
                                 kStyleSuperscript | kStyleSubscript | kStyleHidden | kStyleRtfCode;
constexpr uint16_t kBasicStyles = kStyleBold | kStyleItalic | kStyleUnderline | kStyleStrikeout |
                                  kStyleSuperscript | kStyleSubscript;

bool sameLook(const TCharAttr &a, const TCharAttr &b)
{
    return a.FontIndex == b.FontIndex && a.Colors == b.Colors && a.Style == b.Style &&
           a.Size == b.Size;
}

} // namespace

// ---------------------------------------------------------------------------
// Order

bool TQnRTFTextInput::PositionBefore(const TTextPos &a, const TTextPos &b) const
{
    if (!a.Paragraph || !b.Paragraph)
        return false;
    if (a.Paragraph == b.Paragraph)
        return offsetInParagraph(a) < offsetInParagraph(b);
    for (const TParagraph *p = a.Paragraph->Next; p; p = p->Next)
        if (p == b.Paragraph)
            return true;
    return false;
}

void TQnRTFTextInput::OrderedBlock(TTextPos &start, TTextPos &end) const
{
    start = BlockAnchor;
    end = BlockEnd;
    if (PositionBefore(end, start))
        std::swap(start, end);
    start.Offset = std::clamp<int>(start.Offset, 0, start.Line ? start.Line->Length : 0);
    end.Offset = std::clamp<int>(end.Offset, 0, end.Line ? end.Line->Length : 0);
}

// ---------------------------------------------------------------------------
// Deleting the block

bool TQnRTFTextInput::DeleteBlock()
{
    if (!HasBlock() || Suspend)
        return false;
    if (!positionInDocument(FirstParagraph, BlockAnchor) ||
        !positionInDocument(FirstParagraph, BlockEnd)) {
        DropBlock(); // ends that point at freed text cannot be trusted
        return false;
    }
    TTextPos start, end;
    OrderedBlock(start, end);
    const uint8_t oldSuspend = Suspend, oldProtectOff = ProtectOff;
    Suspend = 1;
    ProtectOff = 1;
    try {
        Cursor = start;
        if (start.Paragraph == end.Paragraph)
            deleteInOneParagraph(start, end);
        else
            deleteAcrossParagraphs(start, end);
    } catch (...) {
        Suspend = oldSuspend;
        ProtectOff = oldProtectOff;
        DropBlock();
        throw;
    }
    Suspend = oldSuspend;
    ProtectOff = oldProtectOff;
    DropBlock();
    lastEdited_ = Cursor.Paragraph;
    FormatAll();
    // Measuring ran before breaking joined the lines: an emptied paragraph's
    // height must come from its one line's look.
    relayoutCursorParagraph();
    return true;
}

void TQnRTFTextInput::deleteInOneParagraph(const TTextPos &start, const TTextPos &end)
{
    TParagraph *p = start.Paragraph;
    if (start.Line == end.Line) {
        removeChars(start.Line, start.Offset, end.Offset - start.Offset);
    } else {
        cutAt(start.Line, start.Offset);
        for (TLine *l = start.Line->Next; l && l != end.Line; l = l->Next)
            cutAt(l, 0);
        removeChars(end.Line, 0, end.Offset);
    }
    // Breaking joins what is left of the lines; the look of a line emptied
    // here is measured afresh.
    p->State |= kStateRebreak | kStateRepaint;
}

void TQnRTFTextInput::deleteAcrossParagraphs(const TTextPos &start, const TTextPos &end)
{
    TParagraph *first = start.Paragraph, *last = end.Paragraph;
    bool anyCell = false;
    for (TParagraph *q = first;; q = q->Next) {
        anyCell = anyCell || q->IsTableCell();
        if (q == last)
            break;
    }
    const bool wholeCells = start.Line == first->Lines && start.Offset == 0 && !end.Line->Next &&
                            end.Offset >= end.Line->Length;
    markNumbered(first);
    markNumbered(last);

    cutAt(start.Line, start.Offset);
    for (TLine *l = start.Line->Next; l; l = l->Next)
        cutAt(l, 0);
    for (TLine *l = last->Lines; l && l != end.Line; l = l->Next)
        cutAt(l, 0);
    removeChars(end.Line, 0, end.Offset);
    first->State |= kStateRebreak | kStateRepaint;
    last->State |= kStateRebreak | kStateRepaint;

    if (anyCell && !wholeCells) {
        // Table structure stays: the paragraphs between are emptied, not removed.
        for (TParagraph *q = first->Next; q != last; q = q->Next) {
            for (TLine *l = q->Lines; l; l = l->Next)
                cutAt(l, 0);
            q->State |= kStateRebreak | kStateRepaint;
            markNumbered(q);
        }
        return;
    }
    while (first->Next != last) {
        TParagraph *q = first->Next;
        markNumbered(q);
        DeleteParagraph(q);
    }
    // What is left of a numbered paragraph's number must not land inside the text.
    if (last->Numbering) {
        const bool rich = last->Lines->Attrs != nullptr;
        for (TLine *l = last->Lines; rich && l; l = l->Next) {
            int n = 0;
            while (n < l->Length && (l->Attrs[n].Style & kStyleListNumber))
                ++n;
            removeChars(l, 0, n);
            if (l->Length > 0)
                break;
        }
    }
    TLine *tail = first->LastLine();
    tail->Next = last->Lines;
    last->Lines->Prev = tail;
    last->Lines = nullptr;
    first->Next = last->Next;
    if (last->Next)
        last->Next->Prev = first;
    delete last;
}

// ---------------------------------------------------------------------------
// Character attributes

void TQnRTFTextInput::applyParts(TCharAttr &target, const TCharAttr &attr, uint8_t parts) const
{
    uint16_t style = target.Style;
    uint16_t turnedOn = 0;
    if (parts & kAttrFont)
        target.FontIndex = attr.FontIndex;
    if (parts & kAttrSize)
        target.Size = attr.Size;
    if (parts & kAttrTextColor)
        target.Colors = static_cast<uint8_t>((target.Colors & 0xF0) | (attr.Colors & 0x0F));
    if (parts & kAttrBackColor)
        target.Colors = static_cast<uint8_t>((target.Colors & 0x0F) | (attr.Colors & 0xF0));
    if (parts & kAttrStyleOn) {
        style |= attr.Style;
        turnedOn |= attr.Style;
    }
    if (parts & kAttrStyleOff)
        style &= static_cast<uint16_t>(~attr.Style);
    if (parts & kAttrStyleGroup) {
        style = static_cast<uint16_t>((style & ~kStyleGroup) | (attr.Style & kStyleGroup));
        turnedOn |= attr.Style & kStyleGroup;
    }
    if (parts & kAttrBasicStyles) {
        style = static_cast<uint16_t>((style & ~kBasicStyles) | (attr.Style & kBasicStyles));
        turnedOn |= attr.Style & kBasicStyles;
    }
    // Raised and lowered exclude each other; what was just asked for wins.
    if (turnedOn & (kStyleSuperscript | kStyleRaised))
        style &= static_cast<uint16_t>(~kStyleSubscript);
    else if (turnedOn & kStyleSubscript)
        style &= static_cast<uint16_t>(~kStyleSuperscript);
    target.Style = style;
}

void TQnRTFTextInput::SetSelectionAttr(const TCharAttr &attr, uint8_t parts)
{
    if (ReadOnly)
        return;
    if (HasBlock() && positionInDocument(FirstParagraph, BlockAnchor) &&
        positionInDocument(FirstParagraph, BlockEnd)) {
        TTextPos start, end;
        OrderedBlock(start, end);
        for (TParagraph *p = start.Paragraph; p; p = p->Next) {
            TLine *l = p == start.Paragraph ? start.Line : p->Lines;
            for (; l; l = l->Next) {
                if (!l->Attrs)
                    continue;
                const int from = l == start.Line ? start.Offset : 0;
                const int to = l == end.Line ? end.Offset : l->Length;
                for (int i = from; i < to; ++i)
                    applyParts(l->Attrs[i], attr, parts);
                // An empty line keeps the look typing there would get.
                if (l->Length == 0)
                    applyParts(l->Attrs[0], attr, parts);
                l->LineFlags |= kLineChanged;
                if (l == end.Line)
                    break;
            }
            // Measured again as a whole, so that lines left with nothing
            // visible get the same height as a full layout gives them.
            p->State |= kStateRebreak | kStateRepaint;
            if (p == end.Paragraph)
                break;
        }
        FormatAll();
        PaintAll();
        ShowCaret();
    }
    TCharAttr current = CurrentAttr;
    applyParts(current, attr, parts);
    SetCurrentAttr(current);
    if (AttrListener) {
        AttrListener->AttrChanged();
        AttrListener->CursorMoved();
    }
}

void TQnRTFTextInput::SetStyle(uint16_t bits, bool on)
{
    if (ReadOnly)
        return;
    paragraphLeftIfDue();
    TCharAttr attr;
    attr.Style = bits;
    if (bits != 0)
        SetSelectionAttr(attr, on ? kAttrStyleOn : kAttrStyleOff);
    else
        SetSelectionAttr(attr, kAttrStyleGroup);
    FormatAll();
    if (Cursor.Paragraph && Cursor.Line)
        WantedX = documentX(XOfChar(Cursor.Paragraph, Cursor.Line, Cursor.Offset));
    PaintAll();
}

void TQnRTFTextInput::UpdateCurrentAttr()
{
    const TCharAttr *source = nullptr;
    if (!PlainMode && Cursor.Paragraph && Cursor.Line) {
        const TLine *line = Cursor.Line;
        const int offset = std::clamp<int>(Cursor.Offset, 0, line->Length);
        if (offset > 0 && line->Attrs) {
            source = &line->Attrs[offset - 1];
        } else {
            const TLine *before = line->Prev;
            if (!before && Cursor.Paragraph->Prev)
                before = Cursor.Paragraph->Prev->LastLine();
            if (before && before->Length > 0 && before->Attrs)
                source = &before->Attrs[before->Length - 1];
            // At the start of the text the first character sets the look,
            // not whatever the attribute held before.
            else if (!before && !Cursor.Paragraph->Prev && offset < line->Length && line->Attrs)
                source = &line->Attrs[offset];
        }
    }
    if (source)
        SelectFont(*source);
    const bool changed = !source || !sameLook(*source, CurrentAttr);
    if (source)
        CurrentAttr = *source;
    if (!ObjectInsert) {
        // Typing never continues hidden text, marks, fields, objects or numbers.
        CurrentAttr.Style &= kTypingStyleMask;
        CurrentAttr.Tag = 0;
    }
    // The listener reads the attribute the cursor now has.
    if (AttrListener && changed)
        AttrListener->AttrChanged();
}

// ---------------------------------------------------------------------------
// Paragraph properties

void TQnRTFTextInput::forSelectedParagraphs(const std::function<void(TParagraph *)> &f)
{
    if (HasBlock() && positionInDocument(FirstParagraph, BlockAnchor) &&
        positionInDocument(FirstParagraph, BlockEnd)) {
        TTextPos start, end;
        OrderedBlock(start, end);
        for (TParagraph *p = start.Paragraph; p; p = p->Next) {
            f(p);
            if (p == end.Paragraph)
                break;
        }
    } else if (Cursor.Paragraph) {
        f(Cursor.Paragraph);
    }
}

void TQnRTFTextInput::relayoutAndPaint()
{
    FormatAll();
    PaintAll();
    PlaceCaret();
}

void TQnRTFTextInput::updateRulerFields()
{
    const TParagraph *p = Cursor.Paragraph;
    if (!p)
        return;
    TTextHeader &h = *Header;
    h.RulerFirstIndent = p->FirstIndent;
    h.RulerLeftIndent = p->LeftIndent;
    h.RulerRightIndent = p->RightIndent;
    if (p->IsTableCell()) {
        const int slot = (p->CellTab() & 0x0F) - 1;
        h.RulerTabMask = slot >= 0 ? (1u << slot) : 0;
    } else {
        h.RulerTabMask = p->TabMask;
    }
}

void TQnRTFTextInput::SetAlignment(uint8_t alignment)
{
    if (ReadOnly)
        return;
    forSelectedParagraphs([&](TParagraph *p) {
        if (p->Alignment != alignment) {
            p->Alignment = alignment;
            p->State |= kStateRebreak;
        }
    });
    relayoutAndPaint();
}

void TQnRTFTextInput::SetTab(uint32_t mask, bool remove)
{
    if (ReadOnly || mask == 0)
        return;
    int slot = 0;
    while (slot < 31 && !((mask >> slot) & 1u))
        ++slot;
    forSelectedParagraphs([&](TParagraph *p) {
        if (p->IsTableCell()) {
            // A cell holds one tab, in a nibble.
            if (remove)
                p->SetCellTab(static_cast<uint8_t>(p->CellTab() & 0xF0));
            else if (slot + 1 <= 0x0F)
                p->SetCellTab(static_cast<uint8_t>((p->CellTab() & 0xF0) | (slot + 1)));
        } else if (remove) {
            p->TabMask &= 0x7FFFFFFFu - mask;
        } else {
            p->TabMask |= mask;
        }
        p->State |= kStateRebreak;
    });
    updateRulerFields();
    relayoutAndPaint();
}

void TQnRTFTextInput::SetIndents(int first, int left, int right)
{
    if (ReadOnly)
        return;
    auto given = [](int v) { return v != kIndentUnchanged && v < 65000; };
    std::vector<TParagraph *> targets;
    std::unordered_set<TParagraph *> seen;
    auto add = [&](TParagraph *p) {
        if (seen.insert(p).second)
            targets.push_back(p);
    };
    forSelectedParagraphs([&](TParagraph *p) {
        if (!p->IsTableCell()) {
            add(p);
            return;
        }
        // The cells of one table share the table's indents.
        TParagraph *q = p;
        while (q->Prev && q->Prev->IsTableCell())
            q = q->Prev;
        for (; q && q->IsTableCell(); q = q->Next)
            add(q);
    });
    for (TParagraph *p : targets) {
        if (given(first))
            p->FirstIndent = first;
        if (given(left))
            p->LeftIndent = left;
        if (given(right))
            p->RightIndent = right;
        p->State |= kStateRebreak;
    }
    updateRulerFields();
    relayoutAndPaint();
}

// ---------------------------------------------------------------------------
// Insert points

int TQnRTFTextInput::FillInsertPoints(const TQnInsertPointText &ask)
{
    if (!ask)
        return 0;
    DropBlock();
    int changed = 0;
    std::u32string text;
    std::vector<TCharAttr> attrs;
    for (TParagraph *p = FirstParagraph; p; p = p->Next) {
        // The paragraph as one run of characters; it is read again after a change.
        auto read = [&] {
            text.clear();
            attrs.clear();
            for (const TLine *l = p->Lines; l; l = l->Next)
                for (int i = 0; i < l->Length; ++i) {
                    text.push_back(l->Text[i]);
                    attrs.push_back(l->Attrs ? l->Attrs[i] : TCharAttr{});
                }
        };
        read();
        for (size_t i = 0; i < text.size(); ++i) {
            if (!(attrs[i].Style & kStyleInsertPoint))
                continue;
            size_t end = i + 1;
            while (end < text.size() && (attrs[end].Style & kStyleAutoText) &&
                   !(attrs[end].Style & kStyleInsertPoint))
                ++end;
            const int oldLength = static_cast<int>(end - i - 1);
            // Fields are named and filled in the code page.
            const std::string old = ToAnsiLossy(text.substr(i + 1, oldLength));
            std::string now = old;
            int replaced = oldLength;
            const int tag = attrs[i].Tag;
            const bool goOn = ask(p, now, replaced, tag, UnicodeToAnsi(text[i]).value_or('?'));
            replaced = std::clamp(replaced, 0, oldLength);
            if (now.size() > size_t(kMaxAutoText))
                now.resize(kMaxAutoText);
            // Control characters would break the paragraph's text apart.
            std::erase_if(now, [](char c) { return static_cast<uint8_t>(c) < 32; });
            if (replaced != oldLength || now != old) {
                TCharAttr look = oldLength > 0 ? attrs[i + 1] : attrs[i];
                look.Style =
                    static_cast<uint16_t>((look.Style & ~kStyleInsertPoint) | kStyleAutoText);
                look.Tag = static_cast<int16_t>(tag);
                const int at = static_cast<int>(i) + 1;
                DeleteText(p, at, replaced);
                InsertText(p, at, &look, unicode::FromAnsi(now));
                p->State |= kStateRebreak | kStateRepaint;
                ++changed;
                read();
            }
            if (!goOn)
                return changed;
        }
    }
    return changed;
}

} // namespace qn
