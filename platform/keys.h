#pragma once

// Windows virtual-key codes and shift states, so that key handlers keep
// working with the codes and modifier sets they were written for. A key-down
// handler receives the code by reference; setting it to 0 consumes the key.

#include <cstdint>

namespace qn {

using TKey = uint16_t;

constexpr TKey VK_LBUTTON = 1;
constexpr TKey VK_RBUTTON = 2;
constexpr TKey VK_CANCEL = 3;
constexpr TKey VK_MBUTTON = 4;
constexpr TKey VK_BACK = 8;
constexpr TKey VK_TAB = 9;
constexpr TKey VK_CLEAR = 12;
constexpr TKey VK_RETURN = 13;
constexpr TKey VK_SHIFT = 16;
constexpr TKey VK_CONTROL = 17;
constexpr TKey VK_MENU = 18; // Alt
constexpr TKey VK_PAUSE = 19;
constexpr TKey VK_CAPITAL = 20;
constexpr TKey VK_ESCAPE = 27;
constexpr TKey VK_SPACE = 32;
constexpr TKey VK_PRIOR = 33; // Page Up
constexpr TKey VK_NEXT = 34;  // Page Down
constexpr TKey VK_END = 35;
constexpr TKey VK_HOME = 36;
constexpr TKey VK_LEFT = 37;
constexpr TKey VK_UP = 38;
constexpr TKey VK_RIGHT = 39;
constexpr TKey VK_DOWN = 40;
constexpr TKey VK_SELECT = 41;
constexpr TKey VK_PRINT = 42;
constexpr TKey VK_SNAPSHOT = 44;
constexpr TKey VK_INSERT = 45;
constexpr TKey VK_DELETE = 46;
constexpr TKey VK_HELP = 47;
// '0'..'9' are 48..57 and 'A'..'Z' 65..90, the characters themselves.
constexpr TKey VK_LWIN = 91;
constexpr TKey VK_RWIN = 92;
constexpr TKey VK_APPS = 93;
constexpr TKey VK_NUMPAD0 = 96; // .. VK_NUMPAD9 = 105
constexpr TKey VK_MULTIPLY = 106;
constexpr TKey VK_ADD = 107;
constexpr TKey VK_SEPARATOR = 108;
constexpr TKey VK_SUBTRACT = 109;
constexpr TKey VK_DECIMAL = 110;
constexpr TKey VK_DIVIDE = 111;
constexpr TKey VK_F1 = 112; // .. VK_F24 = 135
constexpr TKey VK_F12 = 123;
constexpr TKey VK_NUMLOCK = 144;
constexpr TKey VK_SCROLL = 145;
constexpr TKey VK_OEM_1 = 186;      // ; :
constexpr TKey VK_OEM_PLUS = 187;   // = +
constexpr TKey VK_OEM_COMMA = 188;  // , <
constexpr TKey VK_OEM_MINUS = 189;  // - _
constexpr TKey VK_OEM_PERIOD = 190; // . >
constexpr TKey VK_OEM_2 = 191;      // / ?
constexpr TKey VK_OEM_3 = 192;      // ` ~
constexpr TKey VK_OEM_4 = 219;      // [ {
constexpr TKey VK_OEM_5 = 220;      // \ |
constexpr TKey VK_OEM_6 = 221;      // ] }
constexpr TKey VK_OEM_7 = 222;      // ' "

enum TShiftStateItem : uint8_t {
    ssShift = 1 << 0,
    ssAlt = 1 << 1,
    ssCtrl = 1 << 2,
    ssLeft = 1 << 3,
    ssRight = 1 << 4,
    ssMiddle = 1 << 5,
    ssDouble = 1 << 6,
};

// A set of TShiftStateItem.
class TShiftState {
public:
    constexpr TShiftState() = default;
    constexpr TShiftState(TShiftStateItem item) : bits_(item) {}

    constexpr bool Contains(TShiftStateItem item) const { return (bits_ & item) != 0; }
    constexpr bool Empty() const { return bits_ == 0; }
    // Only the keyboard modifiers (Shift, Alt, Ctrl), without mouse buttons.
    constexpr TShiftState Keys() const { return FromBits(bits_ & (ssShift | ssAlt | ssCtrl)); }

    constexpr TShiftState operator+(TShiftState other) const
    {
        return FromBits(bits_ | other.bits_);
    }
    constexpr TShiftState operator-(TShiftState other) const
    {
        return FromBits(bits_ & ~other.bits_);
    }
    constexpr TShiftState &operator+=(TShiftState other)
    {
        bits_ |= other.bits_;
        return *this;
    }
    constexpr bool operator==(const TShiftState &) const = default;
    constexpr uint8_t Bits() const { return bits_; }
    static constexpr TShiftState FromBits(unsigned bits)
    {
        TShiftState s;
        s.bits_ = static_cast<uint8_t>(bits & 0x7F);
        return s;
    }

private:
    uint8_t bits_ = 0;
};

constexpr TShiftState operator+(TShiftStateItem a, TShiftStateItem b)
{
    return TShiftState(a) + TShiftState(b);
}

} // namespace qn
