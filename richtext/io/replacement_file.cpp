#include "richtext/io/replacement_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qn {

namespace {

// The file's folder, "." for a bare name.
std::filesystem::path folderOf(const std::filesystem::path &file)
{
    auto parent = file.parent_path();
    return parent.empty() ? std::filesystem::path(".") : parent;
}

} // namespace

TQnReplacementFile::~TQnReplacementFile()
{
    discard();
}

void TQnReplacementFile::fail(const std::string &what, int error)
{
    if (!failed_) {
        failed_ = true;
        error_ = what + ": " + std::strerror(error);
    }
}

void TQnReplacementFile::discard()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_.empty()) {
        ::unlink(temp_.c_str());
        temp_.clear();
    }
}

bool TQnReplacementFile::Open(const std::filesystem::path &target)
{
    discard();
    failed_ = false;
    error_.clear();
    position_ = size_ = 0;
    target_ = target;
    // A link is followed, so that the file it names is replaced, not the link.
    std::error_code ec;
    if (std::filesystem::is_symlink(target, ec)) {
        auto resolved = std::filesystem::canonical(target, ec);
        if (!ec)
            target_ = resolved;
    }
    std::string pattern =
        (folderOf(target_) / ("." + target_.filename().string() + ".XXXXXX")).string();
    int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        fail("cannot create a file in " + folderOf(target_).string(), errno);
        return false;
    }
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    fd_ = fd;
    temp_ = pattern;
    // The new file keeps the old one's permissions; a new file gets the usual ones.
    struct stat old {};
    mode_t mode;
    if (::stat(target_.c_str(), &old) == 0) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(fd_, mode);
    return true;
}

int64_t TQnReplacementFile::Read(void *, int64_t)
{
    return 0;
}

int64_t TQnReplacementFile::Write(const void *buffer, int64_t count)
{
    if (fd_ < 0 || failed_ || count <= 0)
        return 0;
    const auto *p = static_cast<const char *>(buffer);
    int64_t done = 0;
    while (done < count) {
        const ssize_t n = ::pwrite(fd_, p + done, static_cast<size_t>(count - done),
                                   static_cast<off_t>(position_ + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail("cannot write " + target_.string(), errno);
            break;
        }
        if (n == 0) {
            fail("cannot write " + target_.string(), ENOSPC);
            break;
        }
        done += n;
    }
    position_ += done;
    size_ = std::max(size_, position_);
    return done;
}

bool TQnReplacementFile::Seek(int64_t position)
{
    if (position < 0)
        return false;
    position_ = position;
    return true;
}

bool TQnReplacementFile::Commit()
{
    if (fd_ < 0) {
        if (!failed_)
            fail("nothing to save for " + target_.string(), EBADF);
        return false;
    }
    if (!failed_ && ::fsync(fd_) != 0)
        fail("cannot write " + target_.string(), errno);
    if (!failed_ && ::close(fd_) != 0)
        fail("cannot write " + target_.string(), errno);
    else if (failed_)
        ::close(fd_);
    fd_ = -1;
    if (!failed_ && ::rename(temp_.c_str(), target_.c_str()) != 0)
        fail("cannot replace " + target_.string(), errno);
    if (failed_) {
        discard();
        return false;
    }
    temp_.clear();
    // The rename itself is made durable too.
    int dir = ::open(folderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

} // namespace qn
