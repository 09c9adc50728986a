#pragma once

// Small text helpers shared by the parts of the HTML reader.

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace qn::html_text {

inline char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

inline bool sameText(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

inline bool isBlank(uint8_t c)
{
    return c <= 32;
}

// A whole number at the start of text (blanks skipped), with an optional
// sign; false when there is no digit. Large values are cut, not wrapped.
inline bool parseNumber(std::string_view text, int &value, char *sign = nullptr)
{
    size_t i = 0;
    while (i < text.size() && isBlank(static_cast<uint8_t>(text[i])))
        ++i;
    char s = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        s = text[i++];
    if (i >= text.size() || text[i] < '0' || text[i] > '9')
        return false;
    long long v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        v = std::min<long long>(v * 10 + (text[i] - '0'), 1000000);
    value = static_cast<int>(s == '-' ? -v : v);
    if (sign)
        *sign = s;
    return true;
}

} // namespace qn::html_text
