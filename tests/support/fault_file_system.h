#pragma once

// A file system for tests that stops the program at an exact point, in the
// manner of a fault-injection environment: every operation that changes a
// file or a folder (create, write, truncate, sync, rename, remove, folder
// sync) is counted, and once the allowed number has passed the next one
// throws SimulatedCrash. From then on the file system stays "crashed":
// nothing more reaches the disk, as after a kill, while reads still work so
// that the crashed objects can be destroyed.

#include "platform/file_system.h"

#include <cerrno>
#include <memory>
#include <stdexcept>

namespace qn::test {

struct SimulatedCrash : std::runtime_error {
    SimulatedCrash() : std::runtime_error("simulated crash") {}
};

class FaultFileSystem : public FileSystemWrapper {
public:
    explicit FaultFileSystem(FileSystem &target = DefaultFileSystem()) : FileSystemWrapper(target)
    {
    }

    // After `operations` more changing operations the next one crashes;
    // -1 never. Also ends an earlier crash.
    void crashAfter(long operations)
    {
        left_ = operations;
        crashed_ = false;
    }
    bool crashed() const { return crashed_; }
    long counted() const { return counted_; } // changing operations so far

    // After `operations` more changing operations the next one fails as the
    // operating system fails it: a FileError that names the file and the
    // reason (`error`, a full disk unless told otherwise). When `persistent`,
    // every changing operation after it fails too, as on a full disk;
    // otherwise only that one. The file system does not crash: whatever the
    // program does about the error reaches the disk. -1 ends the failures.
    void failAfter(long operations, int error = ENOSPC, bool persistent = true)
    {
        failLeft_ = operations;
        failError_ = error;
        failPersistent_ = persistent;
        failing_ = false;
    }
    long failures() const { return failures_; } // operations failed so far

    // Throws when this operation is the one that crashes (or comes after it),
    // or the one that fails; `what` and `path` name it in a failure.
    void count(const char *what = "Cannot change", const std::filesystem::path &path = {});

    std::unique_ptr<File> open(const std::filesystem::path &path, OpenMode mode) override;
    void rename(const std::filesystem::path &from, const std::filesystem::path &to) override;
    void remove(const std::filesystem::path &path) override;
    void syncFolder(const std::filesystem::path &folder) override;
    void syncFiles(const std::filesystem::path &folder) override;

private:
    long left_ = -1;
    long counted_ = 0;
    bool crashed_ = false;
    long failLeft_ = -1;
    int failError_ = 0;
    bool failPersistent_ = true;
    bool failing_ = false;
    long failures_ = 0;
};

} // namespace qn::test
