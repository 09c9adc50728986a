#pragma once

#include "xbase/cdx_index.h"
#include "xbase/dbf_file.h"
#include "xbase/expression.h"
#include "xbase/journal.h"
#include "xbase/memo_file.h"
#include "xbase/table_key.h"
#include "xbase/xbase_date.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace qn::xbase {

// Engine-wide settings; every open table reads them at the moment of use.
struct EngineSettings {
    bool deleted = false;  // hide records marked deleted
    bool exact = false;    // text comparisons and seeks need the whole key
    bool softSeek = false; // a failed seek stops on the next greater key
    bool century = false;
    int dateFormat = 0;
    int lockTimeoutSeconds = 1;
    uint32_t memoBlockSize = 64; // for new memo files
    bool turboRead = false;
    // The key of encrypted tables and of encryption; empty means none.
    std::string password;
    // How keys of newly encrypted tables are derived; tests choose small costs.
    KeyDerivation newKeyDerivation = KeyDerivation::standard();
    // Progress of pack, encryption, decryption (0..100) and tag builds
    // (one rising run 0..400, a quarter per pass); may be empty.
    std::function<void(int)> progress;
    // Where the table's files are read and written; null: the operating system's.
    FileSystem *fileSystem = nullptr;
};

// One open table with its memo file and index files, and a record pointer.
//
// The record buffer holds the current record. Field replacements change the
// buffer only; the buffer reaches the file when the record pointer moves, on
// commit and on close (putRecord, appendBlank and deleteRecord write at
// once). Past the end there is no record: replacements there change only the
// buffer (a new record's image, memo pointers included, can be prepared there
// and then written with appendBlank + putRecord). Every write keeps every
// open tag in step with the record.
class Table : private RecordView {
public:
    using Access = DbfFile::Access;

    // Creates the table file (and memo file when there are memo fields);
    // refuses to overwrite an existing table. A left-over index file of the
    // same stem is removed, since it belongs to no table.
    static void create(const std::filesystem::path &path, const std::vector<FieldInfo> &fields,
                       uint32_t memoBlockSizeSetting, FileSystem &fs = DefaultFileSystem());
    // Opens the table, its memo file and, when present, its production index.
    // A save that a crash left unfinished is undone first (see Journal);
    // recoveredUnfinishedSave() then tells.
    static std::unique_ptr<Table> open(const std::filesystem::path &path, Access access,
                                       const EngineSettings &settings);
    bool recoveredUnfinishedSave() const { return recovered_; }
    // The current record of an encrypted table was changed by someone
    // without the key (its tag does not match): moving onto it threw an
    // XbaseError of kind Tampered, the table stands on it with every field
    // empty, and it is never written over.
    bool recordChangedOutside() const { return changedOutside_; }
    // Undoes an unfinished save of a closed table; false when there was none.
    static bool recover(const std::filesystem::path &path, const EngineSettings &settings);
    // Whether a closed table has an unfinished save waiting to be undone.
    static bool hasHotJournal(const std::filesystem::path &path, const EngineSettings &settings);
    // What is wrong with a closed table's journal when it is damaged (it is
    // then never applied, and the table does not open); empty otherwise.
    static std::string journalProblem(const std::filesystem::path &path,
                                      const EngineSettings &settings);
    ~Table() override;
    void close(); // writes pending changes, syncs and releases; also on destruction

    // Structure
    const std::filesystem::path &path() const { return dbf_->path(); }
    Access access() const { return dbf_->access(); }
    const std::vector<FieldInfo> &fields() const { return dbf_->fields(); }
    int fieldIndex(std::string_view name) const { return dbf_->fieldIndex(name); }
    const FieldInfo &field(int index) const; // an XbaseError when out of range
    // A record image: the deletion flag and the fields (an encrypted
    // table's tags are the engine's own, in no image).
    uint16_t recordLength() const { return dbf_->fieldsLength(); }
    uint32_t recordCount();
    uint8_t version() const { return dbf_->version(); }
    DbfFile &dbf() { return *dbf_; }
    MemoFile *memoFile() { return memo_.get(); }

    // Position. At the end the record number is count + 1 and the buffer blank.
    uint32_t recno() const { return recno_; }
    bool bof() const { return bof_; }
    bool eof() const { return eof_; }
    bool deleted() const { return !eof_ && buffer_[0] == '*'; }
    void goTop();
    void goBottom();
    void skip(long count);
    void go(uint32_t recno); // any record, visible or not; out of range: the end
    // Seek in the current order; true when an equal key was found.
    bool seek(const std::string &key);

