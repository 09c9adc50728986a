// The editor control: its parts, the document's hooks, the backing image,
// the drawn caret, focus, size and the font binding.
#include "richtext/controls/rtf_edit.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QFocusEvent>
#include <QInputMethod>
#include <QMimeData>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>

#include <algorithm>
#include <stdexcept>

#include "platform/qt/qt_canvas.h"
#include "platform/qt/qt_text.h"
#include "platform/winmath.h"
#include "richtext/controls/rtf_edit_accessible.h"
#include "richtext/io/rtf_reader.h"

namespace qn {

const char *const TQnCustomRtfEdit::kRtfMimeTypes[2] = {"text/rtf", "application/rtf"};

TQnCustomRtfEdit::TQnCustomRtfEdit(QWidget *parent) : QWidget(parent)
{
    InstallRtfEditAccessibility();
    Document = std::make_unique<TQnRTFTextInput>();
    Caret = std::make_unique<TCaret>();
    Caret->Owner = this;
    Finder = std::make_unique<TQnTextFinder>(Document.get());
    undo_ = std::make_unique<UndoHistory>(*Document);
    Strings = std::make_unique<TQnRtfStrings>(*Document);

    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_InputMethodEnabled);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::IBeamCursor);
    setMouseTracking(true);
    // Drops are weighed by DragAndDropSupport when they come.
    setAcceptDrops(true);

    vBar_ = new QScrollBar(Qt::Vertical, this);
    hBar_ = new QScrollBar(Qt::Horizontal, this);
    for (QScrollBar *bar : {vBar_, hBar_}) {
        bar->setRange(0, 0);
        bar->setFocusPolicy(Qt::NoFocus);
        bar->hide();
    }
    connect(vBar_, &QScrollBar::actionTriggered, this, [this](int a) { vBarAction(a); });
    connect(hBar_, &QScrollBar::actionTriggered, this, [this](int a) { hBarAction(a); });
    connect(vBar_, &QScrollBar::sliderReleased, this,
            [this] { vBarAction(QAbstractSlider::SliderNoAction); });
    connect(hBar_, &QScrollBar::sliderReleased, this,
            [this] { hBarAction(QAbstractSlider::SliderNoAction); });

    blinkTimer_.setTimerType(Qt::CoarseTimer);
    connect(&blinkTimer_, &QTimer::timeout, this, [this] {
        caretBlinkOn_ = !caretBlinkOn_;
        update(drawnCaretRect().translated(clientOrigin()));
    });
    autoScrollTimer_.setInterval(50);
    connect(&autoScrollTimer_, &QTimer::timeout, this, [this] { autoScrollStep(); });
    primaryTimer_.setSingleShot(true);
    primaryTimer_.setInterval(150);
    connect(&primaryTimer_, &QTimer::timeout, this, [this] { offerPrimarySelection(); });
    connect(QApplication::clipboard(), &QClipboard::dataChanged, this, [this] {
        if (hasFocus())
            EditStateChanged();
    });

    bindDocument();
    resize(100, 100);
    resizeBacking();
    applyFont();
}

TQnCustomRtfEdit::~TQnCustomRtfEdit()
{
    // The document must not paint into the image while the parts go.
    Document->SetCanvas(nullptr);
    Document->AfterPaint = nullptr;
    Document->CaretPlaced = nullptr;
    Document->SpareHook = nullptr;
    Document->HorizontalChanged = nullptr;
    Document->VerticalChanged = nullptr;
    undo_.reset();
    Strings.reset();
    Finder.reset();
    Caret.reset();
    Document.reset();
    canvas_.reset();
}

void TQnCustomRtfEdit::bindDocument()
{
    TQnRTFTextInput &d = *Document;
    d.BackgroundColor = color_;
    // The control shows automatic page breaks unless told otherwise.
    d.PaintFlags &= static_cast<uint8_t>(~kPaintNoAutoBreakMarks);
    // The caret is drawn over the image, so painting need not hide it.
    d.AfterPaint = [this] { afterPaint(); };
    d.CaretPlaced = [this] { placeCaret(); };
    d.SpareHook = [this] { EditStateChanged(); };
    d.HorizontalChanged = [this] {
        UpdateHorzScrollBar();
        update(ClientRect());
    };
    d.VerticalChanged = [this] {
        UpdateVertScrollBar();
        update(ClientRect());
    };
}

