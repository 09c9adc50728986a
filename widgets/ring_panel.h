#pragma once

// A panel that paints a ring-binder page: a grey ground, a white page with
// rounded corners and a black outline, and a column of binder rings along
// the left edge crossing from the ground onto the page. Painting sets
// LeftEdge (where the rings end) and RightEdge (the page's inset), which the
// window reads to place its controls on the page.

#include "platform/canvas.h"
#include "widgets/widget_types.h"

#include <QFrame>
#include <QImage>

#include <functional>

namespace qn {

// The two ring pictures: "RINGIMAGE" (43 x 11) and "RINGIMAGES" (31 x 11).
const CanvasBitmap &RingPicture(bool small);

class TRingPanel : public QFrame {
    Q_OBJECT
public:
    explicit TRingPanel(QWidget *parent = nullptr);

    int Shape() const { return shape_; } // kept and repainted; not drawn
    void SetShape(int shape);
    bool DoubleRing() const { return doubleRing_; }
    void SetDoubleRing(bool value);
    bool SmallRing() const { return smallRing_; }
    void SetSmallRing(bool value);
    int LeftEdge() const { return leftEdge_; }
    void SetLeftEdge(int edge) { leftEdge_ = edge; }
    int RightEdge() const { return rightEdge_; }
    void SetRightEdge(int edge) { rightEdge_ = edge; }
    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle style);

    // The painting of a client area width x height.
    void Paint(Canvas &canvas, int width, int height);
    // The client area: inside the border, where children are placed.
    QRect ClientRect() const { return contentsRect(); }

    // Called after every change of size, when the children can be placed.
    std::function<void()> OnResize;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    int shape_ = 1;
    bool doubleRing_ = false;
    bool smallRing_ = false;
    int leftEdge_ = 0;
    int rightEdge_ = 0;
    TBorderStyle borderStyle_ = bsNone;
    const CanvasBitmap *ring_;
    QImage backing_;
};

} // namespace qn
