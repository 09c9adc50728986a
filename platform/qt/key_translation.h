#pragma once

// Qt key events as virtual-key codes and shift states, translated in this one
// place so that key handlers keep their Windows logic.

#include "platform/keys.h"

#include <Qt>

class QKeyEvent;

namespace qn {

struct TKeyDown {
    TKey Key = 0;
    TShiftState Shift;
};

// The virtual key of a Qt key; 0 when there is none. Shifted symbols give the
// key they lie on in the US layout (Shift+1 is '1'); keypad digits give the
// numeric pad keys.
TKey VirtualKeyFromQt(int qtKey, Qt::KeyboardModifiers modifiers);

TShiftState ShiftStateFromQt(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons);

// The key and the shift state of a key event, with the mouse buttons held now.
TKeyDown TranslateKeyEvent(const QKeyEvent &event);

} // namespace qn
