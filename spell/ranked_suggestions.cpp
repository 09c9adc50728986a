#include "spell/ranked_suggestions.h"

#include "spell/spell_letters.h"

#include <algorithm>

namespace qn::spell {

void RankedSuggestions::Offer(std::string_view text, int score)
{
    auto place = std::find_if(entries_.begin(), entries_.end(),
                              [score](const Entry &e) { return e.Score < score; });
    if (place == entries_.end() && entries_.size() >= capacity_)
        return;
    entries_.insert(place, Entry{std::string(text.substr(0, kMaxText)), score});
    if (entries_.size() > capacity_)
        entries_.pop_back();
}

std::string ApplyCasePattern(std::string_view candidate, std::string_view typed)
{
    std::string out(candidate);
    if (std::none_of(typed.begin(), typed.end(),
                     [](char c) { return IsLowerLetter(static_cast<uint8_t>(c)); }))
        return out;
    for (char &c : out)
        c = static_cast<char>(CharLower(static_cast<uint8_t>(c)));
    size_t t = 0;
    for (char &c : out) {
        if (!IsLetter(static_cast<uint8_t>(c)))
            continue;
        while (t < typed.size() && !IsLetter(static_cast<uint8_t>(typed[t])))
            ++t;
        if (t == typed.size())
            break;
        if (IsUpperLetter(static_cast<uint8_t>(typed[t])))
            c = static_cast<char>(CharUpper(static_cast<uint8_t>(c)));
        ++t;
    }
    return out;
}

} // namespace qn::spell
