#include "platform/qt/escape_watch.h"

#include <QCoreApplication>
#include <QKeyEvent>

namespace qn {

EscapeWatch::EscapeWatch()
{
    if (QCoreApplication *app = QCoreApplication::instance())
        app->installEventFilter(this);
}

EscapeWatch::~EscapeWatch()
{
    if (QCoreApplication *app = QCoreApplication::instance())
        app->removeEventFilter(this);
}

bool EscapeWatch::Pressed()
{
    QCoreApplication::processEvents();
    return pressed_;
}

bool EscapeWatch::eventFilter(QObject *, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape)
            pressed_ = true;
        return true;
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::InputMethod:
        return true;
    default:
        return false;
    }
}

} // namespace qn
