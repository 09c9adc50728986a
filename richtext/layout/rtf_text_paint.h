#pragma once

// TQnRTFTextPaint: the document layer that turns the model into pixels on a
// Canvas. It measures every character with the real font, breaks paragraphs
// into lines, keeps line heights, base lines and tops, the scroll offsets and
// the caret rectangle, maps points to text positions, and paints bands of the
// document. It owns no window: the editor control gives it a canvas and
// installs the hooks.
//
// Pixels are device pixels of the canvas at the (zoomed) resolution held in
// the header; the model keeps twips. Window coordinates put the document's
// left edge at OriginX + ScrollX and its top at OriginY - ScrollY.
//
// Incremental use: after an edit inside one paragraph, ReformatParagraph
// measures and breaks that paragraph alone and reports which lines changed;
// RepaintChangedLines paints only those.

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/canvas.h"
#include "richtext/io/rtf_text_io.h"

namespace qn {

// PaintFlags
enum : uint8_t {
    kPaintNoClip = 0x01,
    kPaintPrinting = 0x02,
    kPaintFixedWidth = 0x04,
    kPaintNoZoom = 0x08,
    kPaintNoMouseCaret = 0x10,
    kPaintNoScroll = 0x20,
    kPaintNoBackground = 0x40,
    kPaintNoAutoBreakMarks = 0x80,
};
// PaintFlags2
enum : uint8_t {
    kPaint2ShowHidden = 0x01,
    kPaint2Locked = 0x02,
    kPaint2NoScrollX = 0x04,
    kPaint2HideSelection = 0x08,
    kPaint2AllLines = 0x20,
    kPaint2WhitePaper = 0x40,
    kPaint2NoRunPaper = 0x80,
};
// PaintFlags3
enum : uint8_t {
    kPaint3ClipToPage = 0x01,
    kPaint3NoWhiteBrush = 0x02,
    kPaint3NoLineRest = 0x04,
};

// Windows scroll-bar codes.
enum : int {
    kScrollLineUp = 0,
    kScrollLineDown = 1,
    kScrollPageUp = 2,
    kScrollPageDown = 3,
    kScrollThumbPosition = 4,
    kScrollThumbTrack = 5,
    kScrollTop = 6,
    kScrollBottom = 7,
    kScrollEnd = 8,
};

// Result of BreakParagraph with compare.
enum : int {
    kBreakSame = 0,
    kBreakLineChanged = 1,   // lines flagged kLineChanged need painting
    kBreakHeightChanged = 2, // a line's height changed
    kBreakMoved = 3,         // the paragraph's height changed: everything below moves
};

// A layout cache bit of TLine::LineFlags: the line is justified (LineWidth
// then holds the index from which blanks are stretched).
constexpr uint8_t kLineJustified = 0x80;

// What the ruler of the editor is told.
class TQnRulerLink {
public:
    virtual ~TQnRulerLink() = default;
    virtual void SetScrollOffset(int scrollX) = 0;
    virtual void RepaintRuler() = 0;
};

// An object painted on the screen, for clicks on objects.
struct TPaintedObject {
    CanvasRect Rect;
    TQnObject *Object = nullptr;
};
constexpr int kMaxPaintedObjects = 30;

class TQnRTFTextPaint : public TQnRTFTextIo {
public:
    TQnRTFTextPaint();
    ~TQnRTFTextPaint() override;

    // ---- Overrides of the model ----
    void SetCharAttr(TLine *line, int position, const TCharAttr &attr) override;
    void SetCurrentAttr(const TCharAttr &attr) override;
    void Clear() override;
    int16_t WideWidth(char32_t ch) const override;
    int ReplaceText(TParagraph *paragraph, TLine *line, std::u32string_view text,
                    int position) override;
    void ReadWithReader(TQnStream *stream, TQnTextReader *reader) override;

