#pragma once

#include <cstdint>
#include <string>

// The bytes of a dictionary file: free header text ended by the byte 26, then
// sections, each a 17-byte header and an area of 3-byte trie nodes numbered
// from 1. All integers are little-endian.
namespace qn::spell {

constexpr uint8_t kHeaderTextEnd = 26;
constexpr int kSectionHeaderSize = 17;
constexpr int kNodeSize = 3;

// Node fields.
constexpr uint16_t kNoChild = 0;
constexpr uint16_t kFreeSlot = 65000; // the Child of an unused slot
constexpr uint8_t kLetterMask = 0x3F;
constexpr uint8_t kLastInRun = 0x40;
constexpr uint8_t kWordEnds = 0x80;

// Limits of a section: Child is 16 bits wide and 65000 marks free slots.
constexpr int32_t kNodeLimit = 63999;
constexpr int kMaxWordLength = 25;

// A section is read only when more than this many bytes follow the previous one.
constexpr int kMinSectionTail = 20;

constexpr int32_t kUserSlotsStep = 500;

struct SectionHeader {
    int32_t NodeCount = 0;
    int32_t NodeSlots = 0;
    int32_t WordCount = 0;
    uint8_t UserFlag = 0;
    int32_t HeaderPos = 0;

    bool operator==(const SectionHeader &) const = default;
};

SectionHeader DecodeSectionHeader(const uint8_t *bytes);
void EncodeSectionHeader(const SectionHeader &header, uint8_t *bytes);

struct TrieNode {
    uint16_t Child = kNoChild;
    uint8_t Flags = 0;
};

inline TrieNode DecodeNode(const uint8_t *bytes)
{
    return {static_cast<uint16_t>(bytes[0] | (bytes[1] << 8)), bytes[2]};
}

inline void EncodeNode(const TrieNode &node, uint8_t *bytes)
{
    bytes[0] = static_cast<uint8_t>(node.Child & 0xFF);
    bytes[1] = static_cast<uint8_t>(node.Child >> 8);
    bytes[2] = node.Flags;
}

// A free slot as new user dictionaries hold them.
constexpr TrieNode kFreeNode{kFreeSlot, kLastInRun | kWordEnds};

// The complete bytes of a new, empty user dictionary: header text, one
// section of 500 slots whose node 1 is the word "A".
std::string NewUserDictionaryBytes();

// The header text of user and main dictionaries.
std::string UserDictionaryText();
std::string MainDictionaryText();

} // namespace qn::spell
