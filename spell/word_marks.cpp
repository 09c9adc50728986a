#include "spell/word_marks.h"

#include "spell/spell_letters.h"

#include <algorithm>

namespace qn::spell {

namespace {

bool isJoiner(uint8_t c);

bool isWordLetter(uint8_t c)
{
    return IsLetter(c) || (InAlphabet(c) && !isJoiner(c) && c != '`');
}

bool isJoiner(uint8_t c)
{
    return c == '\'' || c == '-' || c == 0x92; // right single quotation mark
}

bool isCodeCharacter(uint8_t c)
{
    return (c >= '0' && c <= '9') || c == '_';
}

// What no word reaches across: whether the characters on either side belong
// to words is decided by the characters between such separators alone.
bool isSeparator(uint8_t c)
{
    return !isWordLetter(c) && !isJoiner(c) && !isCodeCharacter(c);
}

} // namespace

std::vector<WordRange> FindWords(std::string_view text)
{
    std::vector<WordRange> words;
    const size_t n = text.size();
    auto at = [&text](size_t i) { return static_cast<uint8_t>(text[i]); };
    size_t i = 0;
    while (i < n) {
        if (!isWordLetter(at(i))) {
            ++i;
            continue;
        }
        const size_t start = i;
        bool code = start > 0 && isCodeCharacter(at(start - 1));
        while (i < n) {
            if (isWordLetter(at(i)))
                ++i;
            else if (isJoiner(at(i)) && i + 1 < n && isWordLetter(at(i + 1)))
                ++i;
            else
                break;
        }
        if (i < n && isCodeCharacter(at(i)))
            code = true;
        // A code runs on through its digits.
        while (code && i < n && (isCodeCharacter(at(i)) || isWordLetter(at(i))))
            ++i;
        if (!code)
            words.push_back({static_cast<int>(start), static_cast<int>(i - start)});
    }
    return words;
}

std::vector<WordRange> MisspelledWords(std::string_view text, int caret,
                                       const std::function<bool(std::string_view)> &isCorrect)
{
    std::vector<WordRange> wrong;
    for (const WordRange &w : FindWords(text)) {
        if (caret >= w.Start && caret <= w.Start + w.Length)
            continue; // still being typed
        if (w.Length < 2 || w.Length > 25)
            continue;
        if (!isCorrect(text.substr(static_cast<size_t>(w.Start), static_cast<size_t>(w.Length))))
            wrong.push_back(w);
    }
    return wrong;
}

std::vector<WordRange> UpdateMisspelledWords(std::string_view before,
                                             const std::vector<WordRange> &marksBefore,
                                             std::string_view after,
                                             const std::function<bool(std::string_view)> &isCorrect)
{
    const size_t shorter = std::min(before.size(), after.size());
    size_t prefix = 0;
    while (prefix < shorter && before[prefix] == after[prefix])
        ++prefix;
    size_t suffix = 0;
    while (suffix < shorter - prefix &&
           before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
        ++suffix;
    if (prefix == after.size() && before.size() == after.size())
        return marksBefore;

    // The changed stretch of the new text, out to the separators around it
    // (which are unchanged, or the ends of the text).
    size_t left = prefix;
    while (left > 0 && !isSeparator(static_cast<uint8_t>(after[left - 1])))
        --left;
    size_t right = after.size() - suffix;
    while (right < after.size() && !isSeparator(static_cast<uint8_t>(after[right])))
        ++right;
    const auto delta = static_cast<int>(after.size()) - static_cast<int>(before.size());
    const int oldRight = static_cast<int>(right) - delta;

    std::vector<WordRange> marks;
    for (const WordRange &w : marksBefore)
        if (w.Start + w.Length <= static_cast<int>(left))
            marks.push_back(w);
    for (WordRange w : MisspelledWords(after.substr(left, right - left), -1, isCorrect)) {
        w.Start += static_cast<int>(left);
        marks.push_back(w);
    }
    for (const WordRange &w : marksBefore)
        if (w.Start >= oldRight)
            marks.push_back({w.Start + delta, w.Length});
    return marks;
}

} // namespace qn::spell