    // ---- Parameters ----
    void SetCanvas(Canvas *canvas);
    Canvas *GetCanvas() const { return canvas_; }
    // 0 takes the canvas's resolution (96 without a canvas).
    void SetResolution(int ppiX, int ppiY);
    void SetWindowWidth(int width);
    void SetWindowHeight(int height) { WindowHeight = height; }
    void SetWrapToWindow(bool on);
    void SetZooming(int percent);
    void SetResizing(int percent);
    void SetPaintFlags(uint8_t flags);
    void SetPaintFlags2(uint8_t flags);

    // ---- Layout ----
    void FormatAll();
    void ReformatAll();
    void MeasureParagraph(TParagraph *paragraph);
    int BreakParagraph(TParagraph *paragraph, bool compare);
    // Measures (when marked) and breaks one paragraph, recomputes the
    // document height when lines moved, and returns the break result.
    int ReformatParagraph(TParagraph *paragraph);
    // Line tops, page starts and the document height from the line heights.
    void ComputeDocumentHeight();
    // Height and ascent of a line from its characters and the paragraph's
    // spacing; true when the height changed.
    bool FinishLine(TParagraph *paragraph, TLine *line);

    // ---- Fonts ----
    void SelectFont(const TCharAttr &attr);
    void SelectFontAndMeasure(const TCharAttr &attr);
    // The width table, height and ascent of the font measured last.
    const int16_t *FontWidths() const { return fontWidths_; }
    int FontHeight() const { return fontHeight_; }
    int FontAscent() const { return fontAscent_; }
    int DefaultLineHeight() const { return defaultLineHeight_; }

    // ---- Geometry ----
    // Window x where the line's first character starts.
    int LineStartX(const TParagraph *paragraph, const TLine *line);
    int XOfChar(TParagraph *paragraph, TLine *line, int index);
    int CharAt(TParagraph *paragraph, TLine *line, int x);
    // The line under a window point (nearest line above or below the text).
    bool LineAt(int x, int y, TParagraph *&paragraph, TLine *&line);
    void PointToPosition(int x, int y, bool extend);
    // Indents in pixels as breaking uses them (left includes the extra pixel).
    int LeftIndentPixels(const TParagraph *paragraph, bool firstLine) const;
    int RightIndentPixels(const TParagraph *paragraph) const;
    int AvailableWidth(const TParagraph *paragraph, bool firstLine) const;
    // Where a tab starting at x (pixels from the margin) ends; text and
    // attrs[from, end) is the text after the tab.
    int TabTarget(const TParagraph *paragraph, int x, const char32_t *text, const TCharAttr *attrs,
                  int from, int end);

    // ---- Caret ----
    void ShowCaret();
    void PlaceCaret();

    // ---- Scrolling; false when refused ----
    bool ScrollDown(int dy);
    bool ScrollUp(int dy);
    bool ScrollRight(int dx);
    bool ScrollLeft(int dx);
    void VScroll(int code, int pos);
    void HScroll(int code, int pos);

    // ---- Painting ----
    void PaintAll();
    void PaintBand(int x, int y, int height, int width);
    void PaintLine(TParagraph *paragraph, TLine *line);
    // Paints the lines within window rows [top, bottom) whatever the mode
    // (printing paints through this).
    void PaintLines(int top, int bottom);
    // Paints the lines of a paragraph flagged kLineChanged (all of them and
    // everything below for kBreakMoved/kBreakHeightChanged) and clears the flags.
    void RepaintChangedLines(TParagraph *paragraph, int change);
    const std::vector<TPaintedObject> &PaintedObjects() const { return paintedObjects_; }

    // Positions (besides the cursor and block) that re-breaking carries over.
    void TrackPosition(TTextPos *position);
    void UntrackPosition(TTextPos *position);

