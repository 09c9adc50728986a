// Horizontal placement, points and positions, the caret and scrolling.
#include <algorithm>

#include "richtext/layout/rtf_text_paint.h"

namespace qn {

// ---------------------------------------------------------------------------
// Horizontal placement

int TQnRTFTextPaint::marginX() const
{
    return OriginX + ((PaintFlags2 & kPaint2NoScrollX) ? 0 : ScrollX);
}

int TQnRTFTextPaint::naturalWidth(const TLine *line) const
{
    int total = 0, pending = 0;
    for (int i = 0; i < line->Length; ++i) {
        const char32_t ch = line->Text[i];
        const int w = line->Attrs ? line->Attrs[i].Width : PlainWidth(ch);
        if (ch == ' ' || ch == '\t') {
            pending += w;
        } else if (ch == '\n') {
            pending = 0;
        } else {
            total += pending + std::max(w, 0);
            pending = 0;
        }
    }
    return total;
}

int TQnRTFTextPaint::LineStartX(const TParagraph *paragraph, const TLine *line)
{
    const bool first = line == paragraph->Lines;
    const int left = LeftIndentPixels(paragraph, first);
    int x = left + marginX();
    const uint8_t align = paragraph->Alignment;
    if ((align == kAlignRight || align == kAlignCenter) && !(line->LineFlags & kLineJustified)) {
        const int free =
            Header->LayoutWidthPixels - naturalWidth(line) - RightIndentPixels(paragraph) - left;
        if (align == kAlignRight)
            x += free;
        else if (free > 1)
            x += free / 2;
    }
    return x;
}

int TQnRTFTextPaint::advance(TParagraph *paragraph, TLine *line, int i, int x, int &blankNumber)
{
    const char32_t ch = line->Text[i];
    const int w = line->Attrs ? line->Attrs[i].Width : PlainWidth(ch);
    const uint8_t align = paragraph->Alignment;
    if (ch == '\t' && align != kAlignRight && align != kAlignCenter) {
        const int margin = marginX();
        return margin +
               TabTarget(paragraph, x - margin, line->Text, line->Attrs, i + 1, line->Length);
    }
    if (ch == ' ' && (line->LineFlags & kLineJustified) && i >= line->LineWidth) {
        const int stretched = line->JustifyExtra + (blankNumber < line->JustifyRemainder ? 1 : 0);
        ++blankNumber;
        return x + stretched;
    }
    return x + std::max(w, 0);
}

int TQnRTFTextPaint::XOfChar(TParagraph *paragraph, TLine *line, int index)
{
    int x = LineStartX(paragraph, line);
    int blankNumber = 0;
    index = std::clamp(index, 0, int(line->Length));
    for (int i = 0; i < index; ++i)
        x = advance(paragraph, line, i, x, blankNumber);
    return x;
}

int TQnRTFTextPaint::CharAt(TParagraph *paragraph, TLine *line, int x)
{
    int left = LineStartX(paragraph, line);
    int blankNumber = 0;
    for (int i = 0; i < line->Length; ++i) {
        const int right = advance(paragraph, line, i, left, blankNumber);
        const int width = right - left;
        const bool object = line->Attrs && (line->Attrs[i].Style & kStyleObject);
        if (left + (object ? width : width / 2) >= x)
            return i;
        left = right;
    }
    return line->Length;
}

// ---------------------------------------------------------------------------
// Points and positions

bool TQnRTFTextPaint::LineAt(int x, int y, TParagraph *&paragraph, TLine *&line)
{
    paragraph = nullptr;
    line = nullptr;
    if (!FirstParagraph)
        return false;
    const int docY = y + ScrollY - OriginY;
    TParagraph *fallbackPar = nullptr;
    TLine *fallbackLine = nullptr;
    TParagraph *lastPar = FirstParagraph;
    for (TParagraph *p = FirstParagraph; p; p = p->Next) {
        lastPar = p;
        const TLine *lastLine = p->LastLine();
        if (!lastLine || lastLine->Top + lastLine->Height < docY)
            continue;
        if (p->Lines->Top > docY && !p->IsTableCell())
            break;
        bool inCell = true;
        if (p->IsTableCell()) {
            const int cellLeft = marginX() + LeftIndentPixels(p, false) - 1;
            const int cellRight = marginX() + Header->LayoutWidthPixels - RightIndentPixels(p);
            inCell = x >= cellLeft && x <= cellRight;
        }
        for (TLine *l = p->Lines; l; l = l->Next) {
            if (docY >= l->Top && docY <= l->Top + l->Height) {
                if (inCell) {
                    paragraph = p;
                    line = l;
                    return true;
                }
                if (!fallbackLine) {
                    fallbackPar = p;
                    fallbackLine = l;
                }
            }
        }
    }
    if (fallbackLine) {
        paragraph = fallbackPar;
        line = fallbackLine;
        return true;
    }
    if (docY < 0) {
        paragraph = FirstParagraph;
        line = FirstParagraph->Lines;
    } else {
        paragraph = lastPar;
        line = lastPar->LastLine();
    }
    return line != nullptr;
}

bool TQnRTFTextPaint::positionBefore(const TTextPos &a, const TTextPos &b) const
{
    if (a.Paragraph == b.Paragraph) {
        int oa = 0, ob = 0;
        bool seenA = false, seenB = false;
        for (const TLine *l = a.Paragraph->Lines; l; l = l->Next) {
            if (l == a.Line)
                oa += a.Offset, seenA = true;
            if (l == b.Line)
                ob += b.Offset, seenB = true;
            if (!seenA)
                oa += l->Length;
            if (!seenB)
                ob += l->Length;
        }
        return oa < ob;
    }
    for (const TParagraph *p = a.Paragraph; p; p = p->Next)
        if (p == b.Paragraph)
            return true;
    return false;
}

void TQnRTFTextPaint::PointToPosition(int x, int y, bool extend)
{
    if ((PaintFlags & kPaintNoMouseCaret) || locked())
        return;
    TParagraph *p;
    TLine *l;
    if (!LineAt(x, y, p, l))
        return;
    const TTextPos pos{p, l, CharAt(p, l, x)};
    if (extend) {
        if (!BlockStarted) {
            BlockAnchor = Cursor;
            BlockStarted = true;
        }
        BlockEnd = pos;
        Reversed = positionBefore(BlockEnd, BlockAnchor);
    }
    Cursor = pos;
    ShowCaret();
}

// ---------------------------------------------------------------------------
// Caret

void TQnRTFTextPaint::PlaceCaret()
{
    if (!Cursor.Paragraph || !Cursor.Line || locked())
        return;
    TParagraph *p = Cursor.Paragraph;
    TLine *line = Cursor.Line;
    const int offset = std::clamp(Cursor.Offset, 0, int(line->Length));
    const int oldX = CaretX, oldTop = CaretTop;
    CaretX = XOfChar(p, line, offset) - ((PaintFlags2 & kPaint2NoScrollX) ? 0 : ScrollX);
    int height;
    if (offset < line->Length) {
        height = line->Attrs ? line->Attrs[offset].Ascent : PlainAscent;
        CaretWidth =
            InsertMode ? 1
                       : (line->Attrs ? line->Attrs[offset].Width : PlainWidth(line->Text[offset]));
    } else {
        // At the line's end: as high as the text typed there would stand.
        if (line->Attrs)
            height = line->Attrs[offset > 0 ? offset - 1 : 0].Ascent;
        else
            height = PlainAscent;
        if (height <= 0)
            height = PlainAscent;
        if (line->Ascent != 0 && line->Ascent < height)
            height = line->Ascent;
        CaretWidth = InsertMode ? 1 : 0;
    }
    CaretHeight = height;
    CaretTop = std::max<int>(line->Top, line->Top + line->Ascent - height);
    callHook(CaretPlaced);
    if (CaretTop != oldTop)
        callHook(CaretYChanged);
    if (CaretX != oldX)
        callHook(CaretXChanged);
}

void TQnRTFTextPaint::ShowCaret()
{
    if (!Cursor.Paragraph || !Cursor.Line || locked())
        return;
    const TLine *line = Cursor.Line;
    if (line->Top < ScrollY)
        ScrollUp(ScrollY - line->Top);
    else if (line->Top + line->Height - ScrollY > WindowHeight)
        ScrollDown(line->Top + line->Height - ScrollY - WindowHeight + 4);
    const int offset = std::clamp(Cursor.Offset, 0, int(line->Length));
    const int x = XOfChar(Cursor.Paragraph, Cursor.Line, offset) - OriginX;
    if (x < 0)
        ScrollLeft(WindowWidth / 3 - x);
    else if (x > WindowWidth - 4)
        ScrollRight(WindowWidth / 3 + x - WindowWidth);
    PlaceCaret();
}

// ---------------------------------------------------------------------------
// Scrolling

int TQnRTFTextPaint::verticalJump(int targetY)
{
    if (targetY <= 0)
        return 0;
    TLine *lastLine = nullptr;
    for (TParagraph *p = FirstParagraph; p; p = p->Next) {
        TLine *pl = p->LastLine();
        if (pl && pl->Top + pl->Height <= targetY) {
            lastLine = pl;
            continue;
        }
        for (TLine *l = p->Lines; l; l = l->Next) {
            if (targetY >= l->Top && targetY < l->Top + l->Height)
                return l->Top;
            lastLine = l;
        }
    }
    if (!lastLine)
        return 0;
    return std::max(0, lastLine->Top - WindowHeight / 3 * 2);
}

void TQnRTFTextPaint::scrolledVertically(int)
{
    PlaceCaret();
    callHook(VerticalChanged);
}

bool TQnRTFTextPaint::ScrollDown(int dy)
{
    if ((PaintFlags & kPaintNoScroll) || dy <= 0 || locked())
        return false;
    if (ScrollY + WindowHeight >= DocumentHeight)
        return false;
    const int old = ScrollY;
    if (dy >= WindowHeight) {
        ScrollY = verticalJump(ScrollY + dy);
        if (ScrollY == old)
            return false;
        PaintAll();
    } else {
        ScrollY += dy;
        if (canvas_ && !printing()) {
            const CanvasRect window{0, 0, WindowWidth, WindowHeight};
            canvas_->ScrollRect(0, -dy, window, window);
            PaintBand(0, WindowHeight - dy, dy, WindowWidth);
        }
    }
    scrolledVertically(old);
    return true;
}

bool TQnRTFTextPaint::ScrollUp(int dy)
{
    if ((PaintFlags & kPaintNoScroll) || dy <= 0 || ScrollY <= 0 || locked())
        return false;
    dy = std::min(dy, ScrollY);
    const int old = ScrollY;
    if (dy >= WindowHeight) {
        ScrollY = verticalJump(ScrollY - dy);
        if (ScrollY == old)
            return false;
        PaintAll();
    } else {
        ScrollY -= dy;
        if (canvas_ && !printing()) {
            const CanvasRect window{0, 0, WindowWidth, WindowHeight};
            canvas_->ScrollRect(0, dy, window, window);
            PaintBand(0, 0, dy, WindowWidth);
        }
    }
    scrolledVertically(old);
    return true;
}

void TQnRTFTextPaint::horizontallyScrolled()
{
    if (Ruler && !printing())
        Ruler->SetScrollOffset(ScrollX);
    PaintAll();
    PlaceCaret();
    callHook(HorizontalChanged);
}

bool TQnRTFTextPaint::ScrollRight(int dx)
{
    if ((PaintFlags & kPaintNoScroll) || dx <= 0 || locked())
        return false;
    // Stops when the text's right edge reaches the window's right edge.
    const int lowest = std::min(0, WindowWidth - Header->LayoutWidthPixels - OriginX);
    const int x = std::max(ScrollX - dx, lowest);
    if (x >= ScrollX)
        return false;
    ScrollX = x;
    horizontallyScrolled();
    return true;
}

bool TQnRTFTextPaint::ScrollLeft(int dx)
{
    if ((PaintFlags & kPaintNoScroll) || dx <= 0 || locked())
        return false;
    const int x = std::min(0, ScrollX + dx);
    if (x <= ScrollX)
        return false;
    ScrollX = x;
    horizontallyScrolled();
    return true;
}

void TQnRTFTextPaint::VScroll(int code, int pos)
{
    switch (code) {
    case kScrollLineUp:
        ScrollUp(16);
        break;
    case kScrollLineDown:
        ScrollDown(16);
        break;
    case kScrollPageUp:
        ScrollUp(WindowHeight);
        break;
    case kScrollPageDown:
        ScrollDown(WindowHeight);
        break;
    case kScrollThumbPosition:
    case kScrollThumbTrack:
        if (pos > ScrollY)
            ScrollDown(pos - ScrollY);
        else if (pos < ScrollY)
            ScrollUp(ScrollY - pos);
        break;
    case kScrollTop:
        ScrollUp(ScrollY);
        break;
    case kScrollBottom:
        ScrollDown(0xFFFFFF);
        break;
    default:
        break;
    }
}

void TQnRTFTextPaint::HScroll(int code, int pos)
{
    const int page = WindowWidth - WindowWidth / 4;
    switch (code) {
    case kScrollLineUp:
        ScrollLeft(16);
        break;
    case kScrollLineDown:
        ScrollRight(16);
        break;
    case kScrollPageUp:
        ScrollLeft(page);
        break;
    case kScrollPageDown:
        ScrollRight(page);
        break;
    case kScrollThumbPosition:
    case kScrollThumbTrack: {
        const int target = -pos;
        if (target < ScrollX)
            ScrollRight(ScrollX - target);
        else if (target > ScrollX)
            ScrollLeft(target - ScrollX);
        break;
    }
    case kScrollTop:
        break; // far left: no effect
    case kScrollBottom:
        ScrollLeft(-ScrollX);
        break; // far right: back to the text's left end
    default:
        break;
    }
}

} // namespace qn
