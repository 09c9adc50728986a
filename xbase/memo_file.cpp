#include "xbase/memo_file.h"

#include "xbase/xbase_error.h"

#include <algorithm>
#include <cstring>
#include <sys/mman.h>

namespace qn::xbase {

namespace {

uint32_t be32(const unsigned char *p)
{
    return uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}
void putBe32(unsigned char *p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (24 - 8 * i));
}

uint32_t firstBlock(uint32_t blockSize)
{
    return (512 + blockSize - 1) / blockSize;
}

// The unit a sealed memo is padded to; its first one is encrypted apart, so
// that the length can be read before the rest.
uint32_t sealUnit(uint32_t blockSize)
{
    return std::max<uint32_t>(blockSize, 16);
}

} // namespace

uint32_t MemoFile::blockBytes(uint32_t setting)
{
    if (setting == 0)
        return 1;
    if (setting <= 32)
        return setting * 512;
    return setting;
}

uint64_t MemoFile::span(uint64_t textLength, uint32_t blockSize, bool sealed, bool tagged)
{
    uint64_t bytes = 8 + textLength + (sealed && tagged ? TableCipher::TagSize : 0);
    if (sealed)
        bytes = (bytes + sealUnit(blockSize) - 1) / sealUnit(blockSize) * sealUnit(blockSize);
    return (bytes + blockSize - 1) / blockSize * blockSize;
}

void MemoFile::encode(const std::string &text, uint32_t block, uint32_t blockSize,
                      const TableCipher *cipher, bool sealed, bool tagged, uint8_t *out)
{
    tagged = tagged && sealed && cipher;
    const uint64_t total = span(text.size(), blockSize, sealed, tagged);
    putBe32(out, 1);
    putBe32(out + 4, uint32_t(text.size()));
    std::memcpy(out + 8, text.data(), text.size());
    std::memset(out + 8 + text.size(), 0, size_t(total - 8 - text.size()));
    if (!cipher)
        return;
    if (tagged) {
        const TableCipher::Tag tag =
            cipher->tag(TableCipher::Domain::MemoHead, block, out, 8 + text.size());
        std::memcpy(out + total - tag.size(), tag.data(), tag.size());
    }
    if (!sealed) {
        cipher->encrypt(TableCipher::Domain::Memo, block, out + 8, text.size());
        return;
    }
    const uint32_t unit = sealUnit(blockSize);
    cipher->encrypt(TableCipher::Domain::MemoHead, block, out, unit);
    cipher->encrypt(TableCipher::Domain::MemoBody, block, out + unit, size_t(total - unit));
}

void MemoFile::create(const std::filesystem::path &path, uint32_t blockSizeSetting, FileSystem &fs)
{
    uint32_t size = blockBytes(blockSizeSetting);
    if (size > 65535)
        throw XbaseError::refused("Memo block size " + std::to_string(size) + " is too large");
    unsigned char header[512] = {};
    putBe32(header, firstBlock(size));
    header[6] = uint8_t(size >> 8);
    header[7] = uint8_t(size);
    BinaryFile file(path, BinaryFile::Mode::Create, fs);
    file.writeAt(0, header, sizeof header);
    file.sync();
}

std::unique_ptr<MemoFile> MemoFile::open(const std::filesystem::path &path, bool writable,
                                         bool cached, FileSystem &fs)
{
    std::unique_ptr<MemoFile> m(new MemoFile);
    m->file_ =
        BinaryFile(path, writable ? BinaryFile::Mode::ReadWrite : BinaryFile::Mode::ReadOnly, fs);
    m->cached_ = cached;
    m->size_ = m->committedSize_ = m->file_.size();
    m->cache_ = std::make_unique<ReadCache>(m->file_);
    m->cache_->setEnabled(cached);
    m->readHeader();
    return m;
}

MemoFile::~MemoFile()
{
    if (map_)
        munmap(map_, mapSize_);
}

