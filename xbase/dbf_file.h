#pragma once

#include "xbase/field_info.h"
#include "xbase/file_io.h"
#include "xbase/journal.h"
#include "xbase/opened_records.h"
#include "xbase/read_cache.h"
#include "xbase/table_key.h"

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qn::xbase {

// The table file alone: header, field descriptors and fixed-length records.
// Knows nothing of memos, indexes or positions; Table builds on it.
class DbfFile {
public:
    enum class Access { Exclusive, Shared, ReadOnly };

    // Opens and validates the header; a damaged header is an XbaseError.
    // Exclusive access takes an exclusive OS lock, the others a shared one.
    static std::unique_ptr<DbfFile> open(const std::filesystem::path &path, Access access,
                                         FileSystem &fs = DefaultFileSystem());
    // Writes a new empty table (FoxPro 2.x layout: version 0xF5 when a memo
    // field exists, else 0x03, minimal header, end-of-file mark).
    static void create(const std::filesystem::path &path, const std::vector<FieldInfo> &fields,
                       FileSystem &fs = DefaultFileSystem());
    // Field list checked and completed (names upper case, offsets, memo width 10).
    static std::vector<FieldInfo> normalizeFields(std::vector<FieldInfo> fields);

    const std::filesystem::path &path() const { return file_.path(); }
    Access access() const { return access_; }
    bool writable() const { return access_ != Access::ReadOnly; }
    uint8_t version() const { return version_; }
    bool hasMemoFields() const;
    // Visual FoxPro tables keep memo pointers as 4 binary bytes.
    bool binaryMemoPointers() const
    {
        return version_ == 0x30 || version_ == 0x31 || version_ == 0x32;
    }
    const std::vector<FieldInfo> &fields() const { return fields_; }
    int fieldIndex(std::string_view name) const; // case-insensitive, -1 when missing
    uint32_t recordCount() const { return count_; }
    uint16_t recordLength() const { return recordLength_; }
    uint16_t headerLength() const { return headerLength_; }
    uint8_t tableFlags() const { return flags_; }
    // An encrypted table's key block (header byte 15 set); nullopt when clear.
    const std::optional<KeyBlock> &keyBlock() const { return keyBlock_; }
    // Records of an encrypted table are read and written through this key
    // (all but the deletion flag, each record its own unit). Must be set
    // before any record of an encrypted table is touched.
    void setKey(const TableKey *key)
    {
        key_ = key;
        opened_.clear();
    }

    // Encrypted tables of the current form end every record with its
    // authentication tag (TableCipher::tag over the plain record, deletion
    // flag included, at its record number), kept in a hidden system column
    // of the table's own: the format's place for bytes that belong to the
    // engine and not to any field, so that the tag is written with its
    // record in the same commit and travels with the table file wherever it
    // is copied. The column is in no field list and in no record image
    // above this file; recordLength() counts it, fieldsLength() does not.
    static constexpr const char *TagColumnName = "_QNTAG";
    bool tagged() const { return tagged_; }
    uint16_t fieldsLength() const // the record's bytes before the tag
    {
        return uint16_t(recordLength_ - (tagged_ ? TableCipher::TagSize : 0));
    }
    // The column's 32-byte descriptor, for a rewrite that adds it.
    static void writeTagDescriptor(uint8_t *out, uint32_t offset);
    // A plain record of the tagged form gets its tag (its last bytes).
    static void seal(const TableCipher &cipher, uint32_t recno, char *record, size_t length);
    // False when the record's tag does not match (tagged tables; always true
    // otherwise).
    bool authentic(uint32_t recno) const;

    // Writes are kept in memory until the table commits (changes, then
    // committed); reads see them at once. Records are handed in and out
    // without their tag (fieldsLength() bytes); a record whose tag does not
    // match is an XbaseError of kind Tampered.
    void readRecord(uint32_t recno, char *buffer) const;
    // The record as it lies in the file (encrypted when the table is).
    void readStoredRecord(uint32_t recno, char *buffer) const;
    void writeRecord(uint32_t recno, const char *buffer);
    // Adds the record after the last one; returns its number.
    uint32_t appendRecord(const char *buffer);
    // Shared mode: other processes may have appended.
    void rereadCount();
    void setIndexFlag(bool hasProductionIndex);
    // What the next commit writes: records, the end mark, header date,
    // count and flags; bytes beyond the last record are cut.
    FileChange changes();
    void committed();
    // Drops the writes since the last commit and reads the header again.
    void discardUncommitted();
    bool changed() const { return !pending_.empty() || headerChanged_; }
    BinaryFile &file() { return file_; }

private:
    DbfFile() = default;
    void readHeader();
    void writeHeaderFields();

    BinaryFile file_;
    std::unique_ptr<ReadCache> cache_; // not in shared mode, where others write
    Access access_ = Access::Exclusive;
    uint8_t version_ = 0;
    uint8_t flags_ = 0;
    uint32_t count_ = 0;
    uint16_t headerLength_ = 0;
    uint16_t recordLength_ = 0;
    std::map<uint32_t, std::string> pending_; // records to write, as stored
    mutable std::string sealed_;              // a tagged record as read, before its check
    mutable OpenedRecords opened_;            // encrypted records read before, plain
    bool headerChanged_ = false;
    std::vector<FieldInfo> fields_;
    std::optional<KeyBlock> keyBlock_;
    const TableKey *key_ = nullptr;
    bool tagged_ = false;

    const TableCipher *cipher() const; // null for a clear table
    void readEncryptedRecord(const TableCipher &cipher, uint32_t recno, char *buffer) const;
    // Decrypts and, in the tagged form, checks a stored record in place.
    bool unseal(const TableCipher &cipher, uint32_t recno, char *buffer) const;
};

} // namespace qn::xbase
