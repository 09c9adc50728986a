// Painting: bands, lines, runs, objects, page-break marks and borders.
#include <algorithm>

#include "platform/winmath.h"
#include "richtext/io/bitmap.h"
#include "richtext/layout/rtf_text_paint.h"

namespace qn {

namespace {

bool sameRun(const TCharAttr &a, const TCharAttr &b)
{
    return a.FontIndex == b.FontIndex && a.Colors == b.Colors && a.Style == b.Style &&
           a.Size == b.Size;
}

bool isObjectChar(const TLine *line, int i)
{
    return line->Attrs && (line->Attrs[i].Style & kStyleObject) &&
           (line->Text[i] == 1 || line->Text[i] == 2);
}

// Follows the selection block through the lines in document order.
struct SelectionTracker {
    const TTextPos *Start = nullptr, *End = nullptr;
    bool Inside = false;

    SelectionTracker(const TQnRTFTextIo &doc, bool hidden)
    {
        if (hidden || !doc.BlockStarted || !doc.BlockAnchor.Line || !doc.BlockEnd.Line)
            return;
        if (doc.BlockAnchor.Line == doc.BlockEnd.Line &&
            doc.BlockAnchor.Offset == doc.BlockEnd.Offset)
            return;
        Start = doc.Reversed ? &doc.BlockEnd : &doc.BlockAnchor;
        End = doc.Reversed ? &doc.BlockAnchor : &doc.BlockEnd;
    }

