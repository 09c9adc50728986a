#pragma once

// A drawing surface with what the program draws with, after the manner of a
// Windows device context: a resolution, one selected font with its metrics and
// the widths of the 256 Windows-1252 codes, text output with a current
// position, one pen, one brush, clipping and scrolling of pixels.
//
// Coordinates are device pixels. Rectangles include their left and top edge
// and exclude their right and bottom edge; a line excludes its last point.
// Colours are COLORREF values (0x00BBGGRR); 0x80000000 + n is system colour n,
// resolved by the canvas at the moment of drawing. Text is Windows-1252 bytes.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ansi.h"

namespace qn {

using ColorRef = uint32_t;

// Device technology, numbered as the device capabilities report it.
enum : int {
    kTechnologyDisplay = 1,
    kTechnologyPrinter = 2,
    kTechnologyMetafile = 5,
};

// System colours (0x80000000 + index).
enum : ColorRef {
    kSysColorWindow = 0x80000005,
    kSysColorWindowText = 0x80000008,
    kSysColorHighlight = 0x8000000D,
    kSysColorHighlightText = 0x8000000E,
    kSysColorButtonFace = 0x8000000F,
    kSysColorButtonShadow = 0x80000010,
    kSysColorButtonHighlight = 0x80000014,
};
constexpr bool IsSystemColor(ColorRef c)
{
    return (c & 0xFF000000u) == 0x80000000u;
}
constexpr ColorRef Rgb(int r, int g, int b)
{
    return ColorRef(r & 0xFF) | (ColorRef(g & 0xFF) << 8) | (ColorRef(b & 0xFF) << 16);
}
constexpr int RedOf(ColorRef c)
{
    return c & 0xFF;
}
constexpr int GreenOf(ColorRef c)
{
    return (c >> 8) & 0xFF;
}
constexpr int BlueOf(ColorRef c)
{
    return (c >> 16) & 0xFF;
}

// The classic colours of the system colours, for surfaces without a palette.
ColorRef DefaultSystemColor(ColorRef systemColor);

struct CanvasRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    bool Contains(int x, int y) const { return x >= Left && x < Right && y >= Top && y < Bottom; }
    bool operator==(const CanvasRect &) const = default;
};

struct CanvasPoint {
    int X = 0, Y = 0;
    bool operator==(const CanvasPoint &) const = default;
};

// A font to select. The size is PixelHeight (the em height in device pixels)
// when that is above 0, else SizePoints at the canvas's vertical resolution.
struct FontSpec {
    std::string Name = "Arial";
    int SizePoints = 10;
    int PixelHeight = 0;
    bool Bold = false;
    bool Italic = false;
    bool Underline = false; // drawn by the canvas under text output
    bool Strikeout = false;
    ColorRef Color = 0; // the text colour that selecting the font sets
    bool operator==(const FontSpec &) const = default;
};

// Metrics of the selected font, in pixels.
struct FontMetrics {
    int Height = 0; // Ascent + Descent
    int Ascent = 0;
    int Descent = 0;
    int InternalLeading = 0;
    int ExternalLeading = 0;
    int UnderlinePosition = 0; // distance of the underline's top below the base line
    int UnderlineThickness = 1;
};

enum class PenStyle : uint8_t {
    Solid = 0,
    Dash = 1,
    Dot = 2,
    DashDot = 3,
    DashDotDot = 4,
    None = 5
};
enum class BrushStyle : uint8_t { Solid, Clear };
enum class BackgroundMode : uint8_t { Transparent = 1, Opaque = 2 };

// Text alignment flags (TA_ values).
enum : unsigned {
    kAlignTop = 0,
    kAlignUpdateCp = 1, // draw at and advance the current position
    kAlignBaseline = 24,
};

// ExtTextOut options.
enum : unsigned {
    kTextOpaque = 0x0002,  // fill the rectangle with the background colour first
    kTextClipped = 0x0004, // clip the text to the rectangle
};