// ---------------------------------------------------------------------------
// Geometry and the backing image

QPoint TQnCustomRtfEdit::clientOrigin() const
{
    return QPoint(frameWidth(), frameWidth());
}

QRect TQnCustomRtfEdit::ClientRect() const
{
    const int f = frameWidth();
    int w = width() - 2 * f, h = height() - 2 * f;
    if (vBar_->isVisibleTo(this))
        w -= vBar_->sizeHint().width();
    if (hBar_->isVisibleTo(this))
        h -= hBar_->sizeHint().height();
    return QRect(f, f, std::max(w, 1), std::max(h, 1));
}

void TQnCustomRtfEdit::resizeBacking()
{
    const int f = frameWidth();
    const QSize inner(std::max(width() - 2 * f, 1), std::max(height() - 2 * f, 1));
    // The image only grows, so that the canvas and its fonts survive most resizes.
    if (backing_.isNull() || backing_.width() < inner.width() ||
        backing_.height() < inner.height()) {
        Document->SetCanvas(nullptr);
        canvas_.reset();
        const QSize grown(std::max(inner.width(), backing_.isNull() ? 0 : backing_.width()),
                          std::max(inner.height(), backing_.isNull() ? 0 : backing_.height()));
        backing_ = QImage(grown, QImage::Format_RGB32);
        backing_.fill(palette().color(QPalette::Base));
        canvas_ = std::make_unique<QtCanvas>(&backing_, logicalDpiX(), logicalDpiY());
        canvas_->SetPalette(palette());
        Document->SetCanvas(canvas_.get());
    }
    layoutClient();
}

void TQnCustomRtfEdit::layoutClient()
{
    const int f = frameWidth();
    const bool v = vBar_->isVisibleTo(this), h = hBar_->isVisibleTo(this);
    const int vw = v ? vBar_->sizeHint().width() : 0;
    const int hh = h ? hBar_->sizeHint().height() : 0;
    if (v)
        vBar_->setGeometry(width() - f - vw, f, vw, height() - 2 * f - hh);
    if (h)
        hBar_->setGeometry(f, height() - f - hh, width() - 2 * f - vw, hh);
    const QRect client = ClientRect();
    TQnRTFTextInput &d = *Document;
    d.OriginX = 0;
    d.OriginY = 0;
    d.SetWindowHeight(client.height());
    d.SetWindowWidth(client.width());
}

void TQnCustomRtfEdit::resizeEvent(QResizeEvent *)
{
    resizeBacking();
    barsChanged();
    Document->PaintAll();
    placeCaret();
    update();
}

void TQnCustomRtfEdit::Repaint()
{
    Document->PaintAll();
    update(ClientRect());
}

void TQnCustomRtfEdit::afterPaint()
{
    if (canvas_ && canvas_->HasClip()) {
        const CanvasRect r = canvas_->ClipRect();
        update(QRect(r.Left, r.Top, r.Width(), r.Height())
                   .translated(clientOrigin())
                   .intersected(ClientRect()));
    } else {
        update(ClientRect());
    }
}

