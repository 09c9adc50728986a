#pragma once

#include "spell/dictionary_format.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qn::spell {

// The node area of one section held in memory, with the insertion rules of
// the dictionaries: a word follows its existing prefix; the first missing
// letter joins the run where the prefix ends, as its new first node, and every
// further letter becomes a one-node run appended after the nodes in use.
// Inserting a node moves the nodes from there on one place up and renumbers
// the links to them.
class TrieImage {
public:
    TrieImage() = default;

    // The nodes 1 .. count as a section stores them.
    static TrieImage FromBytes(const uint8_t *bytes, int32_t count, int32_t words);

    int32_t NodeCount() const { return static_cast<int32_t>(child_.size()) - 1; }
    int32_t WordCount() const { return words_; }
    TrieNode Node(int32_t n) const { return {child_[n], flags_[n]}; }

    enum class AddResult { Added, Present, Refused };

    // Adds a word given as letter codes. Refused when it is empty, longer than
    // 25 letters, or when the node count plus its length would pass the limit.
    AddResult Add(std::string_view codes);
    bool Contains(std::string_view codes) const;

    // True when the nodes form a proper trie that insertion may change: every
    // run ends inside the nodes in use, links point inside them, no node is
    // reached twice and no letter appears twice in a run.
    bool IsSound() const;

    // Appends the bytes of nodes 1 .. slots (free slots after the nodes in use).
    void AppendArea(std::string &out, int32_t slots) const;

private:
    int32_t findInRun(int32_t run, uint8_t code) const;
    int32_t appendChain(std::string_view codes);
    void insertAt(int32_t k, uint8_t code);

    // Index 0 is unused: nodes are numbered from 1.
    std::vector<uint16_t> child_{0};
    std::vector<uint8_t> flags_{0};
    int32_t words_ = 0;
};

} // namespace qn::spell
