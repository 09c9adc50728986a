#include "platform/qt/key_translation.h"

#include <QKeyEvent>
#include <gtest/gtest.h>

using namespace qn;

TEST(KeyTranslation, QtKeysBecomeVirtualKeys)
{
    struct Case {
        int qtKey;
        Qt::KeyboardModifiers modifiers;
        TKey expected;
    } cases[] = {
        {Qt::Key_A, Qt::NoModifier, 'A'},
        {Qt::Key_Z, Qt::ShiftModifier, 'Z'},
        {Qt::Key_0, Qt::NoModifier, '0'},
        {Qt::Key_7, Qt::KeypadModifier, VK_NUMPAD0 + 7},
        {Qt::Key_Exclam, Qt::ShiftModifier, '1'},
        {Qt::Key_ParenRight, Qt::ShiftModifier, '0'},
        {Qt::Key_PageDown, Qt::ControlModifier, VK_NEXT},
        {Qt::Key_PageUp, Qt::NoModifier, VK_PRIOR},
        {Qt::Key_Return, Qt::NoModifier, VK_RETURN},
        {Qt::Key_Enter, Qt::KeypadModifier, VK_RETURN},
        {Qt::Key_Backtab, Qt::ShiftModifier, VK_TAB},
        {Qt::Key_Delete, Qt::NoModifier, VK_DELETE},
        {Qt::Key_Backspace, Qt::NoModifier, VK_BACK},
        {Qt::Key_Escape, Qt::NoModifier, VK_ESCAPE},
        {Qt::Key_F1, Qt::NoModifier, VK_F1},
        {Qt::Key_F12, Qt::NoModifier, VK_F12},
        {Qt::Key_Home, Qt::NoModifier, VK_HOME},
        {Qt::Key_Left, Qt::NoModifier, VK_LEFT},
        {Qt::Key_Down, Qt::NoModifier, VK_DOWN},
        {Qt::Key_Insert, Qt::NoModifier, VK_INSERT},
        {Qt::Key_Control, Qt::ControlModifier, VK_CONTROL},
        {Qt::Key_Minus, Qt::KeypadModifier, VK_SUBTRACT},
        {Qt::Key_Minus, Qt::NoModifier, VK_OEM_MINUS},
        {Qt::Key_Question, Qt::ShiftModifier, VK_OEM_2},
        {Qt::Key_Eacute, Qt::NoModifier, 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(VirtualKeyFromQt(c.qtKey, c.modifiers), c.expected) << std::hex << c.qtKey;
}

TEST(KeyTranslation, ModifiersAndButtonsBecomeTheShiftState)
{
    EXPECT_EQ(ShiftStateFromQt(Qt::ControlModifier | Qt::KeypadModifier, Qt::NoButton),
              TShiftState(ssCtrl));
    EXPECT_EQ(ShiftStateFromQt(Qt::ShiftModifier | Qt::AltModifier, Qt::LeftButton),
              ssShift + ssAlt + ssLeft);
    EXPECT_EQ(ShiftStateFromQt(Qt::NoModifier, Qt::RightButton | Qt::MiddleButton),
              ssRight + ssMiddle);

    QKeyEvent event(QEvent::KeyPress, Qt::Key_PageDown, Qt::ControlModifier | Qt::ShiftModifier);
    TKeyDown down = TranslateKeyEvent(event);
    EXPECT_EQ(down.Key, VK_NEXT);
    EXPECT_EQ(down.Shift, ssCtrl + ssShift);
}
