#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What it costs to get from a dictionary word to the word as typed, in tenths
// of a plain edit. Slips people make often cost less: a neighbouring key hit
// instead of the right one, a doubled letter typed once or a letter typed
// twice, two neighbouring letters swapped.
namespace qn::spell {

constexpr int kPlainEdit = 10;
constexpr int kTwoEdits = 2 * kPlainEdit;
constexpr int kNeighbourKey = 8;   // a key beside the right one
constexpr int kSwappedLetters = 7; // two neighbouring letters swapped
constexpr int kDoubledLetter = 5;  // a doubled letter typed once, or a letter typed twice
constexpr int kStrayNeighbour = 8; // a stray key beside a letter typed next to it
constexpr int kMissingLetter = 8;  // a letter left out
constexpr int kSplit = 15;         // two words run together

// True when the two upper-case letters sit side by side on a QWERTY keyboard.
bool KeyboardNeighbours(uint8_t a, uint8_t b);

// The edit cost rows of one typed word against a candidate built letter by
// letter (as a walk down a trie builds it): row d holds the costs of the
// candidate's first d letters against every prefix of the typed word. The
// typed word and letters are upper case; the typed word is cut at 25 letters
// and the candidate at 30.
class EditRows {
public:
    static constexpr size_t kMaxTyped = 25;
    static constexpr size_t kMaxCandidate = 30;

    explicit EditRows(std::string_view typed);

    // Appends a candidate letter and returns the least cost of the new row.
    // Letters past kMaxCandidate are not taken (Pop still undoes their Push),
    // and the answer is then past any budget.
    int Push(uint8_t letter);
    void Pop();

    // The cost of the candidate so far against the whole typed word.
    int Cost() const { return rows_[candidate_.size() * width_ + typed_.size()]; }

    // The least any extension of the candidate can cost: the current row's
    // least, or one row up plus a swap of the next two letters.
    int Bound() const;

    const std::string &Candidate() const { return candidate_; }

private:
    int missingCost(size_t i) const;

    std::string typed_;
    std::string candidate_;
    size_t overflow_ = 0;
    size_t width_;
    std::vector<int> extra_; // the cost of each typed letter being one too many
    std::vector<int> rows_;  // (kMaxCandidate + 1) rows of width_
    std::vector<int> least_; // the least of each row
};

// The cost between a whole candidate and a typed word, both upper case.
int EditCost(std::string_view candidate, std::string_view typed);

} // namespace qn::spell
