#include "spell/edit_cost.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>

namespace qn::spell {

namespace {

constexpr int kUnreachable = std::numeric_limits<int>::max() / 4;

struct KeyPlace {
    int Row = -1;
    int Column = 0;
};

// Rows of the keyboard; each row sits a little to the right of the one above,
// so a key touches two keys of the row above (same column and one to the
// right) and two of the row below (same column and one to the left).
const std::array<KeyPlace, 256> &keyPlaces()
{
    static const std::array<KeyPlace, 256> places = [] {
        std::array<KeyPlace, 256> p{};
        const char *const rows[] = {"QWERTYUIOP", "ASDFGHJKL", "ZXCVBNM"};
        for (int r = 0; r < 3; ++r)
            for (int c = 0; rows[r][c]; ++c)
                p[static_cast<uint8_t>(rows[r][c])] = {r, c};
        return p;
    }();
    return places;
}

bool placesTouch(KeyPlace p, KeyPlace q)
{
    if (p.Row < 0 || q.Row < 0)
        return false;
    if (p.Row == q.Row)
        return std::abs(p.Column - q.Column) == 1;
    if (q.Row == p.Row - 1)
        return q.Column == p.Column || q.Column == p.Column + 1;
    if (q.Row == p.Row + 1)
        return q.Column == p.Column || q.Column == p.Column - 1;
    return false;
}

// The cost of every pair of letters, typed one first.
const std::vector<uint8_t> &substituteCosts()
{
    static const std::vector<uint8_t> costs = [] {
        std::vector<uint8_t> c(256 * 256, kPlainEdit);
        const auto &places = keyPlaces();
        for (int a = 0; a < 256; ++a)
            for (int b = 0; b < 256; ++b)
                c[a * 256 + b] = a == b                              ? 0
                                 : placesTouch(places[a], places[b]) ? kNeighbourKey
                                                                     : kPlainEdit;
        return c;
    }();
    return costs;
}

} // namespace

bool KeyboardNeighbours(uint8_t a, uint8_t b)
{
    return a != b && placesTouch(keyPlaces()[a], keyPlaces()[b]);
}

EditRows::EditRows(std::string_view typed)
    : typed_(typed.substr(0, kMaxTyped)), width_(typed_.size() + 1)
{
    const size_t m = typed_.size();
    extra_.resize(m);
    for (size_t j = 0; j < m; ++j) {
        const uint8_t c = static_cast<uint8_t>(typed_[j]);
        const uint8_t before = j > 0 ? static_cast<uint8_t>(typed_[j - 1]) : 0;
        const uint8_t after = j + 1 < m ? static_cast<uint8_t>(typed_[j + 1]) : 0;
        if (c == before || c == after)
            extra_[j] = kDoubledLetter;
        else if (KeyboardNeighbours(c, before) || KeyboardNeighbours(c, after))
            extra_[j] = kStrayNeighbour;
        else
            extra_[j] = kPlainEdit;
    }
    rows_.assign((kMaxCandidate + 1) * width_, kUnreachable);
    least_.assign(kMaxCandidate + 1, kUnreachable);
    rows_[0] = 0;
    for (size_t j = 1; j <= m; ++j)
        rows_[j] = rows_[j - 1] + extra_[j - 1];
    least_[0] = 0;
    candidate_.reserve(kMaxCandidate);
}

int EditRows::missingCost(size_t i) const
{
    return i > 0 && candidate_[i] == candidate_[i - 1] ? kDoubledLetter : kMissingLetter;
}

int EditRows::Push(uint8_t letter)
{
    if (candidate_.size() >= kMaxCandidate) {
        ++overflow_;
        return kUnreachable;
    }
    candidate_.push_back(static_cast<char>(letter));
    const size_t d = candidate_.size();
    const int missing = missingCost(d - 1);
    const int *up = &rows_[(d - 1) * width_];
    int *row = &rows_[d * width_];
    const int *twoUp = d >= 2 ? &rows_[(d - 2) * width_] : nullptr;
    const uint8_t previous = d >= 2 ? static_cast<uint8_t>(candidate_[d - 2]) : 0;

    const uint8_t *substitute = substituteCosts().data() + letter;
    row[0] = up[0] + missing;
    int least = row[0];
    for (size_t j = 1; j < width_; ++j) {
        const uint8_t t = static_cast<uint8_t>(typed_[j - 1]);
        int v = up[j - 1] + substitute[t * 256];
        v = std::min(v, up[j] + missing);
        v = std::min(v, row[j - 1] + extra_[j - 1]);
        if (twoUp && j >= 2 && letter != previous &&
            letter == static_cast<uint8_t>(typed_[j - 2]) && previous == t)
            v = std::min(v, twoUp[j - 2] + kSwappedLetters);
        row[j] = v;
        least = std::min(least, v);
    }
    least_[d] = least;
    return least;
}

void EditRows::Pop()
{
    if (overflow_ > 0)
        --overflow_;
    else if (!candidate_.empty())
        candidate_.pop_back();
}

int EditRows::Bound() const
{
    const size_t d = candidate_.size();
    int bound = least_[d];
    if (d >= 1)
        bound = std::min(bound, least_[d - 1] + kSwappedLetters);
    return bound;
}

int EditCost(std::string_view candidate, std::string_view typed)
{
    EditRows rows(typed);
    for (char c : candidate.substr(0, EditRows::kMaxCandidate))
        rows.Push(static_cast<uint8_t>(c));
    return rows.Cost();
}

} // namespace qn::spell
