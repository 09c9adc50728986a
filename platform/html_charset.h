#pragma once

// The characters of an HTML file: its encoding as browsers find it (byte
// order mark, then <meta charset> or <meta http-equiv="Content-Type"> in the
// first 1024 bytes), and its character references.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qn {

// The code page (see code_pages.h; 65001 for UTF-8, 1200/1201 for UTF-16) of
// an encoding label as browsers read labels: "latin1", "iso-8859-1" and
// "us-ascii" are Windows-1252, "euc-kr" is 949, "gb2312" is 936. Case and
// surrounding blanks do not matter. Nothing for a label we cannot decode.
std::optional<int> CodePageOfEncodingLabel(std::string_view label);

// The code page an HTML document declares: a byte order mark, else the first
// usable <meta> declaration. Nothing when it declares none.
std::optional<int> HtmlCodePageOf(std::string_view bytes);

// The characters of an HTML document, without its byte order mark. A document
// that declares nothing is read as UTF-8, or as Windows-1252 when its bytes are
// not well-formed UTF-8 (so an old page loses no character to U+FFFD).
std::u32string DecodeHtmlBytes(std::string_view bytes);

// The characters of a named reference, written as after the '&' ("amp;",
// "hellip;"); the ';' may be left off ("hellip"). Some references give two
// characters. Nothing for an unknown name. Names are case-sensitive.
std::optional<std::u32string> HtmlNamedReference(std::string_view name);

// The longest named reference that text starts with, as browsers match it in
// running text ("&notit;" reads as "¬it;"), with the number of bytes it
// takes in *length. Only exact names count here: "hellip" without its ';'
// is no reference, while the legacy "amp", "copy", "eacute" are.
std::optional<std::u32string> HtmlLongestNamedReference(std::string_view text, size_t *length);

// The character of a numeric reference (&#147; &#x201C;) as browsers read it:
// 0x80..0x9F are Windows-1252 codes (147 is U+201C), while 0, surrogates and
// values above U+10FFFF give U+FFFD.
char32_t HtmlNumericReference(uint32_t n);

} // namespace qn