const char *MemoFile::mapping(uint64_t end) const
{
    if (!cached_ || end > size_)
        return nullptr;
    if (end > mapSize_ || !map_) {
        // Mapping saves copying every memo out of the kernel's page cache; a
        // scan of all entries reads the whole file.
        if (map_)
            munmap(map_, mapSize_);
        map_ = nullptr;
        mapSize_ = 0;
        void *p = mmap(nullptr, size_, PROT_READ, MAP_SHARED, file_.descriptor(), 0);
        if (p == MAP_FAILED)
            return nullptr;
        map_ = p;
        mapSize_ = size_;
    }
    return static_cast<const char *>(map_);
}

uint64_t MemoFile::fileSize() const
{
    return cached_ ? size_ : file_.size();
}

void MemoFile::readHeader()
{
    const std::string name = file_.path().string();
    if (file_.size() < 8)
        throw XbaseError::damaged("Memo file " + name + " is damaged: shorter than its header");
    unsigned char h[8];
    file_.readAt(0, h, 8);
    keyMark_.reset();
    sealed_ = false;
    tagged_ = false;
    if (file_.size() >= KeyBlock::MemoMarkOffset + KeyBlock::MemoMarkSize) {
        uint8_t mark[KeyBlock::MemoMarkSize];
        file_.readAt(KeyBlock::MemoMarkOffset, mark, sizeof mark);
        keyMark_ = KeyBlock::readMemoMark(mark, &sealed_, &tagged_);
    }
    nextFree_ = be32(h);
    blockSize_ = uint32_t(h[6]) << 8 | h[7];
    if (blockSize_ == 0)
        throw XbaseError::damaged("Memo file " + name + " is damaged: block size 0");
    uint64_t end = (file_.size() + blockSize_ - 1) / blockSize_;
    if (nextFree_ < firstBlock(blockSize_) || nextFree_ > end)
        // A next-free pointer before the data or past the end would make the
        // next save overwrite memos or leave a hole; refuse rather than guess.
        throw XbaseError::damaged("Memo file " + name + " is damaged: next free block " +
                                  std::to_string(nextFree_) + " is outside the file");
}

bool MemoFile::validPointer(uint32_t block) const
{
    if (block < firstBlock(blockSize_))
        return false;
    uint64_t pos = uint64_t(block) * blockSize_;
    uint64_t size = fileSize();
    if (pos + 8 > size)
        return false;
    unsigned char h[8];
    file_.readAt(pos, h, 8);
    return pos + 8 + be32(h + 4) <= size;
}

const TableCipher *MemoFile::cipher() const
{
    if (!keyMark_)
        return nullptr;
    if (!key_)
        throw PasswordError("Memo file " + file_.path().string() +
                            " is encrypted: a password is needed to read or change it");
    return &key_->cipher();
}

void MemoFile::readBytes(uint64_t pos, char *out, size_t n) const
{
    if (const char *map = mapping(pos + n))
        std::memcpy(out, map + pos, n);
    else
        cache_->readAt(pos, out, n);
}