    // Record buffer
    char *buffer() { return buffer_.data(); }
    std::string record() const { return std::string(buffer_.data(), buffer_.size()); }
    void putRecord(const char *image);
    void appendBlank();
    void deleteRecord();
    void recallRecord();
    void replaceRaw(int field, const std::string &bytes); // padded or cut to the width
    void replaceText(int field, const std::string &text); // C N D L from text
    void replaceNumber(int field, double value);
    void replaceLogical(int field, bool value);
    void replaceDate(int field, std::optional<CalendarDate> date);
    void replaceMemo(int field, const std::string &text);
    std::string memo(int field) const; // of the buffer
    Value value(int field) const;      // of the buffer
    std::string text(int field) const; // raw field bytes (memo: its text)
    // Pending changes to disk as one atomic, durable step (see Journal).
    void commit();
    // Drops every change since the last commit (a record appended or
    // written, memos, keys): the files and the table are as that commit left
    // them. For a change that failed half way, such as an append whose memo
    // found the disk full. The record pointer stays where it was when that
    // record is still there.
    void rollback();
    void flushPending(); // pending buffer changes to the files

    // Record locks (shared mode; in exclusive mode they always succeed)
    bool lockRecord(uint32_t recno);
    void unlockAll();

    // Indexes. Orders count the tags of every open index file from 1 in
    // opening order; 0 is the natural order.
    int openIndex(const std::filesystem::path &path);
    // Writes or replaces a tag in the named index file (empty: the production
    // index), built from every record; makes it the current order.
    int indexTag(const std::filesystem::path &file, const std::string &tag,
                 const std::string &expression, bool unique, bool descending,
                 const std::string &condition);
    int tagOrder(std::string_view tag) const; // 0 when missing
    std::string tagName(int order) const;     // empty past the last
    int tagCount() const { return int(tags_.size()); }
    void setOrder(int order);
    int order() const { return order_; }
    std::string indexFileName() const; // of the current order
    std::string indexExpression() const;
    std::string indexCondition() const;
    std::string keyData(); // key of the current record in the current order
    void closeIndexes();
    // Every tag's keys against its records; messages for every fault (a
    // production index too damaged to open is one).
    std::vector<std::string> checkIndexes();
    const std::string &indexProblem() const { return indexProblem_; }
    CdxTag *currentTag();

    // Maintenance. Each writes complete new files beside the old ones and
    // switches over in one step (a crash leaves the old or the new table),
    // then carries on with the new files. Exclusive access only.
    bool encrypted() const { return key_ != nullptr; }
    // An encrypted table's key fits the engine's password (derived once per password).
    bool keyFits() const { return key_ && key_->usable(); }
    // An encrypted table in the form this engine writes: its key by the
    // settings' derivation, its memos sealed (lengths hidden) and every open
    // index encrypted and authenticated. Older forms are
    // rewritten by the next encrypt() or changeKey(), under the same password too.
    bool currentEncryption() const;
    void pack();    // drops deleted records, compacts the memo file, rebuilds every tag
    void encrypt(); // under the password of the settings; nothing when already encrypted under it
    void decrypt(); // nothing when clear
    // Rewrites the table under `newPassword` (empty: in clear) in one switch:
    // every record and memo is read under the current key and written under
    // the new one, so the text never reaches the disk in clear.
    // `adoptPassword` makes `newPassword` the engine's password; it runs once
    // the new files have taken the table's place, before they are read.
    // Nothing when the table is already clear and stays so, or already has
    // a current key for that password.
    void changeKey(const std::string &newPassword, const std::function<void()> &adoptPassword);

    // Filters and scope
    void setFilter(const std::string &expression); // empty: none
    const std::string &filter() const { return filterText_; }
    uint32_t countVisible();
    void setScope(const std::string &top, const std::string &bottom);
    Value evaluate(const std::string &expression);
    Expression compile(const std::string &expression) const;

private:
    struct OpenTag;
    class ImageView;
    Table(const EngineSettings &settings);

    // RecordView of the buffer
    const char *recordImage() const override { return buffer_.data(); }
    std::string memoText(int field) const override { return memo(field); }
    uint32_t recordNumber() const override { return recno_; }
    bool exactCompare() const override { return settings_.exact; }

