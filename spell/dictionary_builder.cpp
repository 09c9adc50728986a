#include "spell/dictionary_builder.h"

#include "spell/dictionary_format.h"
#include "spell/spell_letters.h"
#include "spell/trie_image.h"

#include <algorithm>
#include <functional>

namespace qn::spell {

DictionaryBuilder::Verdict DictionaryBuilder::Add(std::string_view word)
{
    if (word.empty())
        return Verdict::Empty;
    for (char c : word)
        if (!InAlphabet(static_cast<uint8_t>(c)))
            return Verdict::OutsideAlphabet;
    if (word.size() > kMaxWordLength)
        return Verdict::TooLong;
    codes_.push_back(WordCodes(word));
    return Verdict::Accepted;
}

DictionaryBuilder::Result DictionaryBuilder::Build() const
{
    std::vector<std::string> words = codes_;
    std::sort(words.begin(), words.end(), std::greater<>());
    const auto unique = std::unique(words.begin(), words.end());
    Result result;
    result.Duplicates = static_cast<int32_t>(words.end() - unique);
    words.erase(unique, words.end());

    std::vector<TrieImage> sections(1);
    for (const std::string &w : words) {
        if (sections.back().Add(w) == TrieImage::AddResult::Refused) {
            sections.emplace_back();
            sections.back().Add(w);
        }
    }
    // Descending insertion filled the sections from the end of the alphabet;
    // the file lists them from its start.
    std::reverse(sections.begin(), sections.end());

    result.Bytes = MainDictionaryText();
    for (const TrieImage &image : sections) {
        SectionHeader h;
        h.NodeCount = image.NodeCount();
        // A section of fewer than two slots would not be recognised after another one.
        h.NodeSlots = std::max<int32_t>(image.NodeCount(), 2);
        h.WordCount = image.WordCount();
        h.UserFlag = 1;
        h.HeaderPos = static_cast<int32_t>(result.Bytes.size());
        uint8_t header[kSectionHeaderSize];
        EncodeSectionHeader(h, header);
        result.Bytes.append(reinterpret_cast<const char *>(header), sizeof header);
        image.AppendArea(result.Bytes, h.NodeSlots);
        result.Stored += h.WordCount;
        result.Nodes += h.NodeCount;
    }
    result.Sections = static_cast<int32_t>(sections.size());
    return result;
}

} // namespace qn::spell
