#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qn::xbase {

struct CalendarDate {
    int year = 0, month = 0, day = 0;
};

// Julian day number (the count date index keys are built from); 0 for none.
long julianDay(const CalendarDate &date);
CalendarDate fromJulianDay(long jd);
bool validDate(const CalendarDate &date);
// "yyyymmdd" as stored in D fields; nullopt for blanks or anything invalid.
std::optional<CalendarDate> parseStoredDate(std::string_view text);
std::string storedDate(const CalendarDate &date); // "yyyymmdd"

// Date formats of the engine's setting: 0 American mm/dd/yy, 1 ANSI yy.mm.dd,
// 2 British and 3 French dd/mm/yy, 4 German dd.mm.yy, 5 Italian and
// 6 Spanish dd-mm-yy.
std::string formatDate(const CalendarDate &date, int dateFormat, bool century);
// Day, month and year in the order of the format, with any separator; a
// two-digit year below 50 is 20yy, otherwise 19yy. Eight digits are taken as
// yyyymmdd. Nullopt when no valid date is given.
std::optional<CalendarDate> parseDateText(std::string_view text, int dateFormat);

} // namespace qn::xbase
