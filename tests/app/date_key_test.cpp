#include "app/date_key.h"

#include <gtest/gtest.h>

using namespace qn;

TEST(DateKey, EightDigitsThatSortInDateOrder)
{
    EXPECT_EQ(DateKey(EncodeDate(2026, 12, 7)), "20261207");
    EXPECT_EQ(DateKey(EncodeDate(987, 1, 2)), "09870102");
    EXPECT_EQ(DateKey(2024, 2, 29), "20240229");
    // The time of day never reaches the key.
    EXPECT_EQ(DateKey(EncodeDate(2026, 3, 1) + 0.75), "20260301");
    EXPECT_LT(DateKey(EncodeDate(2025, 12, 31)), DateKey(EncodeDate(2026, 1, 1)));
    EXPECT_LT(DateKey(EncodeDate(2026, 9, 30)), DateKey(EncodeDate(2026, 10, 1)));
}

TEST(DateKey, StodReadsKeysBackAndGivesTodayForAnythingElse)
{
    EXPECT_EQ(STOD("20240229"), EncodeDate(2024, 2, 29));
    EXPECT_EQ(STOD("18991230"), 0);
    for (TDateTime day = EncodeDate(2023, 12, 25); day < EncodeDate(2024, 3, 5); day += 1)
        EXPECT_EQ(STOD(DateKey(day)), day) << DateKey(day);
    // Only the first eight characters count, as the field holds eight.
    EXPECT_EQ(STOD("20260101xyz"), EncodeDate(2026, 1, 1));

    const TDateTime today = Date();
    for (const char *bad : {"", "2026", "2026010", "20230229", "20261301", "20260100", "2026-1-1",
                            "abcdefgh", " 2026010", "2026 101", "00000101"})
        EXPECT_EQ(STOD(bad), today) << '"' << bad << '"';
}
