#pragma once

#include "xbase/field_info.h"
#include "xbase/file_io.h"
#include "xbase/read_cache.h"
#include "xbase/table_key.h"

#include <filesystem>
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
    static std::unique_ptr<DbfFile> open(const std::filesystem::path &path, Access access);
    // Writes a new empty table (FoxPro 2.x layout: version 0xF5 when a memo
    // field exists, else 0x03, minimal header, end-of-file mark).
    static void create(const std::filesystem::path &path, const std::vector<FieldInfo> &fields);
    // Field list checked and completed (names upper case, offsets, memo width 10).
    static std::vector<FieldInfo> normalizeFields(std::vector<FieldInfo> fields);

    const std::filesystem::path &path() const { return file_.path(); }
    Access access() const { return access_; }
    bool writable() const { return access_ != Access::ReadOnly; }
    uint8_t version() const { return version_; }
    bool hasMemoFields() const;
    // Visual FoxPro tables keep memo pointers as 4 binary bytes.
    bool binaryMemoPointers() const { return version_ == 0x30 || version_ == 0x31 || version_ == 0x32; }
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
    void setKey(const TableKey *key) { key_ = key; }

    void readRecord(uint32_t recno, char *buffer) const;
    // The record as it lies in the file (encrypted when the table is).
    void readStoredRecord(uint32_t recno, char *buffer) const;
    void writeRecord(uint32_t recno, const char *buffer);
    // Writes the record after the last one, then the new count: a crash in
    // between leaves the old table. Returns the new record number.
    uint32_t appendRecord(const char *buffer);
    // Shared mode: other processes may have appended.
    void rereadCount();
    void setIndexFlag(bool hasProductionIndex);
    // Header date and count to disk, then fsync.
    void sync();
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
    bool changed_ = false;  // header date and count to write
    bool unsynced_ = false; // written since the last fsync
    std::vector<FieldInfo> fields_;
    std::optional<KeyBlock> keyBlock_;
    const TableKey *key_ = nullptr;

    const TableCipher *cipher() const; // null for a clear table
};

} // namespace qn::xbase
