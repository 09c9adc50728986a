#include "spell/dictionary_format.h"

namespace qn::spell {

namespace {

int32_t readInt32(const uint8_t *p)
{
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                                (static_cast<uint32_t>(p[2]) << 16) |
                                (static_cast<uint32_t>(p[3]) << 24));
}

void writeInt32(int32_t value, uint8_t *p)
{
    const auto v = static_cast<uint32_t>(value);
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

} // namespace

SectionHeader DecodeSectionHeader(const uint8_t *bytes)
{
    SectionHeader h;
    h.NodeCount = readInt32(bytes);
    h.NodeSlots = readInt32(bytes + 4);
    h.WordCount = readInt32(bytes + 8);
    h.UserFlag = bytes[12];
    h.HeaderPos = readInt32(bytes + 13);
    return h;
}

void EncodeSectionHeader(const SectionHeader &header, uint8_t *bytes)
{
    writeInt32(header.NodeCount, bytes);
    writeInt32(header.NodeSlots, bytes + 4);
    writeInt32(header.WordCount, bytes + 8);
    bytes[12] = header.UserFlag;
    writeInt32(header.HeaderPos, bytes + 13);
}

std::string UserDictionaryText()
{
    return "USER DICTIONARY\r\nQuillnook user word list, trie format 1; edit only with "
           "Quillnook.\r\n" +
           std::string(1, static_cast<char>(kHeaderTextEnd));
}

std::string MainDictionaryText()
{
    return "MAIN DICTIONARY\r\nQuillnook word list, trie format 1; made by qndict.\r\n" +
           std::string(1, static_cast<char>(kHeaderTextEnd));
}

std::string NewUserDictionaryBytes()
{
    std::string bytes = UserDictionaryText();
    SectionHeader h;
    h.NodeCount = 1;
    h.NodeSlots = kUserSlotsStep;
    h.WordCount = 1;
    h.UserFlag = 0;
    h.HeaderPos = static_cast<int32_t>(bytes.size());
    const size_t start = bytes.size();
    bytes.resize(start + kSectionHeaderSize + kNodeSize * static_cast<size_t>(h.NodeSlots));
    auto *p = reinterpret_cast<uint8_t *>(bytes.data()) + start;
    EncodeSectionHeader(h, p);
    p += kSectionHeaderSize;
    EncodeNode({kNoChild, kLastInRun | kWordEnds}, p); // the word "A", letter code 0
    for (int32_t n = 2; n <= h.NodeSlots; ++n)
        EncodeNode(kFreeNode, p + kNodeSize * (n - 1));
    return bytes;
}

} // namespace qn::spell
