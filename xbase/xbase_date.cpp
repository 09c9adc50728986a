#include "xbase/xbase_date.h"

#include <cctype>
#include <cstdio>
#include <vector>

namespace qn::xbase {

long julianDay(const CalendarDate &d)
{
    long a = (14 - d.month) / 12;
    long y = d.year + 4800 - a;
    long m = d.month + 12 * a - 3;
    return d.day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045;
}

CalendarDate fromJulianDay(long jd)
{
    long a = jd + 32044;
    long b = (4 * a + 3) / 146097;
    long c = a - 146097 * b / 4;
    long d = (4 * c + 3) / 1461;
    long e = c - 1461 * d / 4;
    long m = (5 * e + 2) / 153;
    CalendarDate r;
    r.day = int(e - (153 * m + 2) / 5 + 1);
    r.month = int(m + 3 - 12 * (m / 10));
    r.year = int(100 * b + d - 4800 + m / 10);
    return r;
}

bool validDate(const CalendarDate &d)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (d.year < 1 || d.year > 9999 || d.month < 1 || d.month > 12 || d.day < 1)
        return false;
    bool leap = (d.year % 4 == 0 && d.year % 100 != 0) || d.year % 400 == 0;
    return d.day <= days[d.month - 1] + (d.month == 2 && leap ? 1 : 0);
}

std::optional<CalendarDate> parseStoredDate(std::string_view text)
{
    if (text.size() < 8)
        return std::nullopt;
    for (int i = 0; i < 8; ++i)
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return std::nullopt;
    auto num = [&](int from, int n) {
        int v = 0;
        for (int i = from; i < from + n; ++i)
            v = v * 10 + (text[i] - '0');
        return v;
    };
    CalendarDate d{num(0, 4), num(4, 2), num(6, 2)};
    if (!validDate(d))
        return std::nullopt;
    return d;
}

std::string storedDate(const CalendarDate &d)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", d.year % 10000, d.month % 100, d.day % 100);
    return buf;
}

std::string formatDate(const CalendarDate &d, int dateFormat, bool century)
{
    char y[8], m[4], dd[4];
    if (century)
        std::snprintf(y, sizeof y, "%04d", d.year % 10000);
    else
        std::snprintf(y, sizeof y, "%02d", d.year % 100);
    std::snprintf(m, sizeof m, "%02d", d.month % 100);
    std::snprintf(dd, sizeof dd, "%02d", d.day % 100);
    switch (dateFormat) {
    case 1:
        return std::string(y) + "." + m + "." + dd;
    case 2:
    case 3:
        return std::string(dd) + "/" + m + "/" + y;
    case 4:
        return std::string(dd) + "." + m + "." + y;
    case 5:
    case 6:
        return std::string(dd) + "-" + m + "-" + y;
    default:
        return std::string(m) + "/" + dd + "/" + y;
    }
}

std::optional<CalendarDate> parseDateText(std::string_view text, int dateFormat)
{
    std::vector<std::string> parts;
    std::string cur;
    for (char c : text) {
        if (std::isdigit(static_cast<unsigned char>(c))) {
            cur += c;
        } else if (c == ' ' && cur.empty() && parts.empty()) {
            continue;
        } else {
            if (cur.empty())
                return std::nullopt;
            parts.push_back(cur);
            cur.clear();
            if (c == ' ')
                break;
        }
    }
    if (!cur.empty())
        parts.push_back(cur);
    if (parts.size() == 1 && parts[0].size() == 8)
        return parseStoredDate(parts[0]);
    if (parts.size() != 3)
        return std::nullopt;
    for (const std::string &p : parts)
        if (p.size() > 4)
            return std::nullopt;
    int a = std::stoi(parts[0]), b = std::stoi(parts[1]), c = std::stoi(parts[2]);
    CalendarDate d;
    size_t yearDigits;
    switch (dateFormat) {
    case 1:
        d = {a, b, c};
        yearDigits = parts[0].size();
        break;
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
        d = {c, b, a};
        yearDigits = parts[2].size();
        break;
    default:
        d = {c, a, b};
        yearDigits = parts[2].size();
        break;
    }
    if (yearDigits <= 2)
        d.year += d.year < 50 ? 2000 : 1900;
    if (!validDate(d))
        return std::nullopt;
    return d;
}

} // namespace qn::xbase