    // ---- Fields ----
    int Technology = kTechnologyDisplay;
    int Zooming = 100;
    int Resizing = 100;
    uint8_t PaintFlags = kPaintNoAutoBreakMarks;
    uint8_t PaintFlags2 = 0;
    uint8_t PaintFlags3 = 0;
    int WindowWidth = 0;
    int WindowWidthTwips = 0;
    int WindowHeight = 0;
    uint8_t WrapToWindow = 0;
    int OriginX = 0, OriginY = 0;
    int ScrollY = 0; // >= 0
    int ScrollX = 0; // <= 0
    int DocumentHeight = 0;
    ColorRef BackgroundColor = kSysColorWindow;
    int CaretX = 0;
    int CaretTop = 0;
    int CaretHeight = 16;
    int CaretWidth = 1;
    double ScaleX = 1.0, ScaleY = 1.0;
    Canvas *ReferenceDevice = nullptr; // widths and metrics from here when set
    bool ShowInsertPoints = true;
    bool ShowAutoText = true;
    bool PaintGrayTable = false;
    bool Busy = false;     // a full layout runs
    bool LoadBusy = false; // a document is being loaded

    std::function<void()> BeforePaint, AfterPaint, CaretYChanged, CaretXChanged, CaretPlaced,
        HorizontalChanged, VerticalChanged, SpareHook;
    TQnRulerLink *Ruler = nullptr;

protected:
    bool locked() const { return (PaintFlags2 & kPaint2Locked) != 0; }
    bool printing() const { return (PaintFlags & kPaintPrinting) != 0; }
    void callHook(const std::function<void()> &hook) const
    {
        if (hook && !printing())
            hook();
    }
    void updateLayoutWidth();
    void rebreakAll();
    ColorRef paperColor() const;
    // Measures one character's attribute with the font measured last.
    void measureChar(TCharAttr &attr, char32_t code);
    // Characters from i that are drawn as one (a letter and its marks).
    static int clusterLength(const TLine *line, int i);
    int16_t clusterWidth(std::u32string_view cluster) const;

private:
    void paintLineAt(TParagraph *paragraph, TLine *line, int markFrom, int markTo,
                     bool markPastEnd);
    // Paints the runs of a line; returns the x where the text ends.
    int paintRunsTo(TParagraph *paragraph, TLine *line, int lineTop, int markFrom, int markTo);
    void paintObject(TQnObject *object, const CanvasRect &rect);
    void paintBorders(TParagraph *paragraph, TLine *line, int lineTop);
    // The page-break sign at the top of a line that starts a page; its label
    // only where the line's text ends before it.
    void paintPageMarks(TParagraph *paragraph, TLine *line, int lineTop, int textEndX);
    bool whollyAbove(const TParagraph *paragraph, int top) const;
    void selectionOfLine(TParagraph *paragraph, TLine *line, int &from, int &to, bool &pastEnd);
    int naturalWidth(const TLine *line) const;
    // Window x after character i of a line when it starts at window x.
    int advance(TParagraph *paragraph, TLine *line, int i, int x, int &blankNumber);
    int marginX() const;
    bool positionBefore(const TTextPos &a, const TTextPos &b) const;
    void horizontallyScrolled();
    bool isInvisible(const TCharAttr &attr) const;
    void carryPosition(TTextPos &pos, TParagraph *paragraph, int offset);
    int flattenParagraph(const TParagraph *p, bool rich);
    static int compareLines(const TLine *oldLines, TLine *newLines, bool compare);
    int verticalJump(int targetY);
    void scrolledVertically(int oldScrollY);

    Canvas *canvas_ = nullptr;
    int devicePpiX_ = 96, devicePpiY_ = 96;
    const int16_t *fontWidths_ = nullptr;
    int16_t scaledWidths_[256] = {};
    int fontHeight_ = 16;
    int fontAscent_ = 14;
    int defaultLineHeight_ = 16;
    std::vector<TPaintedObject> paintedObjects_;
    std::vector<TTextPos *> tracked_;
    // Scratch buffers of BreakParagraph, kept between calls.
    std::vector<char32_t> breakText_;
    std::vector<TCharAttr> breakAttrs_;
};

} // namespace qn
