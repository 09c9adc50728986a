#pragma once

#include "platform/file_system.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace qn::xbase {

// The engine's handle of one file, opened through the platform's file door
// (so tests can put a wrapper in front of every write). Failures are
// XbaseErrors that name the file.
class BinaryFile {
public:
    enum class Mode { ReadOnly, ReadWrite, Create }; // Create truncates or makes the file

    BinaryFile() = default;
    BinaryFile(const std::filesystem::path &path, Mode mode, FileSystem &fs = DefaultFileSystem());
    BinaryFile(BinaryFile &&other) noexcept = default;
    BinaryFile &operator=(BinaryFile &&other) noexcept = default;

    bool isOpen() const { return file_ != nullptr; }
    bool writable() const { return file_ && file_->writable(); }
    const std::filesystem::path &path() const { return path_; }
    FileSystem &fileSystem() const { return *fs_; }

    uint64_t size() const;
    // Reads exactly n bytes at offset; a short file is an XbaseError.
    void readAt(uint64_t offset, void *buffer, size_t n) const;
    // Reads up to n bytes; returns how many were there.
    size_t readSomeAt(uint64_t offset, void *buffer, size_t n) const;
    void writeAt(uint64_t offset, const void *data, size_t n);
    void truncate(uint64_t size);
    void sync(); // data reaches the disk before this returns
    void close() { file_.reset(); }

    // Exclusive or shared advisory lock on the whole file. Returns false when
    // another open file holds a conflicting lock.
    bool tryLock(bool exclusive);
    int descriptor() const { return file_ ? file_->descriptor() : -1; }

    // Byte-range locks for shared mode (record locks). False when another
    // open file holds the range.
    bool tryLockRange(uint64_t offset, uint64_t length);
    void unlockRange(uint64_t offset, uint64_t length);

private:
    std::unique_ptr<File> file_;
    FileSystem *fs_ = &DefaultFileSystem();
    std::filesystem::path path_;
};

inline bool tryLockRange(BinaryFile &file, uint64_t offset, uint64_t length)
{
    return file.tryLockRange(offset, length);
}
inline void unlockRange(BinaryFile &file, uint64_t offset, uint64_t length)
{
    file.unlockRange(offset, length);
}

// Same folder and stem, another extension, found case-insensitively; when
// missing, the extension takes the case of the stem's last letter.
std::filesystem::path siblingWithExtension(const std::filesystem::path &path,
                                           const std::string &extension);

// Renames over the target and syncs the folder so that the switch survives a crash.
void replaceFile(const std::filesystem::path &from, const std::filesystem::path &to,
                 FileSystem &fs);
void syncDirectory(const std::filesystem::path &dir, FileSystem &fs);
void removeFile(const std::filesystem::path &path, FileSystem &fs);

} // namespace qn::xbase
