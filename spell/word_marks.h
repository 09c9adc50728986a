#pragma once

// Which words of a paragraph are marked as misspelled while the user types.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qn::spell {

struct WordRange {
    int Start = 0;
    int Length = 0;
    bool operator==(const WordRange &) const = default;
};

// The words of Windows-1252 text: runs of letters, with apostrophes and
// hyphens inside them (not at their ends). Runs holding a digit or an
// underscore, or touching one, are no words (codes, names, numbers). In
// Unicode text the Windows-1252 characters follow the same rules, and of the
// others letters and marks make words, digits make codes.
std::vector<WordRange> FindWords(std::string_view text);
std::vector<WordRange> FindWords(std::u32string_view text);

// The words of the text that the check finds wrong, leaving out the word the
// caret is in or just after (caret -1: none), which is not finished yet, and
// words longer than 25 letters or of a single letter.
std::vector<WordRange> MisspelledWords(std::string_view text, int caret,
                                       const std::function<bool(std::string_view)> &isCorrect);
std::vector<WordRange> MisspelledWords(std::u32string_view text, int caret,
                                       const std::function<bool(std::u32string_view)> &isCorrect);

// The misspelt words of a text after a change, from those of the text before
// it (as MisspelledWords found them with no caret): only the words of the
// stretch that changed, widened to whole runs of letters, digits and joiners,
// are checked again; the marks before and after it are kept (moved by the
// change in length). The result is what MisspelledWords(after, -1, ...)
// gives.
std::vector<WordRange>
UpdateMisspelledWords(std::string_view before, const std::vector<WordRange> &marksBefore,
                      std::string_view after,
                      const std::function<bool(std::string_view)> &isCorrect);
std::vector<WordRange>
UpdateMisspelledWords(std::u32string_view before, const std::vector<WordRange> &marksBefore,
                      std::u32string_view after,
                      const std::function<bool(std::u32string_view)> &isCorrect);

// The check of a Unicode word by a Windows-1252 dictionary: a word holding a
// letter outside the dictionary's code page is never reported as misspelt
// (no dictionary of that language exists yet).
bool IsCorrectInAlphabet(std::u32string_view word,
                         const std::function<bool(std::string_view)> &isCorrect);

} // namespace qn::spell
