// Pack, encryption and decryption: the table is copied record by record into
// new files beside the old ones, which then replace the old ones in one
// switch (file_switch). The old files are never written, so an interruption
// at any moment leaves the old table or the new one.

#include "xbase/file_switch.h"
#include "xbase/table.h"
#include "xbase/xbase_error.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>

namespace qn::xbase {

namespace {

namespace fs = std::filesystem;

constexpr size_t FlushSize = size_t(4) << 20;

void putLe32(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}
void putBe32(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (24 - 8 * i));
}

// Appends to a new file through a large buffer, so that a big table costs few
// system calls.
class BufferedWriter {
public:
    BufferedWriter(const fs::path &path, FileSystem &system)
        : file_(path, BinaryFile::Mode::Create, system)
    {
    }
    uint64_t position() const { return flushed_ + buffer_.size(); }
    // Room for n more bytes at the end; the pointer is valid until the next call.
    uint8_t *grow(size_t n)
    {
        size_t old = buffer_.size();
        buffer_.resize(old + n);
        return reinterpret_cast<uint8_t *>(buffer_.data()) + old;
    }
    void maybeFlush()
    {
        if (buffer_.size() >= FlushSize)
            flush();
    }
    void flush()
    {
        if (buffer_.empty())
            return;
        file_.writeAt(flushed_, buffer_.data(), buffer_.size());
        // Start writing back now, so that the final sync waits for the last
        // stretch only instead of the whole file.
        sync_file_range(file_.descriptor(), off64_t(flushed_), off64_t(buffer_.size()),
                        SYNC_FILE_RANGE_WRITE);
        flushed_ += buffer_.size();
        buffer_.clear();
    }
    BinaryFile &file() { return file_; }
    void finish()
    {
        flush();
        file_.sync();
        file_.close();
    }

private:
    BinaryFile file_;
    std::string buffer_;
    uint64_t flushed_ = 0;
};

// The new memo file: the old header (block size and the unused bytes kept,
// the key mark set or cleared), then the memos one after the other.
class MemoWriter {
public:
    MemoWriter(const fs::path &path, FileSystem &system, MemoFile &old,
               const std::optional<KeyBlock> &key, const TableCipher *cipher)
        : out_(path, system), blockSize_(old.blockSize()), cipher_(cipher)
    {
        uint32_t first = (512 + blockSize_ - 1) / blockSize_;
        size_t headerBytes = size_t(first) * blockSize_;
        uint8_t *h = out_.grow(headerBytes);
        old.readHeaderBytes(h, 512);
        std::memset(h + KeyBlock::MemoMarkOffset, 0, KeyBlock::MemoMarkSize);
        if (key)
            key->writeMemoMark(h + KeyBlock::MemoMarkOffset, true, true);
        next_ = first;
    }
    uint32_t append(const std::string &text)
    {
        // Encrypted memos are written in the current form, lengths hidden
        // and each with its tag.
        const bool sealed = cipher_ != nullptr;
        uint64_t bytes = MemoFile::span(text.size(), blockSize_, sealed, sealed);
        uint64_t blocks = bytes / blockSize_;
        if (next_ + blocks > 0xFFFFFFFFu)
            throw XbaseError::refused("The new memo file would be too large");
        uint32_t block = uint32_t(next_);
        MemoFile::encode(text, block, blockSize_, cipher_, sealed, sealed,
                         out_.grow(size_t(bytes)));
        next_ += blocks;
        out_.maybeFlush();
        return block;
    }
    void finish()
    {
        out_.flush();
        uint8_t next[4];
        putBe32(next, uint32_t(next_));
        out_.file().writeAt(0, next, 4);
        out_.finish();
    }

private:
    BufferedWriter out_;
    uint32_t blockSize_;
    const TableCipher *cipher_;
    uint64_t next_ = 0;
};

void setMemoPointer(const FieldInfo &f, char *image, uint32_t block)
{
    if (f.length == 4) {
        putLe32(reinterpret_cast<uint8_t *>(image + f.offset), block);
        return;
    }
    char text[16];
    std::snprintf(text, sizeof text, "%10u", block);
    std::memcpy(image + f.offset, text, 10);
}

} // namespace

