#include "platform/unicode_shim.h"

#include <algorithm>

#include "platform/ansi.h"

namespace qn::unicode {

std::u32string FromAnsi(std::string_view ansi)
{
    std::u32string out;
    out.reserve(ansi.size());
    for (char ch : ansi)
        out += AnsiToUnicode(static_cast<unsigned char>(ch));
    return out;
}

std::string ToAnsi(std::u32string_view text, char replacement)
{
    std::string out;
    out.reserve(text.size());
    for (char32_t c : text) {
        auto code = UnicodeToAnsi(c);
        out += code ? static_cast<char>(*code) : replacement;
    }
    return out;
}

std::string ToUtf8(std::u32string_view text)
{
    std::string out;
    for (char32_t c : text) {
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
    return out;
}

std::u32string FromUtf8(std::string_view utf8)
{
    std::u32string out;
    size_t i = 0;
    while (i < utf8.size()) {
        unsigned char lead = static_cast<unsigned char>(utf8[i++]);
        int extra = lead < 0x80             ? 0
                    : (lead & 0xE0) == 0xC0 ? 1
                    : (lead & 0xF0) == 0xE0 ? 2
                    : (lead & 0xF8) == 0xF0 ? 3
                                            : -1;
        if (extra < 0) {
            out += 0xFFFD;
            continue;
        }
        char32_t c = extra == 0 ? lead : lead & (0x3F >> extra);
        bool ok = true;
        for (int k = 0; k < extra; ++k) {
            if (i >= utf8.size() || (static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            c = (c << 6) | (static_cast<unsigned char>(utf8[i++]) & 0x3F);
        }
        out += ok ? c : 0xFFFD;
    }
    return out;
}

std::u16string ToUtf16(std::u32string_view text)
{
    std::u16string out;
    for (char32_t c : text) {
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

std::u32string FromUtf16(std::u16string_view utf16)
{
    std::u32string out;
    for (size_t i = 0; i < utf16.size(); ++i) {
        char32_t c = utf16[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        out += c;
    }
    return out;
}

namespace {

bool isMark(char32_t c)
{
    return (c >= 0x300 && c <= 0x36F) || (c >= 0xFE00 && c <= 0xFE0F) ||
           (c >= 0x1F3FB && c <= 0x1F3FF) || c == 0x200D || (c >= 0x900 && c <= 0x903) ||
           (c >= 0x93A && c <= 0x94F && c != 0x93D) ||
           (c >= 0xE31 && c <= 0xE3A && c != 0xE32 && c != 0xE33) || (c >= 0xE47 && c <= 0xE4E);
}

} // namespace

bool IsLetter(char32_t c)
{
    if (auto code = UnicodeToAnsi(c))
        return IsCharAlpha(*code);
    return c >= 0x100 && !(c >= 0x2000 && c <= 0x2BFF) && !(c >= 0x3000 && c <= 0x303F) &&
           !(c >= 0x1F000 && c <= 0x1FAFF) && !isMark(c);
}

bool IsWordChar(char32_t c)
{
    if (auto code = UnicodeToAnsi(c))
        return IsCharAlphaNumeric(*code);
    return IsLetter(c) || isMark(c);
}

char32_t ToLower(char32_t c)
{
    if (auto code = UnicodeToAnsi(c))
        return AnsiToUnicode(AnsiLowerChar(*code));
    if ((c >= 0x391 && c <= 0x3AB && c != 0x3A2) || (c >= 0x410 && c <= 0x42F))
        return c + 0x20;
    if (c >= 0x400 && c <= 0x40F)
        return c + 0x50;
    if (c == 0x386)
        return 0x3AC;
    if (c >= 0x388 && c <= 0x38A)
        return c + 0x25;
    if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149)
        return ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) ? (c % 2 ? c + 1 : c)
                                                                          : (c % 2 ? c : c + 1);
    return c;
}

char32_t ToUpper(char32_t c)
{
    if (auto code = UnicodeToAnsi(c))
        return AnsiToUnicode(AnsiUpperChar(*code));
    if ((c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) || (c >= 0x430 && c <= 0x44F))
        return c - 0x20;
    if (c >= 0x450 && c <= 0x45F)
        return c - 0x50;
    if (c == 0x3AC)
        return 0x386;
    if (c >= 0x3AD && c <= 0x3AF)
        return c - 0x25;
    if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149)
        return ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) ? (c % 2 ? c : c - 1)
                                                                          : (c % 2 ? c - 1 : c);
    return c;
}

char32_t FoldCase(char32_t c)
{
    return ToLower(c == 0x3C2 ? 0x3C3 : c);
}

bool IsGraphemeBoundary(std::u32string_view text, size_t offset)
{
    if (offset == 0 || offset >= text.size())
        return true;
    const char32_t c = text[offset];
    const char32_t before = text[offset - 1];
    if (before == U'\r' && c == U'\n')
        return false;
    if (isMark(c) || before == 0x200D)
        return false;
    // Regional indicator pairs.
    if (c >= 0x1F1E6 && c <= 0x1F1FF && before >= 0x1F1E6 && before <= 0x1F1FF) {
        size_t run = 0;
        for (size_t k = offset; k > 0 && text[k - 1] >= 0x1F1E6 && text[k - 1] <= 0x1F1FF; --k)
            ++run;
        return run % 2 == 0;
    }
    return true;
}

size_t NextGraphemeBoundary(std::u32string_view text, size_t offset)
{
    if (offset >= text.size())
        return text.size();
    ++offset;
    while (offset < text.size() && !IsGraphemeBoundary(text, offset))
        ++offset;
    return offset;
}

size_t PreviousGraphemeBoundary(std::u32string_view text, size_t offset)
{
    if (offset == 0)
        return 0;
    offset = std::min(offset, text.size()) - 1;
    while (offset > 0 && !IsGraphemeBoundary(text, offset))
        --offset;
    return offset;
}

} // namespace qn::unicode
