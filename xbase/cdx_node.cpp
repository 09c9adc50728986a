#include "xbase/cdx_node.h"

#include "xbase/xbase_error.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace qn::xbase::cdx {

namespace {

uint32_t le16(const uint8_t *p)
{
    return p[0] | (p[1] << 8);
}
uint32_t le32(const uint8_t *p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
uint32_t be32(const uint8_t *p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
void put16(uint8_t *p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void put32(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}
void putBe32(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (24 - 8 * i));
}

// Bits for the duplicate and trailing counts: enough to count a whole key.
unsigned countBits(uint16_t keyLength)
{
    unsigned n = 1;
    while ((1u << n) - 1 < keyLength)
        ++n;
    return n;
}

struct Widths {
    unsigned recBits, dupBits, trailBits, bytes;
};

Widths leafWidths(uint16_t keyLength, uint32_t maxRecno)
{
    unsigned n = countBits(keyLength);
    unsigned needed = std::bit_width(std::max<uint32_t>(maxRecno, 1));
    unsigned bytes = (needed + 2 * n + 7) / 8;
    unsigned recBits = std::min(8 * bytes - 2 * n, 32u);
    return {recBits, n, 8 * bytes - recBits - n, bytes};
}

size_t trailingPads(std::string_view key, char pad)
{
    size_t n = 0;
    while (n < key.size() && key[key.size() - 1 - n] == pad)
        ++n;
    return n;
}

size_t commonPrefix(std::string_view a, std::string_view b)
{
    size_t n = 0;
    size_t limit = std::min(a.size(), b.size());
    while (n < limit && a[n] == b[n])
        ++n;
    return n;
}

// Duplicate and trailing counts of entry i when entry `first` starts the node.
// Trailing pads are cut first, then leading bytes shared with the previous key
// up to what is left (the order the FoxPro-written samples show).
void entryCounts(const Node &node, size_t first, size_t i, size_t &dup, size_t &trail)
{
    std::string_view key = node.key(i);
    trail = trailingPads(key, node.pad);
    dup = i == first ? 0 : std::min(commonPrefix(node.key(i - 1), key), key.size() - trail);
}

} // namespace

namespace {

// Stored key bytes of entry i of a leaf whose run starts at entry `first`.
size_t storedAt(const Node &node, size_t i, size_t first)
{
    size_t dup, trail;
    entryCounts(node, first, i, dup, trail);
    return node.keyLength - dup - trail;
}

} // namespace

void Node::insert(size_t i, std::string_view key, uint32_t recno, uint32_t child)
{
    bool track = leaf && sizeKnown;
    size_t oldNext = track && i < count() ? storedAt(*this, i, 0) : 0;
    keys.insert(i * keyLength, key.data(), keyLength);
    recnos.insert(recnos.begin() + i, recno);
    if (!leaf)
        children.insert(children.begin() + i, child);
    if (track) {
        storedSum += storedAt(*this, i, 0);
        if (i + 1 < count())
            storedSum = storedSum - oldNext + storedAt(*this, i + 1, 0);
        maxRecno = std::max(maxRecno, recno);
    }
}

void Node::erase(size_t i)
{
    bool track = leaf && sizeKnown;
    size_t removed = track ? storedAt(*this, i, 0) : 0;
    size_t oldNext = track && i + 1 < count() ? storedAt(*this, i + 1, 0) : 0;
    uint32_t recno = recnos[i];
    keys.erase(i * keyLength, keyLength);
    recnos.erase(recnos.begin() + i);
    if (!leaf)
        children.erase(children.begin() + i);
    if (track) {
        storedSum -= removed;
        if (i < count())
            storedSum = storedSum - oldNext + storedAt(*this, i, 0);
        if (recno == maxRecno)
            maxRecno = recnos.empty() ? 0 : *std::max_element(recnos.begin(), recnos.end());
    }
}

void Node::setEntry(size_t i, std::string_view key, uint32_t recno)
{
    keys.replace(i * keyLength, keyLength, key.data(), keyLength);
    recnos[i] = recno;
    sizeKnown = false;
}

void Node::moveTail(size_t from, Node &to)
{
    to.append(*this, from, count());
    keys.resize(from * keyLength);
    recnos.resize(from);
    if (!leaf)
        children.resize(from);
    sizeKnown = false;
}

void Node::append(const Node &other, size_t from, size_t to)
{
    keys.append(other.keys, from * keyLength, (to - from) * keyLength);
    recnos.insert(recnos.end(), other.recnos.begin() + from, other.recnos.begin() + to);
    if (!leaf)
        children.insert(children.end(), other.children.begin() + from, other.children.begin() + to);
    sizeKnown = false;
}

size_t storedKeyBytes(std::string_view previous, std::string_view key, char pad)
{
    size_t trail = trailingPads(key, pad);
    size_t dup = previous.empty() ? 0 : std::min(commonPrefix(previous, key), key.size() - trail);
    return key.size() - dup - trail;
}

unsigned leafEntryBytes(uint16_t keyLength, uint32_t maxRecno)
{
    return leafWidths(keyLength, maxRecno).bytes;
}

size_t interiorCapacity(uint16_t keyLength)
{
    return kInteriorSpace / (keyLength + 8u);
}

size_t leafBytes(const Node &node, size_t from, size_t to)
{
    bool whole = from == 0 && to == node.count();
    if (whole && node.sizeKnown)
        return node.storedSum + node.count() * leafWidths(node.keyLength, node.maxRecno).bytes;
    uint32_t maxRecno = 0;
    size_t stored = 0;
    for (size_t i = from; i < to; ++i) {
        size_t dup, trail;
        entryCounts(node, from, i, dup, trail);
        stored += node.keyLength - dup - trail;
        maxRecno = std::max(maxRecno, node.recnos[i]);
    }
    if (whole) {
        node.sizeKnown = true;
        node.storedSum = stored;
        node.maxRecno = maxRecno;
    }
    return stored + (to - from) * leafWidths(node.keyLength, maxRecno).bytes;
}

bool fits(const Node &node, size_t from, size_t to)
{
    if (node.leaf)
        return leafBytes(node, from, to) <= kLeafSpace;
    return to - from <= interiorCapacity(node.keyLength);
}

size_t usedSpace(const Node &node)
{
    return node.leaf ? leafBytes(node, 0, node.count()) : node.count();
}

size_t capacity(const Node &node)
{
    return node.leaf ? kLeafSpace : interiorCapacity(node.keyLength);
}

void decodeNode(const uint8_t *page, Node &node, const std::string &where)
{
    auto damaged = [&](const std::string &why) {
        throw XbaseError::damaged(where + " is damaged: " + why);
    };
    uint32_t attributes = le16(page);
    size_t count = le16(page + 2);
    node.leaf = attributes & 2;
    node.root = attributes & 1;
    node.left = le32(page + 4);
    node.right = le32(page + 8);
    node.keys.clear();
    node.recnos.clear();
    node.children.clear();
    node.sizeKnown = false;
    const uint16_t keyLength = node.keyLength;

    if (!node.leaf) {
        if (count > interiorCapacity(keyLength))
            damaged(std::to_string(count) + " entries in an interior node");
        node.keys.reserve(count * keyLength);
        for (size_t i = 0; i < count; ++i) {
            const uint8_t *entry = page + 12 + i * (keyLength + 8u);
            node.keys.append(reinterpret_cast<const char *>(entry), keyLength);
            node.recnos.push_back(be32(entry + keyLength));
            node.children.push_back(be32(entry + keyLength + 4));
        }
        return;
    }

    uint32_t recMask = le32(page + 14);
    uint32_t dupMask = page[18];
    uint32_t trailMask = page[19];
    unsigned recBits = page[20], dupBits = page[21], trailBits = page[22], bytes = page[23];
    if (bytes < 1 || bytes > 8 || recBits > 32 || recBits + dupBits + trailBits > 8 * bytes)
        damaged("impossible entry layout in a leaf");
    if (count * bytes > kLeafSpace)
        damaged(std::to_string(count) + " entries in a leaf");
    const size_t entriesEnd = 24 + count * bytes;
    size_t pos = kPageSize;
    node.keys.resize(count * keyLength);
    node.recnos.resize(count);
    for (size_t i = 0; i < count; ++i) {
        uint64_t v = 0;
        for (unsigned b = 0; b < bytes; ++b)
            v |= uint64_t(page[24 + i * bytes + b]) << (8 * b);
        uint32_t recno = uint32_t(v) & recMask;
        size_t dup = (v >> recBits) & dupMask;
        unsigned trailShift = recBits + dupBits; // at most 64 by the check above
        size_t trail = trailShift >= 64 ? 0 : (v >> trailShift) & trailMask;
        if (dup + trail > keyLength || (i == 0 && dup > 0))
            damaged("bad key compression in a leaf");
        size_t stored = keyLength - dup - trail;
        if (pos < entriesEnd + stored)
            damaged("key bytes overlap the entries of a leaf");
        pos -= stored;
        char *key = node.keys.data() + i * keyLength;
        if (dup > 0)
            std::memcpy(key, key - keyLength, dup);
        std::memcpy(key + dup, page + pos, stored);
        std::memset(key + dup + stored, node.pad, trail);
        node.recnos[i] = recno;
    }
}

void encodeNode(const Node &node, uint8_t *page)
{
    std::memset(page, 0, kPageSize);
    put16(page, (node.root ? 1 : 0) | (node.leaf ? 2 : 0));
    put16(page + 2, uint32_t(node.count()));
    put32(page + 4, node.left);
    put32(page + 8, node.right);
    const uint16_t keyLength = node.keyLength;
    if (!fits(node))
        throw XbaseError::damaged("Internal error: an index node no longer fits its page");
    if (!node.leaf) {
        for (size_t i = 0; i < node.count(); ++i) {
            uint8_t *entry = page + 12 + i * (keyLength + 8u);
            std::memcpy(entry, node.key(i).data(), keyLength);
            putBe32(entry + keyLength, node.recnos[i]);
            putBe32(entry + keyLength + 4, node.children[i]);
        }
        return;
    }
    uint32_t maxRecno = 0;
    for (uint32_t r : node.recnos)
        maxRecno = std::max(maxRecno, r);
    Widths w = leafWidths(keyLength, maxRecno);
    size_t pos = kPageSize;
    for (size_t i = 0; i < node.count(); ++i) {
        size_t dup, trail;
        entryCounts(node, 0, i, dup, trail);
        size_t stored = keyLength - dup - trail;
        pos -= stored;
        std::memcpy(page + pos, node.key(i).data() + dup, stored);
        uint64_t v = uint64_t(node.recnos[i]) | (uint64_t(dup) << w.recBits) |
                     (uint64_t(trail) << (w.recBits + w.dupBits));
        for (unsigned b = 0; b < w.bytes; ++b)
            page[24 + i * w.bytes + b] = uint8_t(v >> (8 * b));
    }
    size_t used = (kPageSize - pos) + node.count() * w.bytes;
    put16(page + 12, uint32_t(kLeafSpace - used));
    put32(page + 14, w.recBits >= 32 ? 0xFFFFFFFFu : (1u << w.recBits) - 1);
    page[18] = uint8_t((1u << w.dupBits) - 1);
    page[19] = uint8_t((1u << std::min(w.trailBits, 8u)) - 1);
    page[20] = uint8_t(w.recBits);
    page[21] = uint8_t(w.dupBits);
    page[22] = uint8_t(w.trailBits);
    page[23] = uint8_t(w.bytes);
}

bool leafHasControlBytes(const uint8_t *page)
{
    size_t count = le16(page + 2);
    unsigned bytes = page[23];
    if (!(le16(page) & 2) || bytes < 1 || bytes > 8 || count * bytes > kLeafSpace)
        return false;
    size_t freeSpace = le16(page + 12);
    size_t start = 24 + count * bytes + freeSpace;
    for (size_t i = std::min<size_t>(start, kPageSize); i < kPageSize; ++i)
        if (page[i] < 0x20)
            return true;
    return false;
}

} // namespace qn::xbase::cdx
