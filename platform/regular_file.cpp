#include "platform/regular_file.h"

#include "platform/file_system.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qn {

namespace {

std::string kindOfMode(mode_t mode)
{
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISLNK(mode))
        return "a symbolic link";
    if (S_ISREG(mode))
        return {};
    return "not a file";
}

RegularFileContents failed(RegularFileContents::Status status, std::string reason)
{
    RegularFileContents out;
    out.What = status;
    out.Reason = std::move(reason);
    return out;
}

} // namespace

std::string KindOfNonFile(const std::filesystem::path &name)
{
    struct stat st {};
    if (::lstat(name.c_str(), &st) != 0)
        return {};
    if (S_ISLNK(st.st_mode)) {
        struct stat target {};
        return ::stat(name.c_str(), &target) == 0 ? "a symbolic link"
                                                  : "a symbolic link to nothing";
    }
    return kindOfMode(st.st_mode);
}

// Opens `file` when it is a regular file of at most maxBytes bytes: the
// descriptor, or -1 with `out` saying why not. `size` receives its size.
static int openRegular(const std::filesystem::path &file, uint64_t maxBytes, bool followLink,
                       RegularFileContents &out, uint64_t &size)
{
    int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    if (!followLink)
        flags |= O_NOFOLLOW;
    const int fd = ::open(file.c_str(), flags);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT)
            out = failed(RegularFileContents::Missing, "it does not exist");
        else if (error == ELOOP && !followLink)
            out = failed(RegularFileContents::Link, "it is a symbolic link");
        else
            out = failed(RegularFileContents::Failed, std::strerror(error));
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        out = failed(RegularFileContents::Failed, std::strerror(errno));
    else if (!S_ISREG(st.st_mode))
        out = failed(RegularFileContents::NotRegular,
                     "it is " + kindOfMode(st.st_mode) + ", not a file");
    else if (static_cast<uint64_t>(st.st_size) > maxBytes)
        out = failed(RegularFileContents::TooLarge,
                     "it is larger than " + std::to_string(maxBytes) + " bytes");
    else {
        // A regular file never blocks; the flag only served the open.
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        out.What = RegularFileContents::Read;
        size = static_cast<uint64_t>(st.st_size);
        return fd;
    }
    ::close(fd);
    return -1;
}

RegularFileReader::RegularFileReader(const std::filesystem::path &file, uint64_t maxBytes,
                                     bool followLink)
{
    RegularFileContents out;
    uint64_t size = 0;
    fd_ = openRegular(file, maxBytes, followLink, out, size);
    What = out.What;
    Reason = std::move(out.Reason);
}

RegularFileReader::~RegularFileReader()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool RegularFileReader::fill()
{
    constexpr size_t kChunk = 1 << 16;
    buffer_.erase(0, pos_);
    pos_ = 0;
    const size_t at = buffer_.size();
    buffer_.resize(at + kChunk);
    for (;;) {
        const ssize_t got = fd_ < 0 ? 0 : ::read(fd_, buffer_.data() + at, kChunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            buffer_.resize(at);
            throw FileError(std::string("cannot read: ") + std::strerror(errno));
        }
        buffer_.resize(at + static_cast<size_t>(got));
        end_ = got == 0;
        return got > 0;
    }
}

bool RegularFileReader::ReadLine(std::string &line, size_t maxLine, bool &cut)
{
    line.clear();
    cut = false;
    bool any = false;
    for (;;) {
        const size_t nl = buffer_.find('\n', pos_);
        const size_t end = nl == std::string::npos ? buffer_.size() : nl;
        if (end > pos_)
            any = true;
        const size_t room = maxLine - std::min(maxLine, line.size());
        if (end - pos_ > room)
            cut = true;
        line.append(buffer_, pos_, std::min(end - pos_, room));
        if (nl != std::string::npos) {
            pos_ = nl + 1;
            return true;
        }
        pos_ = buffer_.size();
        if (end_ || !fill())
            return any;
    }
}

void RegularFileReader::Rewind()
{
    if (fd_ >= 0)
        ::lseek(fd_, 0, SEEK_SET);
    buffer_.clear();
    pos_ = 0;
    end_ = false;
}

RegularFileContents ReadRegularFile(const std::filesystem::path &file, uint64_t maxBytes,
                                    bool followLink)
{
    RegularFileContents out;
    uint64_t size = 0;
    const int fd = openRegular(file, maxBytes, followLink, out, size);
    if (fd < 0)
        return out;
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    out.Bytes.resize(static_cast<size_t>(size));
    size_t done = 0;
    for (;;) {
        if (done == out.Bytes.size()) {
            // The file may have grown since it was measured: read on up to the limit.
            if (done >= maxBytes)
                break;
            out.Bytes.resize(std::min<uint64_t>(maxBytes + 1, done + 65536));
        }
        const ssize_t got = ::read(fd, out.Bytes.data() + done, out.Bytes.size() - done);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return failed(RegularFileContents::Failed, std::strerror(errno));
        }
        if (got == 0)
            break;
        done += static_cast<size_t>(got);
        if (done > maxBytes)
            return failed(RegularFileContents::TooLarge,
                          "it is larger than " + std::to_string(maxBytes) + " bytes");
    }
    out.Bytes.resize(done);
    return out;
}

} // namespace qn
