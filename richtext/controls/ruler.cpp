// The ruler: scale, tab stops and indent markers, and what the mouse does
// with them.
#include "richtext/controls/ruler.h"

#include "richtext/controls/controls_accessible.h"

#include <QAccessible>

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cstdlib>

#include "platform/winmath.h"
#include "richtext/controls/rich_text.h"

namespace qn {

namespace {

QColor qcolorOf(ColorRef c)
{
    if (IsSystemColor(c))
        c = DefaultSystemColor(c);
    return QColor(RedOf(c), GreenOf(c), BlueOf(c));
}

constexpr double kInchesPerCentimetre = 0.39370078740157480316;
// A tab pressed and released within this many pixels was clicked, not dragged.
constexpr int kClickSlack = 2;
// A tab dragged this far above or below the ruler is taken off.
constexpr int kTabOffDistance = 6;

} // namespace

TQnRuler::TQnRuler(QWidget *parent) : QWidget(parent)
{
    InstallControlsAccessibility();
    resize(200, 20);
    setMouseTracking(true);
    ownHeader_.UseInch = 0;
    savedCursor_ = cursor();
}

TQnRuler::~TQnRuler()
{
    if (editor_)
        editor_->RemoveLink(static_cast<TQnRulerControlLink *>(this));
}

// ---------------------------------------------------------------------------
// Properties and links

void TQnRuler::SetUnits(PTQnRulerUnit units)
{
    units_ = units;
    header_->UseInch = units == Inch ? 1 : 0;
    update();
}

void TQnRuler::SetXOffset(int offset)
{
    xOffset_ = offset;
    update();
}

void TQnRuler::SetShowNumbers(bool on)
{
    showNumbers_ = on;
    update();
}

void TQnRuler::SetShowAllTabs(bool on)
{
    showAllTabs_ = on;
    update();
}

void TQnRuler::SetScrollOffset(int scrollX)
{
    if (scrollX == xOffset_)
        return;
    xOffset_ = scrollX;
    update();
}

void TQnRuler::RepaintRuler()
{
    update();
    announce();
}

void TQnRuler::announce()
{
    if (!QAccessible::isActive())
        return;
    const QString now = RulerDescription(*this);
    if (now == announced_)
        return;
    announced_ = now;
    QAccessibleEvent changed(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&changed);
}

void TQnRuler::SetHeader(TTextHeader *header)
{
    header_ = header ? header : &ownHeader_;
    header_->UseInch = units_ == Inch ? 1 : 0;
    update();
}

void TQnRuler::SetEditorOffset(int offset)
{
    if (offset == editorOffset_)
        return;
    editorOffset_ = offset;
    update();
}

void TQnRuler::SetIndents(int32_t first, int32_t left, int32_t right)
{
    const int oldFirst = MarkerX(kMarkerFirst), oldLeft = MarkerX(kMarkerLeft),
              oldRight = MarkerX(kMarkerRight);
    TTextHeader &h = *header_;
    h.RulerFirstIndent = std::max(0, first);
    h.RulerLeftIndent = std::max(0, left);
    h.RulerRightIndent = std::max(0, right);
    repaintBand(oldFirst, MarkerX(kMarkerFirst));
    repaintBand(oldLeft, MarkerX(kMarkerLeft));
    repaintBand(oldRight, MarkerX(kMarkerRight));
    announce();
}

void TQnRuler::BindEditor(TQnCustomRichText *editor)
{
    editor_ = editor;
}

void TQnRuler::UnbindEditor(TQnCustomRichText *editor)
{
    if (editor_ == editor) {
        editor_ = nullptr;
        header_ = &ownHeader_;
        update();
    }
}

// ---------------------------------------------------------------------------
// Geometry

int TQnRuler::MarkerSize() const
{
    int size = height() / 3;
    if (size < 2)
        return 4;
    if (size % 2)
        ++size;
    return size;
}

int TQnRuler::HandleHeight() const
{
    return std::max(3, MarkerSize() / 2);
}

int TQnRuler::pixelsPerInch() const
{
    return header_->PixelsPerInchX > 0 ? header_->PixelsPerInchX : logicalDpiX();
}

int TQnRuler::textWidth() const
{
    const TTextHeader &h = *header_;
    if (h.LayoutWidthPixels > 0)
        return h.LayoutWidthPixels;
    if (h.TextAreaWidthPixels > 0)
        return h.TextAreaWidthPixels;
    return MulDiv(h.PageWidth - h.MarginLeft - h.MarginRight, pixelsPerInch(), 1440);
}

int TQnRuler::indentWidth() const
{
    const TTextHeader &h = *header_;
    return h.TextAreaWidthPixels > 0 ? h.TextAreaWidthPixels : textWidth();
}

int TQnRuler::XOfTwips(int32_t twips) const
{
    return MulDiv(twips, pixelsPerInch(), 1440) + base();
}

int32_t TQnRuler::TwipsOfX(int x) const
{
    const int32_t twips = MulDiv(x - base(), 1440, pixelsPerInch());
    return twips <= 0 ? 0 : header_->SnapTwips(twips);
}

int TQnRuler::MarkerX(int marker) const
{
    const TTextHeader &h = *header_;
    const int p = pixelsPerInch();
    switch (marker) {
    case kMarkerRight:
        // The layout counts the right indent from the page's text width and
        // breaks at the window's edge when that comes first.
        return std::min(textWidth(), indentWidth() - MulDiv(h.RulerRightIndent, p, 1440)) + base();
    case kMarkerLeft:
        return MulDiv(h.RulerLeftIndent, p, 1440) + base();
    case kMarkerFirst:
        return MulDiv(h.RulerFirstIndent, p, 1440) + base();
    default:
        return 0;
    }
}

QRect TQnRuler::MarkerRect(int marker) const
{
    const int size = MarkerSize();
    int x = MarkerX(marker);
    if (marker == kMarkerRight)
        x = std::min(x, textWidth() + base());
    const int top = marker == kMarkerFirst ? 0 : height() - size - HandleHeight() - 1;
    const int bottom = marker == kMarkerFirst ? size : height();
    return QRect(x - size / 2, top, size + 1, bottom - top);
}

int TQnRuler::markerAt(QPoint at) const
{
    for (int marker : {kMarkerRight, kMarkerLeft, kMarkerFirst})
        if (MarkerRect(marker).contains(at))
            return marker;
    return kMarkerNone;
}

void TQnRuler::repaintBand(int oldX, int newX)
{
    if (oldX == newX)
        return;
    const int from = std::min(oldX, newX) - MarkerSize() - 2;
    const int to = std::max(oldX, newX) + MarkerSize() + 3;
    update(QRect(from, 0, to - from, height()));
}

// ---------------------------------------------------------------------------
// Indents

bool TQnRuler::trySetIndents(int32_t first, int32_t left, int32_t right)
{
    TTextHeader &h = *header_;
    first = std::max(0, first);
    left = std::max(0, left);
    right = std::max(0, right);
    const int p = pixelsPerInch();
    const int rightX = std::min(textWidth(), indentWidth() - MulDiv(right, p, 1440));
    if (rightX < MulDiv(left, p, 1440) || rightX < MulDiv(first, p, 1440))
        return false;
    h.RulerFirstIndent = first;
    h.RulerLeftIndent = left;
    h.RulerRightIndent = right;
    return true;
}

void TQnRuler::dragMarkerTo(int x)
{
    TTextHeader &h = *header_;
    const int32_t t = TwipsOfX(x);
    int32_t first = h.RulerFirstIndent, left = h.RulerLeftIndent, right = h.RulerRightIndent;
    switch (dragMarker_) {
    case kMarkerRight:
        right = MulDiv(indentWidth(), 1440, pixelsPerInch()) - t;
        break;
    case kMarkerLeft:
        if (dragBoth_)
            first = std::max(0, first + (t - left));
        left = t;
        break;
    case kMarkerFirst:
        first = t;
        break;
    default:
        return;
    }
    if (first == h.RulerFirstIndent && left == h.RulerLeftIndent && right == h.RulerRightIndent)
        return;
    const int oldX = MarkerX(dragMarker_), oldFirstX = MarkerX(kMarkerFirst);
    if (!trySetIndents(first, left, right))
        return;
    repaintBand(oldX, MarkerX(dragMarker_));
    repaintBand(oldFirstX, MarkerX(kMarkerFirst));
    reportIndents(true);
}

void TQnRuler::reportIndents(bool changing)
{
    const int marker = dragMarker_;
    if (changing && WhileSelection)
        WhileSelection(this, snRulerIndents, kRulerGroup, marker, true);
    if (!changing && OnSelection)
        OnSelection(this, snRulerIndents, kRulerGroup, marker, false);
    if (editor_)
        editor_->RulerIndents(changing);
}

// ---------------------------------------------------------------------------
// Tabs

int TQnRuler::tabNear(int32_t twips) const
{
    const TTextHeader &h = *header_;
    const int32_t tolerance = h.TabSnapStep() / 2;
    int best = -1;
    for (int slot = 0; slot < kTabSlots; ++slot) {
        if (!(h.RulerTabMask & (1u << slot)) || h.TabPosTwips[slot] <= 0)
            continue;
        const int32_t distance = std::abs(h.TabPosTwips[slot] - twips);
        if (distance <= tolerance && (best < 0 || distance < std::abs(h.TabPosTwips[best] - twips)))
            best = slot;
    }
    return best;
}

void TQnRuler::addTab(int32_t twips, TTabKind kind)
{
    if (!editor_)
        return;
    // Taking a tab slot belongs to the step that sets the tab.
    TQnCustomRtfEdit::UndoRecord record(*editor_, UndoKind::Other);
    const uint32_t mask = editor_->Document->AddTab(twips, kind == tkAll ? tkLeft : kind);
    if (mask)
        editor_->RulerTab(mask, false);
}

void TQnRuler::removeTab(int slot)
{
    if (editor_ && slot >= 0)
        editor_->RulerTab(1u << slot, true);
}

void TQnRuler::tabClick(int32_t twips)
{
    if (!editor_ || twips <= 0 || twips > MulDiv(textWidth(), 1440, pixelsPerInch()))
        return;
    const int slot = tabNear(twips);
    if (slot < 0) {
        addTab(twips, NewTabKind);
    } else if (NewTabKind != tkAll) {
        removeTab(slot);
    } else {
        // Left, right, centre, decimal, then gone.
        const TTextHeader &h = *header_;
        const uint8_t kind = h.TabKind[slot];
        const int32_t position = h.TabPosTwips[slot];
        removeTab(slot);
        if (kind < tkDecimal)
            addTab(position, TTabKind(kind + 1));
    }
    update();
}

void TQnRuler::moveTab(int slot, int32_t twips)
{
    const TTextHeader &h = *header_;
    if (!editor_ || twips <= 0 || twips > MulDiv(textWidth(), 1440, pixelsPerInch()) ||
        twips == h.TabPosTwips[slot])
        return;
    const TTabKind kind = TTabKind(h.TabKind[slot]);
    removeTab(slot);
    addTab(twips, kind);
}

// ---------------------------------------------------------------------------
// Mouse

void TQnRuler::mousePressEvent(QMouseEvent *event)
{
    const QPoint at = event->position().toPoint();
    if (OnMouseDown)
        OnMouseDown(this, event->button(), event->modifiers(), at);
    if (event->button() != Qt::LeftButton)
        return;
    pressPoint_ = at;
    dragMarker_ = markerAt(at);
    if (dragMarker_ != kMarkerNone) {
        dragBoth_ = false;
        if (dragMarker_ == kMarkerLeft) {
            const int top = MarkerRect(kMarkerLeft).top();
            dragBoth_ = at.y() - top >= MarkerSize() || (event->modifiers() & Qt::ShiftModifier);
        }
        return;
    }
    const int32_t twips = MulDiv(at.x() - base(), 1440, pixelsPerInch());
    const int slot = tabNear(twips);
    if (slot >= 0) {
        // Pressed on a tab: a click changes its kind, a drag moves or removes it.
        dragTab_ = slot;
        dragTabX_ = XOfTwips(header_->TabPosTwips[slot]);
        dragTabOff_ = false;
        return;
    }
    tabClick(TwipsOfX(at.x()));
}

void TQnRuler::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint at = event->position().toPoint();
    if (OnMouseMove)
        OnMouseMove(this, event->modifiers(), at);
    if (dragMarker_ != kMarkerNone) {
        dragMarkerTo(at.x());
        return;
    }
    if (dragTab_ >= 0) {
        const int oldX = dragTabX_;
        dragTabOff_ = at.y() < -kTabOffDistance || at.y() > height() + kTabOffDistance;
        dragTabX_ = XOfTwips(TwipsOfX(at.x()));
        repaintBand(oldX, dragTabX_);
        update(QRect(oldX - 6, 0, 13, height()));
        return;
    }
    const bool over = markerAt(at) != kMarkerNone;
    if (over != overMarker_) {
        overMarker_ = over;
        if (over) {
            savedCursor_ = cursor();
            setCursor(Qt::SizeHorCursor);
        } else {
            setCursor(savedCursor_);
        }
    }
}

