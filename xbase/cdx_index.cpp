#include "xbase/cdx_index.h"

#include "platform/ascii_text.h"
#include "xbase/cdx_store.h"
#include "xbase/cdx_tree.h"
#include "xbase/file_io.h"
#include "xbase/xbase_error.h"

#include <algorithm>
#include <cstring>

namespace qn::xbase {

using cdx::kPageSize;
using cdx::Probe;
using cdx::Tree;

namespace {

constexpr size_t kHeaderSize = 2 * kPageSize;
constexpr size_t kPoolSize = kPageSize;
constexpr uint8_t kOptionUnique = 0x01;
constexpr uint8_t kOptionFor = 0x08;
constexpr uint8_t kOptionsTag = 0x60;       // compact format, compound index
constexpr uint8_t kOptionsDirectory = 0xE0; // the same, marked as the directory of tags
// An encrypted index keeps its table's key check (as the memo file does) in
// bytes its file header leaves zero; everything after that header is
// encrypted. The mark's form (that of a sealed and tagged memo file) tells
// an authenticated index, whose tag follows the mark, from one of the
// earlier form, encrypted only. The two forms encrypt their pages under
// different tweaks, so an authenticated index whose mark is changed to the
// earlier form (or taken away) reads as damaged, never as an index.
static_assert(CdxIndex::kKeyMarkOffset + KeyBlock::MemoMarkSize <= cdx::PageStore::kTagOffset);
static_assert(cdx::PageStore::kTagOffset + TableCipher::TagSize <= 502);

uint32_t le16(const uint8_t *p)
{
    return p[0] | (p[1] << 8);
}
uint32_t le32(const uint8_t *p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
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

char padFor(bool characterKeys)
{
    return characterKeys ? ' ' : '\0';
}

std::string trimmedName(std::string_view key)
{
    return AsciiUpperCase(TrimRight(key, std::string_view(" \0", 2)));
}

// The fields of a tag header that the module uses.
struct TagHeader {
    uint32_t root = 0;
    CdxTagInfo info;
};

TagHeader parseTagHeader(const uint8_t *h, const std::string &file, const std::string &name)
{
    auto damaged = [&](const std::string &why) {
        throw XbaseError::damaged("Index " + file + " is damaged (tag " + name + "): " + why);
    };
    TagHeader header;
    header.root = le32(h);
    header.info.name = name;
    header.info.keyLength = uint16_t(le16(h + 12));
    if (header.info.keyLength < 1 || header.info.keyLength > cdx::kMaxKeyLength)
        damaged("impossible key length " + std::to_string(header.info.keyLength));
    header.info.unique = h[14] & kOptionUnique;
    header.info.descending = le16(h + 502) != 0;
    // Expressions are NUL-terminated in the pool; the length fields are not
    // trusted beyond that.
    const char *pool = reinterpret_cast<const char *>(h + kPageSize);
    size_t keyEnd = strnlen(pool, kPoolSize);
    header.info.expression.assign(pool, keyEnd);
    if (keyEnd + 1 < kPoolSize)
        header.info.forExpression.assign(pool + keyEnd + 1,
                                         strnlen(pool + keyEnd + 1, kPoolSize - keyEnd - 1));
    return header;
}

void encodeTagHeader(const CdxTagInfo &info, uint32_t root, uint8_t *h)
{
    std::memset(h, 0, kHeaderSize);
    put32(h, root);
    put16(h + 12, info.keyLength);
    h[14] = kOptionsTag | (info.unique ? kOptionUnique : 0) |
            (info.forExpression.empty() ? 0 : kOptionFor);
    h[15] = 1;
    put16(h + 502, info.descending ? 1 : 0);
    put16(h + 504, uint32_t(info.expression.size() + 1));
    put16(h + 506, uint32_t(info.forExpression.size() + 1));
    put16(h + 510, uint32_t(info.expression.size() + 1));
    std::memcpy(h + kPageSize, info.expression.data(), info.expression.size());
    std::memcpy(h + kPageSize + info.expression.size() + 1, info.forExpression.data(),
                info.forExpression.size());
}

void encodeDirectoryHeader(uint32_t root, uint16_t keyLength, uint8_t *h)
{
    std::memset(h, 0, kHeaderSize);
    put32(h, root);
    put16(h + 12, keyLength);
    h[14] = kOptionsDirectory;
    h[15] = 1;
    put16(h + 504, 1);
    put16(h + 506, 1);
    put16(h + 510, 1);
}

bool entryLess(const CdxEntry &a, const CdxEntry &b)
{
    int c = a.key.compare(b.key); // char_traits<char> compares as unsigned bytes
    return c < 0 || (c == 0 && a.recno < b.recno);
}

} // namespace

// ---------------------------------------------------------------- CdxTag

CdxTag::CdxTag(CdxIndex &owner, CdxTagInfo info, uint32_t headerOffset,
               std::unique_ptr<cdx::Tree> tree)
    : owner_(owner), info_(std::move(info)), headerOffset_(headerOffset), tree_(std::move(tree))
{
}

CdxTag::~CdxTag() = default;

void CdxTag::requireWritable() const
{
    if (!owner_.writable_)
        throw XbaseError::refused("Index " + owner_.path_.filename().string() +
                                  " is open read-only; tag " + info_.name + " cannot change");
}

std::string CdxTag::normalized(std::string_view key) const
{
    std::string k(key.substr(0, std::min<size_t>(key.size(), info_.keyLength)));
    k.resize(info_.keyLength, padFor(info_.characterKeys));
    return k;
}

std::optional<CdxEntry> CdxTag::first()
{
    owner_.housekeeping();
    return info_.descending ? tree_->lastBefore(Probe{Probe::Never})
                            : tree_->firstWhere(Probe{Probe::Always});
}

std::optional<CdxEntry> CdxTag::last()
{
    owner_.housekeeping();
    return info_.descending ? tree_->firstWhere(Probe{Probe::Always})
                            : tree_->lastBefore(Probe{Probe::Never});
}

std::optional<CdxEntry> CdxTag::lowerBound(std::string_view key)
{
    owner_.housekeeping();
    key = key.substr(0, std::min<size_t>(key.size(), info_.keyLength));
    return info_.descending ? tree_->lastBefore(Probe{Probe::PrefixGreater, key})
                            : tree_->firstWhere(Probe{Probe::PrefixAtLeast, key});
}

std::optional<CdxEntry> CdxTag::next(const CdxEntry &from)
{
    owner_.housekeeping();
    std::string key = normalized(from.key);
    return info_.descending ? tree_->before(key, from.recno) : tree_->after(key, from.recno);
}

std::optional<CdxEntry> CdxTag::prev(const CdxEntry &from)
{
    owner_.housekeeping();
    std::string key = normalized(from.key);
    return info_.descending ? tree_->after(key, from.recno) : tree_->before(key, from.recno);
}

void CdxTag::insert(const CdxEntry &entry)
{
    requireWritable();
    if (entry.key.size() != info_.keyLength)
        throw XbaseError::refused("Index " + owner_.path_.filename().string() + ", tag " +
                                  info_.name + ": a key of " + std::to_string(entry.key.size()) +
                                  " bytes does not fit keys of " + std::to_string(info_.keyLength));
    owner_.housekeeping();
    tree_->insert(entry.key, entry.recno, info_.unique);
}

bool CdxTag::remove(const CdxEntry &entry)
{
    requireWritable();
    if (entry.key.size() != info_.keyLength)
        return false;
    owner_.housekeeping();
    return tree_->remove(entry.key, entry.recno);
}

uint32_t CdxTag::count()
{
    owner_.housekeeping();
    return tree_->count();
}

void CdxTag::setCharacterKeys(bool characterKeys)
{
    info_.characterKeys = characterKeys;
    tree_->setPad(padFor(characterKeys));
}

void CdxTag::verify()
{
    owner_.housekeeping();
    tree_->verify();
}

// ---------------------------------------------------------------- CdxIndex

CdxIndex::CdxIndex(const std::filesystem::path &path, bool writable)
    : path_(path), writable_(writable)
{
}

CdxIndex::~CdxIndex()
{
    if (journaled_)
        return; // what was not committed is given up, as after a crash
    try {
        flush();
    } catch (...) {
        // A destructor cannot report; callers that care call flush() first.
    }
}

std::unique_ptr<CdxIndex> CdxIndex::open(const std::filesystem::path &path, bool writable,
                                         FileSystem &fs, const TableKey *key,
                                         const CdxIndex *earlier)
{
    std::unique_ptr<CdxIndex> index(new CdxIndex(path, writable));
    BinaryFile file(path, writable ? BinaryFile::Mode::ReadWrite : BinaryFile::Mode::ReadOnly, fs);
    index->store_ = std::make_unique<cdx::PageStore>(std::move(file), writable);
    index->attachKey(key, earlier);
    index->loadDirectory();
    CdxIndex *self = index.get();
    index->store_->setUsedPagesSource([self](std::vector<uint32_t> &used) {
        if (!self->directory_->listPages(used))
            return false;
        for (auto &tag : self->tags_) {
            used.push_back(tag->headerOffset_);
            used.push_back(tag->headerOffset_ + kPageSize);
            if (!tag->tree_->listPages(used))
                return false;
        }
        return true;
    });
    return index;
}

std::unique_ptr<CdxIndex> CdxIndex::create(const std::filesystem::path &path, FileSystem &fs,
                                           std::shared_ptr<const TableCipher> cipher)
{
    std::unique_ptr<CdxIndex> index(new CdxIndex(path, true));
    BinaryFile file(path, BinaryFile::Mode::Create, fs);
    index->store_ = std::make_unique<cdx::PageStore>(std::move(file), true);
    uint32_t header = index->store_->allocateHeader();
    KeyBlock mark;
    if (cipher) {
        mark.check = cipher->keyCheck();
        index->store_->setCipher(std::move(cipher), true);
    }
    index->directory_ =
        Tree::build(*index->store_, 10, ' ', "the directory of tags", std::vector<CdxEntry>{});
    uint8_t h[kHeaderSize];
    encodeDirectoryHeader(index->directory_->root(), 10, h);
    if (index->store_->encrypted())
        mark.writeMemoMark(h + CdxIndex::kKeyMarkOffset, true, true);
    index->store_->writeRaw(header, h, kHeaderSize);
    index->flush();
    return index;
}

namespace {

// The key check of an encrypted index's header; `known` false for a mark of
// a form no index has (that of a memo file sealed without tags).
std::optional<TableCipher::KeyCheck> keyMarkOf(const uint8_t *header, bool &authenticated,
                                               bool &known)
{
    bool sealed = false;
    auto mark = KeyBlock::readMemoMark(header + CdxIndex::kKeyMarkOffset, &sealed, &authenticated);
    known = sealed == authenticated;
    return mark;
}

} // namespace

CdxIndex::Protection CdxIndex::protectionOf(const std::filesystem::path &path, FileSystem &fs)
{
    BinaryFile file(path, BinaryFile::Mode::ReadOnly, fs);
    uint8_t h[CdxIndex::kKeyMarkOffset + KeyBlock::MemoMarkSize];
    if (file.readSomeAt(0, h, sizeof h) < sizeof h)
        return Protection::None;
    bool authenticated = false, known = false;
    if (!keyMarkOf(h, authenticated, known))
        return Protection::None;
    return authenticated ? Protection::Authenticated : Protection::Encrypted;
}

bool CdxIndex::isEncrypted(const std::filesystem::path &path, FileSystem &fs)
{
    return protectionOf(path, fs) != Protection::None;
}

bool CdxIndex::encrypted() const
{
    return store_ && store_->encrypted();
}

bool CdxIndex::authenticated() const
{
    return store_ && store_->authenticated();
}

void CdxIndex::attachKey(const TableKey *key, const CdxIndex *earlier)
{
    const std::string file = path_.filename().string();
    uint8_t h[CdxIndex::kKeyMarkOffset + KeyBlock::MemoMarkSize];
    if (store_->end() < kHeaderSize)
        return; // loadDirectory names the damage
    store_->readRaw(0, h, sizeof h);
    bool authenticated = false, known = false;
    std::optional<TableCipher::KeyCheck> mark = keyMarkOf(h, authenticated, known);
    if (!mark)
        return;
    if (!known)
        throw XbaseError::damaged("Index " + file + " is damaged: its key mark has no known form");
    if (!key)
        throw XbaseError::damaged("Index " + file + " is encrypted but its table is not");
    if (*mark != key->block().check)
        throw XbaseError::damaged("Index " + file +
                                  " does not belong to its table: it is encrypted under "
                                  "another key");
    store_->setCipher(key->sharedCipher(), authenticated);
    if (authenticated && !(earlier && earlier->store_ && earlier->path_ == path_ &&
                           store_->adoptChecked(*earlier->store_)))
        store_->authenticate();
}

void CdxIndex::copyTo(const std::filesystem::path &to, FileSystem &fs,
                      const std::shared_ptr<const TableCipher> &cipher) const
{
    const uint64_t size =
        std::max<uint64_t>(store_->fileSize() / kPageSize * kPageSize, kHeaderSize);
    BinaryFile out(to, BinaryFile::Mode::Create, fs);
    uint8_t h[kHeaderSize];
    store_->readRaw(0, h, kHeaderSize);
    std::memset(h + CdxIndex::kKeyMarkOffset, 0, KeyBlock::MemoMarkSize);
    std::memset(h + cdx::PageStore::kTagOffset, 0, TableCipher::TagSize);
    if (cipher) {
        KeyBlock mark;
        mark.check = cipher->keyCheck();
        mark.writeMemoMark(h + CdxIndex::kKeyMarkOffset, true, true);
    }
    // The pages, then the header with the tag over them all.
    std::vector<TableCipher::Tag> pageTags(size_t(size / kPageSize));
    std::string buffer;
    uint64_t written = kHeaderSize;
    uint8_t page[kPageSize];
    for (uint64_t offset = kHeaderSize; offset < size; offset += kPageSize) {
        store_->readPage(uint32_t(offset), page);
        if (cipher) {
            cipher->encrypt(TableCipher::Domain::SealedIndexPage, offset / kPageSize, page,
                            kPageSize);
            pageTags[size_t(offset / kPageSize)] = cdx::PageStore::pageTag(*cipher, offset, page);
        }
        buffer.append(reinterpret_cast<const char *>(page), kPageSize);
        if (buffer.size() >= (size_t(1) << 22)) {
            out.writeAt(written, buffer.data(), buffer.size());
            written += buffer.size();
            buffer.clear();
        }
    }
    out.writeAt(written, buffer.data(), buffer.size());
    if (cipher) {
        const TableCipher::Tag tag = cdx::PageStore::fileTag(*cipher, h, pageTags);
        std::memcpy(h + cdx::PageStore::kTagOffset, tag.data(), tag.size());
    }
    out.writeAt(0, h, kHeaderSize);
    out.sync();
    out.close();
}

void CdxIndex::loadDirectory()
{
    const std::string file = path_.filename().string();
    if (store_->end() < kHeaderSize + kPageSize)
        throw XbaseError::damaged("Index " + file +
                                  " is damaged: it is too short for a compound index");
    uint8_t h[kHeaderSize];
    store_->readRaw(0, h, kHeaderSize);
    uint32_t root = le32(h);
    uint16_t keyLength = uint16_t(le16(h + 12));
    if (keyLength < 1 || keyLength > cdx::kMaxKeyLength)
        throw XbaseError::damaged("Index " + file + " is damaged: its header gives tag names of " +
                                  std::to_string(keyLength) + " bytes");
    store_->checkPageOffset(root, "the directory of tags");
    directory_ = std::make_unique<Tree>(*store_, root, keyLength, ' ', "the directory of tags");

    std::vector<std::pair<std::string, uint32_t>> found;
    size_t limit = store_->pageCount();
    for (auto entry = directory_->firstWhere(Probe{}); entry;
         entry = directory_->firstWhere(Probe{Probe::Greater, entry->key, entry->recno})) {
        if (found.size() > limit)
            throw XbaseError::damaged("Index " + file + " is damaged: its directory of tags loops");
        found.emplace_back(trimmedName(entry->key), entry->recno);
    }
    for (const auto &[name, headerOffset] : found) {
        if (name.empty())
            throw XbaseError::damaged("Index " + file + " is damaged: a tag has no name");
        if (headerOffset % kPageSize != 0 || headerOffset < kHeaderSize ||
            uint64_t(headerOffset) + kHeaderSize > store_->end())
            throw XbaseError::damaged("Index " + file + " is damaged: the header of tag " + name +
                                      " lies outside the file");
        if (findTag(name))
            throw XbaseError::damaged("Index " + file + " is damaged: tag " + name +
                                      " is listed twice");
        uint8_t th[kHeaderSize];
        store_->readRaw(headerOffset, th, kHeaderSize);
        TagHeader header = parseTagHeader(th, file, name);
        store_->checkPageOffset(header.root, ("the root of tag " + name).c_str());
        auto tree =
            std::make_unique<Tree>(*store_, header.root, header.info.keyLength, ' ', "tag " + name);
        std::unique_ptr<CdxTag> tag(
            new CdxTag(*this, std::move(header.info), headerOffset, std::move(tree)));
        // The file does not record the key type; binary keys betray themselves
        // by control bytes. A damaged tree reports itself when it is used.
        try {
            if (tag->tree_->looksBinary())
                tag->setCharacterKeys(false);
        } catch (const XbaseError &) {
        }
        tags_.push_back(std::move(tag));
    }
}

CdxTag &CdxIndex::tag(size_t i)
{
    if (i >= tags_.size())
        throw XbaseError::refused("Index " + path_.filename().string() + " has no tag number " +
                                  std::to_string(i + 1));
    return *tags_[i];
}

CdxTag *CdxIndex::findTag(std::string_view name)
{
    std::string wanted = AsciiUpperCase(name);
    for (auto &tag : tags_)
        if (tag->info_.name == wanted)
            return tag.get();
    return nullptr;
}

void CdxIndex::sortTags()
{
    std::stable_sort(tags_.begin(), tags_.end(),
                     [](const auto &a, const auto &b) { return a->info_.name < b->info_.name; });
}

void CdxIndex::housekeeping()
{
    store_->trimCache();
}

CdxTag &CdxIndex::writeTag(const CdxTagInfo &given, std::vector<CdxEntry> entries)
{
    const std::string file = path_.filename().string();
    if (!writable_)
        throw XbaseError::refused("Index " + file + " is open read-only; tag " + given.name +
                                  " cannot be written");
    CdxTagInfo info = given;
    info.name = AsciiUpperCase(given.name);
    if (info.name.empty() || info.name.size() > directory_->keyLength() || info.name.size() > 10 ||
        !std::all_of(
            info.name.begin(), info.name.end(),
            [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'; }) ||
        (info.name[0] >= '0' && info.name[0] <= '9'))
        throw XbaseError::refused("\"" + given.name +
                                  "\" is not a valid tag name (1 to 10 letters, digits or _)");
    if (info.keyLength < 1 || info.keyLength > cdx::kMaxKeyLength)
        throw XbaseError::refused("Tag " + info.name + ": keys of " +
                                  std::to_string(info.keyLength) +
                                  " bytes are not possible (1 to 240)");
    if (info.expression.empty())
        throw XbaseError::expression("Tag " + info.name + " needs a key expression");
    if (info.expression.size() + info.forExpression.size() + 2 > kPoolSize ||
        info.expression.find('\0') != std::string::npos ||
        info.forExpression.find('\0') != std::string::npos)
        throw XbaseError::refused("Tag " + info.name +
                                  ": the key and FOR expressions are too long");
    for (const CdxEntry &entry : entries)
        if (entry.key.size() != info.keyLength)
            throw XbaseError::refused("Tag " + info.name + ": the key of record " +
                                      std::to_string(entry.recno) + " has " +
                                      std::to_string(entry.key.size()) + " bytes instead of " +
                                      std::to_string(info.keyLength));
    housekeeping();

    std::sort(entries.begin(), entries.end(), entryLess);
    entries.erase(std::unique(entries.begin(), entries.end()), entries.end());
    if (info.unique) // the first record of each key value
        entries.erase(
            std::unique(entries.begin(), entries.end(),
                        [](const CdxEntry &a, const CdxEntry &b) { return a.key == b.key; }),
            entries.end());

    CdxTag *tag = findTag(info.name);
    uint32_t headerOffset;
    if (tag) {
        tag->tree_->releaseAll();
        headerOffset = tag->headerOffset_;
    } else {
        headerOffset = store_->allocateHeader();
    }
    auto tree = Tree::build(*store_, info.keyLength, padFor(info.characterKeys), "tag " + info.name,
                            entries);
    uint8_t h[kHeaderSize];
    encodeTagHeader(info, tree->root(), h);
    store_->writeRaw(headerOffset, h, kHeaderSize);

    if (tag) {
        tag->info_ = std::move(info);
        tag->tree_ = std::move(tree);
        return *tag;
    }
    std::string dirKey = info.name;
    dirKey.resize(directory_->keyLength(), ' ');
    directory_->insert(dirKey, headerOffset, false);
    std::unique_ptr<CdxTag> created(
        new CdxTag(*this, std::move(info), headerOffset, std::move(tree)));
    CdxTag &result = *created;
    tags_.push_back(std::move(created));
    sortTags();
    return result;
}

bool CdxIndex::removeTag(std::string_view name)
{
    if (!writable_)
        throw XbaseError::refused("Index " + path_.filename().string() +
                                  " is open read-only; no tag can be removed");
    CdxTag *tag = findTag(name);
    if (!tag)
        return false;
    housekeeping();
    std::string dirKey = tag->info_.name;
    dirKey.resize(directory_->keyLength(), ' ');
    if (!directory_->remove(dirKey, tag->headerOffset_))
        throw XbaseError::damaged("Index " + path_.filename().string() + " is damaged: tag " +
                                  tag->info_.name + " is missing from its directory");
    tag->tree_->releaseAll();
    store_->release(tag->headerOffset_);
    store_->release(tag->headerOffset_ + kPageSize);
    tags_.erase(
        std::find_if(tags_.begin(), tags_.end(), [&](const auto &t) { return t.get() == tag; }));
    return true;
}

// Roots that moved are patched into their headers; the rest of a header
// (fields other writers keep there) stays as it is.
void CdxIndex::stageRoots()
{
    auto patchRoot = [&](Tree &tree, uint32_t headerOffset) {
        if (!tree.rootChanged())
            return;
        uint8_t root[4];
        put32(root, tree.root());
        store_->writeRaw(headerOffset, root, 4);
        tree.clearRootChanged();
    };
    if (directory_)
        patchRoot(*directory_, 0);
    for (auto &tag : tags_)
        patchRoot(*tag->tree_, tag->headerOffset_);
}

FileChange CdxIndex::changes()
{
    if (!writable_ || !store_)
        return FileChange{};
    stageRoots();
    return store_->changes();
}

void CdxIndex::committed()
{
    if (store_)
        store_->committed();
}

void CdxIndex::flush()
{
    if (!writable_ || !store_)
        return;
    stageRoots();
    store_->flush();
}

// ---------------------------------------------------------------- keys

std::string cdxNumericKey(double value)
{
    if (value == 0)
        value = 0; // -0 sorts with +0
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    bits = (bits >> 63) ? ~bits : bits ^ (uint64_t(1) << 63);
    std::string key(8, '\0');
    for (int i = 0; i < 8; ++i)
        key[i] = char(uint8_t(bits >> (56 - 8 * i)));
    return key;
}

double cdxNumericFromKey(std::string_view key)
{
    if (key.size() != 8)
        throw XbaseError::damaged("A numeric index key has 8 bytes, not " +
                                  std::to_string(key.size()));
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i)
        bits = (bits << 8) | uint8_t(key[i]);
    bits = (bits >> 63) ? bits ^ (uint64_t(1) << 63) : ~bits;
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

std::string cdxIntegerKey(int32_t value)
{
    uint32_t bits = uint32_t(value) ^ 0x80000000u;
    std::string key(4, '\0');
    for (int i = 0; i < 4; ++i)
        key[i] = char(uint8_t(bits >> (24 - 8 * i)));
    return key;
}

int32_t cdxIntegerFromKey(std::string_view key)
{
    if (key.size() != 4)
        throw XbaseError::damaged("An integer index key has 4 bytes, not " +
                                  std::to_string(key.size()));
    uint32_t bits = 0;
    for (int i = 0; i < 4; ++i)
        bits = (bits << 8) | uint8_t(key[i]);
    return int32_t(bits ^ 0x80000000u);
}

} // namespace qn::xbase
