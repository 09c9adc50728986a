#pragma once

// The one way a whole file is replaced: the new contents go to a file with a
// unique temporary name beside the target, are synced, renamed over the
// target, and the folder is synced, so that a crash at any moment leaves the
// old file or the new one. A symbolic link is followed (the file it names is
// replaced and the link stays). The new file is private to its owner
// (PrivateFileMode), whatever the old one's permissions were.

#include "platform/file_system.h"

#include <filesystem>
#include <memory>
#include <string_view>

namespace qn {

class FileReplacement {
public:
    // Creates the temporary file; a FileError when it cannot.
    explicit FileReplacement(const std::filesystem::path &target,
                             FileSystem &fs = DefaultFileSystem());
    ~FileReplacement(); // without commit the temporary file is removed
    FileReplacement(const FileReplacement &) = delete;
    FileReplacement &operator=(const FileReplacement &) = delete;

    File &file() { return *file_; }
    const std::filesystem::path &target() const { return target_; }
    const std::filesystem::path &temporaryName() const { return temporary_; }
    // Sync, rename over the target, sync the folder. A FileError leaves the
    // target as it was. Without `syncFolder` the caller syncs the folder
    // once for many files (the rename is durable only then).
    void commit(bool syncFolder = true);
    // For many files at once: closes the file written without syncing it.
    // The caller makes the data of all of them durable (FileSystem::
    // syncFiles) before it commits them; commit then syncs nothing more.
    void closeUnsynced() { file_.reset(); }

private:
    FileSystem &fs_;
    std::filesystem::path target_, temporary_;
    std::unique_ptr<File> file_;
    bool committed_ = false;
};

// The whole replacement for contents at hand.
void ReplaceFile(const std::filesystem::path &target, std::string_view bytes,
                 FileSystem &fs = DefaultFileSystem());

// Whether `name` is a temporary name FileReplacement gives for `target`
// (left behind when a process died before its commit).
bool IsReplacementOf(const std::filesystem::path &name, const std::filesystem::path &target);

} // namespace qn
