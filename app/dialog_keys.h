#pragma once

// Enter and Escape in the program's dialogs whose OK and Cancel are flat
// buttons: QDialog's own handling would close them without their handlers.

#include <functional>

class QKeyEvent;

namespace qn {

// Runs `ok` for Enter or Return and `cancel` for Escape, each without a
// modifier (the keypad's Enter included); true when the key was one of them.
bool RunDialogKey(QKeyEvent *event, const std::function<void()> &ok,
                  const std::function<void()> &cancel);

} // namespace qn