void TQnCustomRtfEdit::paintEvent(QPaintEvent *event)
{
    QPainter p(this);
    const QRect client = ClientRect();
    const QRect dirty = event->rect().intersected(client);
    if (!dirty.isEmpty())
        p.drawImage(dirty.topLeft(), backing_, dirty.translated(-client.topLeft()));
    if (!dirty.isEmpty()) {
        p.save();
        p.setClipRect(dirty);
        PaintOverlay(p, client.topLeft(), dirty);
        paintPreedit(p, client.topLeft());
        p.restore();
    }

    if (selectedObject_ && !selectedObjectRect_.isEmpty()) {
        const QRect r = selectedObjectRect_.translated(client.topLeft());
        p.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DashLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(r.adjusted(0, 0, -1, -1));
        p.fillRect(QRect(r.right() - 5, r.bottom() - 5, 6, 6),
                   palette().color(QPalette::Highlight));
    }

    const QRect caret = drawnCaretRect();
    if (caretShown_ && caretBlinkOn_ && !caret.isEmpty()) {
        // Inverted like the system caret, so it shows on any background.
        p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        p.fillRect(caret.translated(client.topLeft()).intersected(client), Qt::white);
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }

    const int f = frameWidth();
    if (f > 0) {
        // The sunken client edge; its inner ring shows the focus.
        const QRect outer = rect();
        p.setPen(palette().color(QPalette::Mid));
        p.drawLine(outer.topLeft(), outer.topRight());
        p.drawLine(outer.topLeft(), outer.bottomLeft());
        p.setPen(palette().color(QPalette::Light));
        p.drawLine(outer.bottomLeft(), outer.bottomRight());
        p.drawLine(outer.topRight(), outer.bottomRight());
        p.setPen(hasFocus() ? palette().color(QPalette::Highlight)
                            : palette().color(QPalette::Dark));
        p.drawRect(outer.adjusted(1, 1, -2, -2));
    } else if (hasFocus()) {
        p.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    if (vBar_->isVisibleTo(this) && hBar_->isVisibleTo(this))
        p.fillRect(QRect(vBar_->x(), hBar_->y(), vBar_->width(), hBar_->height()),
                   palette().color(QPalette::Button));
}

// ---------------------------------------------------------------------------
// The caret

void TQnCustomRtfEdit::placeCaret()
{
    const TQnRTFTextInput &d = *Document;
    int x = d.CaretX + d.ScrollX;
    const int y = d.CaretTop - d.ScrollY;
    const QRect client = ClientRect();
    if (x < 0 || x >= client.width() || y + d.CaretHeight <= 0 || y >= client.height())
        x = -10;
    Caret->SetPosSize(x, y, d.CaretWidth, d.CaretHeight);
    if (QAccessible::isActive())
        RtfEditAccessible::CaretMoved(this);
    if (hasFocus())
        QGuiApplication::inputMethod()->update(Qt::ImQueryInput);
}

void TQnCustomRtfEdit::CreateCaret(int width, int height)
{
    update(caretRect_.translated(clientOrigin()));
    caretRect_.setSize(QSize(std::max(width, 1), std::max(height, 1)));
    caretCreated_ = true;
    caretShown_ = false;
}

void TQnCustomRtfEdit::DestroyCaret()
{
    update(caretRect_.translated(clientOrigin()));
    caretCreated_ = false;
    caretShown_ = false;
    blinkTimer_.stop();
}

void TQnCustomRtfEdit::SetCaretPos(int x, int y)
{
    update(caretRect_.translated(clientOrigin()));
    caretRect_.moveTo(x, y);
    // A caret that moves shows at once, as the system caret does.
    caretBlinkOn_ = true;
    update(caretRect_.translated(clientOrigin()));
    updatePreeditArea();
}

void TQnCustomRtfEdit::ShowCaret()
{
    if (!caretCreated_ || caretDisabled_)
        return;
    caretShown_ = true;
    caretBlinkOn_ = true;
    const int flash = QApplication::cursorFlashTime();
    if (flash > 0)
        blinkTimer_.start(flash / 2);
    else
        blinkTimer_.stop();
    update(caretRect_.translated(clientOrigin()));
}

QRect TQnCustomRtfEdit::CaretRect() const
{
    if (!caretShown_ || caretRect_.x() < 0)
        return QRect();
    return caretRect_.translated(clientOrigin());
}

void TQnCustomRtfEdit::SetCaretDisabled(bool on)
{
    caretDisabled_ = on;
    Caret->Suppress(on);
    if (!on && hasFocus()) {
        Document->PlaceCaret();
        Caret->Show();
    }
}

void TQnCustomRtfEdit::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    Caret->Enable(this);
    Document->PlaceCaret();
    placeCaret();
    Caret->Show();
    EditStateChanged();
    update();
}

