#pragma once

// The file door: every file the table engine reads or writes is opened and
// changed through a FileSystem. The POSIX one is the default; tests put a
// wrapper in front of it to stop writes at an exact point or to fail them,
// so the code that writes files never needs to know about tests.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

namespace qn {

// A failed file operation. The text names the file and the reason.
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One open file. Reads and writes name their offset, so that no position is
// shared between callers.
class File {
public:
    virtual ~File() = default;

    virtual const std::filesystem::path &path() const = 0;
    virtual bool writable() const = 0;
    // Up to n bytes at offset; fewer only at the end of the file.
    virtual size_t readSomeAt(uint64_t offset, void *buffer, size_t n) = 0;
    // All n bytes, or a FileError.
    virtual void writeAt(uint64_t offset, const void *data, size_t n) = 0;
    virtual uint64_t size() = 0;
    virtual void truncate(uint64_t size) = 0; // also extends, with zeros
    virtual void sync() = 0;                  // written data is on the disk when this returns
    // Advisory lock of the whole file, per open file (two opens in one
    // process exclude each other). False when another holds a conflicting one.
    virtual bool tryLock(bool exclusive) = 0;
    // Exclusive lock of a byte range (which need not lie in the file).
    virtual bool tryLockRange(uint64_t offset, uint64_t length) = 0;
    virtual void unlockRange(uint64_t offset, uint64_t length) = 0;
    // The descriptor, for read-only memory mapping; -1 when there is none.
    virtual int descriptor() const = 0;
};

enum class OpenMode {
    ReadOnly,
    ReadWrite,
    Create,    // read-write, made when missing, emptied when present
    CreateNew, // read-write, refused (FileExistsError) when the name exists
};

// CreateNew found the name taken.
class FileExistsError : public FileError {
public:
    using FileError::FileError;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    virtual std::unique_ptr<File> open(const std::filesystem::path &path, OpenMode mode) = 0;
    // Puts `from` in the place of `to` in one step (same folder).
    virtual void rename(const std::filesystem::path &from, const std::filesystem::path &to) = 0;
    virtual void remove(const std::filesystem::path &path) = 0; // a missing file is no error
    // Makes created, renamed and removed names of the folder durable.
    virtual void syncFolder(const std::filesystem::path &folder) = 0;
    // Makes the data of every file written on the file system that holds
    // the folder durable, in one step: for many files written at once.
    virtual void syncFiles(const std::filesystem::path &folder) = 0;
};

// The operating system's files.
FileSystem &DefaultFileSystem();

// Forwards every call to another file system; wrappers override what they change.
class FileSystemWrapper : public FileSystem {
public:
    explicit FileSystemWrapper(FileSystem &target) : target_(target) {}
    FileSystem &target() const { return target_; }

    std::unique_ptr<File> open(const std::filesystem::path &path, OpenMode mode) override
    {
        return target_.open(path, mode);
    }
    void rename(const std::filesystem::path &from, const std::filesystem::path &to) override
    {
        target_.rename(from, to);
    }
    void remove(const std::filesystem::path &path) override { target_.remove(path); }
    void syncFolder(const std::filesystem::path &folder) override { target_.syncFolder(folder); }
    void syncFiles(const std::filesystem::path &folder) override { target_.syncFiles(folder); }

private:
    FileSystem &target_;
};

// An open file that passes every call to the file it wraps; a wrapper that
// watches or fails some calls overrides just those.
class FileWrapper : public File {
public:
    explicit FileWrapper(std::unique_ptr<File> file) : file_(std::move(file)) {}
    File &wrapped() const { return *file_; }

    const std::filesystem::path &path() const override { return file_->path(); }
    bool writable() const override { return file_->writable(); }
    size_t readSomeAt(uint64_t offset, void *buffer, size_t n) override
    {
        return file_->readSomeAt(offset, buffer, n);
    }
    void writeAt(uint64_t offset, const void *data, size_t n) override
    {
        file_->writeAt(offset, data, n);
    }
    uint64_t size() override { return file_->size(); }
    void truncate(uint64_t size) override { file_->truncate(size); }
    void sync() override { file_->sync(); }
    bool tryLock(bool exclusive) override { return file_->tryLock(exclusive); }
    bool tryLockRange(uint64_t offset, uint64_t length) override
    {
        return file_->tryLockRange(offset, length);
    }
    void unlockRange(uint64_t offset, uint64_t length) override
    {
        file_->unlockRange(offset, length);
    }
    int descriptor() const override { return file_->descriptor(); }

private:
    std::unique_ptr<File> file_;
};

// The folder a file name lies in ("." for a bare name).
std::filesystem::path FolderOf(const std::filesystem::path &file);

// Files the program creates are readable and writable by their owner only
// (0600) and folders it creates (the diary folder, backup folders) usable by
// their owner only (0700), whatever the umask.
constexpr unsigned PrivateFileMode = 0600;
constexpr unsigned PrivateFolderMode = 0700;

// Creates `folder`, and any missing folder above it, with PrivateFolderMode.
// True when the folder was made; false when it already was a folder (its
// permissions are then left alone). A FileError names the folder and the
// reason when it cannot be made (a file in the way, no permission).
bool CreatePrivateFolder(const std::filesystem::path &folder);

} // namespace qn
