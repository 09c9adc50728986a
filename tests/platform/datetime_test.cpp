#include "platform/datetime.h"

#include <gtest/gtest.h>

using namespace qn;

namespace {

// Each test starts and ends with the settings the program starts with.
class DateTimeTest : public testing::Test {
protected:
    void SetUp() override { ResetFormatSettings(); }
    void TearDown() override { ResetFormatSettings(); }
};

} // namespace

TEST_F(DateTimeTest, DayNumbersCountFromTheEndOf1899)
{
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDate(1899, 12, 31), 1.0);
    EXPECT_EQ(EncodeDate(2000, 1, 1), 36526.0);
    EXPECT_EQ(EncodeDate(1900, 3, 1), 61.0); // 1900 has no 29 February
    EXPECT_EQ(EncodeDate(1, 1, 1), -693593.0);
    EXPECT_EQ(EncodeDate(9999, 12, 31), 2958465.0);
}

TEST_F(DateTimeTest, EncodeAndDecodeAgreeOverFourCenturies)
{
    for (TDateTime day = EncodeDate(1800, 1, 1); day <= EncodeDate(2200, 12, 31); day += 1) {
        int y, m, d;
        DecodeDate(day, y, m, d);
        ASSERT_EQ(EncodeDate(y, m, d), day) << y << "-" << m << "-" << d;
        // The day after is the next day of the month, or the first of the next month.
        int y2, m2, d2;
        DecodeDate(day + 1, y2, m2, d2);
        if (d2 != d + 1) {
            ASSERT_EQ(d, DaysInMonth(y, m));
            ASSERT_EQ(d2, 1);
        }
    }
}

TEST_F(DateTimeTest, LeapYearsAndMonthEnds)
{
    EXPECT_TRUE(IsLeapYear(2024));
    EXPECT_TRUE(IsLeapYear(2000));
    EXPECT_FALSE(IsLeapYear(1900));
    EXPECT_FALSE(IsLeapYear(2023));
    EXPECT_EQ(DaysInMonth(2024, 2), 29);
    EXPECT_EQ(DaysInMonth(2100, 2), 28);
    EXPECT_EQ(DaysInMonth(2023, 4), 30);
    EXPECT_EQ(DaysInMonth(2023, 12), 31);
    EXPECT_EQ(DaysInMonth(2023, 13), 0);
    TDateTime date;
    EXPECT_TRUE(TryEncodeDate(2024, 2, 29, date));
    EXPECT_FALSE(TryEncodeDate(2023, 2, 29, date));
    EXPECT_FALSE(TryEncodeDate(2023, 4, 31, date));
    EXPECT_FALSE(TryEncodeDate(2023, 0, 1, date));
    EXPECT_FALSE(TryEncodeDate(0, 1, 1, date));
    EXPECT_THROW(EncodeDate(2023, 2, 29), EConvertError);
}

TEST_F(DateTimeTest, WeekdaysAndTimes)
{
    EXPECT_EQ(DayOfWeek(0), 7);                        // 30 Dec 1899, a Saturday
    EXPECT_EQ(DayOfWeek(EncodeDate(2026, 12, 7)), 2);  // Monday
    EXPECT_EQ(DayOfWeek(EncodeDate(1899, 12, 24)), 1); // a Sunday before day 0
    int h, n, s, ms;
    DecodeTime(EncodeDate(2020, 5, 5) + EncodeTime(13, 45, 30, 250), h, n, s, ms);
    EXPECT_EQ(h, 13);
    EXPECT_EQ(n, 45);
    EXPECT_EQ(s, 30);
    EXPECT_EQ(ms, 250);
}