struct Table::Rewrite {
    const char *what = "";
    bool dropDeleted = false;    // pack
    bool rebuildIndexes = false; // pack
    bool rekeyIndexes = false;   // every change of key: each page copied under the new key
    bool indexesRewritten() const { return rebuildIndexes || rekeyIndexes; }
    std::optional<KeyBlock> key;               // the new files' key; nullopt: clear
    std::shared_ptr<const TableCipher> cipher; // the new files' cipher, kept by the reopened table
    const std::string *cipherPassword = nullptr; // what `cipher` was made from; null: the engine's
    std::function<void()> afterSwitch; // once the new files are in place, before they are read
};

void Table::report(int value) const
{
    if (settings_.progress)
        settings_.progress(value);
}

void Table::attachKey(std::shared_ptr<const TableCipher> known, const std::string *knownPassword)
{
    key_.reset();
    dbf_->setKey(nullptr);
    if (memo_)
        memo_->setKey(nullptr);
    const std::optional<KeyBlock> &block = dbf_->keyBlock();
    if (block) {
        if (memo_ && (!memo_->keyMark() || *memo_->keyMark() != block->check))
            throw XbaseError::damaged("The memo file " + memo_->path().string() +
                                      " does not belong to the encrypted table " + path().string());
        // Tags in one file and not in the other: a file swapped for one of
        // another form, whose changes could no longer be told.
        if (memo_ && memo_->tagged() != dbf_->tagged())
            throw XbaseError::damaged("The memo file " + memo_->path().string() +
                                      " does not match the form of the encrypted table " +
                                      path().string());
        key_ = std::make_unique<TableKey>(path().string(), *block, settings_.password,
                                          std::move(known), knownPassword);
        dbf_->setKey(key_.get());
        if (memo_)
            memo_->setKey(key_.get());
    } else if (memo_ && memo_->keyMark()) {
        throw XbaseError::damaged("The memo file " + memo_->path().string() +
                                  " is encrypted but its table " + path().string() + " is not");
    }
}

void Table::encrypt()
{
    if (settings_.password.empty())
        throw XbaseError::refused("Cannot encrypt table " + path().string() +
                                  ": no password is set");
    if (key_) {
        key_->cipher(); // already encrypted: fine under this password, an error under another
        // An older form (a key from an older derivation, an index in clear)
        // is replaced, under the same password.
        if (currentEncryption())
            return;
    }
    auto cipher = std::make_shared<const TableCipher>(settings_.password, TableCipher::newSalt(),
                                                      settings_.newKeyDerivation);
    Rewrite plan;
    plan.what = "encrypt";
    plan.rekeyIndexes = true;
    plan.key = KeyBlock{cipher->salt(), cipher->derivation(), cipher->keyCheck()};
    plan.cipher = cipher;
    rewrite(plan);
}

void Table::decrypt()
{
    if (!key_)
        return;
    key_->cipher();
    Rewrite plan;
    plan.what = "decrypt";
    plan.rekeyIndexes = true;
    rewrite(plan);
}

void Table::changeKey(const std::string &newPassword, const std::function<void()> &adoptPassword)
{
    if (newPassword.empty() && !key_) {
        adoptPassword();
        return;
    }
    if (key_) {
        key_->cipher(); // the current key must fit before anything is read
        if (newPassword == settings_.password && currentEncryption())
            return;
    }
    if (newPassword.empty()) {
        Rewrite plan;
        plan.what = "decrypt";
        plan.rekeyIndexes = true;
        plan.afterSwitch = adoptPassword;
        rewrite(plan);
        return;
    }
    auto cipher = std::make_shared<const TableCipher>(newPassword, TableCipher::newSalt(),
                                                      settings_.newKeyDerivation);
    Rewrite plan;
    plan.what = "change the key of";
    plan.rekeyIndexes = true;
    plan.key = KeyBlock{cipher->salt(), cipher->derivation(), cipher->keyCheck()};
    plan.cipher = cipher;
    plan.cipherPassword = &newPassword;
    plan.afterSwitch = adoptPassword;
    rewrite(plan);
}

