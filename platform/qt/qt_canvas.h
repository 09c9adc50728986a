#pragma once

// The canvas on a QPainter: over a backing image (the screen surface of a
// control that paints at any time) or over a printer or PDF device.
// Windows-1252 text is converted here, once; glyphs are placed at the whole
// pixel advances the canvas reports, so that what is drawn matches what the
// layout measured.

#include <QImage>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPalette>

#include <memory>

#include "platform/canvas.h"

namespace qn {

struct QtFontEntry;

class QtCanvas : public Canvas {
public:
    // A screen surface: draws on image, which must outlive the canvas.
    // ppi 0 takes the image's resolution.
    explicit QtCanvas(QImage *image, int ppiX = 0, int ppiY = 0);
    // A printer or PDF device, at its resolution; a painter is opened on it
    // unless one is active there already.
    explicit QtCanvas(QPagedPaintDevice *device);
    // A painter opened by someone else.
    QtCanvas(QPainter *painter, int technology, int ppiX, int ppiY);
    ~QtCanvas() override;

    QPainter *Painter() const { return painter_; }
    QImage *Image() const { return image_; }
    // Starts a new page of a paged device; false elsewhere.
    bool NewPage();
    // Ends painting (the painter this canvas opened is closed).
    void End();
    // Colours of the system colours (default: the application's palette).
    void SetPalette(const QPalette &palette) { palette_ = palette; }

    int PixelsPerInchX() const override { return ppiX_; }
    int PixelsPerInchY() const override { return ppiY_; }
    int Technology() const override { return technology_; }
    int DeviceWidth() const override;
    int DeviceHeight() const override;
    ColorRef ResolveColor(ColorRef color) const override;

    void SelectFont(const FontSpec &font) override;
    FontMetrics Metrics() const override;
    const int16_t *CharWidths() const override;
    int WideCharWidth(char32_t c) const override;
    int ClusterWidth(std::u32string_view cluster) const override;

    void Rectangle(const CanvasRect &rect) override;
    void RoundRect(const CanvasRect &rect, int ellipseWidth, int ellipseHeight) override;
    void FillRect(const CanvasRect &rect, ColorRef color) override;
    void SetPixel(int x, int y, ColorRef color) override;
    ColorRef GetPixel(int x, int y) const override;
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

protected:
    void DrawLineSegment(CanvasPoint from, CanvasPoint to) override;
    void DrawGlyphs(int x, int baseline, std::string_view text) override;
    void DrawGlyphs(int x, int baseline, std::u32string_view text) override;
    std::string run_; // the code page form of text being drawn, kept for its buffer

private:
    void drawTextLines(int x, int baseline, int width);
    void init();
    QColor qcolor(ColorRef c) const;
    QPen qpen() const;

    QImage *image_ = nullptr;
    QPagedPaintDevice *paged_ = nullptr;
    QPainter *painter_ = nullptr;
    std::unique_ptr<QPainter> ownPainter_;
    int technology_ = kTechnologyDisplay;
    int ppiX_ = 96, ppiY_ = 96;
    bool printerFonts_ = false;
    std::shared_ptr<QtFontEntry> fontEntry_;
    QPalette palette_;
    bool hasClip_ = false;
    CanvasRect clip_;
};

// Conversions between canvas bitmaps and images.
QImage ToQImage(const CanvasBitmap &bitmap);
CanvasBitmap ToCanvasBitmap(const QImage &image);

// A device-independent bitmap (information header, colours, bits) as an
// image; a null image when the bytes make no bitmap.
QImage DibToImage(const uint8_t *dib, size_t size);

} // namespace qn
