#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace qn::xbase {

// The one door through which the engine touches its files. Every read and
// write of a table, memo or index file goes through BinaryFile, so that
// errors carry the file's name and tests can stop the engine after N writes
// to prove that an interrupted run never leaves a damaged table.
class BinaryFile {
public:
    enum class Mode { ReadOnly, ReadWrite, Create }; // Create truncates or makes the file

    BinaryFile() = default;
    BinaryFile(const std::filesystem::path &path, Mode mode);
    ~BinaryFile();
    BinaryFile(BinaryFile &&other) noexcept;
    BinaryFile &operator=(BinaryFile &&other) noexcept;
    BinaryFile(const BinaryFile &) = delete;
    BinaryFile &operator=(const BinaryFile &) = delete;

    bool isOpen() const { return fd_ >= 0; }
    bool writable() const { return writable_; }
    const std::filesystem::path &path() const { return path_; }

    uint64_t size() const;
    // Reads exactly n bytes at offset; a short file is an XbaseError.
    void readAt(uint64_t offset, void *buffer, size_t n) const;
    // Reads up to n bytes; returns how many were there.
    size_t readSomeAt(uint64_t offset, void *buffer, size_t n) const;
    void writeAt(uint64_t offset, const void *data, size_t n);
    void truncate(uint64_t size);
    void sync(); // data reaches the disk before this returns
    void close();

    // Exclusive or shared advisory lock on the whole file (flock). Returns
    // false when another open file description holds a conflicting lock.
    bool tryLock(bool exclusive);
    int descriptor() const { return fd_; }

private:
    int fd_ = -1;
    bool writable_ = false;
    std::filesystem::path path_;
};

// Byte-range locks for shared mode (record locks). Returns false when another
// process holds the range.
bool tryLockRange(BinaryFile &file, uint64_t offset, uint64_t length);
void unlockRange(BinaryFile &file, uint64_t offset, uint64_t length);

// Finds an existing file whatever the case of its name ("QUILLNK.CDX",
// "quillnk.cdx" and "Quillnk.cdx" are one file). Returns the path as given
// when no such file exists.
std::filesystem::path findCaseInsensitive(const std::filesystem::path &path);

// Same folder and stem, another extension, found case-insensitively; when
// missing, the extension takes the case of the stem's last letter.
std::filesystem::path siblingWithExtension(const std::filesystem::path &path,
                                           const std::string &extension);

// Renames over the target and syncs the folder so that the switch survives a
// crash. Counts as one write for the fault hook.
void replaceFile(const std::filesystem::path &from, const std::filesystem::path &to);
void syncDirectory(const std::filesystem::path &dir);
void removeFile(const std::filesystem::path &path); // counts as one write

// Test-only fault injection: after `writesAllowed` more writes (writeAt,
// truncate, replaceFile, removeFile), every further write throws
// SimulatedCrash without touching the file. -1 disables the hook.
struct SimulatedCrash : std::runtime_error {
    SimulatedCrash() : std::runtime_error("simulated crash") {}
};
void setFaultAfterWrites(long writesAllowed);
long writesUntilFault();

} // namespace qn::xbase