bool Table::currentEncryption() const
{
    return key_ && key_->block().derivation.method == settings_.newKeyDerivation.method &&
           dbf_->tagged() && (!memo_ || (memo_->sealed() && memo_->tagged())) &&
           std::all_of(indexes_.begin(), indexes_.end(),
                       [](const auto &index) { return index->authenticated(); });
}

void Table::pack()
{
    Rewrite plan;
    plan.what = "pack";
    plan.dropDeleted = true;
    plan.rebuildIndexes = true;
    if (key_) {
        plan.key = key_->block();
        plan.cipher = key_->sharedCipher();
    }
    rewrite(plan);
}

// A production index that is on disk but closed would no longer match the
// packed records, or the new key; it is rewritten with the others. One too
// damaged to open does not stop a change of key (the table, once open,
// rebuilds it).
void Table::openClosedProductionIndex(const Rewrite &plan)
{
    fs::path cdx = siblingWithExtension(path(), ".CDX");
    bool open = std::any_of(indexes_.begin(), indexes_.end(), [&](const auto &x) {
        return fs::exists(cdx) && fs::equivalent(x->path(), cdx);
    });
    if (open || !fs::exists(cdx))
        return;
    try {
        addIndex(CdxIndex::open(cdx, true, fs(), key_.get()));
    } catch (const PasswordError &) {
        throw;
    } catch (const XbaseError &) {
        if (plan.rebuildIndexes)
            throw;
    }
}

// An encrypted table's records end with their tags, a clear one's do not:
// the tag column goes in or out after the last field, and the record length
// follows.
void Table::setTagColumn(std::string &header, bool tagged) const
{
    const size_t at = 32 + fields().size() * 32;
    if (dbf_->tagged() != tagged) {
        const bool marked = dbf_->tagged()
                                ? at + 32 < header.size()
                                : at < header.size() && (header[at] == 0x0D || header[at] == 0x0A);
        if (!marked)
            throw XbaseError::damaged("Table " + path().string() +
                                      " is damaged: its field list has no end mark");
        if (tagged) {
            uint8_t descriptor[32];
            DbfFile::writeTagDescriptor(descriptor, dbf_->fieldsLength());
            header.insert(at, reinterpret_cast<const char *>(descriptor), 32);
        } else {
            header.erase(at, 32);
        }
    }
    const size_t length = dbf_->fieldsLength() + (tagged ? TableCipher::TagSize : 0);
    header[10] = char(uint8_t(length));
    header[11] = char(uint8_t(length >> 8));
}

// The new table file's header: the old one with the key block taken out
// and/or put in at its end (after the field list and anything other
// programs keep there), byte 15 telling whether it is encrypted.
std::string Table::newTableHeader(const Rewrite &plan) const
{
    std::string header(dbf_->headerLength(), '\0');
    dbf_->file().readAt(0, header.data(), header.size());
    if (dbf_->keyBlock())
        header.resize(header.size() - KeyBlock::Size);
    setTagColumn(header, plan.key.has_value());
    if (plan.key) {
        size_t at = header.size();
        header.resize(at + KeyBlock::Size);
        plan.key->write(reinterpret_cast<uint8_t *>(header.data()) + at);
    }
    if (header.size() > 0xFFFF)
        throw XbaseError::refused("The header of table " + path().string() +
                                  " is too long to add a key");
    auto *h = reinterpret_cast<uint8_t *>(header.data());
    h[15] = plan.key ? 1 : 0;
    h[8] = uint8_t(header.size());
    h[9] = uint8_t(header.size() >> 8);
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    h[1] = uint8_t(tm.tm_year % 100);
    h[2] = uint8_t(tm.tm_mon + 1);
    h[3] = uint8_t(tm.tm_mday);
    return header;
}

