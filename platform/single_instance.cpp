#include "platform/single_instance.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qn {

namespace fs = std::filesystem;

namespace {

// A folder only this user can write to, or nothing.
bool privateFolder(const fs::path &dir)
{
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info {};
    if (::lstat(dir.c_str(), &info) != 0)
        return false;
    return S_ISDIR(info.st_mode) && info.st_uid == ::getuid() && (info.st_mode & 0022) == 0;
}

} // namespace

fs::path InstanceLockFile()
{
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime && fs::path(runtime).is_absolute())
        return fs::path(runtime) / "Quillnook.lock";
    fs::path fallback = fs::path("/tmp") / ("quillnook-" + std::to_string(::getuid()));
    if (!privateFolder(fallback))
        return {};
    return fallback / "Quillnook.lock";
}

TInstanceLock::TInstanceLock(fs::path file) : file_(std::move(file)) {}

TInstanceLock::~TInstanceLock()
{
    if (fd_ >= 0)
        ::close(fd_);
}

TInstanceLock::Result TInstanceLock::TryAcquire()
{
    if (fd_ >= 0)
        return Result::Acquired;
    if (file_.empty())
        return Result::Failed;
    // Close-on-exec: a program started from here must not inherit the lock.
    int fd = ::open(file_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return Result::Failed;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int error = errno;
        ::close(fd);
        return error == EWOULDBLOCK ? Result::HeldElsewhere : Result::Failed;
    }
    fd_ = fd;
    return Result::Acquired;
}

bool AlreadyRunning()
{
    // Lives until the process ends.
    static TInstanceLock *lock = new TInstanceLock(InstanceLockFile());
    return lock->TryAcquire() == TInstanceLock::Result::HeldElsewhere;
}

} // namespace qn
