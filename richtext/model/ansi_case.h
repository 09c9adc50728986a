#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qn {

// Windows-1252 case pairs: a-z, the accented letters E0..FE (except F7),
// and the four pairs in the 0x80 block. Used for font and style names.
constexpr uint8_t AnsiUpper(uint8_t c)
{
    if (c >= 'a' && c <= 'z')
        return c - 32;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
        return c - 32;
    switch (c) {
    case 0x9A: return 0x8A;
    case 0x9C: return 0x8C;
    case 0x9E: return 0x8E;
    case 0xFF: return 0x9F;
    default: return c;
    }
}

constexpr uint8_t AnsiLower(uint8_t c)
{
    if (c >= 'A' && c <= 'Z')
        return c + 32;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return c + 32;
    switch (c) {
    case 0x8A: return 0x9A;
    case 0x8C: return 0x9C;
    case 0x8E: return 0x9E;
    case 0x9F: return 0xFF;
    default: return c;
    }
}

inline std::string AnsiUpperString(std::string_view s)
{
    std::string out(s);
    for (char &c : out)
        c = static_cast<char>(AnsiUpper(static_cast<uint8_t>(c)));
    return out;
}

inline bool AnsiEqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AnsiLower(static_cast<uint8_t>(a[i])) != AnsiLower(static_cast<uint8_t>(b[i])))
            return false;
    return true;
}

} // namespace qn
