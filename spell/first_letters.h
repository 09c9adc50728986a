#pragma once

#include <cstdint>
#include <string>

namespace qn::spell {

// The letters a word's first letter is tried as when suggestions are sought,
// in the order they are tried: keyboard neighbours, similar sounds, the letter
// itself and its accented forms. Expects an upper-case letter.
std::string FirstLetterAlternatives(uint8_t upperLetter);

} // namespace qn::spell
