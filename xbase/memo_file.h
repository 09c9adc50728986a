#pragma once

#include "xbase/file_io.h"
#include "xbase/journal.h"
#include "xbase/read_cache.h"
#include "xbase/table_key.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace qn::xbase {

// The FPT memo file: a 512-byte header (big-endian next free block and block
// size) and memos of an 8-byte block header plus data, each starting on a
// block boundary.
class MemoFile {
public:
    ~MemoFile();
    MemoFile(const MemoFile &) = delete;
    MemoFile &operator=(const MemoFile &) = delete;
    // cached: nobody else writes the file while it is open.
    static std::unique_ptr<MemoFile> open(const std::filesystem::path &path, bool writable,
                                          bool cached = true, FileSystem &fs = DefaultFileSystem());
    // blockSize as the setting gives it: 1..32 mean n x 512 bytes, 0 means 1 byte.
    static void create(const std::filesystem::path &path, uint32_t blockSizeSetting,
                       FileSystem &fs = DefaultFileSystem());
    static uint32_t blockBytes(uint32_t blockSizeSetting);

    const std::filesystem::path &path() const { return file_.path(); }
    uint32_t blockSize() const { return blockSize_; }
    uint32_t nextFreeBlock() const { return nextFree_; }
    // True when block lies in the file and its header gives a length that fits.
    bool validPointer(uint32_t block) const;
    std::string read(uint32_t block) const;
    std::string readStored(uint32_t block) const; // as it lies in the file
    // Writes the text as a new memo at the next free block (never over the
    // old one) and returns its block. The data goes beyond the file's end at
    // once; the header's next free block moves on at the table's commit.
    uint32_t append(const std::string &text);
    FileChange changes();
    void committed();
    // Drops what was written since the last commit: the file is cut back to
    // its committed size and the header read again.
    void discardUncommitted();
    void readHeaderBytes(uint8_t *out, size_t n) const; // the first n bytes of the file

    // The key check an encrypted table's memo file carries; nullopt when clear.
    const std::optional<TableCipher::KeyCheck> &keyMark() const { return keyMark_; }
    // Memo texts of an encrypted table are read and written through this key,
    // each memo one unit numbered by its first block.
    void setKey(const TableKey *key) { key_ = key; }

private:
    MemoFile() = default;
    // The file mapped into memory up to at least `end`, or null (then reads go
    // through the cache). Only for files nobody else writes while open.
    const char *mapping(uint64_t end) const;
    void readHeader();

    uint64_t fileSize() const;

    BinaryFile file_;
    std::unique_ptr<ReadCache> cache_;
    bool cached_ = true;
    uint64_t size_ = 0;
    mutable void *map_ = nullptr;
    mutable uint64_t mapSize_ = 0;
    uint32_t blockSize_ = 64;
    uint32_t nextFree_ = 8;
    bool headerChanged_ = false;
    uint64_t committedSize_ = 0; // the file's size at the last commit
    std::optional<TableCipher::KeyCheck> keyMark_;
    const TableKey *key_ = nullptr;

    const TableCipher *cipher() const; // null for a clear memo file
};

} // namespace qn::xbase
