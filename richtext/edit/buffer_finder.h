#pragma once

// TQnBufferFinder: whether a whole text holds a match of a pattern, by the
// text finder's rules for a search with case folding and a wildcard and no
// other option (no whole words, no attribute filter, no end character):
// the text finder would find the same pattern in a document holding the
// same paragraphs exactly when this finder answers true.
//
// The text is one buffer: the characters of each paragraph, folded by
// Fold(), each paragraph ended by a zero. A match never crosses a paragraph
// end.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qn {

class TQnBufferFinder {
public:
    // The pattern is cut as the text finder cuts it; wildcard 0 is none.
    TQnBufferFinder(std::u32string_view pattern, char32_t wildcard);

    // The case folding of the text finder: a table for the first code
    // points, unicode::FoldCase beyond.
    static char32_t Fold(char32_t c);
    // Appends text folded, as a buffer this finder reads expects.
    static void AppendFolded(std::u32string_view text, std::u32string &buffer);

    bool Matches(std::u32string_view folded) const;

private:
    // A head or tail: folded bytes, and where the wildcard stands for any
    // one character.
    struct Part {
        std::u32string bytes;
        std::vector<bool> any;
        bool hasAny = false;
        bool impossible = false; // holds a byte no text character folds to
        size_t size() const { return bytes.size(); }
        bool empty() const { return bytes.empty(); }
    };
    static Part makePart(std::u32string_view raw, char32_t wildcard);
    // The first place at or after `from` where the part matches, the match
    // ending at or before `limit`; npos when there is none.
    static size_t find(const Part &part, std::u32string_view text, size_t from, size_t limit);

    Part head_, tail_;
    bool hasWildcard_ = false;
    bool empty_ = true;
};

} // namespace qn