// The rebuilt tags (pack) or every page copied under the new key.
void Table::writeNewIndexes(const Rewrite &plan, std::vector<std::vector<CdxEntry>> &entries)
{
    if (plan.rebuildIndexes) {
        size_t t = 0;
        for (auto &x : indexes_) {
            auto index = CdxIndex::create(file_switch::newNameFor(x->path()), fs(), plan.cipher);
            for (size_t i = 0; i < x->tagCount(); ++i, ++t) {
                const CdxTagInfo &info = tags_[t]->tag->info();
                std::vector<CdxEntry> &list = entries[t];
                if (info.unique) {
                    std::stable_sort(list.begin(), list.end(),
                                     [](const CdxEntry &a, const CdxEntry &b) {
                                         return a.key != b.key ? a.key < b.key : a.recno < b.recno;
                                     });
                    list.erase(std::unique(list.begin(), list.end(),
                                           [](const CdxEntry &a, const CdxEntry &b) {
                                               return a.key == b.key;
                                           }),
                               list.end());
                }
                index->writeTag(info, std::move(list));
            }
            index->flush();
        }
        report(99);
    }
    if (plan.rekeyIndexes)
        for (auto &x : indexes_)
            x->copyTo(file_switch::newNameFor(x->path()), fs(), plan.cipher);
}

void Table::rewrite(const Rewrite &plan)
{
    requireWritable(plan.what);
    if (access() != Access::Exclusive)
        throw XbaseError::refused(std::string("Cannot ") + plan.what + " table " + path().string() +
                                  ": it must be open exclusively");
    commit();
    if (key_)
        key_->cipher(); // the old key must be right before anything is written
    report(0);

    const fs::path table = path();
    std::vector<fs::path> openIndexFiles;
    for (auto &x : indexes_)
        openIndexFiles.push_back(x->path());
    const int savedOrder = order_;
    const uint32_t savedRecno = eof_ ? 0 : recno_;

    if (plan.indexesRewritten())
        openClosedProductionIndex(plan);

    std::vector<fs::path> targets{table};
    if (memo_)
        targets.push_back(memo_->path());
    if (plan.indexesRewritten())
        for (auto &x : indexes_)
            targets.push_back(x->path());

    try {
        const std::string header = newTableHeader(plan);
        BufferedWriter records(file_switch::newNameFor(table), fs());
        std::memcpy(records.grow(header.size()), header.data(), header.size());
        std::optional<MemoWriter> memos;
        if (memo_)
            memos.emplace(file_switch::newNameFor(memo_->path()), fs(), *memo_, plan.key,
                          plan.cipher.get());

        std::vector<int> memoFields;
        for (size_t i = 0; i < fields().size(); ++i)
            if (fields()[i].type == 'M' || fields()[i].type == 'G')
                memoFields.push_back(int(i));

        std::vector<std::vector<CdxEntry>> entries(plan.rebuildIndexes ? tags_.size() : 0);
        const uint32_t count = dbf_->recordCount();
        const int span = plan.rebuildIndexes ? 90 : 99;
        int reported = 0;
        uint32_t written = 0;
        std::string image(recordLength(), ' ');
        std::string fresh(recordLength(), ' ');
        const size_t freshLength = dbf_->fieldsLength() + (plan.cipher ? TableCipher::TagSize : 0);
        for (uint32_t r = 1; r <= count; ++r) {
            dbf_->readRecord(r, image.data());
            if (plan.dropDeleted && image[0] == '*')
                continue;
            uint32_t n = ++written;
            fresh.assign(image, 0, dbf_->fieldsLength());
            fresh.resize(freshLength, '\0');
            for (int f : memoFields) {
                recno_ = r; // for the messages about a damaged pointer
                uint32_t block = memoPointer(f, image.data());
                if (block == 0)
                    continue;
                if (!memo_)
                    throw XbaseError::damaged("Table " + table.string() + " has no memo file");
                setMemoPointer(fields()[size_t(f)], fresh.data(),
                               memos->append(memo_->read(block)));
            }
            // Keys come from the old image, whose memo pointers still lead
            // into the old memo file, under the record's new number.
            for (size_t t = 0; t < entries.size(); ++t)
                if (auto k = tagKey(*tags_[t], image.data(), n))
                    entries[t].push_back(CdxEntry{std::move(*k), n});
            if (plan.cipher)
                DbfFile::seal(*plan.cipher, n, fresh.data(), fresh.size());
            if (plan.cipher)
                plan.cipher->encrypt(TableCipher::Domain::Record, n,
                                     reinterpret_cast<uint8_t *>(fresh.data()) + 1,
                                     fresh.size() - 1);
            std::memcpy(records.grow(fresh.size()), fresh.data(), fresh.size());
            records.maybeFlush();
            int value = int(uint64_t(r) * uint64_t(span) / count);
            if (value > reported)
                report(reported = value);
        }
        *records.grow(1) = 0x1A;
        records.flush();
        uint8_t countBytes[4];
        putLe32(countBytes, written);
        records.file().writeAt(4, countBytes, 4);
        records.finish();
        if (memos)
            memos->finish();

        writeNewIndexes(plan, entries);
        fs::path folder = table.parent_path().empty() ? fs::path(".") : table.parent_path();
        syncDirectory(folder, fs());
    } catch (...) {
        file_switch::discard(fs(), targets);
        throw;
    }

    // The new table file is locked before it takes the table's name, so that
    // nobody opens it (or "recovers" this switch) between the renames and
    // the reopening below.
    BinaryFile guard(file_switch::newNameFor(table), BinaryFile::Mode::ReadOnly, fs());
    guard.tryLock(true);
    try {
        file_switch::commit(fs(), table, targets);
        guard.close();
        if (plan.afterSwitch)
            plan.afterSwitch();
    } catch (...) {
        guard.close();
        // The switch stopped half way (a rename refused, say). The marker
        // decides what the files are; finish it if possible and go on with
        // whatever is on disk. Never write on into replaced files.
        std::exception_ptr error = std::current_exception();
        try {
            file_switch::recover(fs(), table);
            reopenAfterSwitch(openIndexFiles, savedOrder, 0, plan.cipher, plan.cipherPassword);
        } catch (...) {
            stale_ = true;
        }
        std::rethrow_exception(error);
    }
    reopenAfterSwitch(openIndexFiles, savedOrder, plan.dropDeleted ? 0 : savedRecno, plan.cipher,
                      plan.cipherPassword);
    report(100);
}