void TQnRuler::mouseReleaseEvent(QMouseEvent *event)
{
    const QPoint at = event->position().toPoint();
    if (OnMouseUp)
        OnMouseUp(this, event->button(), event->modifiers(), at);
    if (event->button() != Qt::LeftButton)
        return;
    if (dragMarker_ != kMarkerNone) {
        const int x = MarkerX(dragMarker_);
        reportIndents(false);
        update(QRect(x - 20, 0, 41, height()));
        dragMarker_ = kMarkerNone;
    } else if (dragTab_ >= 0) {
        const int slot = dragTab_;
        dragTab_ = -1;
        const bool off = at.y() < -kTabOffDistance || at.y() > height() + kTabOffDistance;
        if (off)
            removeTab(slot);
        else if (std::abs(at.x() - pressPoint_.x()) <= kClickSlack)
            tabClick(header_->TabPosTwips[slot]);
        else
            moveTab(slot, TwipsOfX(at.x()));
        update();
    }
    if (rect().contains(at) && OnClick)
        OnClick(this);
}

// ---------------------------------------------------------------------------
// Painting

void TQnRuler::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QColor face = qcolorOf(kSysColorButtonFace), shadow = qcolorOf(kSysColorButtonShadow);
    p.fillRect(rect(), face);
    QRect r = rect().adjusted(0, 0, -1, -1);
    auto bevel = [&](TToolBevel cut) {
        if (cut == TToolBevel::bvNone)
            return;
        p.setPen(cut == TToolBevel::bvRaised ? Qt::white : shadow);
        p.drawLine(r.topLeft(), r.topRight());
        p.drawLine(r.topLeft(), r.bottomLeft());
        p.setPen(cut == TToolBevel::bvRaised ? shadow : Qt::white);
        p.drawLine(r.bottomLeft(), r.bottomRight());
        p.drawLine(r.topRight(), r.bottomRight());
        r.adjust(1, 1, -1, -1);
    };
    bevel(BevelOuter);
    bevel(BevelInner);

    const int left = base(), right = base() + textWidth();
    if (left > 4) {
        p.setPen(shadow);
        p.drawLine(left - 1, r.top(), left - 1, r.bottom());
        p.setPen(Qt::white);
        p.drawLine(left, r.top(), left, r.bottom());
    }
    p.setPen(shadow);
    p.drawLine(right, r.top(), right, r.bottom());
    p.setPen(Qt::white);
    p.drawLine(right + 1, r.top(), right + 1, r.bottom());

    paintScale(p, height() / 2, right);

    const TTextHeader &h = *header_;
    for (int slot = 0; slot < kTabSlots; ++slot) {
        const int32_t position = h.TabPosTwips[slot];
        if (position <= 0 || slot == dragTab_)
            continue;
        const int x = XOfTwips(position);
        if (x > right)
            continue;
        const bool current = h.RulerTabMask & (1u << slot);
        if (current || showAllTabs_)
            paintTab(p, x, h.TabKind[slot], current);
    }
    if (dragTab_ >= 0 && !dragTabOff_)
        paintTab(p, dragTabX_, h.TabKind[dragTab_], true);
    paintMarkers(p);
}

