#include "platform/unicode_text.h"

#include "platform/ansi.h"

#include <unicode/uchar.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <array>
#include <cstdint>
#include <memory>

namespace qn::unicode {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

char32_t ansiLower(unsigned char b)
{
    return AnsiToUnicode(AnsiLowerChar(b));
}

bool isScalarValue(char32_t c)
{
    return c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF);
}

bool inCategories(char32_t c, uint32_t mask)
{
    if (c > 0x10FFFF)
        return false;
    return (U_GET_GC_MASK(static_cast<UChar32>(c)) & mask) != 0;
}

// Unicode folds of code page characters that lie outside the code page (the
// micro sign folds to Greek small mu), with the code page's own fold of them.
struct OutsideFolds {
    std::array<std::pair<char32_t, char32_t>, 256> pairs{};
    size_t count = 0;
    OutsideFolds()
    {
        for (int b = 0; b < 256; ++b) {
            const char32_t c = AnsiToUnicode(static_cast<unsigned char>(b));
            const auto folded =
                static_cast<char32_t>(u_foldCase(static_cast<UChar32>(c), U_FOLD_CASE_DEFAULT));
            if (!UnicodeToAnsi(folded))
                pairs[count++] = {folded, ansiLower(static_cast<unsigned char>(b))};
        }
    }
};

char32_t foldSlow(char32_t c)
{
    if (auto b = UnicodeToAnsi(c))
        return ansiLower(*b);
    if (c > 0x10FFFF)
        return c;
    const auto folded =
        static_cast<char32_t>(u_foldCase(static_cast<UChar32>(c), U_FOLD_CASE_DEFAULT));
    if (auto b = UnicodeToAnsi(folded))
        return ansiLower(*b);
    static const OutsideFolds outside;
    for (size_t k = 0; k < outside.count; ++k)
        if (outside.pairs[k].first == folded)
            return outside.pairs[k].second;
    return folded;
}

// Folds of the basic plane. Simple folding never leaves the plane; should a
// future table do so, 0 sends that character to the slow path.
struct FoldTable {
    std::unique_ptr<char16_t[]> folds = std::make_unique<char16_t[]>(0x10000);
    FoldTable()
    {
        for (char32_t c = 0; c < 0x10000; ++c) {
            const char32_t f = foldSlow(c);
            folds[c] = f < 0x10000 ? static_cast<char16_t>(f) : 0;
        }
    }
};

void appendUtf8(std::string &out, char32_t c)
{
    if (!isScalarValue(c))
        c = kReplacement;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

} // namespace

bool IsWordChar(char32_t c)
{
    if (auto b = UnicodeToAnsi(c))
        return IsCharAlphaNumeric(*b);
    return inCategories(c, U_GC_L_MASK | U_GC_M_MASK | U_GC_ND_MASK);
}

bool IsLetter(char32_t c)
{
    if (auto b = UnicodeToAnsi(c))
        return IsCharAlpha(*b);
    return inCategories(c, U_GC_L_MASK);
}

bool IsMark(char32_t c)
{
    return !UnicodeToAnsi(c) && inCategories(c, U_GC_M_MASK);
}

char32_t ToLower(char32_t c)
{
    if (auto b = UnicodeToAnsi(c))
        return AnsiToUnicode(AnsiLowerChar(*b));
    if (c > 0x10FFFF)
        return c;
    return static_cast<char32_t>(u_tolower(static_cast<UChar32>(c)));
}

char32_t ToUpper(char32_t c)
{
    if (auto b = UnicodeToAnsi(c))
        return AnsiToUnicode(AnsiUpperChar(*b));
    if (c > 0x10FFFF)
        return c;
    return static_cast<char32_t>(u_toupper(static_cast<UChar32>(c)));
}

char32_t FoldCase(char32_t c)
{
    if (c < 0x10000) {
        static const FoldTable table;
        const char16_t f = table.folds[c];
        if (f != 0 || c == 0)
            return f;
    }
    return foldSlow(c);
}

std::string ToUtf8(std::u32string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char32_t c : text)
        appendUtf8(out, c);
    return out;
}

std::u32string FromUtf8(std::string_view utf8, bool *wellFormed)
{
    std::u32string out;
    out.reserve(utf8.size());
    bool good = true;
    const auto *s = reinterpret_cast<const uint8_t *>(utf8.data());
    const auto length = static_cast<int64_t>(utf8.size());
    int64_t i = 0;
    while (i < length) {
        UChar32 c;
        // Stops after the longest valid start of a broken sequence, so that
        // each maximal ill-formed part becomes one U+FFFD.
        U8_NEXT(s, i, length, c);
        if (c < 0) {
            good = false;
            c = kReplacement;
        }
        out += static_cast<char32_t>(c);
    }
    if (wellFormed)
        *wellFormed = good;
    return out;
}

std::u16string ToUtf16(std::u32string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    for (char32_t c : text) {
        if (!isScalarValue(c))
            c = kReplacement;
        if (c < 0x10000) {
            out += static_cast<char16_t>(c);
        } else {
            out += static_cast<char16_t>(U16_LEAD(c));
            out += static_cast<char16_t>(U16_TRAIL(c));
        }
    }
    return out;
}

std::u32string FromUtf16(std::u16string_view utf16, bool *wellFormed)
{
    std::u32string out;
    out.reserve(utf16.size());
    bool good = true;
    const size_t length = utf16.size();
    size_t i = 0;
    while (i < length) {
        UChar32 c;
        U16_NEXT(utf16.data(), i, length, c);
        if (U_IS_SURROGATE(c)) {
            good = false;
            c = kReplacement;
        }
        out += static_cast<char32_t>(c);
    }
    if (wellFormed)
        *wellFormed = good;
    return out;
}

std::u32string FromAnsi(std::string_view cp1252)
{
    std::u32string out;
    out.reserve(cp1252.size());
    for (char ch : cp1252)
        out += AnsiToUnicode(static_cast<unsigned char>(ch));
    return out;
}

std::optional<std::string> ToAnsi(std::u32string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char32_t c : text) {
        auto b = UnicodeToAnsi(c);
        if (!b)
            return std::nullopt;
        out += static_cast<char>(*b);
    }
    return out;
}

} // namespace qn::unicode
