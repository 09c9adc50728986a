#pragma once

// Printing a document's paint layer: page by page on a print job, or a run
// of lines into a given area (merged printing). Both switch the layer to the
// printer's canvas and resolution and give it back its screen state when
// they end, whatever happens on the way.

#include <functional>

#include "platform/canvas.h"
#include "richtext/layout/rtf_text_paint.h"

namespace qn {

// The pages a document prints on.
class TQnPrintTarget {
public:
    virtual ~TQnPrintTarget() = default;
    virtual Canvas *PageCanvas() = 0;
    // The unprintable border left and top of the printable area, pixels.
    virtual int OffsetX() const = 0;
    virtual int OffsetY() const = 0;
    virtual int PrintableHeight() const = 0;
    virtual bool NewPage() = 0;
};

// A page's header or footer band: canvas, x, y, width, height (printer
// pixels), page number, number of the line about to print.
using TQnPrintBandEvent =
    std::function<void(Canvas &canvas, int x, int y, int w, int h, int page, int line)>;

// Holds the paint layer's screen state (canvas, resolution, word wrap, paint
// options, origin, window size, scroll offsets) and puts it back, laid out
// again, when it goes.
class TQnPaintStateKeeper {
public:
    explicit TQnPaintStateKeeper(TQnRTFTextPaint &document);
    ~TQnPaintStateKeeper();
    TQnPaintStateKeeper(const TQnPaintStateKeeper &) = delete;
    TQnPaintStateKeeper &operator=(const TQnPaintStateKeeper &) = delete;

    // Puts the layer onto a printer canvas with the printing options; with
    // wrap the lines break at the window width, else at the page's text width.
    void SwitchToPrinter(Canvas &canvas, bool wrap, int windowWidth);

private:
    TQnRTFTextPaint &doc_;
    Canvas *canvas_;
    uint8_t wrap_;
    uint8_t flags_, flags2_, flags3_;
    int originX_, originY_;
    int windowWidth_, windowHeight_;
    int scrollX_, scrollY_;
};

struct TQnPrintOutcome {
    int Pages = 0;
    int Lines = 0;
    bool Aborted = false;
};

// Prints the whole document on target, a new page where a paragraph asks
// for one and where a line would cross the bottom of the page's text area.
// abortRequested is asked after every line.
TQnPrintOutcome PrintDocumentPages(TQnRTFTextPaint &document, TQnPrintTarget &target,
                                   const TQnPrintBandEvent &header, const TQnPrintBandEvent &footer,
                                   const std::function<bool()> &abortRequested = {});

// Lays the document out at width pixels of canvas and walks its lines from
// firstLine (0 = the start): each line whose bottom stays within height below
// y is drawn at x (mode 1) or only measured (mode 0). Returns the number of
// the first line that did not fit, 0 when the document ended. In mode 1 the
// first line is drawn even when it is taller than the area, so that a caller
// going on from the returned line always gets further.
int PrintDocumentLines(TQnRTFTextPaint &document, Canvas &canvas, int x, int mode, int firstLine,
                       int height, int width, int y);

} // namespace qn
