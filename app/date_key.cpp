#include "app/date_key.h"

#include <cstdio>

namespace qn {

namespace {

// The number written by `count` digits at `from`; false when any is not a digit.
bool digits(std::string_view text, size_t from, size_t count, int &value)
{
    value = 0;
    for (size_t i = from; i < from + count; ++i) {
        char c = text[i];
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

} // namespace

std::string DateKey(TDateTime date)
{
    int year = 0, month = 0, day = 0;
    DecodeDate(date, year, month, day);
    return DateKey(year, month, day);
}

std::string DateKey(int year, int month, int day)
{
    char key[16];
    std::snprintf(key, sizeof key, "%04d%02d%02d", year, month, day);
    return key;
}

TDateTime STOD(std::string_view key)
{
    TDateTime result = Date();
    if (key.size() < 8)
        return result;
    int year = 0, month = 0, day = 0;
    if (!digits(key, 0, 4, year) || !digits(key, 4, 2, month) || !digits(key, 6, 2, day))
        return result;
    TDateTime date = 0;
    if (TryEncodeDate(year, month, day, date))
        result = date;
    return result;
}

} // namespace qn
