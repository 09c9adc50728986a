#include "xbase/cdx_store.h"

#include "xbase/xbase_error.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>

namespace qn::xbase::cdx {

namespace {

// Clean decoded nodes kept between operations (about 2 MB of pages).
constexpr size_t kCacheLimit = 4096;

std::string hex(uint32_t v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

} // namespace

PageStore::PageStore(BinaryFile file, bool writable)
    : file_(std::move(file)), writable_(writable), name_(file_.path().filename().string())
{
    uint64_t size = file_.size();
    end_ = (size + kPageSize - 1) / kPageSize * kPageSize;
    sizeAtOpen_ = size / kPageSize * kPageSize;
    if (end_ > 0xFFFFFE00u)
        throw XbaseError::refused("Index " + name_ + " is too large to be a compound index");
}

void PageStore::checkPageOffset(uint32_t offset, const char *what) const
{
    if (offset % kPageSize != 0 || offset < 2 * kPageSize || uint64_t(offset) + kPageSize > end_)
        throw XbaseError::damaged("Index " + name_ + " is damaged: " + what + " points to " +
                                  hex(offset) + ", which is not a page of the file");
}

std::shared_ptr<Node> PageStore::node(uint32_t offset, uint16_t keyLength, char pad)
{
    auto found = cache_.find(offset);
    if (found != cache_.end()) {
        Node &cached = *found->second;
        if (cached.keyLength == keyLength && (cached.pad == pad || dirty_.count(offset)))
            return found->second;
        if (cached.keyLength != keyLength)
            throw XbaseError::damaged("Index " + name_ + " is damaged: the page at " + hex(offset) +
                                      " belongs to two tags");
    }
    checkPageOffset(offset, "a node link");
    uint8_t page[kPageSize];
    readPage(offset, page);
    auto node = std::make_shared<Node>();
    node->offset = offset;
    node->keyLength = keyLength;
    node->pad = pad;
    decodeNode(page, *node, "Index " + name_ + ": the node at " + hex(offset));
    cache_[offset] = node;
    return node;
}

std::shared_ptr<Node> PageStore::newNode(uint16_t keyLength, char pad, bool leaf)
{
    if (free_.empty() && !reclaimed_ && usedPages_)
        reclaimOrphans();
    uint32_t offset;
    if (!free_.empty()) {
        offset = *free_.begin();
        free_.erase(free_.begin());
    } else {
        offset = uint32_t(end_);
        end_ += kPageSize;
    }
    auto node = std::make_shared<Node>();
    node->offset = offset;
    node->keyLength = keyLength;
    node->pad = pad;
    node->leaf = leaf;
    cache_[offset] = node;
    dirty_.insert(offset);
    return node;
}

void PageStore::reclaimOrphans()
{
    reclaimed_ = true;
    std::vector<uint32_t> used;
    if (!usedPages_(used))
        return;
    // Pages released in this session stay untouched until the flush, as ever.
    std::set<uint32_t> taken(used.begin(), used.end());
    taken.insert(pendingFree_.begin(), pendingFree_.end());
    for (uint64_t offset = 2 * kPageSize; offset + kPageSize <= sizeAtOpen_; offset += kPageSize)
        if (!taken.count(uint32_t(offset)) && !dirty_.count(uint32_t(offset)))
            free_.insert(uint32_t(offset));
}

void PageStore::release(uint32_t offset)
{
    cache_.erase(offset);
    dirty_.erase(offset);
    pendingFree_.push_back(offset);
}

uint32_t PageStore::allocateHeader()
{
    uint32_t offset = uint32_t(end_);
    end_ += 2 * kPageSize;
    return offset;
}

void PageStore::readPage(uint32_t offset, uint8_t *page) const
{
    // Pages not yet written are always in the cache, so a short read means a
    // truncated file.
    if (file_.readSomeAt(offset, page, kPageSize) < kPageSize)
        throw XbaseError::damaged("Index " + name_ + " is damaged: it ends inside the page at " +
                                  hex(offset));
    if (encryptedAt(offset))
        cipher_->decrypt(TableCipher::Domain::IndexPage, offset / kPageSize, page, kPageSize);
}

void PageStore::encryptPage(uint32_t offset, uint8_t *page) const
{
    if (encryptedAt(offset))
        cipher_->encrypt(TableCipher::Domain::IndexPage, offset / kPageSize, page, kPageSize);
}

void PageStore::readRaw(uint32_t offset, uint8_t *buffer, size_t n) const
{
    if (uint64_t(offset) + n > end_)
        throw XbaseError::damaged("Index " + name_ + " is damaged: it ends before offset " +
                                  hex(uint32_t(offset + n)));
    size_t got = file_.readSomeAt(offset, buffer, n);
    std::memset(buffer + got, 0, n - got);
    if (cipher_) {
        // Encrypted pages are read whole and decrypted; those not yet in
        // the file are staged and come from there below.
        uint8_t page[kPageSize];
        const uint64_t size = file_.size();
        for (uint64_t at = std::max<uint64_t>(offset / kPageSize * kPageSize, kClearBytes);
             at < uint64_t(offset) + n && at + kPageSize <= size; at += kPageSize) {
            readPage(uint32_t(at), page);
            uint64_t from = std::max<uint64_t>(at, offset);
            uint64_t to = std::min<uint64_t>(at + kPageSize, uint64_t(offset) + n);
            std::memcpy(buffer + (from - offset), page + (from - at), to - from);
        }
    }
    bool staged = false;
    for (const auto &entry : staged_)
        staged =
            staged || (entry.first <= offset && entry.first + entry.second.size() >= offset + n);
    if (got < n && !staged)
        throw XbaseError::damaged("Index " + name_ + " is damaged: it ends inside the header at " +
                                  hex(offset));
    for (const auto &[at, bytes] : staged_) {
        uint64_t from = std::max<uint64_t>(at, offset);
        uint64_t to = std::min<uint64_t>(uint64_t(at) + bytes.size(), uint64_t(offset) + n);
        if (from < to)
            std::memcpy(buffer + (from - offset), bytes.data() + (from - at), to - from);
    }
}

void PageStore::writeRaw(uint32_t offset, const void *data, size_t n)
{
    staged_.emplace_back(offset, std::string(static_cast<const char *>(data), n));
}

void PageStore::trimCache()
{
    if (cache_.size() <= kCacheLimit)
        return;
    for (auto it = cache_.begin(); it != cache_.end();) {
        if (!dirty_.count(it->first))
            it = cache_.erase(it);
        else
            ++it;
    }
}

FileChange PageStore::changes()
{
    FileChange c;
    c.file = &file_;
    if (!writable_ || !hasChanges())
        return c;
    c.originalSize = file_.size();
    // Nodes first, in file order, runs of adjacent pages in one write; the
    // headers that point to them last.
    std::string run;
    uint32_t runStart = 0;
    auto endRun = [&] {
        if (!run.empty())
            c.writes.emplace_back(runStart, std::move(run));
        run.clear();
    };
    uint8_t page[kPageSize];
    for (uint32_t offset : dirty_) {
        auto found = cache_.find(offset);
        if (found == cache_.end())
            continue;
        encodeNode(*found->second, page);
        encryptPage(offset, page);
        if (!run.empty() && runStart + run.size() != offset)
            endRun();
        if (run.empty())
            runStart = offset;
        run.append(reinterpret_cast<const char *>(page), kPageSize);
        if (run.size() >= 256 * kPageSize)
            endRun();
    }
    endRun();
    stagedWrites(c);
    // Pages allocated but never written (released again before this commit)
    // would leave the file short of its last page.
    uint64_t written = c.originalSize;
    for (const auto &[offset, bytes] : c.writes)
        written = std::max<uint64_t>(written, offset + bytes.size());
    if (written < end_)
        c.size = end_;
    return c;
}

// The staged header bytes, in the order given; those in encrypted pages as
// whole pages: the clear page (from the file, or zeros past its end) with
// every staged change applied, encrypted. The file's header, which points to
// all else, comes last.
void PageStore::stagedWrites(FileChange &c) const
{
    std::map<uint32_t, std::array<uint8_t, kPageSize>> pages;
    std::vector<uint32_t> order;
    std::vector<std::pair<uint64_t, std::string>> clear;
    const uint64_t size = file_.size();
    for (const auto &[offset, bytes] : staged_) {
        uint64_t end = uint64_t(offset) + bytes.size();
        uint64_t clearEnd = cipher_ ? std::min<uint64_t>(end, kClearBytes) : end;
        if (offset < clearEnd)
            clear.emplace_back(offset, bytes.substr(0, size_t(clearEnd - offset)));
        const uint64_t sealedFrom = std::max<uint64_t>(offset, clearEnd);
        for (uint64_t at = sealedFrom / kPageSize * kPageSize; sealedFrom < end && at < end;
             at += kPageSize) {
            auto [it, fresh] = pages.try_emplace(uint32_t(at));
            if (fresh) {
                order.push_back(uint32_t(at));
                it->second.fill(0);
                if (at + kPageSize <= size)
                    readPage(uint32_t(at), it->second.data());
            }
            uint64_t from = std::max<uint64_t>(at, offset);
            uint64_t to = std::min<uint64_t>(at + kPageSize, end);
            std::memcpy(it->second.data() + (from - at), bytes.data() + (from - offset), to - from);
        }
    }
    for (uint32_t at : order) {
        std::array<uint8_t, kPageSize> &page = pages[at];
        encryptPage(at, page.data());
        c.writes.emplace_back(at,
                              std::string(reinterpret_cast<const char *>(page.data()), kPageSize));
    }
    for (auto &write : clear)
        c.writes.push_back(std::move(write));
}

void PageStore::committed()
{
    dirty_.clear();
    staged_.clear();
    free_.insert(pendingFree_.begin(), pendingFree_.end());
    pendingFree_.clear();
}

void PageStore::flush()
{
    FileChange c = changes();
    if (c.empty())
        return;
    for (const auto &[offset, bytes] : c.writes)
        file_.writeAt(offset, bytes.data(), bytes.size());
    if (c.size)
        file_.truncate(*c.size);
    file_.sync();
    committed();
}

} // namespace qn::xbase::cdx
