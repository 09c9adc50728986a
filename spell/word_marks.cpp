#include "spell/word_marks.h"

#include "platform/ansi.h"
#include "platform/unicode_text.h"
#include "spell/spell_letters.h"

#include <algorithm>
#include <optional>

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

// Characters of the wider text: a Windows-1252 character by the rules
// above; any other by its Unicode class (letters and marks make words,
// digits make codes). No word reaches across a separator: whether the
// characters on either side belong to words is decided by the characters
// between separators alone.
enum class Kind : uint8_t { Letter, Joiner, Code, Separator };

Kind kindOf(uint8_t c)
{
    if (isWordLetter(c))
        return Kind::Letter;
    if (isJoiner(c))
        return Kind::Joiner;
    return isCodeCharacter(c) ? Kind::Code : Kind::Separator;
}

Kind kindOf(char32_t c)
{
    if (const auto ansi = UnicodeToAnsi(c))
        return kindOf(*ansi);
    if (unicode::IsLetter(c) || unicode::IsMark(c))
        return Kind::Letter;
    return unicode::IsWordChar(c) ? Kind::Code : Kind::Separator; // digits
}

template <class Char> Kind kindAt(std::basic_string_view<Char> text, size_t i)
{
    if constexpr (sizeof(Char) == 1)
        return kindOf(static_cast<uint8_t>(text[i]));
    else
        return kindOf(static_cast<char32_t>(text[i]));
}

template <class Char> std::vector<WordRange> findWords(std::basic_string_view<Char> text)
{
    std::vector<WordRange> words;
    const size_t n = text.size();
    auto letter = [&](size_t i) { return kindAt(text, i) == Kind::Letter; };
    auto code = [&](size_t i) { return kindAt(text, i) == Kind::Code; };
    size_t i = 0;
    while (i < n) {
        if (!letter(i)) {
            ++i;
            continue;
        }
        const size_t start = i;
        bool isCode = start > 0 && code(start - 1);
        while (i < n) {
            if (letter(i))
                ++i;
            else if (kindAt(text, i) == Kind::Joiner && i + 1 < n && letter(i + 1))
                ++i;
            else
                break;
        }
        if (i < n && code(i))
            isCode = true;
        // A code runs on through its digits.
        while (isCode && i < n && (code(i) || letter(i)))
            ++i;
        if (!isCode)
            words.push_back({static_cast<int>(start), static_cast<int>(i - start)});
    }
    return words;
}

template <class Char>
std::vector<WordRange>
misspelledWords(std::basic_string_view<Char> text, int caret,
                const std::function<bool(std::basic_string_view<Char>)> &isCorrect)
{
    std::vector<WordRange> wrong;
    for (const WordRange &w : findWords(text)) {
        if (caret >= w.Start && caret <= w.Start + w.Length)
            continue; // still being typed
        if (w.Length < 2 || w.Length > 25)
            continue;
        if (!isCorrect(text.substr(static_cast<size_t>(w.Start), static_cast<size_t>(w.Length))))
            wrong.push_back(w);
    }
    return wrong;
}

template <class Char>
std::vector<WordRange>
updateMisspelledWords(std::basic_string_view<Char> before,
                      const std::vector<WordRange> &marksBefore, std::basic_string_view<Char> after,
                      const std::function<bool(std::basic_string_view<Char>)> &isCorrect)
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
    while (left > 0 && kindAt(after, left - 1) != Kind::Separator)
        --left;
    size_t right = after.size() - suffix;
    while (right < after.size() && kindAt(after, right) != Kind::Separator)
        ++right;
    const auto delta = static_cast<int>(after.size()) - static_cast<int>(before.size());
    const int oldRight = static_cast<int>(right) - delta;

    std::vector<WordRange> marks;
    for (const WordRange &w : marksBefore)
        if (w.Start + w.Length <= static_cast<int>(left))
            marks.push_back(w);
    for (WordRange w : misspelledWords(after.substr(left, right - left), -1, isCorrect)) {
        w.Start += static_cast<int>(left);
        marks.push_back(w);
    }
    for (const WordRange &w : marksBefore)
        if (w.Start >= oldRight)
            marks.push_back({w.Start + delta, w.Length});
    return marks;
}

} // namespace

std::vector<WordRange> FindWords(std::string_view text)
{
    return findWords(text);
}

std::vector<WordRange> FindWords(std::u32string_view text)
{
    return findWords(text);
}

std::vector<WordRange> MisspelledWords(std::string_view text, int caret,
                                       const std::function<bool(std::string_view)> &isCorrect)
{
    return misspelledWords(text, caret, isCorrect);
}

std::vector<WordRange> MisspelledWords(std::u32string_view text, int caret,
                                       const std::function<bool(std::u32string_view)> &isCorrect)
{
    return misspelledWords(text, caret, isCorrect);
}

std::vector<WordRange> UpdateMisspelledWords(std::string_view before,
                                             const std::vector<WordRange> &marksBefore,
                                             std::string_view after,
                                             const std::function<bool(std::string_view)> &isCorrect)
{
    return updateMisspelledWords(before, marksBefore, after, isCorrect);
}

std::vector<WordRange>
UpdateMisspelledWords(std::u32string_view before, const std::vector<WordRange> &marksBefore,
                      std::u32string_view after,
                      const std::function<bool(std::u32string_view)> &isCorrect)
{
    return updateMisspelledWords(before, marksBefore, after, isCorrect);
}

bool IsCorrectInAlphabet(std::u32string_view word,
                         const std::function<bool(std::string_view)> &isCorrect)
{
    const std::optional<std::string> ansi = unicode::ToAnsi(word);
    if (!ansi)
        return true; // a letter no dictionary of the code page holds
    return isCorrect(*ansi);
}

} // namespace qn::spell
