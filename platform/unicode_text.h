#pragma once

// The rules of Unicode text: character classes, case, user-perceived
// characters (grapheme clusters) and the conversions between UTF-8, UTF-16,
// UTF-32 and Windows-1252. Text is one char32_t per code point.
//
// For every character Windows-1252 holds, each rule gives exactly what the
// code page's own rule in ansi.h gives, so diaries written before Unicode read,
// search and edit as they always did; every other character follows Unicode.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace qn::unicode {

// Word characters: the code page's letters and digits; elsewhere Unicode
// letters (L*), marks (M*) and decimal digits (Nd).
bool IsWordChar(char32_t c);
// Letters: the code page's letters; elsewhere Unicode letters (L*).
bool IsLetter(char32_t c);
// Marks (M*) that join the letter before them (accents, vowel signs).
bool IsMark(char32_t c);

// Simple (one to one) case mapping.
char32_t ToLower(char32_t c);
char32_t ToUpper(char32_t c);

// Case folding for case-insensitive comparison: two characters are equal
// ignoring case exactly when their folds are equal. Code page characters fold
// to their lower case partner; others by Unicode's simple case folding,
// joined with the code page character that folds the same way (Greek capital
// mu and the micro sign, the Kelvin sign and k). Characters below U+10000 are
// looked up in a table built on first use.
char32_t FoldCase(char32_t c);

// Grapheme cluster boundaries (Unicode's extended grapheme clusters): a base
// letter with its combining marks, an emoji with its modifiers and joined
// parts, a flag's two regional indicators and CR LF are each one character
// to the user. Positions are indexes into text; 0 and text.size() are
// always boundaries.
bool IsGraphemeBoundary(std::u32string_view text, size_t pos);
// The first boundary after pos (text.size() at the end).
size_t NextGraphemeBoundary(std::u32string_view text, size_t pos);
// The last boundary before pos (0 at the start).
size_t PreviousGraphemeBoundary(std::u32string_view text, size_t pos);

// Conversions. Ill-formed input (surrogate code points, values above
// U+10FFFF, broken UTF-8 or UTF-16) gives U+FFFD for each maximal ill-formed
// part, and *wellFormed, when given, tells whether that happened.
std::string ToUtf8(std::u32string_view text);
std::u32string FromUtf8(std::string_view utf8, bool *wellFormed = nullptr);
std::u16string ToUtf16(std::u32string_view text);
std::u32string FromUtf16(std::u16string_view utf16, bool *wellFormed = nullptr);
std::u32string FromAnsi(std::string_view cp1252);
// Nothing when a character is not in Windows-1252.
std::optional<std::string> ToAnsi(std::u32string_view text);

} // namespace qn::unicode
