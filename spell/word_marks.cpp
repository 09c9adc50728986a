#include "spell/word_marks.h"

#include "spell/spell_letters.h"

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

} // namespace qn::spell