TEST_F(DateTimeTest, FormatPatterns)
{
    TDateTime date = EncodeDate(2026, 12, 7);
    EXPECT_EQ(FormatDateTime("yyyymmdd", date), "20261207");
    EXPECT_EQ(FormatDateTime("yyyymmdd", EncodeDate(33, 1, 5)), "00330105");
    EXPECT_EQ(FormatDateTime("mm/dd/yyyy", date), "12/07/2026");
    EXPECT_EQ(FormatDateTime("dddd, mmmm d, yyyy", date), "Monday, December 7, 2026");
    EXPECT_EQ(FormatDateTime("ddd d mmm yy", EncodeDate(2009, 3, 1)), "Sun 1 Mar 09");
    EXPECT_EQ(FormatDateTime("m/d/yy", EncodeDate(2009, 3, 1)), "3/1/09");
    EXPECT_EQ(FormatDateTime("ddddd", date), "12/7/2026");
    EXPECT_EQ(FormatDateTime("dddddd", date), "Monday, December 7, 2026");
    EXPECT_EQ(FormatDateTime("\"Day\" d 'of' mmmm", date), "Day 7 of December");
    EXPECT_EQ(FormatDateTime("DD.MM.YYYY", date), "07.12.2026");
    EXPECT_EQ(FormatDateTime("hh:mm:ss", date + EncodeTime(9, 5, 3, 0)), "09:05:03");
    EXPECT_EQ(FormatDateTime("h:nn", date + EncodeTime(9, 5, 3, 0)), "9:05");
}

TEST_F(DateTimeTest, ProgramWideShortDateFormatAndSeparator)
{
    TDateTime date = EncodeDate(2026, 1, 9);
    SetShortDateFormat("mm/dd/yyyy");
    EXPECT_EQ(DateToStr(date), "01/09/2026");
    SetDateSeparator('.');
    SetShortDateFormat("dd/mm/yyyy");
    EXPECT_EQ(DateToStr(date), "09.01.2026");
    EXPECT_EQ(FormatDateTime("yyyy/mm/dd", date), "2026.01.09");
    EXPECT_EQ(StrToDate("9.1.2026"), date);
    EXPECT_THROW(StrToDate("01/09/2026"), EConvertError);
    ResetFormatSettings();
    EXPECT_EQ(DateToStr(date), "1/9/2026");
}

TEST_F(DateTimeTest, StrictShortDateParsing)
{
    SetShortDateFormat("mm/dd/yyyy");
    EXPECT_EQ(StrToDate("12/07/2026"), EncodeDate(2026, 12, 7));
    EXPECT_EQ(StrToDate("2/29/2024"), EncodeDate(2024, 2, 29));
    EXPECT_EQ(StrToDate("  1 / 2 / 2003 "), EncodeDate(2003, 1, 2));
    EXPECT_EQ(StrToDate("12/31/1899"), 1.0);

    const char *refused[] = {"02/30/2024",
                             "2/29/2023",
                             "4/31/2024",
                             "13/01/2024",
                             "0/10/2024",
                             "1/0/2024",
                             "",
                             "12/07",
                             "12/07/2026/1",
                             "12-07-2026",
                             "12/07/202",
                             "12/07/20266",
                             "1/2/3",
                             "123/1/2024",
                             "12/07/2026x",
                             "x12/07/2026",
                             "12//2026",
                             "+1/2/2024",
                             "1/2/2024 10:00"};
    for (const char *text : refused) {
        TDateTime date = -1;
        EXPECT_FALSE(TryStrToDate(text, date)) << '"' << text << '"';
    }
    try {
        StrToDate("02/30/2024");
        FAIL() << "no error raised";
    } catch (const EConvertError &error) {
        EXPECT_STREQ(error.what(), "'02/30/2024' is not a valid date");
    }
}

TEST_F(DateTimeTest, TwoDigitYearsStayNearTheCurrentYear)
{
    SetShortDateFormat("mm/dd/yy");
    int year, month, day;
    DecodeDate(Date(), year, month, day);
    for (int offset : {-50, -20, -1, 0, 1, 30, 49}) {
        int wanted = year + offset;
        char text[16];
        std::snprintf(text, sizeof text, "6/15/%02d", wanted % 100);
        int y, m, d;
        DecodeDate(StrToDate(text), y, m, d);
        EXPECT_EQ(y, wanted) << text;
    }
}

TEST_F(DateTimeTest, ParsingFollowsTheFieldOrderOfTheShortFormat)
{
    SetShortDateFormat("yyyy/mm/dd");
    EXPECT_EQ(StrToDate("2024/02/29"), EncodeDate(2024, 2, 29));
    EXPECT_FALSE([] {
        TDateTime d;
        return TryStrToDate("02/29/2024", d);
    }());
    SetShortDateFormat("d/m/yyyy");
    EXPECT_EQ(StrToDate("31/12/2024"), EncodeDate(2024, 12, 31));
}
