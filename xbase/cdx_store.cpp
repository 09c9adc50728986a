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
    if (!encryptedAt(offset))
        return;
    const uint32_t number = offset / kPageSize;
    // The whole file was checked at open: a page that no longer matches was
    // changed since, and the index is as good as damaged.
    if (authenticated_ && (number >= pageTags_.size() ||
                           !cipher_->tagMatches(TableCipher::Domain::SealedIndexPage, number, page,
                                                kPageSize, pageTags_[number].data())))
        throw XbaseError::damaged("Index " + name_ + " is damaged: the page at " + hex(offset) +
                                  " was changed by someone without the password");
    cipher_->decrypt(pageDomain(), number, page, kPageSize);
}

void PageStore::encryptPage(uint32_t offset, uint8_t *page) const
{
    if (encryptedAt(offset))
        cipher_->encrypt(pageDomain(), offset / kPageSize, page, kPageSize);
}

TableCipher::Tag PageStore::pageTag(const TableCipher &cipher, uint64_t offset,
                                    const uint8_t *stored)
{
    return cipher.tag(TableCipher::Domain::SealedIndexPage, offset / kPageSize, stored, kPageSize);
}

namespace {

// What a whole file's tag is made over: the header with the tag's bytes as
// zeros, the size in 8 bytes, the pages' tags in file order.
std::string fileTagInput(const uint8_t *header, const std::vector<TableCipher::Tag> &pageTags)
{
    const uint64_t size = uint64_t(pageTags.size()) * kPageSize;
    std::string input(reinterpret_cast<const char *>(header), PageStore::kClearBytes);
    std::memset(input.data() + PageStore::kTagOffset, 0, TableCipher::TagSize);
    for (int i = 0; i < 8; ++i)
        input += char(uint8_t(size >> (8 * i)));
    input.reserve(input.size() + pageTags.size() * TableCipher::TagSize);
    for (size_t page = PageStore::kClearBytes / kPageSize; page < pageTags.size(); ++page)
        input.append(reinterpret_cast<const char *>(pageTags[page].data()), TableCipher::TagSize);
    return input;
}

} // namespace

TableCipher::Tag PageStore::fileTag(const TableCipher &cipher, const uint8_t *header,
                                    const std::vector<TableCipher::Tag> &pageTags)
{
    const std::string input = fileTagInput(header, pageTags);
    return cipher.tag(TableCipher::Domain::IndexFile, pageTags.size(),
                      reinterpret_cast<const uint8_t *>(input.data()), input.size());
}

bool PageStore::adoptChecked(const PageStore &earlier)
{
    if (!authenticated_ || !earlier.authenticated_ || earlier.sealed_.pending ||
        uint64_t(earlier.pageTags_.size()) * kPageSize != file_.size())
        return false;
    std::array<uint8_t, kClearBytes> header;
    if (file_.readSomeAt(0, header.data(), kClearBytes) < kClearBytes || header != earlier.header_)
        return false;
    header_ = header;
    pageTags_ = earlier.pageTags_;
    return true;
}

void PageStore::authenticate()
{
    const auto changed = [&] {
        return XbaseError::tampered("Index " + name_ +
                                    " was changed by someone without the password");
    };
    // Every commit writes whole pages, so a file of another size was cut or
    // grown by someone else.
    const uint64_t size = file_.size();
    if (size < kClearBytes || size % kPageSize != 0 ||
        file_.readSomeAt(0, header_.data(), kClearBytes) < kClearBytes)
        throw changed();
    pageTags_.assign(size_t(size / kPageSize), TableCipher::Tag{});
    std::vector<uint8_t> chunk(64 * kPageSize);
    for (uint64_t at = kClearBytes; at < size; at += chunk.size()) {
        const size_t n = size_t(std::min<uint64_t>(chunk.size(), size - at));
        if (file_.readSomeAt(at, chunk.data(), n) < n)
            throw changed();
        for (size_t i = 0; i < n; i += kPageSize)
            pageTags_[size_t((at + i) / kPageSize)] = pageTag(*cipher_, at + i, chunk.data() + i);
    }
    const std::string input = fileTagInput(header_.data(), pageTags_);
    if (!cipher_->tagMatches(TableCipher::Domain::IndexFile, pageTags_.size(),
                             reinterpret_cast<const uint8_t *>(input.data()), input.size(),
                             header_.data() + kTagOffset))
        throw changed();
}

void PageStore::readRaw(uint32_t offset, uint8_t *buffer, size_t n) const
{
    if (uint64_t(offset) + n > end_)
        throw XbaseError::damaged("Index " + name_ + " is damaged: it ends before offset " +
                                  hex(uint32_t(offset + n)));
    size_t got = file_.readSomeAt(offset, buffer, n);
    std::memset(buffer + got, 0, n - got);
    if (authenticated_ && offset < kClearBytes) // the header as checked, not as it may be now
        std::memcpy(buffer, header_.data() + offset, std::min<size_t>(n, kClearBytes - offset));
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
    sealed_ = Sealed{};
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
    if (authenticated_)
        seal(c);
    return c;
}

// The tag of the file as this commit leaves it, written last into the
// header. Pages the file grows by without a write hold zeros.
void PageStore::seal(FileChange &c)
{
    uint64_t size = c.size ? *c.size : c.originalSize;
    for (const auto &[offset, bytes] : c.writes)
        size = std::max<uint64_t>(size, offset + bytes.size());
    sealed_.header = header_;
    sealed_.pageTags = pageTags_;
    const size_t pages = size_t(size / kPageSize);
    if (pages > sealed_.pageTags.size()) {
        const uint8_t zeros[kPageSize] = {};
        for (size_t page = sealed_.pageTags.size(); page < pages; ++page)
            sealed_.pageTags.push_back(page < kClearBytes / kPageSize
                                           ? TableCipher::Tag{}
                                           : pageTag(*cipher_, page * kPageSize, zeros));
    }
    for (const auto &[offset, bytes] : c.writes) {
        const auto *data = reinterpret_cast<const uint8_t *>(bytes.data());
        if (offset < kClearBytes) {
            std::memcpy(sealed_.header.data() + offset, data,
                        size_t(std::min<uint64_t>(bytes.size(), kClearBytes - offset)));
            continue;
        }
        // Only whole pages are written after the header.
        for (size_t i = 0; i + kPageSize <= bytes.size(); i += kPageSize)
            sealed_.pageTags[size_t((offset + i) / kPageSize)] =
                pageTag(*cipher_, offset + i, data + i);
    }
    const TableCipher::Tag tag = fileTag(*cipher_, sealed_.header.data(), sealed_.pageTags);
    std::memcpy(sealed_.header.data() + kTagOffset, tag.data(), tag.size());
    c.writes.emplace_back(kTagOffset,
                          std::string(reinterpret_cast<const char *>(tag.data()), tag.size()));
    sealed_.pending = true;
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
    if (sealed_.pending) {
        header_ = sealed_.header;
        pageTags_ = std::move(sealed_.pageTags);
        sealed_ = Sealed{};
    }
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
