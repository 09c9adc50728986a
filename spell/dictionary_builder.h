#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qn::spell {

// Makes a main dictionary from a word list. Words are inserted with the same
// rules as words added to a user dictionary, in descending order so that every
// run lists its letters in alphabet order; a new section starts whenever the
// current one would pass the node limit.
class DictionaryBuilder {
public:
    enum class Verdict { Accepted, OutsideAlphabet, TooLong, Empty };

    // Takes a Windows-1252 word; the verdict says why a word is not taken.
    Verdict Add(std::string_view word);

    struct Result {
        std::string Bytes;  // the complete file
        int32_t Stored = 0; // distinct words stored
        int32_t Duplicates = 0;
        int32_t Sections = 0;
        int32_t Nodes = 0;
    };
    Result Build() const;

private:
    std::vector<std::string> codes_;
};

} // namespace qn::spell