// DrawText formats (DT_ values).
enum : unsigned {
    kDtLeft = 0x0000,
    kDtCenter = 0x0001,
    kDtRight = 0x0002,
    kDtVCenter = 0x0004,
    kDtBottom = 0x0008,
    kDtWordBreak = 0x0010,
    kDtSingleLine = 0x0020,
    kDtExpandTabs = 0x0040,
    kDtCalcRect = 0x0400,
    kDtNoPrefix = 0x0800,
    kDtEndEllipsis = 0x8000,
};

// An image in memory: Width x Height pixels, row by row from the top, each a
// COLORREF. A monochrome mask is a bitmap of black (0) and white pixels.
struct CanvasBitmap {
    int Width = 0;
    int Height = 0;
    std::vector<ColorRef> Pixels;

    CanvasBitmap() = default;
    CanvasBitmap(int width, int height, ColorRef fill = 0x00FFFFFF)
        : Width(width), Height(height), Pixels(size_t(width) * size_t(height), fill)
    {
    }
    bool IsEmpty() const { return Width <= 0 || Height <= 0; }
    ColorRef At(int x, int y) const { return Pixels[size_t(y) * size_t(Width) + size_t(x)]; }
    void Set(int x, int y, ColorRef c) { Pixels[size_t(y) * size_t(Width) + size_t(x)] = c; }
    // Black where the pixel has the given colour, white elsewhere.
    CanvasBitmap MaskOf(ColorRef color) const;
};

class Canvas {
public:
    virtual ~Canvas() = default;

    // ---- Device ----
    virtual int PixelsPerInchX() const = 0;
    virtual int PixelsPerInchY() const = 0;
    virtual int Technology() const = 0;
    // Size of the drawing surface in pixels (0 when unknown).
    virtual int DeviceWidth() const = 0;
    virtual int DeviceHeight() const = 0;
    // The RGB value of a colour, system colours resolved.
    virtual ColorRef ResolveColor(ColorRef color) const;

    // ---- Font ----
    virtual void SelectFont(const FontSpec &font) = 0;
    const FontSpec &Font() const { return font_; }
    virtual FontMetrics Metrics() const = 0;
    // The advance of each Windows-1252 code in whole pixels; control codes
    // measure as a blank. Valid until the next SelectFont.
    virtual const int16_t *CharWidths() const = 0;
    int TextWidth(std::string_view text) const;
    // The advance of any character: the table above for Windows-1252
    // characters, WideCharWidth for the others.
    int CharWidth(char32_t c) const
    {
        if (c < 0x80)
            return CharWidths()[c];
        const int code = AnsiCode(c);
        return code >= 0 ? CharWidths()[code] : WideCharWidth(c);
    }
    // Advances of what the code page lacks, and of a cluster of several
    // characters drawn as one (a letter and its accents, an emoji sequence).
    virtual int WideCharWidth(char32_t c) const;
    virtual int ClusterWidth(std::u32string_view cluster) const;
    // Unicode text: each one-character cluster at CharWidth, each longer
    // cluster at ClusterWidth.
    int TextWidth(std::u32string_view text) const;

    // ---- Text ----
    void SetTextColor(ColorRef color) { textColor_ = color; }
    ColorRef TextColor() const { return textColor_; }
    void SetBackgroundColor(ColorRef color) { backgroundColor_ = color; }
    ColorRef BackgroundColor() const { return backgroundColor_; }
    void SetBackgroundMode(BackgroundMode mode) { backgroundMode_ = mode; }
    BackgroundMode GetBackgroundMode() const { return backgroundMode_; }
    void SetTextAlign(unsigned align) { textAlign_ = align; }
    unsigned TextAlign() const { return textAlign_; }
    // TextOut: at (x, y), or at the current position with kAlignUpdateCp, whose
    // x then moves to the end of the text. Opaque mode fills the text cell.
    void TextOut(int x, int y, std::string_view text);
    // ExtTextOut: as TextOut, with options over rect (kTextOpaque fills it
    // with the background colour, whatever the mode).
    void ExtTextOut(int x, int y, unsigned options, const CanvasRect *rect, std::string_view text);
    void ExtTextOut(int x, int y, unsigned options, const CanvasRect *rect,
                    std::u32string_view text);
    // DrawText in a rectangle with the kDt formats; returns the text's height.
    // With kDtCalcRect nothing is drawn and rect gets the text's extent.
    int DrawText(std::string_view text, CanvasRect &rect, unsigned format);

