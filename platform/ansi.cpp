#include "platform/ansi.h"

#include <array>

namespace qn {

namespace {

// Codes 0x80..0x9F; the rest of the code page equals Latin-1.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void appendUtf8(std::string &out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        // Every character of the code page lies in the basic plane.
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Decodes one UTF-8 sequence at text[i], advancing i; nothing when malformed
// (overlong forms, surrogates and truncated sequences included).
std::optional<char32_t> nextUtf8(std::string_view text, size_t &i)
{
    unsigned char lead = static_cast<unsigned char>(text[i++]);
    if (lead < 0x80)
        return lead;
    int extra;
    char32_t c;
    char32_t minimum;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1, c = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, c = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, c = lead & 0x07, minimum = 0x10000;
    } else {
        return std::nullopt;
    }
    for (int k = 0; k < extra; ++k) {
        if (i >= text.size())
            return std::nullopt;
        unsigned char b = static_cast<unsigned char>(text[i++]);
        if ((b & 0xC0) != 0x80)
            return std::nullopt;
        c = (c << 6) | (b & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return std::nullopt;
    return c;
}

} // namespace

char32_t AnsiToUnicode(unsigned char code)
{
    if (code >= 0x80 && code <= 0x9F)
        return kHighControls[code - 0x80];
    return code;
}

std::optional<unsigned char> UnicodeToAnsi(char32_t character)
{
    if (character < 0x80 || (character >= 0xA0 && character <= 0xFF))
        return static_cast<unsigned char>(character);
    // The characters of the 0x80..0x9F row lie between U+0081 and U+2122
    // (none between U+0100 and U+0151): most text beyond the page leaves here.
    if (character > 0x2122 || (character > 0xFF && character < 0x152))
        return std::nullopt;
    for (size_t k = 0; k < kHighControls.size(); ++k)
        if (kHighControls[k] == character)
            return static_cast<unsigned char>(0x80 + k);
    return std::nullopt;
}

std::string AnsiToUtf8(std::string_view ansi)
{
    std::string out;
    out.reserve(ansi.size());
    for (char ch : ansi)
        appendUtf8(out, AnsiToUnicode(static_cast<unsigned char>(ch)));
    return out;
}

std::string ToAnsiLossy(std::u32string_view text, char replacement)
{
    std::string out;
    out.reserve(text.size());
    for (char32_t c : text) {
        const std::optional<unsigned char> code = UnicodeToAnsi(c);
        out += code ? static_cast<char>(*code) : replacement;
    }
    return out;
}

std::u16string AnsiToUtf16(std::string_view ansi)
{
    std::u16string out;
    out.reserve(ansi.size());
    for (char ch : ansi)
        out += static_cast<char16_t>(AnsiToUnicode(static_cast<unsigned char>(ch)));
    return out;
}

std::optional<std::string> Utf8ToAnsi(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        auto c = nextUtf8(utf8, i);
        if (!c)
            return std::nullopt;
        auto code = UnicodeToAnsi(*c);
        if (!code)
            return std::nullopt;
        out += static_cast<char>(*code);
    }
    return out;
}

std::optional<std::string> Utf16ToAnsi(std::u16string_view utf16)
{
    std::string out;
    out.reserve(utf16.size());
    for (char16_t unit : utf16) {
        // A surrogate half belongs to a character outside the basic plane,
        // which the code page cannot hold anyway.
        auto code = UnicodeToAnsi(unit);
        if (!code || (unit >= 0xD800 && unit <= 0xDFFF))
            return std::nullopt;
        out += static_cast<char>(*code);
    }
    return out;
}

unsigned char AnsiLowerChar(unsigned char code)
{
    if (code >= 'A' && code <= 'Z')
        return code + 0x20;
    if (code >= 0xC0 && code <= 0xDE && code != 0xD7)
        return code + 0x20;
    switch (code) {
    case 0x8A:
    case 0x8C:
    case 0x8E:
        return code + 0x10;
    case 0x9F:
        return 0xFF;
    default:
        return code;
    }
}

unsigned char AnsiUpperChar(unsigned char code)
{
    if (code >= 'a' && code <= 'z')
        return code - 0x20;
    if (code >= 0xE0 && code <= 0xFE && code != 0xF7)
        return code - 0x20;
    switch (code) {
    case 0x9A:
    case 0x9C:
    case 0x9E:
        return code - 0x10;
    case 0xFF:
        return 0x9F;
    default:
        return code;
    }
}

void CharLowerBuff(std::string &text)
{
    for (char &ch : text)
        ch = static_cast<char>(AnsiLowerChar(static_cast<unsigned char>(ch)));
}

void CharUpperBuff(std::string &text)
{
    for (char &ch : text)
        ch = static_cast<char>(AnsiUpperChar(static_cast<unsigned char>(ch)));
}

std::string AnsiLowerCase(std::string_view text)
{
    std::string out(text);
    CharLowerBuff(out);
    return out;
}

std::string AnsiUpperCase(std::string_view text)
{
    std::string out(text);
    CharUpperBuff(out);
    return out;
}

bool IsCharAlpha(unsigned char code)
{
    if ((code >= 'A' && code <= 'Z') || (code >= 'a' && code <= 'z'))
        return true;
    if (code >= 0xC0)
        return code != 0xD7 && code != 0xF7;
    switch (code) {
    case 0x83: // ƒ
    case 0x8A:
    case 0x8C:
    case 0x8E:
    case 0x9A:
    case 0x9C:
    case 0x9E:
    case 0x9F:
    case 0xAA: // ª
    case 0xB5: // µ
    case 0xBA: // º
        return true;
    default:
        return false;
    }
}

bool IsCharAlphaNumeric(unsigned char code)
{
    if (code >= '0' && code <= '9')
        return true;
    if (code == 0xB9 || code == 0xB2 || code == 0xB3) // ¹ ² ³
        return true;
    return IsCharAlpha(code);
}

bool AnsiSameText(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AnsiUpperChar(static_cast<unsigned char>(a[i])) !=
            AnsiUpperChar(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

} // namespace qn
