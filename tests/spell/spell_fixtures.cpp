#include "tests/spell/spell_fixtures.h"

#include "spell/dictionary_builder.h"
#include "spell/dictionary_format.h"
#include "tests/support/temp_dir.h"

#include <stdexcept>

namespace qn::test {

std::string MainDictionaryBytes(const std::vector<std::string> &words)
{
    spell::DictionaryBuilder builder;
    for (const std::string &w : words)
        if (builder.Add(w) != spell::DictionaryBuilder::Verdict::Accepted)
            throw std::invalid_argument("not a dictionary word: " + w);
    return builder.Build().Bytes;
}

std::filesystem::path WriteMainDictionary(const std::filesystem::path &file,
                                          const std::vector<std::string> &words)
{
    writeFile(file, MainDictionaryBytes(words));
    return file;
}

std::string UserDictionaryBytes(const spell::TrieImage &image)
{
    std::string bytes = spell::UserDictionaryText();
    spell::SectionHeader h;
    h.NodeCount = image.NodeCount();
    h.NodeSlots = (image.NodeCount() / spell::kUserSlotsStep + 1) * spell::kUserSlotsStep;
    h.WordCount = image.WordCount();
    h.UserFlag = 0;
    h.HeaderPos = static_cast<int32_t>(bytes.size());
    uint8_t header[spell::kSectionHeaderSize];
    spell::EncodeSectionHeader(h, header);
    bytes.append(reinterpret_cast<const char *>(header), sizeof header);
    image.AppendArea(bytes, h.NodeSlots);
    return bytes;
}

std::string Int32Bytes(int32_t value)
{
    const auto v = static_cast<uint32_t>(value);
    return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
            static_cast<char>((v >> 16) & 0xFF), static_cast<char>(v >> 24)};
}

} // namespace qn::test
