#pragma once

// A canvas with fixed, font-independent metrics that records what is drawn,
// so that layout and painting can be checked to the pixel without a display.
//
// Metrics for an em height e (the font's pixel height, or its size in points
// at the vertical resolution): ascent e, descent e / 4, internal leading
// e / 4, no external leading, underline e / 8 + 1 below the base line. Every
// glyph is e / 2 pixels wide (at least 1) unless a width rule says otherwise.

#include <functional>
#include <string>
#include <vector>

#include "platform/canvas.h"

namespace qn {

struct CanvasOp {
    enum Kind {
        Glyphs, // X, Y = base line, Text, Font, Color
        Line,   // From, To (both drawn), Color = pen, PenWidth, Pen
        Rectangle,
        RoundRect,
        Fill,   // Rect, Color
        Pixel,  // X, Y, Color
        Bitmap, // Rect
        TransparentBitmap,
        Mask,
        Dib,  // Rect
        Clip, // Rect
        ClearClip,
        Scroll, // X = dx, Y = dy, Rect = scroll, Clip = clip
    };
    Kind Type = Glyphs;
    int X = 0, Y = 0;
    CanvasRect Rect, ClipArea;
    CanvasPoint From, To;
    std::string Text;
    FontSpec Font;
    ColorRef Color = 0;
    ColorRef Brush = 0;
    BrushStyle BrushKind = BrushStyle::Solid;
    PenStyle Pen = PenStyle::Solid;
    int PenWidth = 1;
};

class RecordingCanvas : public Canvas {
public:
    using WidthRule = std::function<int(int em, unsigned char code, const FontSpec &font)>;

    explicit RecordingCanvas(int ppiX = 96, int ppiY = 96, int technology = kTechnologyDisplay,
                             int width = 800, int height = 600);

    int PixelsPerInchX() const override { return ppiX_; }
    int PixelsPerInchY() const override { return ppiY_; }
    int Technology() const override { return technology_; }
    int DeviceWidth() const override { return width_; }
    int DeviceHeight() const override { return height_; }

    void SelectFont(const FontSpec &font) override;
    FontMetrics Metrics() const override { return metrics_; }
    const int16_t *CharWidths() const override { return widths_; }

    void Rectangle(const CanvasRect &rect) override;
    void RoundRect(const CanvasRect &rect, int ellipseWidth, int ellipseHeight) override;
    void FillRect(const CanvasRect &rect, ColorRef color) override;
    void SetPixel(int x, int y, ColorRef color) override;
    ColorRef GetPixel(int, int) const override { return 0xFFFFFFFF; }
    void DrawBitmap(const CanvasRect &dest, const CanvasBitmap &bitmap) override;
    void DrawTransparentBitmap(int x, int y, const CanvasBitmap &bitmap,
                               ColorRef transparent) override;
    void DrawMask(int x, int y, const CanvasBitmap &mask, ColorRef color) override;
    bool DrawDib(const CanvasRect &dest, const uint8_t *dib, size_t size) override;
    void SetClipRect(const CanvasRect &rect) override;
    void ClearClip() override;
    bool HasClip() const override { return hasClip_; }
    CanvasRect ClipRect() const override { return clip_; }
    void ScrollRect(int dx, int dy, const CanvasRect &scroll, const CanvasRect &clip) override;

    // Replaces the glyph widths (and measures the selected font again).
    void SetWidthRule(WidthRule rule);
    void SetExternalLeading(int leading) { externalLeading_ = leading; }
    // Whether DrawDib succeeds (a stand-in for undecodable pictures).
    void SetDibDrawable(bool drawable) { dibDrawable_ = drawable; }
    void SetResolution(int ppiX, int ppiY) { ppiX_ = ppiX, ppiY_ = ppiY; }

    // The em height a font gets on this canvas.
    int EmHeight(const FontSpec &font) const;

    std::vector<CanvasOp> Ops;
    void ClearOps() { Ops.clear(); }
    // The text ops joined in order (handy for "what was written").
    std::string AllText() const;
    std::vector<const CanvasOp *> OpsOfKind(CanvasOp::Kind kind) const;

protected:
    void DrawLineSegment(CanvasPoint from, CanvasPoint to) override;
    using Canvas::DrawGlyphs;
    void DrawGlyphs(int x, int baseline, std::string_view text) override;

private:
    CanvasOp op(CanvasOp::Kind kind) const;

    int ppiX_, ppiY_, technology_, width_, height_;
    FontMetrics metrics_;
    int16_t widths_[256] = {};
    WidthRule rule_;
    int externalLeading_ = 0;
    bool dibDrawable_ = true;
    bool hasClip_ = false;
    CanvasRect clip_;
};

} // namespace qn
