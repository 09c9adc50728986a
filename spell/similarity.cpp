#include "spell/similarity.h"

#include <string>

namespace qn::spell {

namespace {

// The common-run search on c[a..b] and w[p..q], 1-based and inclusive. Its
// bounds shrink once a run is found, so a later run must fit before them; the
// results depend on that exact shape, so it is kept as it is.
class RunSearch {
public:
    RunSearch(std::string_view c, std::string_view w) : c_(c), w_(w) {}

    int Matched(int a, int b, int p, int q)
    {
        if (a == b || p == q)
            return 0;
        int best = 0, f = 0, g = 0;
        int e1 = b, e2 = q;
        int i = a - 1;
        while (i < e1) {
            ++i;
            int j = p - 1;
            while (j < e2 && i <= e1) {
                ++j;
                if (at(c_, i, -1) != at(w_, j, -2))
                    continue;
                int h = 1;
                while (i + h <= e1 && j + h <= e2 && at(c_, i + h, -1) == at(w_, j + h, -2))
                    ++h;
                if (h > best) {
                    f = i;
                    g = j;
                    best = h;
                    e1 = b - h - 1;
                    e2 = q - h - 1;
                    i += h;
                }
                j += h;
            }
        }
        if (best == 0)
            return 0;
        return best + Matched(f + best, b, g + best, q) + Matched(a, f - 1, p, g - 1);
    }

private:
    // Positions outside a text read as a value that matches nothing in the
    // other one; the bounds above keep them from being used at all.
    static int at(std::string_view s, int pos, int outside)
    {
        return pos >= 1 && pos <= static_cast<int>(s.size()) ? static_cast<uint8_t>(s[pos - 1])
                                                             : outside;
    }

    std::string_view c_;
    std::string_view w_;
};

} // namespace

int SimilarityScore(std::string_view candidate, std::string_view word)
{
    std::string c;
    c.reserve(candidate.size());
    for (char ch : candidate)
        if (ch != '\'')
            c.push_back(ch);
    const int total = static_cast<int>(c.size() + word.size());
    if (total == 0)
        return 0;
    RunSearch search(c, word);
    const int matched =
        search.Matched(1, static_cast<int>(c.size()), 1, static_cast<int>(word.size()));
    return 2 * matched * 100 / total;
}

} // namespace qn::spell
