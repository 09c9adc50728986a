#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace qn::spell {

// A 4-character sound key: the first character as it is, then the sound
// classes of the consonants that follow, each class once.
using PhoneticKey = std::array<uint8_t, 4>;

// The key of the word being corrected; missing places hold the byte 0.
PhoneticKey TargetKey(std::string_view upperWord);

// The key of a trie prefix; missing places are taken from the reference key,
// so that a short prefix stays compatible with it.
PhoneticKey PrefixKey(std::string_view upperPrefix, const PhoneticKey &reference);

} // namespace qn::spell
