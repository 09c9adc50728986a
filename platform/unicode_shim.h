#pragma once

// Temporary stand-in for the Unicode rules and converters, until the real
// module is merged: Windows-1252 characters follow the code page's rules,
// others a few rough ranges.

#include <cstddef>
#include <string>
#include <string_view>

namespace qn::unicode {

std::u32string FromAnsi(std::string_view ansi);
// Characters the code page cannot hold become replacement.
std::string ToAnsi(std::u32string_view text, char replacement = '?');
std::string ToUtf8(std::u32string_view text);
std::u32string FromUtf8(std::string_view utf8);
std::u16string ToUtf16(std::u32string_view text);
std::u32string FromUtf16(std::u16string_view utf16);

bool IsLetter(char32_t c);
bool IsWordChar(char32_t c);
char32_t ToLower(char32_t c);
char32_t ToUpper(char32_t c);
char32_t FoldCase(char32_t c);

bool IsGraphemeBoundary(std::u32string_view text, size_t offset);
size_t NextGraphemeBoundary(std::u32string_view text, size_t offset);
size_t PreviousGraphemeBoundary(std::u32string_view text, size_t offset);

} // namespace qn::unicode