void TQnRuler::paintScale(QPainter &p, int mid, int right)
{
    const double unit = units_ == Inch ? pixelsPerInch() : pixelsPerInch() * kInchesPerCentimetre;
    if (unit < 4)
        return;
    const int limit = std::min(right, width());
    p.setPen(Qt::black);
    QFont small = font();
    small.setPixelSize(std::max(6, height() / 2));
    p.setFont(small);
    for (int n = 0;; ++n) {
        const double unitX = base() + n * unit;
        for (int tenth = 1; tenth <= 9; ++tenth) {
            const int x = static_cast<int>(unitX + unit * tenth / 10.0 + 0.5);
            if (x > limit)
                return;
            const int size = tenth == 5 ? 2 : 1;
            p.drawLine(x, mid - size, x, mid + size - 1);
        }
        const int x = static_cast<int>(unitX + unit + 0.5);
        if (x > limit)
            return;
        if (showNumbers_) {
            const QString number = QString::number(n + 1);
            const QRect box(x - 10, mid - 6 - 4, 21, 12);
            p.drawText(box, Qt::AlignCenter, number);
        } else {
            p.drawLine(x, mid - 3, x, mid + 2);
        }
    }
}

void TQnRuler::paintTab(QPainter &p, int x, uint8_t kind, bool current)
{
    const int bottom = height() - 3;
    const int stem = std::max(3, height() / 3);
    const QColor edge = current ? QColor(Qt::black) : qcolorOf(kSysColorButtonShadow);
    const QColor fill = !current ? edge : kind == tkDecimal ? QColor(Qt::white) : QColor(0, 0, 255);
    const bool toRight = kind == tkLeft || kind == tkCenter || kind == tkDecimal;
    const bool toLeft = kind == tkRight || kind == tkCenter || kind == tkDecimal;
    // Two lines: the edge and, beside it, the fill.
    p.setPen(edge);
    p.drawLine(x, bottom - stem, x, bottom);
    p.drawLine(toLeft ? x - 4 : x, bottom, toRight ? x + 4 : x, bottom);
    p.setPen(fill);
    p.drawLine(x + 1, bottom - stem, x + 1, bottom - 1);
    p.drawLine(toLeft ? x - 3 : x + 1, bottom - 1, toRight ? x + 4 : x + 1, bottom - 1);
}

