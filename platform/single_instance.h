#pragma once

// One copy of the program at a time. The first copy holds an exclusive lock
// on a file named after "Quillnook" in the user's runtime folder; the kernel
// releases it when the process ends, however it ends. The file itself is
// never deleted (deleting it would let two copies lock two different files).

#include <filesystem>

namespace qn {

// $XDG_RUNTIME_DIR/Quillnook.lock, or /tmp/quillnook-<uid>/Quillnook.lock
// when there is no runtime folder (that folder is created private to the
// user and refused when someone else owns it). Empty when no safe folder exists.
std::filesystem::path InstanceLockFile();

// An exclusive lock on one file, held while the object lives.
class TInstanceLock {
public:
    explicit TInstanceLock(std::filesystem::path file);
    ~TInstanceLock();
    TInstanceLock(const TInstanceLock &) = delete;
    TInstanceLock &operator=(const TInstanceLock &) = delete;

    enum class Result { Acquired, HeldElsewhere, Failed };
    // Never waits.
    Result TryAcquire();
    bool Held() const { return fd_ >= 0; }

private:
    std::filesystem::path file_;
    int fd_ = -1;
};

// True when another copy holds the lock. Otherwise (also when the lock cannot
// be taken at all) false, and this process keeps the lock until it ends.
bool AlreadyRunning();

} // namespace qn