    // The marked characters [from, to) of the next line, -1 when none;
    // pastEnd when the selection goes on after the line's end.
    void Visit(const TLine *line, int &from, int &to, bool &pastEnd)
    {
        from = to = -1;
        pastEnd = false;
        if (!Start)
            return;
        if (line == Start->Line) {
            Inside = true;
            from = Start->Offset;
        } else if (Inside) {
            from = 0;
        }
        if (!Inside)
            return;
        if (line == End->Line) {
            to = End->Offset;
            Inside = false;
        } else {
            to = line->Length;
            pastEnd = true;
        }
        from = std::clamp(from, 0, int(line->Length));
        to = std::clamp(to, from, int(line->Length));
    }
};

} // namespace

// ---------------------------------------------------------------------------
// Bands

void TQnRTFTextPaint::PaintAll()
{
    if (printing() || locked() || !canvas_)
        return;
    if (!FirstParagraph) {
        callHook(BeforePaint);
        FontSpec spec;
        spec.PixelHeight = std::max(1, MulDiv(10, Header->PixelsPerInchY, 72));
        canvas_->SelectFont(spec);
        canvas_->SetBackgroundMode(BackgroundMode::Transparent);
        canvas_->SetTextAlign(kAlignTop);
        const char *text = "<empty>";
        const int w = canvas_->TextWidth(text);
        canvas_->TextOut((WindowWidth - w) / 2, (WindowHeight - canvas_->Metrics().Height) / 2,
                         text);
        callHook(AfterPaint);
        return;
    }
    PaintBand(0, 0, WindowHeight, WindowWidth);
}

void TQnRTFTextPaint::PaintBand(int x, int y, int height, int width)
{
    if (printing() || locked() || !canvas_ || height <= 0 || width <= 0)
        return;
    callHook(BeforePaint);
    const bool clip = !(PaintFlags & kPaintNoClip);
    if (clip)
        canvas_->SetClipRect({x - 1, y - 16, x + width + 2, y + height + 32});
    PaintLines(y, y + height);
    const int textBottom = DocumentHeight - ScrollY + OriginY;
    if (textBottom < y + height && !(PaintFlags & kPaintNoBackground) &&
        !(PaintFlags2 & kPaint2NoRunPaper))
        canvas_->FillRect({x, std::max(y, textBottom), x + width, y + height}, paperColor());
    if (clip)
        canvas_->ClearClip();
    callHook(AfterPaint);
}

// Whether the paragraph ends above `top` (window coordinates): the next
// paragraph starts there. Table cells, laid out side by side, never are.
bool TQnRTFTextPaint::whollyAbove(const TParagraph *paragraph, int top) const
{
    const TParagraph *next = paragraph->Next;
    return next && paragraph->Lines && next->Lines && !paragraph->IsTableCell() &&
           !next->IsTableCell() && next->Lines->Top - ScrollY + OriginY <= top;
}

void TQnRTFTextPaint::PaintLines(int top, int bottom)
{
    if (locked() || !canvas_)
        return;
    const bool all = PaintFlags2 & kPaint2AllLines;
    SelectionTracker selection(*this, PaintFlags2 & kPaint2HideSelection);
    for (TParagraph *p = FirstParagraph; p; p = p->Next) {
        if (!all && !selection.Inside && p->Lines && p->Lines->Top - ScrollY + OriginY >= bottom &&
            !p->IsTableCell())
            break;
        // With nothing marked, a paragraph wholly above the band is passed
        // without a look at its lines (a long document has thousands).
        if (!all && !selection.Start && whollyAbove(p, top))
            continue;
        for (TLine *l = p->Lines; l; l = l->Next) {
            int from, to;
            bool pastEnd;
            selection.Visit(l, from, to, pastEnd);
            const int lineTop = l->Top - ScrollY + OriginY;
            if (all || (lineTop < bottom && lineTop + l->Height > top))
                paintLineAt(p, l, from, to, pastEnd);
        }
    }
}

void TQnRTFTextPaint::selectionOfLine(TParagraph *paragraph, TLine *line, int &from, int &to,
                                      bool &pastEnd)
{
    SelectionTracker selection(*this, PaintFlags2 & kPaint2HideSelection);
    from = to = -1;
    pastEnd = false;
    if (!selection.Start)
        return; // nothing marked: no need to walk the document to the line
    for (TParagraph *p = FirstParagraph; p; p = p->Next)
        for (TLine *l = p->Lines; l; l = l->Next) {
            selection.Visit(l, from, to, pastEnd);
            if (l == line && p == paragraph)
                return;
        }
}

void TQnRTFTextPaint::PaintLine(TParagraph *paragraph, TLine *line)
{
    if (locked() || !canvas_ || !paragraph || !line)
        return;
    int from, to;
    bool pastEnd;
    selectionOfLine(paragraph, line, from, to, pastEnd);
    paintLineAt(paragraph, line, from, to, pastEnd);
}

void TQnRTFTextPaint::RepaintChangedLines(TParagraph *paragraph, int change)
{
    if (!paragraph || printing() || locked() || !canvas_)
        return;
    if (change >= kBreakHeightChanged) {
        // Lines below moved: everything from the paragraph down.
        const int top = std::max(0, paragraph->Lines->Top - ScrollY + OriginY);
        for (TLine *l = paragraph->Lines; l; l = l->Next)
            l->LineFlags &= static_cast<uint8_t>(~kLineChanged);
        PaintBand(0, top, WindowHeight - top, WindowWidth);
        return;
    }
    for (TLine *l = paragraph->Lines; l; l = l->Next) {
        if (!(l->LineFlags & kLineChanged))
            continue;
        l->LineFlags &= static_cast<uint8_t>(~kLineChanged);
        PaintBand(0, l->Top - ScrollY + OriginY, l->Height, WindowWidth);
    }
}

// ---------------------------------------------------------------------------
// One line

void TQnRTFTextPaint::paintLineAt(TParagraph *p, TLine *line, int markFrom, int markTo,
                                  bool markPastEnd)
{
    const int lineTop = line->Top - ScrollY + OriginY;
    const int lineBottom = lineTop + line->Height;
    if ((PaintFlags3 & kPaint3ClipToPage) && lineBottom > WindowHeight)
        return;
    line->MarkState = markFrom < 0 ? 0 : (markPastEnd ? 2 : 3);
    const bool fills = !(PaintFlags & kPaintNoBackground) && !(PaintFlags3 & kPaint3NoLineRest);
    const int startX = LineStartX(p, line);
    // A table cell paints within its own column only.
    int areaLeft = printing() ? startX : 0;
    int areaRight = WindowWidth + (printing() ? OriginX : 0);
    if (p->IsTableCell()) {
        // The row's first cell also paints the margin before it, its last
        // cell the space after it.
        if (p->ParFlags & kParCellNotFirst)
            areaLeft = marginX() + LeftIndentPixels(p, false) - 1;
        if (p->ParFlags & kParCellRowOpen)
            areaRight = marginX() + Header->LayoutWidthPixels - RightIndentPixels(p);
    }
    if (fills)
        canvas_->FillRect({areaLeft, lineTop, startX, lineBottom}, paperColor());

    const int endX = [&] {
        try {
            return paintRunsTo(p, line, lineTop, markFrom, markTo);
        } catch (const EQnRTFText &) {
            return startX; // a font the table does not hold: the run is abandoned
        }
    }();

    if (line->Length == 0 && markFrom >= 0 && markPastEnd) {
        const int blank = std::max<int>(1, CharWidths[' ']);
        canvas_->FillRect({startX, lineTop, startX + blank, lineBottom}, kSysColorHighlight);
    }
    if (fills) {
        const ColorRef rest =
            (markPastEnd && p->IsTableCell()) ? ColorRef(kSysColorHighlight) : paperColor();
        canvas_->FillRect({std::max(endX, startX), lineTop, areaRight, lineBottom}, rest);
    }
    if (!printing())
        paintPageMarks(p, line, lineTop, std::max(endX, startX));
    paintBorders(p, line, lineTop);
}

int TQnRTFTextPaint::paintRunsTo(TParagraph *p, TLine *line, int lineTop, int markFrom, int markTo)
{
    Canvas &c = *canvas_;
    const int baseline = lineTop + line->Ascent;
    const ColorRef paper = paperColor();
    const bool tabIsBlank = p->Alignment == kAlignRight || p->Alignment == kAlignCenter;
    const bool justified = line->LineFlags & kLineJustified;
    int textHeight = 0;
    if (line->Attrs)
        for (int i = 0; i < line->Length; ++i)
            textHeight = std::max<int>(textHeight, line->Attrs[i].Height);
    else
        textHeight = PlainLineHeight;

    int x = LineStartX(p, line);
    int blankNumber = 0;
    c.SetTextAlign(kAlignBaseline); // each run is drawn at its own x
    c.MoveTo(x, baseline);
    auto selectedAt = [&](int i) { return markFrom >= 0 && i >= markFrom && i < markTo; };
    auto attrAt = [&](int i) -> const TCharAttr & {
        return line->Attrs ? line->Attrs[i] : CurrentAttr;
    };
    // Whether a run's background is painted: always behind selected text;
    // otherwise the paper is left alone only when the flags ask for it.
    auto paintsBackground = [&](bool selected, ColorRef brush) {
        if (selected)
            return true;
        if ((PaintFlags2 & kPaint2NoRunPaper) && brush == paper)
            return false;
        if ((PaintFlags3 & kPaint3NoWhiteBrush) && c.ResolveColor(brush) == Rgb(255, 255, 255))
            return false;
        return !((PaintFlags & kPaintNoBackground) && brush == paper);
    };
    auto fillGap = [&](int from, int to, int i) {
        if (to <= from)
            return;
        const bool selected = selectedAt(i);
        const int back = attrAt(i).Colors >> 4;
        const ColorRef brush = back >= 1 ? Header->Colors[back] : paper;
        if (paintsBackground(selected, brush))
            c.FillRect({from, lineTop, to, lineTop + line->Height},
                       selected ? ColorRef(kSysColorHighlight) : brush);
    };

    int i = 0;
    while (i < line->Length) {
        const char32_t ch = line->Text[i];
        const bool selected = selectedAt(i);
        if ((ch == '\t' && !tabIsBlank) || (ch == ' ' && justified && i >= line->LineWidth)) {
            const int next = advance(p, line, i, x, blankNumber);
            fillGap(x, next, i);
            x = next;
            c.MoveTo(x, baseline);
            ++i;
            continue;
        }
        if (isObjectChar(line, i)) {
            const TCharAttr &a = line->Attrs[i];
            TQnObject *object = ch == 1 ? FindObject(a.Tag, 0) : FindObject(0, a.Tag);
            fillGap(x, x + std::max<int>(a.Width, 0), i);
            if (object && a.Width > 0) {
                const int h = MulDiv(object->Height, Header->PixelsPerInchY, 1440);
                const CanvasRect rect{x, baseline - a.Ascent, x + a.Width, baseline - a.Ascent + h};
                paintObject(object, rect);
                if (selected)
                    c.FrameRect(rect, kSysColorHighlight);
            }
            x += std::max<int>(a.Width, 0);
            c.MoveTo(x, baseline);
            ++i;
            continue;
        }
        // A run of equal attributes and equal selection.
        const TCharAttr &look = attrAt(i);
        int j = i + 1;
        while (j < line->Length) {
            const char32_t cj = line->Text[j];
            if (line->Attrs && !sameRun(line->Attrs[j], look))
                break;
            if ((cj == '\t' && !tabIsBlank) || (cj == ' ' && justified && j >= line->LineWidth) ||
                isObjectChar(line, j) || selectedAt(j) != selected)
                break;
            ++j;
        }
        int width = 0;
        for (int k = i; k < j; ++k)
            width += line->Attrs ? line->Attrs[k].Width : PlainWidth(line->Text[k]);
        if (isInvisible(look) || width <= 0) {
            x += std::max(width, 0);
            c.MoveTo(x, baseline);
            i = j;
            continue;
        }
        TCharAttr a = look;
        if (selected)
            a.Style |= kStyleSelected;
        else
            a.Style &= static_cast<uint16_t>(~kStyleSelected);
        SelectFont(a);
        int y = baseline;
        if (look.Style & (kStyleSuperscript | kStyleRaised))
            y -= textHeight / 3;
        else if (look.Style & kStyleSubscript)
            y += textHeight / 5;
        const bool opaque = paintsBackground(selected, c.BackgroundColor());
        const std::u32string_view text(line->Text + i, size_t(j - i));
        c.MoveTo(x, y);
        if (opaque) {
            const CanvasRect rect{x, lineTop, x + width, lineTop + line->Height};
            c.ExtTextOut(x, y, kTextOpaque, &rect, text);
        } else {
            c.SetBackgroundMode(BackgroundMode::Transparent);
            c.ExtTextOut(x, y, 0, nullptr, text);
        }
        if (look.Style & (kStyleUnderline | kStyleDoubleUnderline)) {
            const FontMetrics m = c.Metrics();
            const ColorRef pen =
                (look.Style & kStyleDoubleUnderline) ? Rgb(0, 128, 0) : c.TextColor();
            c.SetPen(pen, m.UnderlineThickness);
            const int uy = y + m.UnderlinePosition;
            c.MoveTo(x, uy);
            c.LineTo(x + width, uy);
            if (look.Style & kStyleDoubleUnderline) {
                const int gap = m.UnderlineThickness + 1;
                c.MoveTo(x, uy + gap);
                c.LineTo(x + width, uy + gap);
            }
        }
        x += width;
        c.MoveTo(x, baseline);
        i = j;
    }
    return x;
}

// ---------------------------------------------------------------------------
// Objects

void TQnRTFTextPaint::paintObject(TQnObject *object, const CanvasRect &rect)
{
    bool drawn = false;
    if (const TQnGraphic *g = object->Graphic.get()) {
        if (g->Kind == gkDib) {
            drawn = canvas_->DrawDib(rect, g->Data.data(), g->Data.size());
        } else if (g->Kind == gkDdb) {
            if (auto dib = DdbToDib(*g))
                drawn = canvas_->DrawDib(rect, dib->data(), dib->size());
        }
    }
    if (!drawn) {
        // Metafiles, controls and undecodable pictures: a frame of the right size.
        canvas_->FillRect(rect, Rgb(255, 255, 255));
        canvas_->FrameRect(rect, kSysColorButtonShadow);
        canvas_->SetPen(kSysColorButtonShadow);
        canvas_->MoveTo(rect.Left, rect.Top);
        canvas_->LineTo(rect.Right, rect.Bottom);
        canvas_->MoveTo(rect.Right - 1, rect.Top);
        canvas_->LineTo(rect.Left - 1, rect.Bottom);
    }
    if (printing())
        return;
    for (TPaintedObject &painted : paintedObjects_)
        if (painted.Object == object) {
            painted.Rect = rect;
            return;
        }
    if (int(paintedObjects_.size()) < kMaxPaintedObjects)
        paintedObjects_.push_back({rect, object});
}

// ---------------------------------------------------------------------------
// Page-break marks and borders

void TQnRTFTextPaint::paintPageMarks(TParagraph *p, TLine *line, int lineTop, int textEndX)
{
    const bool forced = line == p->Lines && (p->ParFlags & kParPageBreak);
    const bool automatic =
        (line->LineFlags & kLinePageStart) && !(PaintFlags & kPaintNoAutoBreakMarks);
    if (!forced && !automatic)
        return;
    // A sign of its own across the text area, in grey so that it never
    // reads as underlined text: a dotted rule at the top of the line that
    // starts the page, labelled at its right end where the line leaves room.
    Canvas &c = *canvas_;
    constexpr ColorRef kMarkColor = 0x00808080;
    const int left = marginX();
    const int right = std::min(WindowWidth, marginX() + Header->LayoutWidthPixels);
    c.SetPen(kMarkColor, 1, PenStyle::Dot);
    c.MoveTo(left, lineTop);
    c.LineTo(right, lineTop);

    const FontSpec savedFont = c.Font();
    const ColorRef savedText = c.TextColor(), savedBack = c.BackgroundColor();
    const BackgroundMode savedMode = c.GetBackgroundMode();
    const unsigned savedAlign = c.TextAlign();
    FontSpec small;
    small.Name = "Arial";
    small.SizePoints = 6;
    small.PixelHeight = std::max(1, MulDiv(6, std::max(1, Header->PixelsPerInchY), 72));
    small.Color = kMarkColor;
    c.SelectFont(small);
    const std::string label = forced ? "page break" : "page";
    const int width = c.TextWidth(label);
    const int x = right - width - 2;
    if (x > textEndX + 4 && c.Metrics().Height < line->Height) {
        c.SetTextColor(kMarkColor);
        c.SetBackgroundColor(paperColor());
        c.SetBackgroundMode(BackgroundMode::Opaque);
        c.SetTextAlign(kAlignTop);
        c.TextOut(x, lineTop + 1, label);
    }
    c.SelectFont(savedFont);
    c.SetTextColor(savedText);
    c.SetBackgroundColor(savedBack);
    c.SetBackgroundMode(savedMode);
    c.SetTextAlign(savedAlign);
}

void TQnRTFTextPaint::paintBorders(TParagraph *p, TLine *line, int lineTop)
{
    Canvas &c = *canvas_;
    const int ppiX = Header->PixelsPerInchX;
    const int lineBottom = lineTop + line->Height;
    const bool firstLine = line == p->Lines;
    const bool lastLine = !line->Next;
    if (p->IsTableCell() && PaintGrayTable) {
        const int left = marginX() + LeftIndentPixels(p, false) - 1;
        const int right = marginX() + Header->LayoutWidthPixels - RightIndentPixels(p);
        c.SetPen(kSysColorButtonShadow);
        c.MoveTo(left, lineTop);
        c.LineTo(left, lineBottom);
        c.MoveTo(right, lineTop);
        c.LineTo(right, lineBottom);
        if (firstLine) {
            c.MoveTo(left, lineTop);
            c.LineTo(right + 1, lineTop);
        }
        if (lastLine) {
            c.MoveTo(left, lineBottom - 1);
            c.LineTo(right + 1, lineBottom - 1);
        }
    }
    if (!(p->BorderFlags & kBorderOn))
        return;
    const uint8_t flags = p->BorderFlags;
    const int colorIndex = p->BorderSpaceColor & 0x0F;
    const ColorRef color = colorIndex == 0 ? Rgb(0, 0, 0) : Header->Colors[colorIndex];
    const int width = (p->BorderWidth == 0 || (p->BorderStyle & kBorderHairline))
                          ? 1
                          : std::max(1, MulDiv(p->BorderWidth, ppiX, 72));
    c.SetPen(color, width, (p->BorderStyle & kBorderDotted) ? PenStyle::Dot : PenStyle::Solid);
    int left, right;
    if (p->IsTableCell()) {
        left = marginX() + LeftIndentPixels(p, false) - 1;
        right = marginX() + Header->LayoutWidthPixels - RightIndentPixels(p);
    } else {
        left = marginX() + MulDiv(p->LeftIndent, ppiX, 1440);
        right = marginX() + Header->LayoutWidthPixels - MulDiv(p->RightIndent, ppiX, 1440) - 1;
    }
    const bool box = flags & kBorderBox;
    const TParagraph *prev = p->Prev, *next = p->Next;
    const bool prevBordered = prev && (prev->BorderFlags & kBorderOn);
    const bool nextBordered = next && (next->BorderFlags & kBorderOn);
    const bool top = firstLine && ((flags & kBorderTop) || box) &&
                     !(prevBordered && (prev->BorderFlags & (kBorderBottom | kBorderBox)));
    const bool bottom = lastLine && ((flags & kBorderBottom) || (box && !nextBordered));
    const bool sideLeft = (flags & kBorderLeft) || box;
    const bool sideRight = (flags & kBorderRight) || box;
    const bool twice = flags & kBorderDouble;

    auto hline = [&](int y, int inset) {
        c.MoveTo(left + inset, y);
        c.LineTo(right - inset + 1, y);
    };
    auto vline = [&](int x, int inset) {
        c.MoveTo(x, lineTop + (top ? inset : 0));
        c.LineTo(x, lineBottom - (bottom ? inset : 0));
    };
    const int step = 2 * width;
    if (top) {
        hline(lineTop, 0);
        if (twice)
            hline(lineTop + step, sideLeft ? step : 0);
    }
    if (bottom) {
        hline(lineBottom - 1, 0);
        if (twice)
            hline(lineBottom - 1 - step, sideLeft ? step : 0);
    }
    if (sideLeft) {
        vline(left, 0);
        if (twice)
            vline(left + step, step);
    }
    if (sideRight) {
        vline(right, 0);
        if (twice)
            vline(right - step, step);
    }
    if (p->BorderStyle & kBorderTabLine) {
        const int barWidth = std::max(1, ppiX / 25);
        for (int i = 0; i < kTabSlots; ++i)
            if (((p->TabMask >> i) & 1u) && Header->TabPosTwips[i] > 0) {
                const int x = marginX() + Header->TabPosPixels[i];
                c.FillRect({x, lineTop, x + barWidth, lineBottom}, color);
            }
    }
}

} // namespace qn
