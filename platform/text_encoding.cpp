#include "platform/text_encoding.h"

#include "platform/unicode_text.h"

#include <unicode/utf8.h>

#include <cstdint>

namespace qn {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LEBom = "\xFF\xFE";
constexpr std::string_view kUtf16BEBom = "\xFE\xFF";

// Well-formed UTF-8, checked without building the text.
bool isUtf8(std::string_view bytes)
{
    size_t i = 0;
    // Plain ASCII runs are by far the most common part of a text file.
    while (i < bytes.size() && static_cast<unsigned char>(bytes[i]) < 0x80)
        ++i;
    const auto *s = reinterpret_cast<const uint8_t *>(bytes.data());
    const auto length = static_cast<int64_t>(bytes.size());
    for (auto at = static_cast<int64_t>(i); at < length;) {
        UChar32 c;
        U8_NEXT(s, at, length, c);
        if (c < 0)
            return false;
    }
    return true;
}

std::u32string fromUtf16(std::string_view bytes, bool bigEndian)
{
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        units += bigEndian ? static_cast<char16_t>((first << 8) | second)
                           : static_cast<char16_t>((second << 8) | first);
    }
    std::u32string text = unicode::FromUtf16(units);
    if (bytes.size() % 2 != 0)
        text += U'\uFFFD';
    return text;
}

} // namespace

TextEncoding DetectTextEncoding(std::string_view bytes)
{
    if (bytes.starts_with(kUtf8Bom))
        return TextEncoding::Utf8Bom;
    if (bytes.starts_with(kUtf16LEBom))
        return TextEncoding::Utf16LE;
    if (bytes.starts_with(kUtf16BEBom))
        return TextEncoding::Utf16BE;
    return isUtf8(bytes) ? TextEncoding::Utf8 : TextEncoding::Windows1252;
}

std::u32string DecodeText(std::string_view bytes, TextEncoding *found)
{
    const TextEncoding encoding = DetectTextEncoding(bytes);
    if (found)
        *found = encoding;
    switch (encoding) {
    case TextEncoding::Utf8Bom:
        return unicode::FromUtf8(bytes.substr(kUtf8Bom.size()));
    case TextEncoding::Utf16LE:
        return fromUtf16(bytes.substr(kUtf16LEBom.size()), false);
    case TextEncoding::Utf16BE:
        return fromUtf16(bytes.substr(kUtf16BEBom.size()), true);
    case TextEncoding::Utf8:
        return unicode::FromUtf8(bytes);
    case TextEncoding::Windows1252:
        break;
    }
    return unicode::FromAnsi(bytes);
}

} // namespace qn
