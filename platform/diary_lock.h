#pragma once

// The one lock of a diary folder. Every program that changes a diary (the
// window while the diary is open, import, restore, backups, the table tools,
// the creation of a new diary) holds it for its whole work, so that a second
// writer is refused instead of writing beside it.
//
// The lock is an advisory flock on an open descriptor of the lock file
// QUILLNK.lock in the diary folder; the file's mere presence means nothing
// (a copy left by a sync tool blocks nobody), and the lock goes with the
// process that held it, however it ends.

#include <filesystem>
#include <stdexcept>

namespace qn {

// Another process (or another lock in this one) holds the diary.
class DiaryInUseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

constexpr const char *kDiaryLockName = "QUILLNK.lock";

class DiaryLock {
public:
    // Takes the lock of the diary in `folder` (which must exist). Throws
    // DiaryInUseError when it is held, std::runtime_error when the lock file
    // cannot be made or opened.
    explicit DiaryLock(const std::filesystem::path &folder);
    ~DiaryLock();
    DiaryLock(const DiaryLock &) = delete;
    DiaryLock &operator=(const DiaryLock &) = delete;

    const std::filesystem::path &folder() const { return folder_; }

    // Whether another lock holds the diary in `folder` (false when there is
    // no lock file or it cannot be read).
    static bool HeldElsewhere(const std::filesystem::path &folder);

private:
    std::filesystem::path folder_;
    int fd_ = -1;
};

// The message for a diary that another program holds.
std::string DiaryInUseText(const std::filesystem::path &folder);

} // namespace qn