std::string MemoFile::readSealed(uint32_t block) const
{
    const TableCipher *c = cipher();
    const std::string name = file_.path().string();
    if (block < firstBlock(blockSize_))
        throw XbaseError::damaged("Memo pointer " + std::to_string(block) +
                                  " points into the header of " + name);
    const uint32_t unit = sealUnit(blockSize_);
    const uint64_t pos = uint64_t(block) * blockSize_;
    const uint64_t size = fileSize();
    if (pos + unit > size)
        throw XbaseError::damaged("Memo pointer " + std::to_string(block) +
                                  " lies past the end of " + name);
    std::string head(unit, '\0');
    readBytes(pos, head.data(), unit);
    c->decrypt(TableCipher::Domain::MemoHead, block, reinterpret_cast<uint8_t *>(head.data()),
               unit);
    const uint32_t length = be32(reinterpret_cast<const unsigned char *>(head.data()) + 4);
    const uint64_t total = span(length, blockSize_, true, tagged_);
    if (pos + total > size) {
        if (tagged_) // a garbled head decrypts to any length
            throw changedOutside(block);
        throw XbaseError::damaged("Memo at block " + std::to_string(block) + " of " + name +
                                  " is damaged: its length runs past the end of the file");
    }
    if (!tagged_) {
        std::string text(length, '\0');
        const size_t inHead = std::min<size_t>(length, unit - 8);
        std::memcpy(text.data(), head.data() + 8, inHead);
        if (total > unit) {
            std::string rest(size_t(total - unit), '\0');
            readBytes(pos + unit, rest.data(), rest.size());
            c->decrypt(TableCipher::Domain::MemoBody, block,
                       reinterpret_cast<uint8_t *>(rest.data()), rest.size());
            std::memcpy(text.data() + inHead, rest.data(), length - inHead);
        }
        return text;
    }
    // Tagged: the whole memo, header, text and tag, then the tag checked
    // before any of the text is handed out.
    std::string whole(size_t(total), '\0');
    std::memcpy(whole.data(), head.data(), unit);
    if (total > unit) {
        readBytes(pos + unit, whole.data() + unit, size_t(total - unit));
        c->decrypt(TableCipher::Domain::MemoBody, block,
                   reinterpret_cast<uint8_t *>(whole.data()) + unit, size_t(total - unit));
    }
    const auto *bytes = reinterpret_cast<const uint8_t *>(whole.data());
    if (!c->tagMatches(TableCipher::Domain::MemoHead, block, bytes, 8 + size_t(length),
                       bytes + total - TableCipher::TagSize))
        throw changedOutside(block);
    return whole.substr(8, length);
}

XbaseError MemoFile::changedOutside(uint32_t block) const
{
    return XbaseError::tampered("The memo at block " + std::to_string(block) + " of " +
                                file_.path().string() +
                                " was changed by someone without the password");
}

bool MemoFile::authentic(uint32_t block) const
{
    try {
        read(block);
        return true;
    } catch (const XbaseError &e) {
        if (e.isTampered())
            return false;
        throw;
    }
}

std::string MemoFile::read(uint32_t block) const
{
    if (sealed_)
        return readSealed(block);
    std::string text = readStored(block);
    if (const TableCipher *c = cipher())
        c->decrypt(TableCipher::Domain::Memo, block, reinterpret_cast<uint8_t *>(text.data()),
                   text.size());
    return text;
}

std::string MemoFile::readStored(uint32_t block) const
{
    cipher(); // a wrong key fails before anything is read
    const std::string name = file_.path().string();
    if (block < firstBlock(blockSize_))
        throw XbaseError::damaged("Memo pointer " + std::to_string(block) +
                                  " points into the header of " + name);
    uint64_t pos = uint64_t(block) * blockSize_;
    uint64_t size = fileSize();
    if (pos + 8 > size)
        throw XbaseError::damaged("Memo pointer " + std::to_string(block) +
                                  " lies past the end of " + name);
    if (const char *map = mapping(pos + 8)) {
        uint32_t length = be32(reinterpret_cast<const unsigned char *>(map + pos + 4));
        if (pos + 8 + length > size)
            throw XbaseError::damaged("Memo at block " + std::to_string(block) + " of " + name +
                                      " is damaged: its length runs past the end of the file");
        map = mapping(pos + 8 + length);
        if (map)
            return std::string(map + pos + 8, length);
    }
    // Cached: the header, then exactly the text. Uncached: most memos fit in
    // one read of a few kilobytes, header and text together.
    char first[4096];
    size_t want = cached_ ? 8 : sizeof first;
    size_t got = cache_->readSomeAt(pos, first, want);
    if (got < 8)
        throw XbaseError::damaged("Memo pointer " + std::to_string(block) +
                                  " lies past the end of " + name);
    uint32_t length = be32(reinterpret_cast<unsigned char *>(first) + 4);
    if (pos + 8 + length > size)
        throw XbaseError::damaged("Memo at block " + std::to_string(block) + " of " + name +
                                  " is damaged: its length runs past the end of the file");
    std::string text(length, '\0');
    size_t inFirst = std::min<size_t>(length, got - 8);
    std::memcpy(text.data(), first + 8, inFirst);
    if (length > inFirst)
        cache_->readAt(pos + 8 + inFirst, text.data() + inFirst, length - inFirst);
    return text;
}

