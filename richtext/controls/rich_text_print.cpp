#include "richtext/controls/rich_text_print.h"

#include "platform/winmath.h"

namespace qn {

namespace {

constexpr uint8_t kPrintFlags = kPaintNoClip | kPaintPrinting | kPaintFixedWidth | kPaintNoZoom |
                                kPaintNoScroll | kPaintNoBackground;
constexpr uint8_t kPrintFlags2 = kPaint2HideSelection | kPaint2AllLines | kPaint2WhitePaper;
constexpr uint8_t kPrintFlags3 = kPaint3NoLineRest;

// Puts a canvas in and lays the document out again, once.
void setCanvasAndLayout(TQnRTFTextPaint &doc, Canvas *canvas)
{
    const int ppiX = doc.Header->PixelsPerInchX, ppiY = doc.Header->PixelsPerInchY;
    doc.SetCanvas(canvas);
    // A changed resolution has laid everything out already.
    if (canvas && doc.Header->PixelsPerInchX == ppiX && doc.Header->PixelsPerInchY == ppiY)
        doc.ReformatAll();
}

// The bottom of a table row in document pixels: the lowest line of its cells.
int rowBottom(const TParagraph *first)
{
    int bottom = 0;
    for (const TParagraph *c = first; c; c = c->Next) {
        for (const TLine *l = c->Lines; l; l = l->Next)
            bottom = std::max(bottom, l->Top + int(l->Height));
        if (!(c->ParFlags & kParCellRowOpen))
            break;
    }
    return bottom;
}

bool startsRow(const TParagraph *p)
{
    return p->IsTableCell() && !(p->ParFlags & kParCellNotFirst);
}

} // namespace

// ---------------------------------------------------------------------------
// Screen state

TQnPaintStateKeeper::TQnPaintStateKeeper(TQnRTFTextPaint &document)
    : doc_(document), canvas_(document.GetCanvas()), wrap_(document.WrapToWindow),
      flags_(document.PaintFlags), flags2_(document.PaintFlags2), flags3_(document.PaintFlags3),
      originX_(document.OriginX), originY_(document.OriginY), windowWidth_(document.WindowWidth),
      windowHeight_(document.WindowHeight), scrollX_(document.ScrollX), scrollY_(document.ScrollY)
{
}

TQnPaintStateKeeper::~TQnPaintStateKeeper()
{
    try {
        doc_.PaintFlags = flags_;
        doc_.PaintFlags2 = flags2_;
        doc_.PaintFlags3 = flags3_;
        doc_.WrapToWindow = wrap_;
        doc_.OriginX = originX_;
        doc_.OriginY = originY_;
        doc_.WindowWidth = windowWidth_;
        doc_.WindowHeight = windowHeight_;
        setCanvasAndLayout(doc_, canvas_);
        doc_.SetWindowWidth(windowWidth_);
        doc_.ScrollX = scrollX_;
        doc_.ScrollY = std::clamp(scrollY_, 0, std::max(0, doc_.DocumentHeight - windowHeight_));
    } catch (...) {
        // A destructor may not throw; the layout is redone at the next change.
    }
}

void TQnPaintStateKeeper::SwitchToPrinter(Canvas &canvas, bool wrap, int windowWidth)
{
    doc_.PaintFlags = kPrintFlags;
    doc_.PaintFlags2 = kPrintFlags2;
    doc_.PaintFlags3 = kPrintFlags3;
    if (wrap)
        doc_.PaintFlags &= static_cast<uint8_t>(~kPaintFixedWidth);
    doc_.WrapToWindow = wrap ? 1 : 0;
    doc_.WindowWidth = windowWidth;
    doc_.ScrollX = 0;
    doc_.ScrollY = 0;
    setCanvasAndLayout(doc_, &canvas);
    doc_.SetWindowWidth(windowWidth);
    canvas.ClearClip();
}

// ---------------------------------------------------------------------------
// Pages

TQnPrintOutcome PrintDocumentPages(TQnRTFTextPaint &doc, TQnPrintTarget &target,
                                   const TQnPrintBandEvent &header, const TQnPrintBandEvent &footer,
                                   const std::function<bool()> &abortRequested)
{
    TQnPrintOutcome outcome;
    Canvas *canvas = target.PageCanvas();
    if (!canvas)
        return outcome;
    TQnPaintStateKeeper keeper(doc);
    const TTextHeader &h = *doc.Header;
    const int ppiX = canvas->PixelsPerInchX(), ppiY = canvas->PixelsPerInchY();
    const int areaWidth = MulDiv(h.PageWidth - h.MarginLeft - h.MarginRight, ppiX, 1440);
    keeper.SwitchToPrinter(*canvas, false, areaWidth);
    doc.OriginX = MulDiv(h.MarginLeft, ppiX, 1440) - target.OffsetX();
    doc.OriginY = MulDiv(h.MarginTop, ppiY, 1440) - target.OffsetY();
    doc.WindowHeight = MulDiv(h.PageHeight - h.MarginTop - h.MarginBottom, ppiY, 1440);

    const int layoutWidth = h.LayoutWidthPixels;
    const int footerTop = doc.OriginY + doc.WindowHeight;
    int page = 1, line = 1;
    auto callHeader = [&] {
        if (header)
            header(*canvas, doc.OriginX, 0, layoutWidth, doc.OriginY, page, line);
    };
    auto callFooter = [&] {
        if (footer)
            footer(*canvas, doc.OriginX, footerTop, layoutWidth,
                   std::max(0, target.PrintableHeight() - footerTop), page, line);
    };

    callHeader();
    int pageTop = 0; // document y printed at the top of the current page
    for (TParagraph *p = doc.FirstParagraph; p && !outcome.Aborted; p = p->Next) {
        for (TLine *l = p->Lines; l; l = l->Next) {
            // Nothing printed on this page yet: no break, whatever asks for one.
            bool newPage = false;
            if (l->Top > pageTop) {
                if (l == p->Lines && (p->ParFlags & kParPageBreak))
                    newPage = true;
                else if (!p->IsTableCell())
                    newPage = l->Top + l->Height - pageTop > doc.WindowHeight;
                else if (l == p->Lines && startsRow(p))
                    newPage = rowBottom(p) - pageTop > doc.WindowHeight;
            }
            if (newPage) {
                callFooter();
                target.NewPage();
                ++page;
                callHeader();
                doc.ScrollY = pageTop = l->Top;
            }
            doc.PaintLine(p, l);
            ++line;
            if (abortRequested && abortRequested()) {
                outcome.Aborted = true;
                break;
            }
        }
    }
    if (!outcome.Aborted)
        callFooter();
    outcome.Pages = page;
    outcome.Lines = line - 1;
    return outcome;
}

// ---------------------------------------------------------------------------
// Lines into an area

int PrintDocumentLines(TQnRTFTextPaint &doc, Canvas &canvas, int x, int mode, int firstLine,
                       int height, int width, int y)
{
    TQnPaintStateKeeper keeper(doc);
    keeper.SwitchToPrinter(canvas, true, width);
    doc.OriginX = x;
    doc.OriginY = y;
    doc.WindowHeight = height;
    int index = 0;
    bool started = false;
    int startTop = 0;
    for (TParagraph *p = doc.FirstParagraph; p; p = p->Next)
        for (TLine *l = p->Lines; l; l = l->Next, ++index) {
            if (index < firstLine)
                continue;
            // A paragraph that starts a page starts the caller's next one.
            if (started && l == p->Lines && (p->ParFlags & kParPageBreak))
                return index;
            if (!started) {
                started = true;
                startTop = l->Top;
                doc.ScrollY = startTop;
                if (mode == 1) {
                    doc.PaintLine(p, l);
                    continue;
                }
            }
            if (l->Top + l->Height - startTop > height)
                return index;
            if (mode == 1)
                doc.PaintLine(p, l);
        }
    return 0;
}

} // namespace qn
