#include "app/dialog_keys.h"

#include <QKeyEvent>

namespace qn {

bool RunDialogKey(QKeyEvent *event, const std::function<void()> &ok,
                  const std::function<void()> &cancel)
{
    if ((event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
        return false;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        ok();
        return true;
    case Qt::Key_Escape:
        cancel();
        return true;
    default:
        return false;
    }
}

} // namespace qn