void TQnCustomRtfEdit::focusOutEvent(QFocusEvent *event)
{
    QWidget::focusOutEvent(event);
    Caret->Disable();
    update();
}

// ---------------------------------------------------------------------------
// Properties

void TQnCustomRtfEdit::SetBorderStyle(TBorderStyle style)
{
    if (style == borderStyle_)
        return;
    borderStyle_ = style;
    resizeBacking();
    barsChanged();
    Repaint();
}

void TQnCustomRtfEdit::SetScrollBars(TScrollStyle bars)
{
    scrollBars_ = bars;
    barsChanged();
}

void TQnCustomRtfEdit::SetWordWrap(bool on)
{
    Document->SetWrapToWindow(on);
    barsChanged();
    Document->ShowCaret();
    Repaint();
}

void TQnCustomRtfEdit::SetShowPageBreak(bool on)
{
    if (on)
        Document->PaintFlags &= static_cast<uint8_t>(~kPaintNoAutoBreakMarks);
    else
        Document->PaintFlags |= kPaintNoAutoBreakMarks;
    Repaint();
}

void TQnCustomRtfEdit::SetColor(ColorRef color)
{
    color_ = color;
    Document->BackgroundColor = color;
    applyFont();
}

void TQnCustomRtfEdit::SetFontColor(ColorRef color)
{
    fontColor_ = color;
    applyFont();
}

void TQnCustomRtfEdit::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        // A theme or desktop font change must not wipe an entry: a document
        // with text is only measured again.
        if (Document->IsEmpty()) {
            applyFont();
        } else {
            Document->ReformatAll();
            Document->ShowCaret();
            Repaint();
        }
    } else if (event->type() == QEvent::PaletteChange && canvas_) {
        canvas_->SetPalette(palette());
        Repaint();
    }
}

void TQnCustomRtfEdit::applyFont()
{
    TQnRTFTextInput &d = *Document;
    d.Clear();
    const QFont f = font();
    std::optional<std::string> name = QStringToAnsi(f.family());
    d.Header->FontNames[0] = name && !name->empty() ? name->substr(0, kFontNameMax) : "Arial";
    int points = f.pointSize();
    if (points <= 0)
        points = MulDiv(f.pixelSize(), 72, std::max(1, logicalDpiY()));
    auto firstEntry = [&](ColorRef color) {
        for (int i = 0; i < 15; ++i)
            if (d.Header->Colors[i] == color)
                return i;
        return -1;
    };
    TCharAttr a = d.CurrentAttr;
    a.Size = static_cast<uint8_t>(std::clamp(points, 1, 255));
    a.FontIndex = 0;
    const int text = firstEntry(fontColor_);
    const int back = firstEntry(color_);
    a.Colors = static_cast<uint8_t>((text < 0 ? 0 : text) | ((back < 0 ? 0 : back) << 4));
    a.Style = static_cast<uint16_t>(a.Style & ~(kStyleBold | kStyleItalic | kStyleUnderline));
    if (f.bold())
        a.Style |= kStyleBold;
    if (f.italic())
        a.Style |= kStyleItalic;
    if (f.underline())
        a.Style |= kStyleUnderline;
    d.SetCurrentAttr(a);
    d.InsertAttr = a;
    d.ReformatAll();
    d.ShowCaret();
    Repaint();
}

// ---------------------------------------------------------------------------
// Editing state

bool TQnCustomRtfEdit::BeginEdit()
{
    if (Document->ReadOnly || !Document->Created || !Document->FirstParagraph)
        return false;
    Modified = true;
    return true;
}

void TQnCustomRtfEdit::Changed()
{
    if (QAccessible::isActive())
        RtfEditAccessible::TextChanged(this);
    if (OnChange)
        OnChange(this);
    // Typing over a selection, a cut or a paste ends the block: Cut and Copy
    // follow at once.
    if (BlockMarked() != lastBlockReported_)
        EditStateChanged();
}

bool TQnCustomRtfEdit::BlockMarked() const
{
    const TQnRTFTextInput &d = *Document;
    if (!d.BlockStarted || !d.BlockAnchor.Line || !d.BlockEnd.Line)
        return false;
    return d.BlockAnchor.Line != d.BlockEnd.Line || d.BlockAnchor.Offset != d.BlockEnd.Offset;
}

