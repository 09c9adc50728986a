#include "platform/winmath.h"

#include <gtest/gtest.h>

using namespace qn;

TEST(MulDiv, RoundsHalvesAwayFromZero)
{
    EXPECT_EQ(MulDiv(1880, 96, 1440), 125); // 125.33
    EXPECT_EQ(MulDiv(3, 1, 2), 2);          // 1.5
    EXPECT_EQ(MulDiv(-3, 1, 2), -2);
    EXPECT_EQ(MulDiv(3, 1, -2), -2);
    EXPECT_EQ(MulDiv(-3, -1, 2), 2);
    EXPECT_EQ(MulDiv(5, 1, 4), 1); // 1.25
}

TEST(MulDiv, FailsOnZeroDivisorAndOverflow)
{
    EXPECT_EQ(MulDiv(10, 10, 0), -1);
    EXPECT_EQ(MulDiv(0x7fffffff, 4, 2), -1);
    EXPECT_EQ(MulDiv(0x40000000, 2, 1), -1);
    EXPECT_EQ(MulDiv(-0x40000000, 2, 1), static_cast<int32_t>(-0x80000000LL));
    EXPECT_EQ(MulDiv(0x7fffffff, 0x7fffffff, 0x7fffffff), 0x7fffffff);
}

TEST(PascalArithmetic, RoundAndDivide)
{
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(3.5), 4);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
    EXPECT_EQ(PascalDiv(-7, 2), -3);
    EXPECT_EQ(PascalMod(-7, 2), -1);
}
