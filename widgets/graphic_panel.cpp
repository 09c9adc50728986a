#include "widgets/graphic_panel.h"
#include "widgets/widget_accessible.h"

#include <QAccessible>

#include "widgets/canvas_font.h"

#include "platform/qt/key_translation.h"
#include "platform/qt/qt_canvas.h"
#include "platform/winmath.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace qn {

namespace {

TMouseButton mouseButtonOf(Qt::MouseButton button)
{
    switch (button) {
    case Qt::RightButton:
        return mbRight;
    case Qt::MiddleButton:
        return mbMiddle;
    default:
        return mbLeft;
    }
}

} // namespace

void Frame3D(Canvas &canvas, CanvasRect &rect, ColorRef topColor, ColorRef bottomColor, int width)
{
    // Corners are drawn inclusive: the right and bottom edges are the last
    // pixels inside, as the polylines below exclude their end point.
    --rect.Bottom;
    --rect.Right;
    while (width > 0) {
        --width;
        const CanvasPoint topRight{rect.Right, rect.Top};
        CanvasPoint bottomLeft{rect.Left, rect.Bottom};
        canvas.SetPen(topColor);
        canvas.Polyline({bottomLeft, {rect.Left, rect.Top}, topRight});
        canvas.SetPen(bottomColor);
        --bottomLeft.X;
        canvas.Polyline({topRight, {rect.Right, rect.Bottom}, bottomLeft});
        ++rect.Left;
        ++rect.Top;
        --rect.Right;
        --rect.Bottom;
    }
    ++rect.Bottom;
    ++rect.Right;
}

TGraphicPanel::TGraphicPanel(QWidget *parent) : QWidget(parent)
{
    InstallWidgetAccessibility();
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(185, 41);
    followParent();
    if (parent)
        parent->installEventFilter(this);
}

TGraphicPanel::~TGraphicPanel() = default;

void TGraphicPanel::SetAlign(TAlign align)
{
    align_ = align;
    realign();
    Paint();
}

void TGraphicPanel::SetAlignment(TAlignment alignment)
{
    alignment_ = alignment;
    Paint();
}

void TGraphicPanel::SetBevelInner(TPanelBevel bevel)
{
    bevelInner_ = bevel;
    Paint();
}

void TGraphicPanel::SetBevelOuter(TPanelBevel bevel)
{
    bevelOuter_ = bevel;
    Paint();
}

void TGraphicPanel::SetBevelWidth(int width)
{
    bevelWidth_ = std::max(1, width);
    Paint();
}

void TGraphicPanel::SetBorderWidth(int width)
{
    borderWidth_ = std::max(0, width);
    Paint();
}

void TGraphicPanel::SetBorderStyle(TBorderStyle style)
{
    if (style == borderStyle_)
        return;
    borderStyle_ = style;
    Paint();
}

qn::Canvas &TGraphicPanel::Canvas()
{
    if (!canvas_)
        Resize();
    return *canvas_;
}

ColorRef TGraphicPanel::Color() const
{
    return color_;
}

void TGraphicPanel::SetColor(ColorRef color)
{
    color_ = color;
    parentColor_ = false;
    Paint();
}

void TGraphicPanel::SetParentColor(bool parentColor)
{
    parentColor_ = parentColor;
    followParent();
    Paint();
}

void TGraphicPanel::SetCaption(const std::string &caption)
{
    caption_ = caption;
    Paint();
    if (QAccessible::isActive()) {
        QAccessibleEvent renamed(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&renamed);
    }
}

void TGraphicPanel::SetFont(const FontSpec &font)
{
    font_ = font;
    parentFont_ = false;
    Paint();
}

void TGraphicPanel::SetParentFont(bool parentFont)
{
    parentFont_ = parentFont;
    followParent();
    Paint();
}

bool TGraphicPanel::ShowHint() const
{
    if (!parentShowHint_)
        return showHint_;
    if (auto *panel = qobject_cast<const TGraphicPanel *>(parentWidget()))
        return panel->ShowHint();
    return true; // other windows show their tool tips
}

void TGraphicPanel::SetShowHint(bool show)
{
    showHint_ = show;
    parentShowHint_ = false;
}

// Colour and font taken from the parent while the Parent... properties hold.
void TGraphicPanel::followParent()
{
    if (followingParent_)
        return;
    followingParent_ = true;
    if (parentColor_ && parentWidget())
        color_ = ColorRefOf(parentWidget()->palette().color(QPalette::Window));
    if (parentFont_)
        font_ = FontSpecOf(QWidget::font(), font_.Color); // Qt passes the parent's on
    followingParent_ = false;
}

