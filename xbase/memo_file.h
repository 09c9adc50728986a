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
//
// Encrypted memo files are of two forms, told by the header's key mark. In
// the current ("sealed") one, every memo is padded with zeros to a whole
// number of units of max(block size, 16) bytes and encrypted whole, block
// header and padding included: its first unit (which holds the length) and
// the rest, each under the memo's first block number, so that neither a
// header nor the bytes after the text show a length. Files of earlier
// versions kept the block headers in clear and encrypted only the texts;
// they are read and written as they are until the table is rewritten.
//
// In the tagged form (the current one), the last 16 bytes of a sealed memo's
// span hold the authentication tag of its block header and text at its first
// block, encrypted with the rest: a memo changed, moved or swapped by someone
// without the key is told by its tag and never returned as text (an
// XbaseError of kind Tampered).
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
    // How many bytes a memo of `textLength` takes, from its first block to
    // the next memo.
    static uint64_t span(uint64_t textLength, uint32_t blockSize, bool sealed, bool tagged = false);
    // Those bytes for `text` at `block` (out: span bytes), under `cipher`
    // when one is given, in the form `sealed` and `tagged` say.
    static void encode(const std::string &text, uint32_t block, uint32_t blockSize,
                       const TableCipher *cipher, bool sealed, bool tagged, uint8_t *out);

    const std::filesystem::path &path() const { return file_.path(); }
    uint32_t blockSize() const { return blockSize_; }
    uint32_t nextFreeBlock() const { return nextFree_; }
    // True when block lies in the file and its header gives a length that fits.
    bool validPointer(uint32_t block) const;
    std::string read(uint32_t block) const;
    std::string readStored(uint32_t block) const; // as it lies in the file
    // False when the memo's tag does not match (tagged files; always true
    // otherwise); other faults are thrown as read() throws them.
    bool authentic(uint32_t block) const;
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
    bool sealed() const { return sealed_; } // encrypted whole, lengths hidden
    bool tagged() const { return tagged_; } // every memo carries its tag
    // Memo texts of an encrypted table are read and written through this key,
    // each memo one unit numbered by its first block.
    void setKey(const TableKey *key) { key_ = key; }

private:
    MemoFile() = default;
    // The file mapped into memory up to at least `end`, or null (then reads go
    // through the cache). Only for files nobody else writes while open.
    const char *mapping(uint64_t end) const;
    void readHeader();
    std::string readSealed(uint32_t block) const;
    XbaseError changedOutside(uint32_t block) const; // kind Tampered
    void readBytes(uint64_t pos, char *out, size_t n) const;

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
    bool sealed_ = false;
    bool tagged_ = false;
    const TableKey *key_ = nullptr;

    const TableCipher *cipher() const; // null for a clear memo file
};

} // namespace qn::xbase
