#pragma once

#include <cstdint>

namespace qn {

// a * b / c in 64 bits, rounded to the nearest integer with halves away from
// zero; -1 when c is 0 or the result does not fit in 32 bits.
int32_t MulDiv(int32_t a, int32_t b, int32_t c);

// Rounds halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
int64_t RoundHalfEven(double x);

// Integer division and remainder that truncate toward zero, whatever the
// signs (C++ already does this; the names make the intent visible).
constexpr int32_t PascalDiv(int32_t a, int32_t b)
{
    return a / b;
}
constexpr int32_t PascalMod(int32_t a, int32_t b)
{
    return a % b;
}

} // namespace qn
