#pragma once

// Windows-1252 ("ANSI") text. The document model and the diary files hold
// Windows-1252 bytes; these functions convert at the boundary to Unicode and
// give the case mapping and character classes the editor and search rely on.
// The five codes Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D)
// are kept as bytes: they map to the C1 control of the same number, so every
// byte survives a round trip.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qn {

// The Unicode character of a Windows-1252 byte.
char32_t AnsiToUnicode(unsigned char code);

// The Windows-1252 byte of a Unicode character, or nothing when the code page
// has no such character.
std::optional<unsigned char> UnicodeToAnsi(char32_t character);
// The same as a number, -1 when there is none.
inline int AnsiCode(char32_t character)
{
    const std::optional<unsigned char> code = UnicodeToAnsi(character);
    return code ? *code : -1;
}

std::string AnsiToUtf8(std::string_view ansi);
// Text for a place that holds the code page only (field names, a plain text
// file in the code page): each character the code page lacks becomes
// replacement, so every character keeps its place.
std::string ToAnsiLossy(std::u32string_view text, char replacement = '?');
std::u16string AnsiToUtf16(std::string_view ansi);

// Nothing when the input holds a character Windows-1252 cannot hold (or, for
// UTF-8, is not well-formed): such text is refused, never stored as garbage.
std::optional<std::string> Utf8ToAnsi(std::string_view utf8);
std::optional<std::string> Utf16ToAnsi(std::u16string_view utf16);

// Case mapping of the code page: a..z, the accented letters, š/Š, œ/Œ, ž/Ž and
// ÿ/Ÿ pair up; ß, ÷, × and µ have no partner and stay as they are.
unsigned char AnsiLowerChar(unsigned char code);
unsigned char AnsiUpperChar(unsigned char code);
void CharLowerBuff(std::string &text);
void CharUpperBuff(std::string &text);
std::string AnsiLowerCase(std::string_view text);
std::string AnsiUpperCase(std::string_view text);

// Letters and digits of the code page (including ƒ, ª, µ, º, ¹, ², ³).
bool IsCharAlpha(unsigned char code);
bool IsCharAlphaNumeric(unsigned char code);

// Compares without regard to case, by the case mapping above.
bool AnsiSameText(std::string_view a, std::string_view b);

} // namespace qn
