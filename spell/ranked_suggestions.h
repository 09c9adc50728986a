#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qn::spell {

// The best candidates so far, by descending score. A candidate goes after
// every entry of equal or higher score, so equal scores keep the order in
// which they were found; duplicates stay.
class RankedSuggestions {
public:
    static constexpr size_t kMaxText = 30;

    struct Entry {
        std::string Text;
        int Score = 0;
    };

    explicit RankedSuggestions(size_t capacity) : capacity_(capacity) {}

    void Offer(std::string_view text, int score);
    const std::vector<Entry> &Entries() const { return entries_; }

private:
    size_t capacity_;
    std::vector<Entry> entries_;
};

// The candidate written in the case of the word as typed: all capitals stay
// when the typed word has no lower-case letter; otherwise lower case, with a
// capital wherever the typed word's letter at the same place is one (places
// count letters only).
std::string ApplyCasePattern(std::string_view candidate, std::string_view typed);

} // namespace qn::spell
