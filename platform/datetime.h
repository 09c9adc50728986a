#pragma once

// Date-time values as the diary uses them: a double counting whole days since
// 30 December 1899 (day 0), the time of day as the fraction. Day and month
// names are English.

#include <stdexcept>
#include <string>
#include <string_view>

namespace qn {

using TDateTime = double;

// Raised by the conversions below; the message names the offending text.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

bool IsLeapYear(int year);
int DaysInMonth(int year, int month); // 0 for a month outside 1..12

// Years 1..9999. EncodeDate raises EConvertError for a date that does not exist.
bool TryEncodeDate(int year, int month, int day, TDateTime &date);
TDateTime EncodeDate(int year, int month, int day);
void DecodeDate(TDateTime date, int &year, int &month, int &day);
TDateTime EncodeTime(int hour, int minute, int second, int millisecond);
void DecodeTime(TDateTime time, int &hour, int &minute, int &second, int &millisecond);

// 1 = Sunday .. 7 = Saturday.
int DayOfWeek(TDateTime date);

// Today without a time, and now, in local time.
TDateTime Date();
TDateTime Now();

// The program-wide date settings (one place): the short date format ("ddddd"),
// the long date format ("dddddd") and the separator a "/" in a pattern stands
// for. Parsing follows the order of day, month and year in the short format.
struct DateFormatSettings {
    std::string ShortDateFormat = "m/d/yyyy";
    std::string LongDateFormat = "dddd, mmmm d, yyyy";
    char DateSeparator = '/';
    char TimeSeparator = ':';
};
const DateFormatSettings &FormatSettings();
void SetShortDateFormat(std::string_view format);
void SetLongDateFormat(std::string_view format);
void SetDateSeparator(char separator);
// Back to the settings the program starts with.
void ResetFormatSettings();

// Patterns: d dd ddd dddd ddddd dddddd, m mm mmm mmmm, yy yyyy, h hh, n nn
// (m after h is minutes), s ss, "/" the date separator, ":" the time
// separator, text in double or single quotes copied as it is. Letters are
// matched without regard to case; anything else is copied.
std::string FormatDateTime(std::string_view format, TDateTime value);
std::string DateToStr(TDateTime date); // "ddddd"

// Reads a text in the short date format: one- or two-digit day and month, a
// two- or four-digit year, the date separator between them and blanks around;
// anything else, or a date that does not exist, is refused. A two-digit year
// falls in the hundred years around the current one (at most 50 years back).
bool TryStrToDate(std::string_view text, TDateTime &date);
TDateTime StrToDate(std::string_view text); // EConvertError "'text' is not a valid date"

} // namespace qn
