#include "platform/recording_canvas.h"

#include <algorithm>

#include "platform/winmath.h"

namespace qn {

RecordingCanvas::RecordingCanvas(int ppiX, int ppiY, int technology, int width, int height)
    : ppiX_(ppiX), ppiY_(ppiY), technology_(technology), width_(width), height_(height)
{
    SelectFont(FontSpec{});
}

int RecordingCanvas::EmHeight(const FontSpec &font) const
{
    return font.PixelHeight > 0 ? font.PixelHeight : MulDiv(font.SizePoints, ppiY_, 72);
}

void RecordingCanvas::SelectFont(const FontSpec &font)
{
    font_ = font;
    textColor_ = font.Color;
    const int em = std::max(1, EmHeight(font));
    metrics_.Ascent = em;
    metrics_.Descent = em / 4;
    metrics_.Height = metrics_.Ascent + metrics_.Descent;
    metrics_.InternalLeading = em / 4;
    metrics_.ExternalLeading = externalLeading_;
    metrics_.UnderlinePosition = em / 8 + 1;
    metrics_.UnderlineThickness = std::max(1, em / 13);
    for (int c = 0; c < 256; ++c) {
        int w = rule_ ? rule_(em, static_cast<unsigned char>(c), font) : std::max(1, em / 2);
        widths_[c] = static_cast<int16_t>(w);
    }
    // Control codes measure as a blank, as on every canvas.
    for (int c = 0; c < 32; ++c)
        widths_[c] = widths_[' '];
}

void RecordingCanvas::SetWidthRule(WidthRule rule)
{
    rule_ = std::move(rule);
    SelectFont(font_);
}

CanvasOp RecordingCanvas::op(CanvasOp::Kind kind) const
{
    CanvasOp o;
    o.Type = kind;
    o.Font = font_;
    o.Color = penColor_;
    o.Brush = brushColor_;
    o.BrushKind = brushStyle_;
    o.Pen = penStyle_;
    o.PenWidth = penWidth_;
    return o;
}

void RecordingCanvas::DrawLineSegment(CanvasPoint from, CanvasPoint to)
{
    CanvasOp o = op(CanvasOp::Line);
    o.From = from;
    o.To = to;
    Ops.push_back(std::move(o));
}

void RecordingCanvas::DrawGlyphs(int x, int baseline, std::string_view text)
{
    CanvasOp o = op(CanvasOp::Glyphs);
    o.X = x;
    o.Y = baseline;
    o.Text = std::string(text);
    o.Color = textColor_;
    o.Brush = backgroundColor_;
    Ops.push_back(std::move(o));
}

void RecordingCanvas::Rectangle(const CanvasRect &rect)
{
    CanvasOp o = op(CanvasOp::Rectangle);
    o.Rect = rect;
    Ops.push_back(std::move(o));
}

void RecordingCanvas::RoundRect(const CanvasRect &rect, int ellipseWidth, int ellipseHeight)
{
    CanvasOp o = op(CanvasOp::RoundRect);
    o.Rect = rect;
    o.X = ellipseWidth;
    o.Y = ellipseHeight;
    Ops.push_back(std::move(o));
}

void RecordingCanvas::FillRect(const CanvasRect &rect, ColorRef color)
{
    CanvasOp o = op(CanvasOp::Fill);
    o.Rect = rect;
    o.Color = color;
    Ops.push_back(std::move(o));
}

void RecordingCanvas::SetPixel(int x, int y, ColorRef color)
{
    CanvasOp o = op(CanvasOp::Pixel);
    o.X = x;
    o.Y = y;
    o.Color = color;
    Ops.push_back(std::move(o));
}

void RecordingCanvas::DrawBitmap(const CanvasRect &dest, const CanvasBitmap &)
{
    CanvasOp o = op(CanvasOp::Bitmap);
    o.Rect = dest;
    Ops.push_back(std::move(o));
}

void RecordingCanvas::DrawTransparentBitmap(int x, int y, const CanvasBitmap &bitmap,
                                            ColorRef transparent)
{
    CanvasOp o = op(CanvasOp::TransparentBitmap);
    o.Rect = {x, y, x + bitmap.Width, y + bitmap.Height};
    o.Color = transparent;
    Ops.push_back(std::move(o));
}

void RecordingCanvas::DrawMask(int x, int y, const CanvasBitmap &mask, ColorRef color)
{
    CanvasOp o = op(CanvasOp::Mask);
    o.Rect = {x, y, x + mask.Width, y + mask.Height};
    o.Color = color;
    Ops.push_back(std::move(o));
}

bool RecordingCanvas::DrawDib(const CanvasRect &dest, const uint8_t *, size_t)
{
    if (!dibDrawable_)
        return false;
    CanvasOp o = op(CanvasOp::Dib);
    o.Rect = dest;
    Ops.push_back(std::move(o));
    return true;
}

void RecordingCanvas::SetClipRect(const CanvasRect &rect)
{
    hasClip_ = true;
    clip_ = rect;
    CanvasOp o = op(CanvasOp::Clip);
    o.Rect = rect;
    Ops.push_back(std::move(o));
}

void RecordingCanvas::ClearClip()
{
    hasClip_ = false;
    clip_ = {};
    Ops.push_back(op(CanvasOp::ClearClip));
}

void RecordingCanvas::ScrollRect(int dx, int dy, const CanvasRect &scroll, const CanvasRect &clip)
{
    CanvasOp o = op(CanvasOp::Scroll);
    o.X = dx;
    o.Y = dy;
    o.Rect = scroll;
    o.ClipArea = clip;
    Ops.push_back(std::move(o));
}

std::string RecordingCanvas::AllText() const
{
    std::string all;
    for (const CanvasOp &o : Ops)
        if (o.Type == CanvasOp::Glyphs)
            all += o.Text;
    return all;
}

std::vector<const CanvasOp *> RecordingCanvas::OpsOfKind(CanvasOp::Kind kind) const
{
    std::vector<const CanvasOp *> found;
    for (const CanvasOp &o : Ops)
        if (o.Type == kind)
            found.push_back(&o);
    return found;
}

} // namespace qn