    void requireWritable(const char *what) const;
    void requireRecord(const char *what) const;
    void load(uint32_t recno, const std::string *image = nullptr);
    void setEof();
    void landChanged(uint32_t recno, const std::optional<CdxEntry> &entry);
    void readOnTheWay(uint32_t recno, char *image, const std::optional<CdxEntry> &entry);
    bool visible(uint32_t recno, const char *image, const std::string *key) const;
    bool inScope(const std::string &key) const;
    std::optional<std::string> tagKey(const OpenTag &tag, const char *image, uint32_t recno) const;
    std::string seekKey(const OpenTag &tag, const std::string &text) const;
    void writeImage(uint32_t recno, const std::string &oldImage, const std::string &newImage);
    void indexUpdate(uint32_t recno, const std::string *oldImage, const std::string &newImage);
    void ensureLocked(uint32_t recno, bool &temporary);
    bool lockRange(uint64_t offset);
    void addIndex(std::unique_ptr<CdxIndex> index);
    // The parts of indexTag: the file a tag goes into, the form of its keys,
    // its sorted entries, writing it into a new copy of an index beside the
    // table, and the list of open tags afterwards (the new tag's order).
    std::filesystem::path indexFileNamed(const std::filesystem::path &file) const;
    uint16_t characterKeyLength(const Expression &key, const std::string &expression);
    void setKeyForm(CdxTagInfo &info, const Expression &key);
    std::vector<CdxEntry> tagEntries(const Expression &key, const Expression *condition,
                                     const CdxTagInfo &info);
    CdxIndex *writeTagBySwitch(const std::filesystem::path &file, bool production, CdxIndex *target,
                               const CdxTagInfo &info, std::vector<CdxEntry> entries,
                               std::unique_ptr<CdxIndex> &opened);
    int reopenTags(CdxIndex *target, std::unique_ptr<CdxIndex> opened, const std::string &name);
    bool backFromEof(bool forward);
    void ranOffEnd(bool forward);
    void skipNatural(long count);
    void skipIndexed(long count);
    void goEnd(bool top);
    void walkIndexed(bool fromTop);
    void beginSharedWrite();
    void endSharedWrite();
    void reloadSharedIndexes();
    void reloadIndexes();
    bool journalIsCold() const;
    uint32_t memoPointer(int field, const char *image) const;
    struct Rewrite;
    void rewrite(const Rewrite &plan);
    void openClosedProductionIndex(const Rewrite &plan);
    std::string newTableHeader(const Rewrite &plan) const;
    void setTagColumn(std::string &header, bool tagged) const;
    void writeNewIndexes(const Rewrite &plan, std::vector<std::vector<CdxEntry>> &entries);
    // The cipher of a new index file: the table's (a PasswordError when the
    // password does not fit), none for a clear table.
    std::shared_ptr<const TableCipher> newIndexCipher() const
    {
        return key_ ? key_->sharedCipher() : nullptr;
    }
    void attachKey(std::shared_ptr<const TableCipher> known = nullptr,
                   const std::string *knownPassword = nullptr);
    void reopenAfterSwitch(const std::vector<std::filesystem::path> &indexFiles, int order,
                           uint32_t recno, std::shared_ptr<const TableCipher> cipher = nullptr,
                           const std::string *cipherPassword = nullptr);
    void report(int value) const;
    void commitChanges();
    void undoFailedCommit();
    bool isProductionIndex(const CdxIndex &index) const;
    void recoverUnderLock();
    static bool recoverAtOpen(FileSystem &fs, const std::filesystem::path &path, Access access,
                              const EngineSettings &settings);
    FileSystem &fs() const
    {
        return settings_.fileSystem ? *settings_.fileSystem : DefaultFileSystem();
    }

    const EngineSettings &settings_;
    std::unique_ptr<DbfFile> dbf_;
    std::unique_ptr<TableKey> key_; // encrypted tables only
    std::unique_ptr<MemoFile> memo_;
    std::vector<std::unique_ptr<CdxIndex>> indexes_;
    std::unique_ptr<Journal> journal_; // writable opens only
    bool recovered_ = false;
    std::string indexProblem_; // why the production index could not be opened
    std::vector<std::unique_ptr<OpenTag>> tags_;
    int order_ = 0;
    uint32_t recno_ = 0;
    bool bof_ = false, eof_ = true;
    std::string buffer_, diskImage_, scratch_;
    bool dirty_ = false;
    bool changedOutside_ = false; // the current record's tag did not match
    // The current record's entry in the current order, when known (saves
    // recomputing its key for the next skip).
    std::optional<CdxEntry> entry_;
    std::string filterText_;
    std::unique_ptr<Expression> filter_;
    std::string scopeTop_, scopeBottom_;
    std::set<uint32_t> locks_;
    bool closed_ = false;
    bool stale_ = false;        // a switch to new files failed half way: no more writes
    bool failedCommit_ = false; // undone from the journal: no more writes
};

// A tag of an open index with its compiled expressions.
struct Table::OpenTag {
    CdxIndex *index = nullptr;
    CdxTag *tag = nullptr;
    std::unique_ptr<Expression> key;
    std::unique_ptr<Expression> condition;
    std::string problem; // why the key cannot be computed, when it cannot
};

// Evaluates expressions against a record image other than the buffer.
class Table::ImageView : public RecordView {
public:
    ImageView(const Table &table, const char *image, uint32_t recno)
        : t_(table), image_(image), recno_(recno)
    {
    }
    const char *recordImage() const override { return image_; }
    std::string memoText(int field) const override
    {
        uint32_t block = t_.memoPointer(field, image_);
        return block ? t_.memo_->read(block) : std::string();
    }
    uint32_t recordNumber() const override { return recno_; }
    bool exactCompare() const override { return t_.settings_.exact; }

private:
    const Table &t_;
    const char *image_;
    uint32_t recno_;
};

} // namespace qn::xbase
