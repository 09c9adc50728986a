#pragma once

#include "spell/dictionary_section.h"
#include "spell/edit_cost.h"
#include "spell/phonetic_key.h"

#include <functional>
#include <string>
#include <string_view>

// Reading walks over one section's trie. Every walk is bounded: by the word's
// length, by the longest candidate, and by the number of nodes the section
// holds, so that a damaged file (links past the area, cycles, runs without an
// end) gives wrong answers at worst, never a hang.
namespace qn::spell {

// Exact lookup of an upper-case word.
bool FindWord(DictionarySection &section, std::string_view upperWord);

// Candidates for a suggestion search: reports every word of the section whose
// path passes only through prefixes with the given phonetic key.
void WalkCandidates(DictionarySection &section, const PhoneticKey &key,
                    const std::function<void(const std::string &)> &candidate);

// Every word of the section whose edit cost against the rows' typed word is at
// most the budget, with that cost. Branches whose rows cannot come back under
// the budget are left unwalked. The rows must hold no candidate letters.
void WalkWithinEdits(DictionarySection &section, EditRows &rows, int budget,
                     const std::function<void(const std::string &, int cost)> &word);

// Every word of the section, in trie order.
void ForEachWord(DictionarySection &section, const std::function<void(const std::string &)> &word);

// Candidates and listed words are cut at this length.
constexpr size_t kMaxWalkDepth = 30;

} // namespace qn::spell
