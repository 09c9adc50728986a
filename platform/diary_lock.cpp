#include "platform/diary_lock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <unistd.h>

namespace qn {

namespace fs = std::filesystem;

namespace {

int openLockFile(const fs::path &file, bool create)
{
    // Close-on-exec: a program started from here must not inherit the lock.
    int fd = ::open(file.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | (create ? O_CREAT : 0), 0600);
    if (fd < 0 && (errno == EACCES || errno == EROFS))
        fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW); // a lock needs no write
    return fd;
}

bool tryFlock(int fd)
{
    int r;
    do
        r = ::flock(fd, LOCK_EX | LOCK_NB);
    while (r != 0 && errno == EINTR);
    return r == 0;
}

} // namespace

std::string DiaryInUseText(const fs::path &folder)
{
    return "The diary in " + folder.string() +
           " is in use by Quillnook or another program; close it first.";
}

DiaryLock::DiaryLock(const fs::path &folder) : folder_(folder)
{
    const fs::path file = folder / kDiaryLockName;
    fd_ = openLockFile(file, true);
    if (fd_ < 0)
        throw std::runtime_error("The diary in " + folder.string() + " cannot be locked (" +
                                 file.string() + ": " + std::strerror(errno) + ").");
    if (!tryFlock(fd_)) {
        const int error = errno;
        ::close(fd_);
        fd_ = -1;
        if (error == EWOULDBLOCK)
            throw DiaryInUseError(DiaryInUseText(folder));
        throw std::runtime_error("The diary in " + folder.string() + " cannot be locked (" +
                                 file.string() + ": " + std::strerror(error) + ").");
    }
}

DiaryLock::~DiaryLock()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool DiaryLock::HeldElsewhere(const fs::path &folder)
{
    const int fd = openLockFile(folder / kDiaryLockName, false);
    if (fd < 0)
        return false;
    const bool free = tryFlock(fd);
    const bool held = !free && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

} // namespace qn
