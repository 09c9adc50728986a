// Line breaking, tabs, and line tops with page breaks.
#include <algorithm>
#include <cstring>
#include <new>

#include "platform/ansi.h"
#include "platform/unicode_text.h"
#include "platform/winmath.h"
#include "richtext/layout/rtf_text_paint.h"

namespace qn {

namespace {

// Border spacing of a paragraph, in twips (the high nibble is millimetres).
int borderSpacingTwips(const TParagraph *p)
{
    if ((p->BorderFlags & kBorderOn) && p->BorderSpaceColor >= 16)
        return MulDiv(p->BorderSpaceColor >> 4, 567, 10);
    return 0;
}

uint16_t clampU16(int v)
{
    return static_cast<uint16_t>(std::clamp(v, 0, 0xFFFF));
}

// The paragraph offset of a position in it.
int offsetInParagraph(const TParagraph *paragraph, const TTextPos &pos)
{
    int offset = 0;
    for (const TLine *l = paragraph->Lines; l && l != pos.Line; l = l->Next)
        offset += l->Length;
    return offset + pos.Offset;
}

bool sameLineContent(const TLine *a, const TLine *b)
{
    if (a->Length != b->Length || a->LineWidth != b->LineWidth ||
        a->JustifyExtra != b->JustifyExtra || a->JustifyRemainder != b->JustifyRemainder ||
        !std::equal(a->Text, a->Text + a->Length, b->Text))
        return false;
    if (!a->Attrs || !b->Attrs)
        return !a->Attrs && !b->Attrs;
    for (int i = 0; i < a->Length; ++i)
        if (!(a->Attrs[i] == b->Attrs[i]))
            return false;
    return true;
}

} // namespace

// ---------------------------------------------------------------------------
// Indents

int TQnRTFTextPaint::LeftIndentPixels(const TParagraph *p, bool firstLine) const
{
    const TTextHeader &h = *Header;
    int twips = firstLine ? p->FirstIndent : p->LeftIndent;
    if (p->IsTableCell()) {
        const int w = h.LayoutWidthTwips;
        twips = p->LeftIndent + (w - p->RightIndent - p->LeftIndent) * p->CellLeft() / 255;
    }
    twips += borderSpacingTwips(p);
    return MulDiv(twips, h.PixelsPerInchX, 1440) + 1;
}

int TQnRTFTextPaint::RightIndentPixels(const TParagraph *p) const
{
    const TTextHeader &h = *Header;
    int twips = p->RightIndent;
    if (p->IsTableCell()) {
        const int w = h.LayoutWidthTwips;
        twips = w - (p->LeftIndent +
                     (p->CellLeft() + p->CellWidth()) * (w - p->RightIndent - p->LeftIndent) / 255);
    }
    twips += borderSpacingTwips(p);
    int r = MulDiv(twips, h.PixelsPerInchX, 1440);
    if (!p->IsTableCell() && h.TextAreaWidthPixels != h.LayoutWidthPixels) {
        const int d = h.TextAreaWidthPixels - h.LayoutWidthPixels;
        r = d < r ? r - d : 0;
    }
    return r;
}

int TQnRTFTextPaint::AvailableWidth(const TParagraph *p, bool firstLine) const
{
    const int w = Header->LayoutWidthPixels - RightIndentPixels(p) - LeftIndentPixels(p, firstLine);
    return w < 1 ? 16 : w;
}

// ---------------------------------------------------------------------------
// Tabs

int TQnRTFTextPaint::TabTarget(const TParagraph *p, int x, const char32_t *text,
                               const TCharAttr *attrs, int from, int end)
{
    const TTextHeader &h = *Header;
    int pos = -1;
    uint8_t kind = tkLeft;
    if (p->IsTableCell()) {
        const int slot = (p->CellTab() & 0x0F) - 1;
        if (slot >= 0 && slot < kTabSlots && h.TabPosTwips[slot] > 0 && h.TabPosPixels[slot] > x) {
            pos = h.TabPosPixels[slot];
            kind = h.TabKind[slot];
        }
    } else {
        for (int i = 0; i < kTabSlots; ++i) {
            if (!((p->TabMask >> i) & 1u) || h.TabPosTwips[i] <= 0)
                continue;
            const int tab = h.TabPosPixels[i];
            if (tab > x && (pos < 0 || tab < pos)) {
                pos = tab;
                kind = h.TabKind[i];
            }
        }
    }
    if (pos < 0) {
        const int s = std::max(1, h.RulerStepPixels);
        return x + s - (x + s) % s;
    }
    if (pos > h.LayoutWidthPixels - RightIndentPixels(p))
        return x;
    auto widthAt = [&](int k) { return attrs ? attrs[k].Width : PlainWidth(text[k]); };
    switch (kind) {
    case tkRight:
    case tkDecimal: {
        int w = 0;
        for (int k = from; k < end; ++k) {
            const char32_t ch = text[k];
            if (ch == '\t' || ch == '\n' ||
                (kind == tkDecimal && ch == AnsiToUnicode(h.DecimalChar)))
                break;
            w += widthAt(k);
            if (pos - w < x)
                return x;
        }
        return pos - w;
    }
    case tkCenter: {
        const int limit = 2 * (pos - x);
        int w = 0;
        for (int k = from; k < end; ++k) {
            const char32_t ch = text[k];
            if (ch == '\t' || ch == '\n')
                break;
            w += widthAt(k);
            if (w > limit)
                break;
        }
        return std::max(x, pos - w / 2);
    }
    default:
        return pos;
    }
}

// ---------------------------------------------------------------------------
// Breaking

void TQnRTFTextPaint::carryPosition(TTextPos &pos, TParagraph *paragraph, int offset)
{
    TLine *line = paragraph->Lines;
    while (line->Next && offset >= line->Length) {
        offset -= line->Length;
        line = line->Next;
    }
    pos.Line = line;
    pos.Offset = std::min<int>(offset, line->Length);
}

// The paragraph's characters (and attributes) in one piece, in breakText_
// and breakAttrs_; returns how many.
int TQnRTFTextPaint::flattenParagraph(const TParagraph *p, bool rich)
{
    int n = 0;
    for (const TLine *l = p->Lines; l; l = l->Next)
        n += l->Length;
    if (breakText_.size() < size_t(n) + 1)
        breakText_.resize(size_t(n) + 1);
    if (rich && breakAttrs_.size() < size_t(n) + 1)
        breakAttrs_.resize(size_t(n) + 1);
    int at = 0;
    for (const TLine *l = p->Lines; l; l = l->Next) {
        std::copy_n(l->Text, l->Length, breakText_.data() + at);
        if (rich)
            std::memcpy(static_cast<void *>(breakAttrs_.data() + at), l->Attrs,
                        sizeof(TCharAttr) * size_t(l->Length));
        at += l->Length;
    }
    return n;
}

// What changed from the old lines to the new ones (kBreakSame when not
// compared); changed new lines are flagged, page starts carried over.
int TQnRTFTextPaint::compareLines(const TLine *o, TLine *l, bool compare)
{
    int change = kBreakSame;
    int oldTotal = 0, newTotal = 0;
    for (; o && l; o = o->Next, l = l->Next) {
        oldTotal += o->Height;
        newTotal += l->Height;
        l->LineFlags |= o->LineFlags & kLinePageStart;
        if (!compare)
            continue;
        if (o->Height != l->Height) {
            change = std::max(change, int(kBreakHeightChanged));
            l->LineFlags |= kLineChanged;
        } else if (!sameLineContent(o, l)) {
            change = std::max(change, int(kBreakLineChanged));
            l->LineFlags |= kLineChanged;
        }
    }
    for (; o; o = o->Next)
        oldTotal += o->Height, change = kBreakMoved;
    for (; l; l = l->Next) {
        newTotal += l->Height, change = kBreakMoved;
        if (compare)
            l->LineFlags |= kLineChanged;
    }
    if (compare && oldTotal != newTotal)
        change = kBreakMoved;
    return compare ? change : kBreakSame;
}

int TQnRTFTextPaint::BreakParagraph(TParagraph *paragraph, bool compare)
{
    if (!paragraph || !paragraph->Lines || !canvas_ || locked())
        return kBreakSame;
    TParagraph *p = paragraph;
    const bool rich = !PlainMode && p->Lines->Attrs;

    const int n = flattenParagraph(p, rich);
    char32_t *text = breakText_.data();
    TCharAttr *attrs = rich ? breakAttrs_.data() : nullptr;
    const TCharAttr emptyLook = rich ? p->Lines->Attrs[0] : CurrentAttr;

    // Positions that point into the old lines, by paragraph offset.
    std::vector<std::pair<TTextPos *, int>> carried;
    auto remember = [&](TTextPos *pos) {
        if (pos && pos->Paragraph == p && pos->Line)
            carried.emplace_back(pos, offsetInParagraph(p, *pos));
    };
    remember(&Cursor);
    remember(&BlockAnchor);
    remember(&BlockEnd);
    for (TTextPos *pos : tracked_)
        remember(pos);

    const uint8_t align = p->Alignment;
    const bool tabIsBlank = align == kAlignRight || align == kAlignCenter;
    TLine *first = nullptr, *last = nullptr;
    try {
        int start = 0;
        do {
            const bool firstLine = first == nullptr;
            const int leftPx = LeftIndentPixels(p, firstLine);
            const int avail = AvailableWidth(p, firstLine);
            int f = 0, blanks = 0, blankSum = 0, breakAt = -1, breakWidth = 0, justifyFrom = 0;
            bool overflow = false;
            int i = start;
            // A line buffer holds at most this many characters.
            const int limit = start + kMaxLineCapacity - 6;
            while (i < n && i < limit) {
                const char32_t ch = text[i];
                const int w = rich ? attrs[i].Width : PlainWidth(ch);
                if (ch == ' ' || (ch == '\t' && tabIsBlank)) {
                    ++blanks;
                    if (i - start >= 1) {
                        breakAt = i;
                        breakWidth = f;
                    }
                    f += w;
                    blankSum += w;
                } else if (ch == '\t') {
                    f = TabTarget(p, leftPx + f, text, attrs, i + 1, n) - leftPx;
                    blanks = 0;
                    blankSum = 0;
                    breakAt = -1;
                    justifyFrom = i - start;
                } else if (w > 0) {
                    f += w;
                }
                ++i;
                if (ch == '\n')
                    break;
                if (f > avail) {
                    overflow = true;
                    break;
                }
            }
            int end = i;
            if (overflow && breakAt >= 0) {
                end = breakAt + 1;
                f = breakWidth;
            } else if (overflow) {
                // Never between a letter and its marks, nor past what a
                // line holds.
                const std::u32string_view all(text, size_t(n));
                while (end < n && end < limit && text[end] >= 0x300 &&
                       !unicode::IsGraphemeBoundary(all, end))
                    ++end;
            }
            const int count = end - start;
            TLine *line = last;
            AddLine(line, count + 4);
            if (!first)
                first = line;
            last = line;
            std::copy_n(text + start, count, line->Text);
            line->Text[count] = 0;
            line->Length = static_cast<uint16_t>(count);
            if (rich) {
                std::memcpy(static_cast<void *>(line->Attrs), attrs + start,
                            sizeof(TCharAttr) * size_t(count));
                line->Attrs[count] = count > 0 ? attrs[end - 1] : emptyLook;
            }
            line->MarkState = 0;
            line->LineFlags = 0;
            const bool lastLine = end >= n;
            const int extra = blankSum + avail - f - 6;
            if (align == kAlignJustify && blanks > 1 && (!lastLine || (p->ParFlags & 0x40)) &&
                extra >= 0) {
                line->LineWidth = clampU16(justifyFrom);
                line->JustifyExtra = clampU16(extra / (blanks - 1));
                line->JustifyRemainder = clampU16(extra % (blanks - 1));
                line->LineFlags |= kLineJustified;
            } else {
                line->LineWidth = clampU16(f);
                line->JustifyExtra = 0;
                line->JustifyRemainder = 0;
            }
            start = end;
        } while (start < n);
    } catch (const std::bad_alloc &) {
        // Keep the old lines rather than lose the text that found no room.
        while (first) {
            TLine *next = first->Next;
            delete first;
            first = next;
        }
        return kBreakSame;
    }

    // Heights, then tops from the old first line's top.
    int top = p->Lines->Top;
    for (TLine *l = first; l; l = l->Next) {
        FinishLine(p, l);
        l->Top = top;
        top += l->Height;
    }

    const int change = compareLines(p->Lines, first, compare);

    TLine *old = p->Lines;
    p->Lines = first;
    while (old) {
        TLine *next = old->Next;
        delete old;
        old = next;
    }
    for (auto &[pos, offset] : carried)
        carryPosition(*pos, p, offset);
    p->State &= static_cast<uint8_t>(~kStateRebreak);
    return change;
}

// ---------------------------------------------------------------------------
// Tops, page starts and the document height

void TQnRTFTextPaint::ComputeDocumentHeight()
{
    const TTextHeader &hd = *Header;
    const int ppiY = hd.PixelsPerInchY;
    int pageHeight = (hd.PageHeight - hd.MarginTop - hd.MarginBottom) * ppiY / 1440;
    if (ReferenceDevice)
        pageHeight = static_cast<int>(pageHeight * (ScaleY > 0 ? ScaleY : 1.0));
    int y = 0, pageStart = 0;
    TParagraph *p = FirstParagraph;
    while (p) {
        // Broken row marks make a paragraph an ordinary one again.
        if ((p->ParFlags & kParCellRowOpen) && !(p->Next && (p->Next->ParFlags & kParCellNotFirst)))
            p->ParFlags &= static_cast<uint8_t>(~(kParCellRowOpen | kParTableCell));
        if ((p->ParFlags & kParCellNotFirst) && !(p->Prev && (p->Prev->ParFlags & kParCellRowOpen)))
            p->ParFlags &= static_cast<uint8_t>(~(kParCellNotFirst | kParTableCell));
        if (p->ParFlags & kParPageBreak)
            pageStart = y;
        if (!p->IsTableCell()) {
            for (TLine *l = p->Lines; l; l = l->Next) {
                l->Top = y;
                l->LineFlags &= static_cast<uint8_t>(~kLinePageStart);
                if (y - pageStart > pageHeight) {
                    l->LineFlags |= kLinePageStart;
                    pageStart = y;
                }
                y += l->Height;
            }
            p = p->Next;
            continue;
        }
        // A table row: its cells side by side, all ending together.
        TParagraph *rowFirst = p, *rowLast = p;
        while ((rowLast->ParFlags & kParCellRowOpen) && rowLast->Next &&
               (rowLast->Next->ParFlags & kParCellNotFirst) && rowLast->Next->IsTableCell())
            rowLast = rowLast->Next;
        int rowHeight = 0;
        for (TParagraph *c = rowFirst;; c = c->Next) {
            int t = y;
            for (TLine *l = c->Lines; l; l = l->Next) {
                l->Top = t;
                l->LineFlags &= static_cast<uint8_t>(~kLinePageStart);
                t += l->Height;
            }
            const int after = c->SpaceAfter > 0 ? MulDiv(c->SpaceAfter, ppiY, 1440) : 0;
            rowHeight = std::max(rowHeight, t - y - after);
            if (c == rowLast)
                break;
        }
        if (rowFirst->SpaceBefore > 0)
            rowHeight += MulDiv(rowFirst->SpaceBefore, ppiY, 1440);
        for (TParagraph *c = rowFirst;; c = c->Next) {
            int own = 0;
            for (TLine *l = c->Lines; l; l = l->Next)
                own += l->Height;
            const int after = c->SpaceAfter > 0 ? MulDiv(c->SpaceAfter, ppiY, 1440) : 0;
            own -= after;
            c->SpaceAfter = MulDiv(rowHeight - own, 1440, std::max(1, ppiY));
            FinishLine(c, c->LastLine());
            if (c == rowLast)
                break;
        }
        if (y + rowHeight - pageStart > pageHeight && y > pageStart) {
            rowFirst->Lines->LineFlags |= kLinePageStart;
            pageStart = y;
        }
        y += rowHeight;
        p = rowLast->Next;
    }
    DocumentHeight = y;
}

} // namespace qn
