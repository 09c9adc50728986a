#include "platform/datetime.h"

#include "platform/ascii_text.h"

#include <array>
#include <cctype>
#include <cmath>
#include <ctime>

namespace qn {

namespace {

constexpr std::array<const char *, 7> kShortDayNames = {"Sun", "Mon", "Tue", "Wed",
                                                        "Thu", "Fri", "Sat"};
constexpr std::array<const char *, 7> kLongDayNames = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                       "Thursday", "Friday", "Saturday"};
constexpr std::array<const char *, 12> kShortMonthNames = {
    "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::array<const char *, 12> kLongMonthNames = {
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};

// Days from 1 January of year 1 to 30 December 1899.
constexpr long kEpochOffset = 693593;

DateFormatSettings &settings()
{
    static DateFormatSettings value;
    return value;
}

long daysBeforeYear(int year)
{
    long y = year - 1;
    return y * 365 + y / 4 - y / 100 + y / 400;
}

void appendNumber(std::string &out, int value, int width)
{
    std::string digits = std::to_string(value);
    if (static_cast<int>(digits.size()) < width)
        out.append(width - digits.size(), '0');
    out += digits;
}

int currentYear()
{
    int y, m, d;
    DecodeDate(Date(), y, m, d);
    return y;
}

// Count of repeats of the letter at format[i] (case-insensitive).
size_t runLength(std::string_view format, size_t i)
{
    size_t n = 1;
    while (i + n < format.size() && AsciiLower(format[i + n]) == AsciiLower(format[i]))
        ++n;
    return n;
}

void formatInto(std::string &out, std::string_view format, TDateTime value, int depth)
{
    int year, month, day, hour, minute, second, ms;
    DecodeDate(value, year, month, day);
    DecodeTime(value, hour, minute, second, ms);
    bool lastWasHour = false;
    size_t i = 0;
    while (i < format.size()) {
        char c = format[i];
        int l = AsciiLower(c);
        if (c == '"' || c == '\'') {
            size_t end = format.find(c, i + 1);
            if (end == std::string_view::npos)
                end = format.size();
            out.append(format.substr(i + 1, end - i - 1));
            i = end + 1;
            continue;
        }
        if (c == '/') {
            out += settings().DateSeparator;
            ++i;
            continue;
        }
        if (c == ':') {
            out += settings().TimeSeparator;
            ++i;
            continue;
        }
        if (l != 'd' && l != 'm' && l != 'y' && l != 'h' && l != 'n' && l != 's') {
            out += c;
            ++i;
            continue;
        }
        size_t n = runLength(format, i);
        i += n;
        switch (l) {
        case 'd':
            if (n == 1)
                appendNumber(out, day, 1);
            else if (n == 2)
                appendNumber(out, day, 2);
            else if (n == 3)
                out += kShortDayNames[DayOfWeek(value) - 1];
            else if (n == 4)
                out += kLongDayNames[DayOfWeek(value) - 1];
            else if (depth < 2) // the date formats themselves never nest further
                formatInto(out, n == 5 ? settings().ShortDateFormat : settings().LongDateFormat,
                           value, depth + 1);
            break;
        case 'm':
            if (lastWasHour && n <= 2)
                appendNumber(out, minute, static_cast<int>(n));
            else if (n <= 2)
                appendNumber(out, month, static_cast<int>(n));
            else if (n == 3)
                out += kShortMonthNames[month - 1];
            else
                out += kLongMonthNames[month - 1];
            break;
        case 'y':
            if (n <= 2)
                appendNumber(out, year % 100, 2);
            else
                appendNumber(out, year, 4);
            break;
        case 'h':
            appendNumber(out, hour, n >= 2 ? 2 : 1);
            break;
        case 'n':
            appendNumber(out, minute, n >= 2 ? 2 : 1);
            break;
        case 's':
            appendNumber(out, second, n >= 2 ? 2 : 1);
            break;
        }
        lastWasHour = l == 'h';
    }
}

// Which of day, month and year the short date format names first, second, third.
std::array<char, 3> fieldOrder()
{
    std::array<char, 3> order{};
    int found = 0;
    for (char c : settings().ShortDateFormat) {
        int l = AsciiLower(c);
        if ((l == 'd' || l == 'm' || l == 'y') && found < 3) {
            bool seen = false;
            for (int k = 0; k < found; ++k)
                seen = seen || order[k] == l;
            if (!seen)
                order[found++] = static_cast<char>(l);
        }
    }
    if (found != 3)
        return {'m', 'd', 'y'};
    return order;
}

} // namespace

bool IsLeapYear(int year)
{
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month)
{
    static constexpr int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime &date)
{
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > DaysInMonth(year, month))
        return false;
    long days = daysBeforeYear(year);
    for (int m = 1; m < month; ++m)
        days += DaysInMonth(year, m);
    days += day - 1;
    date = static_cast<double>(days - kEpochOffset);
    return true;
}