void Table::reopenAfterSwitch(const std::vector<fs::path> &indexFiles, int order, uint32_t recno,
                              std::shared_ptr<const TableCipher> cipher,
                              const std::string *cipherPassword)
{
    // Everything is opened before anything is let go, so that a failure
    // leaves the table as it was.
    const fs::path table = path();
    const Access mode = access();
    auto dbf = DbfFile::open(table, mode, fs());
    std::unique_ptr<MemoFile> memo;
    if (dbf->hasMemoFields())
        memo = MemoFile::open(siblingWithExtension(table, ".FPT"), dbf->writable(),
                              mode != Access::Shared, fs());
    std::vector<std::unique_ptr<CdxIndex>> indexes;
    {
        // The new files' key, made for the rewrite, opens their indexes.
        std::unique_ptr<TableKey> key;
        if (dbf->keyBlock())
            key = std::make_unique<TableKey>(table.string(), *dbf->keyBlock(), settings_.password,
                                             cipher, cipherPassword);
        for (const fs::path &p : indexFiles)
            indexes.push_back(CdxIndex::open(p, dbf->writable(), fs(), key.get()));
    }

    entry_.reset();
    locks_.clear();
    tags_.clear();
    indexes_.clear();
    memo_ = std::move(memo);
    dbf_ = std::move(dbf);
    attachKey(std::move(cipher), cipherPassword);
    for (auto &x : indexes)
        addIndex(std::move(x));
    stale_ = false;
    order_ = order <= tagCount() ? order : 0;
    buffer_.assign(recordLength(), ' ');
    diskImage_ = buffer_;
    dirty_ = false;
    if (recno >= 1 && recno <= dbf_->recordCount())
        go(recno);
    else
        goTop();
}

} // namespace qn::xbase