void TQnRuler::paintMarkers(QPainter &p)
{
    const int size = MarkerSize(), half = size / 2;
    const QColor shadow = qcolorOf(kSysColorButtonShadow);
    auto triangle = [&](const QPolygon &shape) {
        p.setPen(Qt::NoPen);
        p.setBrush(shadow);
        p.drawPolygon(shape);
        p.setBrush(Qt::NoBrush);
        p.setPen(Qt::white);
        p.drawLine(shape[0], shape[1]);
        p.setPen(Qt::black);
        p.drawLine(shape[1], shape[2]);
        p.drawLine(shape[2], shape[0]);
    };
    // First line: pointing down at the top.
    const int first = MarkerX(kMarkerFirst);
    triangle(QPolygon({QPoint(first - half, 0), QPoint(first + half, 0), QPoint(first, half + 1)}));

    // Left: a triangle pointing up over a small box.
    const int left = MarkerX(kMarkerLeft);
    const QRect leftRect = MarkerRect(kMarkerLeft);
    const int boxTop = leftRect.top() + size;
    triangle(QPolygon({QPoint(left, leftRect.top()), QPoint(left - half, boxTop - 1),
                       QPoint(left + half, boxTop - 1)}));
    const QRect box(left - half, boxTop, size, std::max(2, height() - boxTop - 1));
    p.fillRect(box, shadow);
    p.setPen(Qt::white);
    p.drawLine(box.topLeft(), box.topRight());
    p.drawLine(box.topLeft(), box.bottomLeft());
    p.setPen(Qt::black);
    p.drawLine(box.bottomLeft(), box.bottomRight());
    p.drawLine(box.topRight(), box.bottomRight());

    // Right: pointing up at the bottom, at the text width when beyond it.
    const int right = std::min(MarkerX(kMarkerRight), textWidth() + base());
    const QRect rightRect = MarkerRect(kMarkerRight);
    triangle(QPolygon({QPoint(right, rightRect.top() + half), QPoint(right - half, height() - 2),
                       QPoint(right + half, height() - 2)}));
}

} // namespace qn

namespace qn {

TQnCustomRichText *TQnRuler::Editor() const
{
    return editor_;
}

} // namespace qn
