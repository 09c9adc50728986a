#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// The 64 letters a dictionary can store, and the Windows-1252 case rules the
// spell checker works with.
namespace qn::spell {

constexpr int kAlphabetSize = 64;

// The character of each 6-bit letter code.
extern const std::array<uint8_t, kAlphabetSize> kAlphabet;

// The letter code of a character. Characters outside the alphabet (digits
// included) get code 0, the code of A, as the dictionaries always did.
uint8_t LetterCode(uint8_t ch);

// True when the character, once upper-cased, is one of the 64 letters.
bool InAlphabet(uint8_t ch);

// The spell checker's own upper-casing: a..z, a-grave..thorn except eth and
// the division sign, s-caron, oe and y-diaeresis. Everything else stays.
uint8_t SpellUpper(uint8_t ch);
std::string SpellUpperCase(std::string_view text);

// Windows case pairs, used to give suggestions the case of the typed word.
bool IsLetter(uint8_t ch);
bool IsLowerLetter(uint8_t ch);
bool IsUpperLetter(uint8_t ch);
uint8_t CharLower(uint8_t ch);
uint8_t CharUpper(uint8_t ch);

// Converts a word to letter codes (after upper-casing).
std::string WordCodes(std::string_view word);

} // namespace qn::spell
