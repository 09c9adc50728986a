// Parameters, fonts and measuring of the paint layer, and the full layout.
#include "richtext/layout/rtf_text_paint.h"

#include <algorithm>
#include <cstring>

#include "platform/unicode_text.h"
#include "platform/winmath.h"
#include "richtext/io/progress.h"

namespace qn {

namespace {

// Characters of one run share font, colours, style and size.
bool sameRun(const TCharAttr &a, const TCharAttr &b)
{
    return a.FontIndex == b.FontIndex && a.Colors == b.Colors && a.Style == b.Style &&
           a.Size == b.Size;
}

uint16_t clampU16(int v)
{
    return static_cast<uint16_t>(std::clamp(v, 0, 0xFFFF));
}

} // namespace

TQnRTFTextPaint::TQnRTFTextPaint()
{
    fontWidths_ = CharWidths;
}

TQnRTFTextPaint::~TQnRTFTextPaint() = default;

// ---------------------------------------------------------------------------
// Overrides of the model

void TQnRTFTextPaint::SetCharAttr(TLine *line, int position, const TCharAttr &attr)
{
    TQnRTFText::SetCharAttr(line, position, attr);
    if (!line || !line->Attrs || !canvas_ || locked())
        return;
    TCharAttr &target = *AttribPtr(line, position);
    SelectFontAndMeasure(target);
    measureChar(target, position < line->Length ? line->Text[position] : 0);
}

void TQnRTFTextPaint::SetCurrentAttr(const TCharAttr &attr)
{
    TQnRTFText::SetCurrentAttr(attr);
    if (!canvas_ || locked())
        return;
    SelectFontAndMeasure(CurrentAttr);
    CurrentAttr.Height = static_cast<int16_t>(fontHeight_);
    CurrentAttr.Ascent = static_cast<int16_t>(fontAscent_);
}

void TQnRTFTextPaint::Clear()
{
    TQnRTFTextIo::Clear();
    updateLayoutWidth(); // the reset header measured the page afresh
    paintedObjects_.clear();
    ScrollX = 0;
    ScrollY = 0;
    if (canvas_ && !locked())
        FormatAll();
}

int TQnRTFTextPaint::ReplaceText(TParagraph *paragraph, TLine *line, std::u32string_view text,
                                 int position)
{
    const int diff = TQnRTFTextIo::ReplaceText(paragraph, line, text, position);
    // The caller still holds the line: measure now, break when it asks.
    if (paragraph && canvas_ && !locked())
        MeasureParagraph(paragraph);
    return diff;
}

void TQnRTFTextPaint::ReadWithReader(TQnStream *stream, TQnTextReader *reader)
{
    LoadBusy = true;
    try {
        TQnRTFTextIo::ReadWithReader(stream, reader);
    } catch (...) {
        LoadBusy = false;
        throw;
    }
    LoadBusy = false;
    // The file may have brought its own page: text area and tab stops in pixels.
    SetResolution(0, 0);
    if (canvas_ && !locked())
        FormatAll();
}

// ---------------------------------------------------------------------------
// Parameters

void TQnRTFTextPaint::SetCanvas(Canvas *canvas)
{
    canvas_ = canvas;
    if (!canvas_ || locked())
        return;
    Technology = canvas_->Technology();
    devicePpiX_ = canvas_->PixelsPerInchX();
    devicePpiY_ = canvas_->PixelsPerInchY();
    SetResolution(0, 0);
    FontSpec arial;
    arial.Name = "Arial";
    arial.PixelHeight = std::max(1, MulDiv(10, Header->PixelsPerInchY, 72));
    canvas_->SelectFont(arial);
    defaultLineHeight_ = canvas_->Metrics().Height;
    if (defaultLineHeight_ < 0)
        defaultLineHeight_ = 16;
    FormatAll();
}

void TQnRTFTextPaint::SetResolution(int ppiX, int ppiY)
{
    if (ppiX == 0)
        ppiX = devicePpiX_;
    if (ppiY == 0)
        ppiY = devicePpiY_;
    if (!(PaintFlags & kPaintNoZoom)) {
        ppiX = MulDiv(ppiX, Zooming, 100);
        ppiY = MulDiv(ppiY, Zooming, 100);
    }
    ppiX = std::max(ppiX, 1);
    ppiY = std::max(ppiY, 1);
    TTextHeader &h = *Header;
    const bool changed = h.PixelsPerInchX != ppiX || h.PixelsPerInchY != ppiY;
    h.PixelsPerInchX = ppiX;
    h.PixelsPerInchY = ppiY;
    h.RecomputePixelSizes();
    for (int i = 0; i < kTabSlots; ++i)
        h.TabPosPixels[i] = h.TabPosTwips[i] > 0 ? MulDiv(h.TabPosTwips[i], ppiX, 1440) : 0;
    WindowWidthTwips = MulDiv(WindowWidth, 1440, ppiX);
    const bool widthChanged = [&] {
        const int before = h.LayoutWidthPixels;
        updateLayoutWidth();
        return before != h.LayoutWidthPixels;
    }();
    if (changed)
        ReformatAll();
    else if (widthChanged)
        rebreakAll();
}

void TQnRTFTextPaint::updateLayoutWidth()
{
    TTextHeader &h = *Header;
    h.LayoutWidthPixels =
        (WrapToWindow && !(PaintFlags & kPaintFixedWidth)) ? WindowWidth : h.TextAreaWidthPixels;
    h.LayoutWidthTwips = h.PixelsPerInchX > 0 ? MulDiv(h.LayoutWidthPixels, 1440, h.PixelsPerInchX)
                                              : h.PageWidth - h.MarginLeft - h.MarginRight;
}

void TQnRTFTextPaint::rebreakAll()
{
    for (TParagraph *p = FirstParagraph; p; p = p->Next)
        p->State |= kStateRebreak;
    FormatAll();
}

void TQnRTFTextPaint::SetWindowWidth(int width)
{
    WindowWidth = width;
    WindowWidthTwips = MulDiv(width, 1440, std::max(1, Header->PixelsPerInchX));
    const int before = Header->LayoutWidthPixels;
    updateLayoutWidth();
    if (before != Header->LayoutWidthPixels)
        rebreakAll();
    if (width >= Header->LayoutWidthPixels && ScrollX < 0)
        ScrollLeft(-ScrollX);
}

void TQnRTFTextPaint::SetWrapToWindow(bool on)
{
    WrapToWindow = on ? 1 : 0;
    const int before = Header->LayoutWidthPixels;
    updateLayoutWidth();
    if (before != Header->LayoutWidthPixels)
        rebreakAll();
}

void TQnRTFTextPaint::SetZooming(int percent)
{
    if (percent <= 0 || percent == Zooming)
        return;
    Zooming = percent;
    SetResolution(0, 0);
}

void TQnRTFTextPaint::SetResizing(int percent)
{
    if (percent <= 0 || percent == Resizing)
        return;
    Resizing = percent;
    ReformatAll();
}

void TQnRTFTextPaint::SetPaintFlags(uint8_t flags)
{
    if (flags == PaintFlags)
        return;
    PaintFlags = flags;
    SetResolution(0, 0);
}

void TQnRTFTextPaint::SetPaintFlags2(uint8_t flags)
{
    const bool unlocking = locked() && !(flags & kPaint2Locked);
    const bool hiddenChanged = (flags ^ PaintFlags2) & kPaint2ShowHidden;
    PaintFlags2 = flags;
    if (unlocking)
        SetCanvas(canvas_); // the first measuring, with the window's resolution
    else if (hiddenChanged)
        ReformatAll();
}

ColorRef TQnRTFTextPaint::paperColor() const
{
    return (PaintFlags2 & kPaint2WhitePaper) ? Rgb(255, 255, 255) : BackgroundColor;
}

// ---------------------------------------------------------------------------
// Fonts

void TQnRTFTextPaint::SelectFont(const TCharAttr &attr)
{
    if (!canvas_)
        return;
    if (attr.FontIndex >= 100)
        throw EQnRTFText("System error: font index out of range");
    const TTextHeader &h = *Header;
    FontSpec spec;
    spec.Name = canvas_->Font().Name;
    if (attr.FontIndex < kFontSlots && !h.FontNames[attr.FontIndex].empty())
        spec.Name = h.FontNames[attr.FontIndex];
    int size = attr.Size ? attr.Size : 10;
    if ((attr.Style & (kStyleSuperscript | kStyleSubscript | kStyleRaised)) && size > 1)
        size = MulDiv(size, 2, 3);
    if (Resizing != 100)
        size = MulDiv(size, Resizing, 100);
    spec.SizePoints = size;
    spec.PixelHeight = std::max(1, MulDiv(size, h.PixelsPerInchY, 72));
    spec.Bold = attr.Style & kStyleBold;
    spec.Italic = attr.Style & kStyleItalic;
    spec.Strikeout = attr.Style & kStyleStrikeout;
    ColorRef brush;
    if (attr.Style & kStyleSelected) {
        spec.Color = kSysColorHighlightText;
        brush = kSysColorHighlight;
    } else if ((attr.Style & kStyleAutoText) && ShowAutoText) {
        spec.Color = kSysColorHighlightText;
        brush = kSysColorHighlight;
    } else {
        spec.Color = h.Colors[attr.Colors & 0x0F];
        const int back = attr.Colors >> 4;
        brush = back >= 1 ? h.Colors[back] : paperColor();
    }
    if ((attr.Style & kStyleInsertPoint) && ShowInsertPoints)
        spec.Color = 0x0000FF;
    canvas_->SelectFont(spec);
    canvas_->SetBackgroundColor(brush);
}

void TQnRTFTextPaint::SelectFontAndMeasure(const TCharAttr &attr)
{
    if (!canvas_)
        return;
    SelectFont(attr);
    const int16_t *widths = canvas_->CharWidths();
    FontMetrics m = canvas_->Metrics();
    double scaleX = 1.0, scaleY = 1.0;
    if (ReferenceDevice) {
        // Printer-true layout: the reference device's font, scaled to ours.
        FontSpec spec = canvas_->Font();
        int size = attr.Size ? attr.Size : 10;
        if ((attr.Style & (kStyleSuperscript | kStyleSubscript | kStyleRaised)) && size > 1)
            size = MulDiv(size, 2, 3);
        if (Resizing != 100)
            size = MulDiv(size, Resizing, 100);
        spec.PixelHeight = std::max(1, MulDiv(size, ReferenceDevice->PixelsPerInchY(), 72));
        ReferenceDevice->SelectFont(spec);
        widths = ReferenceDevice->CharWidths();
        m = ReferenceDevice->Metrics();
        if (ScaleY <= 0)
            ScaleY = 1.0;
        scaleX = ScaleX;
        scaleY = ScaleY;
    }
    if (scaleX == 1.0) {
        std::memcpy(CharWidths, widths, sizeof CharWidths);
    } else {
        for (int c = 0; c < 256; ++c)
            CharWidths[c] = static_cast<int16_t>(widths[c] * scaleX + 0.5);
    }
    fontHeight_ = m.Height + m.ExternalLeading;
    fontAscent_ = m.Ascent;
    if (Technology == kTechnologyMetafile && m.Height <= 0) {
        fontHeight_ = CharWidths['A'];
        fontAscent_ = MulDiv(fontHeight_, 2, 5);
    }
    if (scaleY != 1.0) {
        fontHeight_ = static_cast<int>(fontHeight_ * scaleY + 0.5);
        fontAscent_ = static_cast<int>(fontAscent_ * scaleY + 0.5);
    }
    PlainCharWidth = CharWidths['x'];
    PlainLineHeight = static_cast<int16_t>(fontHeight_);
    PlainAscent = static_cast<int16_t>(fontAscent_);
}

// ---------------------------------------------------------------------------
// Measuring

bool TQnRTFTextPaint::isInvisible(const TCharAttr &a) const
{
    return ((a.Style & kStyleHidden) && !(PaintFlags2 & kPaint2ShowHidden)) ||
           ((a.Style & kStyleInsertPoint) && !ShowInsertPoints) ||
           ((a.Style & kStyleAutoText) && !ShowAutoText);
}

int TQnRTFTextPaint::clusterLength(const TLine *line, int i)
{
    // Only a mark, a joiner or a modifier continues a cluster, and none of
    // them lies below U+0300.
    if (i + 1 >= line->Length || line->Text[i + 1] < 0x300)
        return 1;
    const std::u32string_view text(line->Text, line->Length);
    return static_cast<int>(unicode::NextGraphemeBoundary(text, size_t(i))) - i;
}

int16_t TQnRTFTextPaint::WideWidth(char32_t ch) const
{
    return clusterWidth(std::u32string_view(&ch, 1));
}

int16_t TQnRTFTextPaint::clusterWidth(std::u32string_view cluster) const
{
    const Canvas *device = ReferenceDevice ? ReferenceDevice : canvas_;
    if (!device)
        return PlainCharWidth;
    const double scale = ReferenceDevice && ScaleX > 0 ? ScaleX : 1.0;
    const int w = device->ClusterWidth(cluster);
    return static_cast<int16_t>(std::clamp(static_cast<int>(w * scale + 0.5), 0, 0x7FFF));
}

void TQnRTFTextPaint::measureChar(TCharAttr &a, char32_t code)
{
    if (isInvisible(a)) {
        a.Width = a.Height = a.Ascent = 0;
        return;
    }
    if ((a.Style & kStyleObject) && (code == 1 || code == 2)) {
        // Code 1 names the object by its tag, code 2 by its id, as files store them.
        TQnObject *object = code == 1 ? FindObject(a.Tag, 0) : FindObject(0, a.Tag);
        if (!object) {
            a.Width = 0;
            a.Height = static_cast<int16_t>(fontHeight_);
            a.Ascent = static_cast<int16_t>(fontAscent_);
            return;
        }
        object->InUse = 1;
        ObjectSize(*object);
        const int w = MulDiv(object->Width, Header->PixelsPerInchX, 1440);
        const int h = MulDiv(object->Height, Header->PixelsPerInchY, 1440);
        a.Width = static_cast<int16_t>(std::clamp(w, 0, 0x7FFF));
        int height = h, ascent;
        switch (object->Reserved2) {
        case 1:
            ascent = h - 2;
            break;
        case 2:
            ascent = fontAscent_;
            break;
        case 3:
            ascent = h / 2;
            break;
        default:
            ascent = h;
            height = h + (fontHeight_ - fontAscent_);
            break;
        }
        a.Height = static_cast<int16_t>(std::clamp(height, 0, 0x7FFF));
        a.Ascent = static_cast<int16_t>(std::clamp(ascent, 0, 0x7FFF));
        return;
    }
    a.Width = PlainWidth(code);
    a.Height = static_cast<int16_t>(fontHeight_);
    a.Ascent = static_cast<int16_t>(fontAscent_);
}

void TQnRTFTextPaint::MeasureParagraph(TParagraph *paragraph)
{
    if (!paragraph || !canvas_ || locked())
        return;
    if (!paragraph->Lines || !paragraph->Lines->Attrs || PlainMode) {
        SelectFontAndMeasure(CurrentAttr);
    } else {
        for (TLine *line = paragraph->Lines; line; line = line->Next) {
            TCharAttr *attrs = line->Attrs;
            if (line->Length == 0) {
                // An empty line keeps the look text typed there would get.
                SelectFontAndMeasure(attrs[0]);
                measureChar(attrs[0], ' ');
                continue;
            }
            const TCharAttr *runLook = nullptr;
            for (int i = 0; i < line->Length;) {
                if (!runLook || !sameRun(*runLook, attrs[i])) {
                    SelectFontAndMeasure(attrs[i]);
                    runLook = &attrs[i];
                }
                measureChar(attrs[i], line->Text[i]);
                const int n = clusterLength(line, i);
                if (n > 1 && attrs[i].Width > 0 && !(attrs[i].Style & kStyleObject)) {
                    // The cluster is drawn as one: its width on its first
                    // character, none on the rest.
                    attrs[i].Width = clusterWidth(std::u32string_view(line->Text + i, size_t(n)));
                    for (int k = 1; k < n; ++k) {
                        measureChar(attrs[i + k], line->Text[i + k]);
                        attrs[i + k].Width = 0;
                    }
                }
                i += n;
            }
        }
    }
    paragraph->State = static_cast<uint8_t>((paragraph->State | kStateRebreak) & ~kStateRepaint);
    for (TLine *line = paragraph->Lines; line; line = line->Next)
        FinishLine(paragraph, line);
}

bool TQnRTFTextPaint::FinishLine(TParagraph *paragraph, TLine *line)
{
    const int ppiY = Header->PixelsPerInchY;
    int height = 0, ascent = 0;
    if (!PlainMode && line->Attrs) {
        const TCharAttr *attrs = line->Attrs;
        for (int i = 0; i < line->Length; ++i) {
            if (line->Text[i] == ' ' || (attrs[i].Style & kStyleHidden))
                continue;
            if (attrs[i].Height > height) {
                height = attrs[i].Height;
                ascent = attrs[i].Ascent;
            }
        }
        if (line->Length == 0) {
            if (paragraph->IsTableCell()) {
                height = ascent = defaultLineHeight_ < 0 ? 16 : defaultLineHeight_;
            } else {
                // An empty line is as high as its own font, not as whatever
                // font happened to be measured last.
                height = attrs[0].Height;
                ascent = attrs[0].Ascent;
            }
        } else if (height < 1) {
            // Only blanks: as high as the blanks.
            for (int i = 0; i < line->Length; ++i)
                if (!(attrs[i].Style & kStyleHidden) && attrs[i].Height > height) {
                    height = attrs[i].Height;
                    ascent = attrs[i].Ascent;
                }
        }
    }
    if (height < 1 || PlainMode || !line->Attrs) {
        height = PlainLineHeight;
        ascent = PlainAscent;
    }
    if (paragraph->LineSpacing != 0) {
        const int n = MulDiv(paragraph->LineSpacing, ppiY, 1440);
        height = std::max(0, height + n);
        ascent = std::max(0, ascent + n / 2);
    }
    if (!line->Prev && paragraph->SpaceBefore > 0) {
        const int n = MulDiv(paragraph->SpaceBefore, ppiY, 1440);
        height += n;
        ascent += n;
    }
    if (!line->Next && paragraph->SpaceAfter > 0)
        height += MulDiv(paragraph->SpaceAfter, ppiY, 1440);
    const uint16_t newHeight = clampU16(height);
    const bool changed = newHeight != line->Height;
    line->Height = newHeight;
    line->Ascent = clampU16(ascent);
    return changed;
}

// ---------------------------------------------------------------------------
// Full layout

void TQnRTFTextPaint::ReformatAll()
{
    MarkAllParagraphs();
    FormatAll();
}

void TQnRTFTextPaint::FormatAll()
{
    if (Busy || LoadBusy || locked() || !canvas_)
        return;
    Busy = true;
    try {
        int count = 0;
        for (TParagraph *p = FirstParagraph; p; p = p->Next)
            ++count;
        const bool report = count > 100;
        if (report)
            ProgressStart(count);
        int done = 0;
        for (TParagraph *p = FirstParagraph; p; p = p->Next) {
            if (p->State & kStateRepaint)
                MeasureParagraph(p);
            if (p->State & kStateRebreak)
                BreakParagraph(p, false);
            if (report)
                ProgressStep(++done);
        }
        if (report)
            ProgressEnd();
        ComputeDocumentHeight();
    } catch (...) {
        Busy = false;
        throw;
    }
    Busy = false;
    callHook(VerticalChanged);
    if (Ruler && !printing())
        Ruler->RepaintRuler();
}

int TQnRTFTextPaint::ReformatParagraph(TParagraph *paragraph)
{
    if (!paragraph || !canvas_ || locked())
        return kBreakSame;
    if (paragraph->State & kStateRepaint)
        MeasureParagraph(paragraph);
    const int change = BreakParagraph(paragraph, true);
    if (change >= kBreakHeightChanged) {
        ComputeDocumentHeight();
        callHook(VerticalChanged);
    }
    return change;
}

void TQnRTFTextPaint::TrackPosition(TTextPos *position)
{
    if (std::find(tracked_.begin(), tracked_.end(), position) == tracked_.end())
        tracked_.push_back(position);
}

void TQnRTFTextPaint::UntrackPosition(TTextPos *position)
{
    tracked_.erase(std::remove(tracked_.begin(), tracked_.end(), position), tracked_.end());
}

} // namespace qn
