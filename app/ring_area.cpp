#include "app/ring_area.h"

namespace qn {

TRingArea::TRingArea(QWidget *parent) : QFrame(parent)
{
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    setAutoFillBackground(true);
}

void TRingArea::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    if (OnResize)
        OnResize();
}

} // namespace qn
