#pragma once

#include "spell/trie_image.h"

#include <filesystem>
#include <string>
#include <vector>

namespace qn::test {

// The bytes of a main dictionary holding the words (Windows-1252).
std::string MainDictionaryBytes(const std::vector<std::string> &words);

// Writes a main dictionary file and returns its path.
std::filesystem::path WriteMainDictionary(const std::filesystem::path &file,
                                          const std::vector<std::string> &words);

// The bytes of a user dictionary whose single section holds the image.
std::string UserDictionaryBytes(const spell::TrieImage &image);

// A little-endian integer, for composing expected bytes by hand.
std::string Int32Bytes(int32_t value);

} // namespace qn::test
