#pragma once

#include <string_view>

namespace qn::spell {

// How alike a candidate and the word being corrected are, 0 to 100: twice the
// characters of their common runs (longest run first, then the parts to its
// right and left) over their total length. Both texts upper case; the
// candidate's apostrophes do not count.
int SimilarityScore(std::string_view candidate, std::string_view word);

} // namespace qn::spell