uint32_t MemoFile::append(const std::string &text)
{
    if (text.size() > 0x7FFFFFF0u)
        throw XbaseError::refused("Memo text is too long");
    if (!cached_ && !headerChanged_) {
        // Shared: another opener may have appended since (the caller holds
        // the table's write lock, so the header is current now).
        unsigned char head[4];
        file_.readAt(0, head, 4);
        uint32_t next = be32(head);
        uint64_t end = (file_.size() + blockSize_ - 1) / blockSize_;
        if (next < firstBlock(blockSize_) || next > end)
            throw XbaseError::damaged("Memo file " + file_.path().string() +
                                      " is damaged: next free block " + std::to_string(next) +
                                      " is outside the file");
        nextFree_ = next;
        committedSize_ = file_.size();
    }
    uint32_t block = nextFree_;
    const TableCipher *c = cipher();
    // The data is padded to whole blocks so that the file ends on a block
    // boundary, as the next memo expects.
    uint64_t blocks = span(text.size(), blockSize_, sealed_, tagged_) / blockSize_;
    if (uint64_t(block) + blocks > 0xFFFFFFFFu)
        throw XbaseError::refused("Memo file " + file_.path().string() + " is full");
    std::string bytes(blocks * blockSize_, '\0');
    encode(text, block, blockSize_, c, sealed_, tagged_, reinterpret_cast<uint8_t *>(bytes.data()));
    cache_->invalidate(uint64_t(block) * blockSize_, bytes.size());
    const uint64_t before = file_.size();
    try {
        file_.writeAt(uint64_t(block) * blockSize_, bytes.data(), bytes.size());
    } catch (...) {
        // A write that failed half way (a full disk) leaves no part of the
        // memo behind: the file keeps the size it had.
        try {
            if (file_.size() > before)
                file_.truncate(before);
        } catch (...) {
            // The commit's rollback cuts it back to its committed size.
        }
        throw;
    }
    size_ = std::max(size_, uint64_t(block) * blockSize_ + bytes.size());
    nextFree_ = uint32_t(block + blocks);
    headerChanged_ = true;
    return block;
}

void MemoFile::readHeaderBytes(uint8_t *out, size_t n) const
{
    file_.readAt(0, out, n);
}

FileChange MemoFile::changes()
{
    FileChange c;
    c.file = &file_;
    c.originalSize = committedSize_;
    if (headerChanged_ && file_.writable()) {
        unsigned char next[4];
        putBe32(next, nextFree_);
        c.writes.emplace_back(0, std::string(reinterpret_cast<char *>(next), 4));
    }
    return c;
}

void MemoFile::discardUncommitted()
{
    if (!file_.writable())
        return;
    if (file_.size() > committedSize_)
        file_.truncate(committedSize_);
    if (map_)
        munmap(map_, mapSize_);
    map_ = nullptr;
    mapSize_ = 0;
    cache_->clear();
    size_ = file_.size();
    headerChanged_ = false;
    readHeader();
}

void MemoFile::committed()
{
    if (!headerChanged_)
        return;
    cache_->invalidate(0, 4);
    headerChanged_ = false;
    committedSize_ = cached_ ? size_ : file_.size();
}

} // namespace qn::xbase
