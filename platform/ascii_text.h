#pragma once

// ASCII case and blanks for names, keys, commands and file contents that are
// ASCII by definition (field, tag and file names, INI keys, command words).
// Text of the diary's own entries is Windows-1252: see ansi.h for that.

#include <string>
#include <string_view>

namespace qn {

constexpr char AsciiUpper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

constexpr char AsciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The value of a hexadecimal digit, or -1.
constexpr int HexDigitValue(unsigned char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

inline std::string AsciiUpperCase(std::string_view text)
{
    std::string out(text);
    for (char &c : out)
        c = AsciiUpper(c);
    return out;
}

inline std::string AsciiLowerCase(std::string_view text)
{
    std::string out(text);
    for (char &c : out)
        c = AsciiLower(c);
    return out;
}

// Equal but for the case of ASCII letters.
constexpr bool AsciiSameText(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiUpper(a[i]) != AsciiUpper(b[i]))
            return false;
    return true;
}

// The text without the given characters at its end / start / both ends.
// The result views the argument: keep the argument alive while it is used.
constexpr std::string_view TrimRight(std::string_view text, std::string_view blanks = " ")
{
    size_t end = text.find_last_not_of(blanks);
    return end == std::string_view::npos ? text.substr(0, 0) : text.substr(0, end + 1);
}

constexpr std::string_view TrimLeft(std::string_view text, std::string_view blanks = " ")
{
    size_t begin = text.find_first_not_of(blanks);
    return begin == std::string_view::npos ? text.substr(text.size()) : text.substr(begin);
}

constexpr std::string_view Trim(std::string_view text, std::string_view blanks = " ")
{
    return TrimLeft(TrimRight(text, blanks), blanks);
}

} // namespace qn