    // ---- Pen, brush, current position ----
    void SetPen(ColorRef color, int width = 1, PenStyle style = PenStyle::Solid);
    ColorRef PenColor() const { return penColor_; }
    int PenWidth() const { return penWidth_; }
    PenStyle GetPenStyle() const { return penStyle_; }
    void SetBrush(ColorRef color, BrushStyle style = BrushStyle::Solid);
    ColorRef BrushColor() const { return brushColor_; }
    BrushStyle GetBrushStyle() const { return brushStyle_; }
    void MoveTo(int x, int y) { current_ = {x, y}; }
    CanvasPoint CurrentPosition() const { return current_; }
    // A line from the current position to (x, y), without that last point;
    // the current position moves there.
    void LineTo(int x, int y);
    void Polyline(const std::vector<CanvasPoint> &points);

    // ---- Shapes ----
    // Outline with the pen, inside with the brush.
    virtual void Rectangle(const CanvasRect &rect) = 0;
    virtual void RoundRect(const CanvasRect &rect, int ellipseWidth, int ellipseHeight) = 0;
    virtual void FillRect(const CanvasRect &rect, ColorRef color) = 0;
    // The rectangle's one-pixel outline in a colour.
    void FrameRect(const CanvasRect &rect, ColorRef color);
    virtual void SetPixel(int x, int y, ColorRef color) = 0;
    // The colour of a pixel; 0xFFFFFFFF where the surface cannot be read.
    virtual ColorRef GetPixel(int x, int y) const = 0;

    // ---- Bitmaps ----
    virtual void DrawBitmap(const CanvasRect &dest, const CanvasBitmap &bitmap) = 0;
    // Leaves the pixels of the transparent colour unpainted.
    virtual void DrawTransparentBitmap(int x, int y, const CanvasBitmap &bitmap,
                                       ColorRef transparent) = 0;
    // Paints color where the monochrome mask is black.
    virtual void DrawMask(int x, int y, const CanvasBitmap &mask, ColorRef color) = 0;
    // A device-independent bitmap (information header, colours, bits) scaled
    // to dest; false when the bytes cannot be drawn.
    virtual bool DrawDib(const CanvasRect &dest, const uint8_t *dib, size_t size) = 0;

    // ---- Clipping and scrolling ----
    virtual void SetClipRect(const CanvasRect &rect) = 0;
    virtual void ClearClip() = 0;
    virtual bool HasClip() const = 0;
    virtual CanvasRect ClipRect() const = 0;
    // Moves the pixels of scroll by (dx, dy), within clip (ScrollDC); the
    // uncovered part is left for the caller to paint.
    virtual void ScrollRect(int dx, int dy, const CanvasRect &scroll, const CanvasRect &clip) = 0;

private:
    template <typename Text>
    void extTextOut(int x, int y, unsigned options, const CanvasRect *rect, Text text);

protected:
    // Drawing of the primitives above.
    virtual void DrawLineSegment(CanvasPoint from, CanvasPoint to) = 0;
    // Glyphs of text with their base line at y, each at the advance from
    // CharWidths(); underline and strikeout of the font drawn too.
    virtual void DrawGlyphs(int x, int baseline, std::string_view text) = 0;
    // Unicode text at the advances of TextWidth; by default the Windows-1252
    // form of the text.
    virtual void DrawGlyphs(int x, int baseline, std::u32string_view text);

    FontSpec font_;
    ColorRef textColor_ = 0;
    ColorRef backgroundColor_ = 0x00FFFFFF;
    BackgroundMode backgroundMode_ = BackgroundMode::Opaque;
    unsigned textAlign_ = kAlignTop;
    ColorRef penColor_ = 0;
    int penWidth_ = 1;
    PenStyle penStyle_ = PenStyle::Solid;
    ColorRef brushColor_ = 0x00FFFFFF;
    BrushStyle brushStyle_ = BrushStyle::Solid;
    CanvasPoint current_;
};

} // namespace qn