void TGraphicPanel::realign()
{
    QWidget *owner = parentWidget();
    if (!owner || align_ == alNone)
        return;
    const QRect client = owner->contentsRect();
    QRect r = geometry();
    switch (align_) {
    case alTop:
        r = QRect(client.left(), client.top(), client.width(), height());
        break;
    case alBottom:
        r = QRect(client.left(), client.bottom() + 1 - height(), client.width(), height());
        break;
    case alLeft:
        r = QRect(client.left(), client.top(), width(), client.height());
        break;
    case alRight:
        r = QRect(client.right() + 1 - width(), client.top(), width(), client.height());
        break;
    case alClient:
        r = client;
        break;
    case alNone:
        break;
    }
    setGeometry(r);
}

void TGraphicPanel::PaintTo(qn::Canvas &canvas) const
{
    CanvasRect rect{0, 0, width(), height()};
    if (borderStyle_ == bsSingle)
        Frame3D(canvas, rect, Rgb(0, 0, 0), Rgb(0, 0, 0), 1);
    auto bevel = [&](TPanelBevel kind) {
        if (kind == bvNone)
            return;
        ColorRef top = kSysColorButtonHighlight, bottom = kSysColorButtonShadow;
        if (kind == bvLowered)
            std::swap(top, bottom);
        Frame3D(canvas, rect, top, bottom, bevelWidth_);
    };
    bevel(bevelOuter_);
    Frame3D(canvas, rect, color_, color_, borderWidth_);
    bevel(bevelInner_);

    canvas.FillRect(rect, color_);
    canvas.SetBrush(color_, BrushStyle::Clear);
    canvas.SetBackgroundMode(BackgroundMode::Transparent);
    canvas.SelectFont(font_);
    const int h = canvas.Metrics().Height;
    rect.Top = PascalDiv(rect.Top + rect.Bottom - h, 2);
    rect.Bottom = rect.Top + h;
    unsigned format = kDtExpandTabs | kDtVCenter;
    if (alignment_ == taCenter)
        format |= kDtCenter;
    else if (alignment_ == taRightJustify)
        format |= kDtRight;
    canvas.DrawText(caption_, rect, format);
}

void TGraphicPanel::Paint()
{
    if (!canvas_ || image_.size() != size()) {
        Resize();
        return;
    }
    canvas_->SetPalette(palette());
    PaintTo(*canvas_);
    update();
}

void TGraphicPanel::Resize()
{
    canvas_.reset();
    image_ = QImage(size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    image_.fill(Qt::white);
    canvas_ = std::make_unique<QtCanvas>(&image_, 96, 96);
    canvas_->SetPalette(palette());
    PaintTo(*canvas_);
    update();
    if (OnResize)
        OnResize();
}

void TGraphicPanel::paintEvent(QPaintEvent *)
{
    if (!canvas_ || image_.size() != size())
        Resize();
    QPainter painter(this);
    painter.drawImage(0, 0, image_);
}

void TGraphicPanel::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Resize();
}

void TGraphicPanel::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    switch (event->type()) {
    case QEvent::ParentChange:
        if (parentWidget())
            parentWidget()->installEventFilter(this);
        realign();
        [[fallthrough]];
    case QEvent::FontChange:
    case QEvent::PaletteChange:
        followParent();
        if (canvas_)
            Paint();
        break;
    default:
        break;
    }
}

bool TGraphicPanel::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip && !ShowHint())
        return true;
    return QWidget::event(event);
}

bool TGraphicPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        realign();
    return QWidget::eventFilter(watched, event);
}

void TGraphicPanel::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        pressed_ = true;
    if (OnMouseDown)
        OnMouseDown(mouseButtonOf(event->button()),
                    ShiftStateFromQt(event->modifiers(), event->buttons()),
                    event->position().toPoint().x(), event->position().toPoint().y());
}

void TGraphicPanel::mouseMoveEvent(QMouseEvent *event)
{
    if (OnMouseMove)
        OnMouseMove(ShiftStateFromQt(event->modifiers(), event->buttons()),
                    event->position().toPoint().x(), event->position().toPoint().y());
}

void TGraphicPanel::mouseReleaseEvent(QMouseEvent *event)
{
    const QPoint at = event->position().toPoint();
    if (OnMouseUp)
        OnMouseUp(mouseButtonOf(event->button()),
                  ShiftStateFromQt(event->modifiers(), event->buttons()), at.x(), at.y());
    // A click is a left press and release over the panel.
    if (event->button() == Qt::LeftButton && pressed_) {
        pressed_ = false;
        if (rect().contains(at) && OnClick)
            OnClick();
    }
}

void TGraphicPanel::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        pressed_ = false;
        if (OnDblClick)
            OnDblClick();
    }
    if (OnMouseDown)
        OnMouseDown(mouseButtonOf(event->button()),
                    ShiftStateFromQt(event->modifiers(), event->buttons()) + ssDouble,
                    event->position().toPoint().x(), event->position().toPoint().y());
}

void TGraphicPanel::contextMenuEvent(QContextMenuEvent *event)
{
    if (popupMenu_)
        popupMenu_->popup(event->globalPos());
    else
        QWidget::contextMenuEvent(event);
}

} // namespace qn
