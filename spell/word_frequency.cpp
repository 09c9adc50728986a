#include "spell/word_frequency.h"

#include "spell/dictionary_file.h"
#include "spell/spell_letters.h"

#include <filesystem>

namespace qn::spell {

bool WordFrequency::Load(const std::string &path, FileSystem &fs)
{
    classes_.clear();
    const auto file = DictionaryFile::Open(path, DictionaryFile::Mode::ReadOnly, fs);
    if (!file)
        return false;
    const int64_t size = file->Size();
    if (size <= 0 || size > kMaxFileSize)
        return false;
    std::string text(static_cast<size_t>(size), '\0');
    if (file->ReadAt(0, text.data(), text.size()) != text.size())
        return false;
    Parse(text);
    return true;
}

void WordFrequency::Parse(std::string_view text)
{
    while (!text.empty()) {
        const size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.size() < 3 || line[0] < '0' || line[0] > '8' || line[1] != '\t')
            continue;
        const std::string word = SpellUpperCase(line.substr(2));
        const auto rank = static_cast<uint8_t>(line[0] - '0');
        const auto [at, added] = classes_.emplace(word, rank);
        if (!added && rank < at->second)
            at->second = rank;
    }
}

int WordFrequency::ClassOf(const std::string &upperWord) const
{
    const auto at = classes_.find(upperWord);
    return at == classes_.end() ? kUnlisted : at->second;
}

std::string FrequencyPathFor(const std::string &dictionary)
{
    return std::filesystem::path(dictionary).replace_extension(".frq").string();
}

} // namespace qn::spell
