#include "platform/file_system.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qn {

namespace {

[[noreturn]] void fail(const std::string &what, const std::filesystem::path &path, int error)
{
    std::string text = what + " " + path.string() + ": " + std::strerror(error);
    if (error == EEXIST)
        throw FileExistsError(text);
    throw FileError(text);
}

class PosixFile final : public File {
public:
    PosixFile(int fd, std::filesystem::path path, bool writable)
        : fd_(fd), path_(std::move(path)), writable_(writable)
    {
    }
    ~PosixFile() override { ::close(fd_); }

    const std::filesystem::path &path() const override { return path_; }
    bool writable() const override { return writable_; }

    size_t readSomeAt(uint64_t offset, void *buffer, size_t n) override
    {
        size_t done = 0;
        auto *out = static_cast<char *>(buffer);
        while (done < n) {
            ssize_t got = ::pread(fd_, out + done, n - done, static_cast<off_t>(offset + done));
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                fail("Cannot read", path_, errno);
            }
            if (got == 0)
                break;
            done += static_cast<size_t>(got);
        }
        return done;
    }

    void writeAt(uint64_t offset, const void *data, size_t n) override
    {
        size_t done = 0;
        const auto *in = static_cast<const char *>(data);
        while (done < n) {
            ssize_t put = ::pwrite(fd_, in + done, n - done, static_cast<off_t>(offset + done));
            if (put < 0) {
                if (errno == EINTR)
                    continue;
                fail("Cannot write", path_, errno);
            }
            if (put == 0)
                fail("Cannot write", path_, ENOSPC);
            done += static_cast<size_t>(put);
        }
    }

    uint64_t size() override
    {
        struct stat st {};
        if (::fstat(fd_, &st) != 0)
            fail("Cannot read the size of", path_, errno);
        return static_cast<uint64_t>(st.st_size);
    }

    void truncate(uint64_t size) override
    {
        if (::ftruncate(fd_, static_cast<off_t>(size)) != 0)
            fail("Cannot change the size of", path_, errno);
    }

    void sync() override
    {
        if (writable_ && ::fdatasync(fd_) != 0)
            fail("Cannot flush", path_, errno);
    }

    bool tryLock(bool exclusive) override
    {
        while (::flock(fd_, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
            if (errno == EINTR)
                continue;
            if (errno == EWOULDBLOCK)
                return false;
            fail("Cannot lock", path_, errno);
        }
        return true;
    }

    bool tryLockRange(uint64_t offset, uint64_t length) override
    {
        return rangeLock(F_WRLCK, offset, length);
    }
    void unlockRange(uint64_t offset, uint64_t length) override
    {
        rangeLock(F_UNLCK, offset, length);
    }
    int descriptor() const override { return fd_; }

private:
    bool rangeLock(short type, uint64_t offset, uint64_t length)
    {
        struct flock lock {};
        lock.l_type = type;
        lock.l_whence = SEEK_SET;
        lock.l_start = static_cast<off_t>(offset);
        lock.l_len = static_cast<off_t>(length);
        // Open file description locks: per open file, not per process, so two
        // opens in one process exclude each other as two programs would.
        return ::fcntl(fd_, F_OFD_SETLK, &lock) == 0;
    }

    int fd_;
    std::filesystem::path path_;
    bool writable_;
};

class PosixFileSystem final : public FileSystem {
public:
    std::unique_ptr<File> open(const std::filesystem::path &path, OpenMode mode) override
    {
        int flags = O_CLOEXEC;
        switch (mode) {
        case OpenMode::ReadOnly:
            flags |= O_RDONLY;
            break;
        case OpenMode::ReadWrite:
            flags |= O_RDWR;
            break;
        case OpenMode::Create:
            flags |= O_RDWR | O_CREAT | O_TRUNC;
            break;
        case OpenMode::CreateNew:
            flags |= O_RDWR | O_CREAT | O_EXCL;
            break;
        }
        const bool creating = mode == OpenMode::Create || mode == OpenMode::CreateNew;
        int fd = ::open(path.c_str(), flags, PrivateFileMode);
        if (fd < 0)
            fail(creating ? "Cannot create" : "Cannot open", path, errno);
        // Exactly private, whatever the umask, also when Create empties a file
        // that was there. A file system without permissions (or a file of
        // another owner that we may write) keeps what it has.
        if (creating)
            (void)::fchmod(fd, PrivateFileMode);
        return std::make_unique<PosixFile>(fd, path, mode != OpenMode::ReadOnly);
    }

    void rename(const std::filesystem::path &from, const std::filesystem::path &to) override
    {
        if (::rename(from.c_str(), to.c_str()) != 0)
            fail("Cannot replace " + to.string() + " by", from, errno);
    }

    void remove(const std::filesystem::path &path) override
    {
        if (::unlink(path.c_str()) != 0 && errno != ENOENT)
            fail("Cannot remove", path, errno);
    }

    void syncFolder(const std::filesystem::path &folder) override
    {
        int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return; // nothing there to make durable
        int rc = ::fsync(fd);
        int error = errno;
        ::close(fd);
        // Some file systems cannot sync a folder; their renames are as durable as they get.
        if (rc != 0 && error != EINVAL && error != EROFS)
            fail("Cannot flush the folder", folder, error);
    }

    void syncFiles(const std::filesystem::path &folder) override
    {
        int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            fail("Cannot flush the files of", folder, errno);
        int rc = ::syncfs(fd);
        int error = errno;
        ::close(fd);
        if (rc != 0)
            fail("Cannot flush the files of", folder, error);
    }
};

} // namespace

FileSystem &DefaultFileSystem()
{
    static PosixFileSystem system;
    return system;
}

std::filesystem::path FolderOf(const std::filesystem::path &file)
{
    return file.parent_path().empty() ? std::filesystem::path(".") : file.parent_path();
}

bool CreatePrivateFolder(const std::filesystem::path &name)
{
    std::filesystem::path folder = name.lexically_normal();
    if (!folder.has_filename() && folder.has_relative_path())
        folder = folder.parent_path(); // "a/b/" is "a/b"
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return false;
        fail("Cannot create the folder", folder, ENOTDIR);
    }
    const std::filesystem::path parent = folder.parent_path();
    if (!parent.empty() && parent != folder)
        CreatePrivateFolder(parent);
    if (::mkdir(folder.c_str(), PrivateFolderMode) != 0) {
        const int error = errno;
        if (error == EEXIST && ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            return false; // made by someone else meanwhile
        fail("Cannot create the folder", folder, error);
    }
    // The umask may have taken bits away; the owner keeps all three.
    if (::chmod(folder.c_str(), PrivateFolderMode) != 0)
        fail("Cannot set the permissions of", folder, errno);
    return true;
}

} // namespace qn
