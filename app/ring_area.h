#pragma once

// The area behind the entry: a framed panel with a left and a right edge kept
// free for the binder rings. A plain panel for now; the ring panel with its
// painted rings takes its place and keeps this interface.

#include <QFrame>

#include <functional>

namespace qn {

class TRingArea : public QFrame {
    Q_OBJECT
public:
    explicit TRingArea(QWidget *parent = nullptr);

    int LeftEdge() const { return leftEdge_; }
    int RightEdge() const { return rightEdge_; }
    void SetLeftEdge(int edge) { leftEdge_ = edge; }
    void SetRightEdge(int edge) { rightEdge_ = edge; }

    // Called after every change of size, when the children can be placed.
    std::function<void()> OnResize;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    int leftEdge_ = 31;
    int rightEdge_ = 15;
};

} // namespace qn
