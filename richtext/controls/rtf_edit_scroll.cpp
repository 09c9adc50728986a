// Scroll bars and the mouse wheel of the editor control. Both bars work on a
// fixed range of 0..1000; the document scrolls by the scroll-bar codes with
// the thumb position converted to pixels.
#include <QApplication>
#include <QScrollBar>
#include <QWheelEvent>

#include "platform/winmath.h"
#include "richtext/controls/rtf_edit.h"

namespace qn {

namespace {

constexpr int kBarRange = 1000;
constexpr int kWheelLine = 16; // pixels per wheel line, as a scroll-bar line

int barCode(int action)
{
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
        return kScrollLineUp;
    case QAbstractSlider::SliderSingleStepAdd:
        return kScrollLineDown;
    case QAbstractSlider::SliderPageStepSub:
        return kScrollPageUp;
    case QAbstractSlider::SliderPageStepAdd:
        return kScrollPageDown;
    case QAbstractSlider::SliderToMinimum:
        return kScrollTop;
    case QAbstractSlider::SliderToMaximum:
        return kScrollBottom;
    case QAbstractSlider::SliderMove:
        return kScrollThumbTrack;
    default:
        return kScrollThumbPosition; // the thumb was let go
    }
}

// Sets a bar's range and position without raising its actions; true when
// the bar appeared or disappeared.
bool setBar(QScrollBar *bar, bool shown, int position, int page)
{
    const QSignalBlocker block(bar);
    const bool wasShown = !bar->isHidden();
    bar->setRange(0, shown ? kBarRange : 0);
    bar->setPageStep(std::clamp(page, 1, kBarRange));
    bar->setSingleStep(std::max(1, page / 10));
    bar->setSliderPosition(shown ? std::clamp(position, 0, kBarRange) : 0);
    bar->setValue(bar->sliderPosition());
    bar->setVisible(shown);
    return wasShown != shown;
}

} // namespace

void TQnCustomRtfEdit::UpdateVertScrollBar()
{
    TQnRTFTextInput &d = *Document;
    const bool wanted =
        scrollBars_ == TScrollStyle::ssVertical || scrollBars_ == TScrollStyle::ssBoth;
    const int range = d.DocumentHeight - d.WindowHeight;
    bool toggled;
    if (range <= 0 || !wanted) {
        if (range <= 0 && d.ScrollY != 0) {
            d.ScrollY = 0;
            d.PaintAll();
            d.PlaceCaret();
        }
        toggled = setBar(vBar_, false, 0, kBarRange);
    } else {
        toggled = setBar(vBar_, true, MulDiv(d.ScrollY, kBarRange, range),
                         MulDiv(d.WindowHeight, kBarRange, range));
    }
    if (toggled)
        settleBars();
}

void TQnCustomRtfEdit::UpdateHorzScrollBar()
{
    TQnRTFTextInput &d = *Document;
    const bool wanted =
        scrollBars_ == TScrollStyle::ssHorizontal || scrollBars_ == TScrollStyle::ssBoth;
    const int layoutWidth = d.Header->LayoutWidthPixels;
    const int clientWidth = ClientRect().width();
    bool toggled;
    if (wanted && !d.WrapToWindow && layoutWidth >= clientWidth) {
        const int range = layoutWidth - d.WindowWidth;
        toggled = setBar(hBar_, true, range > 0 ? MulDiv(-d.ScrollX, kBarRange, range) : 0,
                         range > 0 ? MulDiv(d.WindowWidth, kBarRange, range) : kBarRange);
    } else {
        toggled = setBar(hBar_, false, 0, kBarRange);
    }
    if (toggled)
        settleBars();
}

void TQnCustomRtfEdit::barsChanged()
{
    UpdateVertScrollBar();
    UpdateHorzScrollBar();
}

void TQnCustomRtfEdit::settleBars()
{
    if (settlingBars_)
        return;
    // A bar that appears or disappears changes the client area, which with
    // word wrap breaks the text again; settle in a few rounds at most.
    settlingBars_ = true;
    for (int round = 0; round < 3; ++round) {
        const bool vShown = !vBar_->isHidden(), hShown = !hBar_->isHidden();
        layoutClient();
        UpdateVertScrollBar();
        UpdateHorzScrollBar();
        if (vShown == !vBar_->isHidden() && hShown == !hBar_->isHidden())
            break;
    }
    settlingBars_ = false;
    Document->PaintAll();
    Document->PlaceCaret();
    update();
}

void TQnCustomRtfEdit::vBarAction(int action)
{
    TQnRTFTextInput &d = *Document;
    const int pixels =
        MulDiv(vBar_->sliderPosition(), std::max(0, d.DocumentHeight - d.WindowHeight), kBarRange);
    d.VScroll(barCode(action), pixels);
    UpdateVertScrollBar();
    update(ClientRect());
}

void TQnCustomRtfEdit::hBarAction(int action)
{
    TQnRTFTextInput &d = *Document;
    const int pixels = MulDiv(hBar_->sliderPosition(),
                              std::max(0, d.Header->LayoutWidthPixels - d.WindowWidth), kBarRange);
    d.HScroll(barCode(action), pixels);
    UpdateHorzScrollBar();
    update(ClientRect());
}

void TQnCustomRtfEdit::wheelEvent(QWheelEvent *event)
{
    TQnRTFTextInput &d = *Document;
    const int lines = std::max(1, QApplication::wheelScrollLines());
    // Wheels with finer steps than a notch add up until a notch is reached.
    wheelRemainder_ += event->angleDelta().y();
    hWheelRemainder_ += event->angleDelta().x();
    const int notches = wheelRemainder_ / 120, hNotches = hWheelRemainder_ / 120;
    wheelRemainder_ %= 120;
    hWheelRemainder_ %= 120;
    if (notches > 0)
        d.ScrollUp(notches * lines * kWheelLine);
    else if (notches < 0)
        d.ScrollDown(-notches * lines * kWheelLine);
    if (hNotches > 0)
        d.ScrollLeft(hNotches * lines * kWheelLine);
    else if (hNotches < 0)
        d.ScrollRight(-hNotches * lines * kWheelLine);
    UpdateVertScrollBar();
    UpdateHorzScrollBar();
    update(ClientRect());
    event->accept();
}

} // namespace qn