TDateTime EncodeDate(int year, int month, int day)
{
    TDateTime date;
    if (!TryEncodeDate(year, month, day, date))
        throw EConvertError("Invalid argument to date encode");
    return date;
}

void DecodeDate(TDateTime date, int &year, int &month, int &day)
{
    long days = static_cast<long>(std::trunc(date)) + kEpochOffset; // days since 1 Jan 1
    if (days < 0 || days >= daysBeforeYear(10000)) {
        year = month = day = 0;
        return;
    }
    // Estimate the year, then correct it by at most one either way.
    int y = static_cast<int>(days / 365.2425) + 1;
    while (y > 1 && daysBeforeYear(y) > days)
        --y;
    while (daysBeforeYear(y + 1) <= days)
        ++y;
    long dayOfYear = days - daysBeforeYear(y);
    int m = 1;
    while (dayOfYear >= DaysInMonth(y, m)) {
        dayOfYear -= DaysInMonth(y, m);
        ++m;
    }
    year = y;
    month = m;
    day = static_cast<int>(dayOfYear) + 1;
}

TDateTime EncodeTime(int hour, int minute, int second, int millisecond)
{
    return (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + millisecond) / 86400000.0;
}

void DecodeTime(TDateTime time, int &hour, int &minute, int &second, int &millisecond)
{
    double fraction = std::fabs(time - std::trunc(time));
    long ms = std::lround(fraction * 86400000.0);
    if (ms >= 86400000)
        ms = 86399999;
    hour = static_cast<int>(ms / 3600000);
    minute = static_cast<int>(ms / 60000 % 60);
    second = static_cast<int>(ms / 1000 % 60);
    millisecond = static_cast<int>(ms % 1000);
}

int DayOfWeek(TDateTime date)
{
    // Day 0 was a Saturday.
    long days = static_cast<long>(std::trunc(date));
    long index = ((days + 6) % 7 + 7) % 7; // 0 = Sunday
    return static_cast<int>(index) + 1;
}

TDateTime Date()
{
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

TDateTime Now()
{
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) +
           EncodeTime(local.tm_hour, local.tm_min, local.tm_sec, 0);
}

const DateFormatSettings &FormatSettings()
{
    return settings();
}
void SetShortDateFormat(std::string_view format)
{
    settings().ShortDateFormat = format;
}
void SetLongDateFormat(std::string_view format)
{
    settings().LongDateFormat = format;
}
void SetDateSeparator(char separator)
{
    settings().DateSeparator = separator;
}
void ResetFormatSettings()
{
    settings() = DateFormatSettings{};
}

std::string FormatDateTime(std::string_view format, TDateTime value)
{
    std::string out;
    formatInto(out, format, value, 0);
    return out;
}

std::string DateToStr(TDateTime date)
{
    return FormatDateTime("ddddd", date);
}

bool TryStrToDate(std::string_view text, TDateTime &date)
{
    size_t i = 0;
    auto skipBlanks = [&] {
        while (i < text.size() && text[i] == ' ')
            ++i;
    };
    int values[3];
    size_t widths[3];
    skipBlanks();
    for (int part = 0; part < 3; ++part) {
        if (part > 0) {
            skipBlanks();
            if (i >= text.size() || text[i] != settings().DateSeparator)
                return false;
            ++i;
            skipBlanks();
        }
        size_t start = i;
        int value = 0;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) &&
               i - start < 5)
            value = value * 10 + (text[i++] - '0');
        widths[part] = i - start;
        values[part] = value;
    }
    skipBlanks();
    if (i != text.size())
        return false;

    int year = 0, month = 0, day = 0;
    std::array<char, 3> order = fieldOrder();
    for (int part = 0; part < 3; ++part) {
        size_t w = widths[part];
        switch (order[part]) {
        case 'd':
            if (w < 1 || w > 2)
                return false;
            day = values[part];
            break;
        case 'm':
            if (w < 1 || w > 2)
                return false;
            month = values[part];
            break;
        case 'y':
            if (w != 2 && w != 4)
                return false;
            year = values[part];
            if (w == 2) {
                int now = currentYear();
                int candidate = now - now % 100 + year;
                if (candidate <= now - 50)
                    candidate += 100;
                else if (candidate > now + 49)
                    candidate -= 100;
                year = candidate;
            }
            break;
        }
    }
    return TryEncodeDate(year, month, day, date);
}

TDateTime StrToDate(std::string_view text)
{
    TDateTime date;
    if (!TryStrToDate(text, date))
        throw EConvertError("'" + std::string(text) + "' is not a valid date");
    return date;
}

} // namespace qn
