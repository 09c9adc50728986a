#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One 512-byte node of a compound index tree, decoded: interior nodes hold full
// keys with child pointers, leaves hold bit-packed entries with their key bytes
// compressed from both ends. Internal to the CDX module.
namespace qn::xbase::cdx {

constexpr uint32_t kPageSize = 512;
constexpr uint32_t kNoPage = 0xFFFFFFFFu;
constexpr uint16_t kMaxKeyLength = 240;
constexpr size_t kLeafSpace = kPageSize - 24;     // packed entries plus key bytes
constexpr size_t kInteriorSpace = kPageSize - 12; // full entries

struct Node {
    uint32_t offset = 0;
    bool leaf = true;
    bool root = false;
    uint32_t left = kNoPage;
    uint32_t right = kNoPage;
    uint16_t keyLength = 0;
    char pad = ' ';
    std::string keys;               // count() * keyLength bytes, back to back
    std::vector<uint32_t> recnos;   // record number of each entry
    std::vector<uint32_t> children; // interior only: child page of each entry

    // Packed size of a leaf, kept up to date by insert and erase so that the
    // check after each change does not re-pack the whole leaf.
    mutable bool sizeKnown = false;
    mutable size_t storedSum = 0; // key bytes stored
    mutable uint32_t maxRecno = 0;

    size_t count() const { return recnos.size(); }
    std::string_view key(size_t i) const
    {
        return std::string_view(keys.data() + i * keyLength, keyLength);
    }
    void insert(size_t i, std::string_view key, uint32_t recno, uint32_t child = 0);
    void erase(size_t i);
    void setEntry(size_t i, std::string_view key, uint32_t recno);
    // Moves entries [from, count) to the end of `to`.
    void moveTail(size_t from, Node &to);
    void append(const Node &other, size_t from, size_t to);
};

// Key bytes a leaf stores for `key` after `previous` (empty for a node's
// first entry): pads cut from the end first, then bytes shared with the
// previous key from the front.
size_t storedKeyBytes(std::string_view previous, std::string_view key, char pad);
// Bytes of one packed leaf entry when the node's largest record number is `maxRecno`.
unsigned leafEntryBytes(uint16_t keyLength, uint32_t maxRecno);

// Interior entries that fit in one node.
size_t interiorCapacity(uint16_t keyLength);
// Bytes that leaf entries [from, to) take when packed into one node.
size_t leafBytes(const Node &node, size_t from, size_t to);
bool fits(const Node &node, size_t from, size_t to);
inline bool fits(const Node &node)
{
    return fits(node, 0, node.count());
}
// How full the node is, in the units of `fits` (bytes for leaves, entries for
// interior nodes), and the capacity in those units.
size_t usedSpace(const Node &node);
size_t capacity(const Node &node);

// Fills `node` from `page`; node.offset, keyLength and pad are set by the
// caller. Throws XbaseError (prefixed with `where`) when the bytes break the
// format's rules.
void decodeNode(const uint8_t *page, Node &node, const std::string &where);
void encodeNode(const Node &node, uint8_t *page);

// Raw look at a leaf's stored key bytes: true when any is a control byte, a
// sign that the tag holds binary (numeric, date, integer) keys.
bool leafHasControlBytes(const uint8_t *page);

} // namespace qn::xbase::cdx
