#include "xbase/file_io.h"

#include "xbase/xbase_error.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qn::xbase {

namespace {

long faultCountdown = -1;

void countWrite()
{
    if (faultCountdown < 0)
        return;
    if (faultCountdown == 0)
        throw SimulatedCrash();
    --faultCountdown;
}

[[noreturn]] void fail(const std::string &what, const std::filesystem::path &path)
{
    throw XbaseError::io(what + " " + path.string() + ": " + std::strerror(errno));
}

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

} // namespace

void setFaultAfterWrites(long writesAllowed) { faultCountdown = writesAllowed; }
long writesUntilFault() { return faultCountdown; }

BinaryFile::BinaryFile(const std::filesystem::path &path, Mode mode) : path_(path)
{
    int flags = O_CLOEXEC;
    switch (mode) {
    case Mode::ReadOnly: flags |= O_RDONLY; break;
    case Mode::ReadWrite: flags |= O_RDWR; break;
    case Mode::Create:
        countWrite();
        flags |= O_RDWR | O_CREAT | O_TRUNC;
        break;
    }
    fd_ = ::open(path.c_str(), flags, 0644);
    if (fd_ < 0)
        fail(mode == Mode::Create ? "Cannot create" : "Cannot open", path);
    writable_ = mode != Mode::ReadOnly;
}

BinaryFile::~BinaryFile() { close(); }

BinaryFile::BinaryFile(BinaryFile &&other) noexcept
    : fd_(other.fd_), writable_(other.writable_), path_(std::move(other.path_))
{
    other.fd_ = -1;
}

BinaryFile &BinaryFile::operator=(BinaryFile &&other) noexcept
{
    if (this != &other) {
        close();
        fd_ = other.fd_;
        writable_ = other.writable_;
        path_ = std::move(other.path_);
        other.fd_ = -1;
    }
    return *this;
}

void BinaryFile::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

uint64_t BinaryFile::size() const
{
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        fail("Cannot read the size of", path_);
    return static_cast<uint64_t>(st.st_size);
}

size_t BinaryFile::readSomeAt(uint64_t offset, void *buffer, size_t n) const
{
    size_t done = 0;
    auto *out = static_cast<char *>(buffer);
    while (done < n) {
        ssize_t got = ::pread(fd_, out + done, n - done, static_cast<off_t>(offset + done));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            fail("Cannot read", path_);
        }
        if (got == 0)
            break;
        done += static_cast<size_t>(got);
    }
    return done;
}

void BinaryFile::readAt(uint64_t offset, void *buffer, size_t n) const
{
    if (readSomeAt(offset, buffer, n) != n)
        throw XbaseError::damaged("File " + path_.string() + " is damaged: it ends before offset " +
                                  std::to_string(offset + n));
}

void BinaryFile::writeAt(uint64_t offset, const void *data, size_t n)
{
    countWrite();
    size_t done = 0;
    const auto *in = static_cast<const char *>(data);
    while (done < n) {
        ssize_t put = ::pwrite(fd_, in + done, n - done, static_cast<off_t>(offset + done));
        if (put < 0) {
            if (errno == EINTR)
                continue;
            fail("Cannot write", path_);
        }
        done += static_cast<size_t>(put);
    }
}

void BinaryFile::truncate(uint64_t size)
{
    countWrite();
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0)
        fail("Cannot change the size of", path_);
}

void BinaryFile::sync()
{
    if (fd_ >= 0 && writable_ && ::fsync(fd_) != 0)
        fail("Cannot flush", path_);
}

bool BinaryFile::tryLock(bool exclusive)
{
    while (::flock(fd_, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        if (errno == EWOULDBLOCK)
            return false;
        fail("Cannot lock", path_);
    }
    return true;
}

static bool rangeLock(int fd, short type, uint64_t offset, uint64_t length)
{
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = static_cast<off_t>(offset);
    lock.l_len = static_cast<off_t>(length);
    // Open file description locks: per open file, not per process, so two
    // opens in one process exclude each other as two programs would.
    return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

bool tryLockRange(BinaryFile &file, uint64_t offset, uint64_t length)
{
    return rangeLock(file.descriptor(), F_WRLCK, offset, length);
}

void unlockRange(BinaryFile &file, uint64_t offset, uint64_t length)
{
    rangeLock(file.descriptor(), F_UNLCK, offset, length);
}

std::filesystem::path findCaseInsensitive(const std::filesystem::path &path)
{
    std::error_code ec;
    if (std::filesystem::exists(path, ec))
        return path;
    std::filesystem::path dir = path.has_parent_path() ? path.parent_path() : ".";
    std::string wanted = lower(path.filename().string());
    for (const auto &entry : std::filesystem::directory_iterator(dir, ec)) {
        if (lower(entry.path().filename().string()) == wanted)
            return path.has_parent_path() ? dir / entry.path().filename() : entry.path().filename();
    }
    return path;
}

std::filesystem::path siblingWithExtension(const std::filesystem::path &path,
                                           const std::string &extension)
{
    std::filesystem::path wanted = path;
    std::string stem = path.stem().string();
    bool upper = !stem.empty() && std::isupper(static_cast<unsigned char>(stem.back()));
    std::string ext = extension;
    std::transform(ext.begin(), ext.end(), ext.begin(), [upper](unsigned char c) {
        return static_cast<char>(upper ? std::toupper(c) : std::tolower(c));
    });
    wanted.replace_extension(ext);
    return findCaseInsensitive(wanted);
}

void syncDirectory(const std::filesystem::path &dir)
{
    int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

void replaceFile(const std::filesystem::path &from, const std::filesystem::path &to)
{
    countWrite();
    if (::rename(from.c_str(), to.c_str()) != 0)
        fail("Cannot replace " + to.string() + " by", from);
    syncDirectory(to.has_parent_path() ? to.parent_path() : ".");
}

void removeFile(const std::filesystem::path &path)
{
    countWrite();
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
        fail("Cannot remove", path);
}

} // namespace qn::xbase
