#pragma once

#include "platform/file_system.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace qn::spell {

// How common words are, in classes from 0 (the most common) up. The list is
// a text file beside the main dictionary: one word a line, "class<TAB>word",
// Windows-1252. Words it does not name are of class kUnlisted. Lines that do
// not read that way are skipped; a file past 16 MB is not read at all.
class WordFrequency {
public:
    static constexpr int kUnlisted = 9;
    static constexpr int64_t kMaxFileSize = 16 << 20;

    // Replaces what was loaded; false (and nothing loaded) when the file
    // cannot be read.
    bool Load(const std::string &path, FileSystem &fs = DefaultFileSystem());
    void Parse(std::string_view text);
    void Clear() { classes_.clear(); }
    bool Empty() const { return classes_.empty(); }

    // The class of an upper-case word.
    int ClassOf(const std::string &upperWord) const;

private:
    std::unordered_map<std::string, uint8_t> classes_;
};

// The frequency list that belongs to a dictionary: its name with ".frq" in
// place of the extension.
std::string FrequencyPathFor(const std::string &dictionary);

} // namespace qn::spell
