#pragma once

// Escape during a long operation on the user-interface thread. While a
// watch lives, keyboard and mouse input is held back from the windows (the
// document is being changed under them); Pressed lets queued events through
// and answers whether Escape came among them.

#include <QObject>

namespace qn {

class EscapeWatch : public QObject {
public:
    EscapeWatch();
    ~EscapeWatch() override;
    EscapeWatch(const EscapeWatch &) = delete;
    EscapeWatch &operator=(const EscapeWatch &) = delete;

    bool Pressed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool pressed_ = false;
};

} // namespace qn
