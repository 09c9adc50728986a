#include "platform/regular_file.h"

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

RegularFileContents ReadRegularFile(const std::filesystem::path &file, uint64_t maxBytes,
                                    bool followLink)
{
    int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    if (!followLink)
        flags |= O_NOFOLLOW;
    const int fd = ::open(file.c_str(), flags);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT)
            return failed(RegularFileContents::Missing, "it does not exist");
        if (error == ELOOP && !followLink)
            return failed(RegularFileContents::Link, "it is a symbolic link");
        return failed(RegularFileContents::Failed, std::strerror(error));
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return failed(RegularFileContents::Failed, std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        return failed(RegularFileContents::NotRegular,
                      "it is " + kindOfMode(st.st_mode) + ", not a file");
    if (static_cast<uint64_t>(st.st_size) > maxBytes)
        return failed(RegularFileContents::TooLarge,
                      "it is larger than " + std::to_string(maxBytes) + " bytes");
    // A regular file never blocks; the flag only served the open.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    RegularFileContents out;
    out.What = RegularFileContents::Read;
    out.Bytes.resize(static_cast<size_t>(st.st_size));
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
