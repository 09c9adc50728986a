#include "widgets/ring_panel.h"
#include "widgets/widget_accessible.h"

#include "platform/qt/qt_canvas.h"

#include <QPainter>

// The pictures are drawn for this program (resources/make_pictures.py).
#include "resources/rings/ringimage.xpm"
#include "resources/rings/ringimages.xpm"

namespace qn {

namespace {

constexpr ColorRef kGround = Rgb(128, 128, 128);
constexpr ColorRef kWhite = Rgb(255, 255, 255);
constexpr ColorRef kBlack = Rgb(0, 0, 0);

} // namespace

const CanvasBitmap &RingPicture(bool small)
{
    static const CanvasBitmap large = ToCanvasBitmap(QImage(ringimage_xpm));
    static const CanvasBitmap little = ToCanvasBitmap(QImage(ringimages_xpm));
    return small ? little : large;
}

TRingPanel::TRingPanel(QWidget *parent) : QFrame(parent), ring_(&RingPicture(false))
{
    InstallWidgetAccessibility();
    SetBorderStyle(bsNone);
}

void TRingPanel::SetShape(int shape)
{
    if (shape == shape_)
        return;
    shape_ = shape;
    update();
}

void TRingPanel::SetDoubleRing(bool value)
{
    if (value == doubleRing_)
        return;
    doubleRing_ = value;
    update();
}

void TRingPanel::SetSmallRing(bool value)
{
    if (value == smallRing_)
        return;
    smallRing_ = value;
    update();
}

void TRingPanel::SetBorderStyle(TBorderStyle style)
{
    borderStyle_ = style;
    if (style == bsSingle) {
        setFrameStyle(QFrame::Box | QFrame::Plain);
        setLineWidth(1);
    } else {
        setFrameStyle(QFrame::NoFrame);
    }
    update();
}

void TRingPanel::Paint(Canvas &canvas, int width, int height)
{
    ring_ = &RingPicture(smallRing_);
    leftEdge_ = ring_->Width;
    rightEdge_ = smallRing_ ? 15 : 22;
    const int inset = rightEdge_;

    canvas.FillRect({0, 0, width, height}, kGround);
    canvas.SetBrush(kWhite, BrushStyle::Solid);
    canvas.SetPen(kBlack);
    canvas.RoundRect({inset, 5, width - inset, height - 5}, 25, 25);

    canvas.SetBrush(kWhite, BrushStyle::Clear);
    for (int y = 20; y <= height - 40; y += 50) {
        canvas.DrawBitmap({0, y, ring_->Width, y + ring_->Height}, *ring_);
        if (doubleRing_)
            canvas.DrawBitmap({0, y + 15, ring_->Width, y + 15 + ring_->Height}, *ring_);
    }
}

void TRingPanel::paintEvent(QPaintEvent *event)
{
    const QRect client = contentsRect();
    if (backing_.size() != client.size())
        backing_ = QImage(client.size(), QImage::Format_RGB32);
    if (!client.isEmpty()) {
        QtCanvas canvas(&backing_, logicalDpiX(), logicalDpiY());
        canvas.SetPalette(palette());
        Paint(canvas, client.width(), client.height());
        canvas.End();
        QPainter painter(this);
        painter.drawImage(client.topLeft(), backing_);
    }
    QFrame::paintEvent(event); // the border
}

void TRingPanel::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    if (OnResize)
        OnResize();
}

} // namespace qn