void TQnCustomRtfEdit::EditStateChanged()
{
    lastBlockReported_ = BlockMarked();
    // The X primary selection follows the selection once it rests.
    if (lastBlockReported_)
        primaryTimer_.start();
    if (!EditStateEvent)
        return;
    EditStateEvent(this, lastBlockReported_, CanPaste(QApplication::clipboard()->mimeData()));
}

void TQnCustomRtfEdit::ClearSelection()
{
    const bool had = Document->BlockStarted;
    Document->DropBlock();
    if (had) {
        Repaint();
        EditStateChanged();
    }
}

void TQnCustomRtfEdit::DeleteSelection()
{
    UndoRecord record(*this, UndoKind::Other);
    if (Document->DeleteBlock()) {
        Document->FormatAll();
        Document->ShowCaret();
        Repaint();
        EditStateChanged();
    }
}

void TQnCustomRtfEdit::FastAppendText(TQnCustomRtfEdit &source)
{
    if (&source == this)
        throw std::invalid_argument("Cannot perform FastAppendText(self)");
    TQnMemoryStream rtf;
    const uint8_t savedFormat = source.Document->SaveFormat;
    source.Document->SaveFormat = kFormatRtf;
    source.Document->SaveToStream(rtf);
    source.Document->SaveFormat = savedFormat;
    TQnRTFTextInput &d = *Document;
    UndoRecord record(*this, std::max(d.ParagraphCount() - 1, 0), -1);
    d.DropBlock();
    rtf.Seek(0);
    TParagraph *last = d.LastParagraph();
    if (last && !d.IsEmpty()) {
        // Behind existing text the copy's paragraphs follow as they are, so
        // that its first paragraph keeps its own alignment, indents,
        // spacing, tabs and page break.
        appendParagraphsOf(rtf);
    } else {
        if (last)
            d.Cursor = TTextPos{last, last->LastLine(), last->LastLine()->Length};
        TQnRtfReader reader;
        d.ReadWithReader(&rtf, &reader);
    }
    d.FormatAll();
    barsChanged();
    d.ShowCaret();
    Repaint();
}

void TQnCustomRtfEdit::appendParagraphsOf(TQnStream &rtf)
{
    TQnRTFTextInput &d = *Document;
    TQnRtfReader reader;
    reader.Header = d.Header.get();
    reader.Document = &d;
    reader.Paragraph = nullptr;
    reader.InsertInto = true;
    TParagraph *first = nullptr;
    try {
        reader.Read(rtf, first);
    } catch (...) {
        if (d.ReadingChain == first)
            d.ReadingChain = nullptr;
        TQnRTFText::FreeParagraphChain(first);
        throw;
    }
    if (d.ReadingChain == first)
        d.ReadingChain = nullptr;
    if (!first || !first->Lines) {
        TQnRTFText::FreeParagraphChain(first);
        return;
    }
    TParagraph *last = d.LastParagraph();
    last->Next = first;
    first->Prev = last;
    TParagraph *end = first;
    for (TParagraph *p = first; p; p = p->Next) {
        p->State |= kStateRebreak | kStateRepaint;
        end = p;
    }
    d.Cursor = TTextPos{end, end->LastLine(), end->LastLine()->Length};
}

// ---------------------------------------------------------------------------
// Text as the outside world sees it

QString TQnCustomRtfEdit::PlainText() const
{
    QString text;
    for (const TParagraph *p = Document->FirstParagraph; p; p = p->Next) {
        if (p != Document->FirstParagraph)
            text += QLatin1Char('\n');
        text += TextToQString(TQnRTFText::ParagraphText(p));
    }
    return text;
}

int TQnCustomRtfEdit::CursorAbsolutePosition() const
{
    int position = 0, line = 0, paragraph = 0, offset = 0;
    if (Document->CursorIsValid())
        Document->GetCursorPosition(position, line, paragraph, offset);
    return position;
}

} // namespace qn
