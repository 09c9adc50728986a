#pragma once

#include "xbase/file_io.h"

#include <cstdint>
#include <list>
#include <memory>
#include <unordered_map>

namespace qn::xbase {

// Keeps recently read blocks of a file in memory, so that seeks and scans do
// not pay a system call per record or memo. Only for files this process
// alone writes (exclusive or read-only opens): every write through the owner
// must call invalidate for the bytes it changed.
class ReadCache {
public:
    explicit ReadCache(BinaryFile &file, size_t blockSize = 65536, size_t maxBlocks = 256)
        : file_(file), blockSize_(blockSize), maxBlocks_(maxBlocks)
    {
    }
    void setEnabled(bool enabled)
    {
        enabled_ = enabled;
        clear();
    }
    // Like BinaryFile::readSomeAt: returns how many bytes were there.
    size_t readSomeAt(uint64_t offset, void *buffer, size_t n);
    void readAt(uint64_t offset, void *buffer, size_t n); // a short file is an XbaseError
    void invalidate(uint64_t offset, size_t n);
    void clear();

private:
    struct Block {
        std::unique_ptr<char[]> bytes;
        size_t size = 0; // bytes that were in the file
        std::list<uint64_t>::iterator age;
    };
    Block &block(uint64_t index);

    BinaryFile &file_;
    size_t blockSize_, maxBlocks_;
    bool enabled_ = true;
    std::unordered_map<uint64_t, Block> blocks_;
    std::list<uint64_t> ages_; // most recent first
};

} // namespace qn::xbase
