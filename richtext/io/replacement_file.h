#pragma once

// TQnReplacementFile: writes a file by way of a new file beside it. The new
// file gets a temporary name in the same folder; Commit flushes it to the
// disk and renames it over the old one, so that whatever goes wrong before
// (a full disk, a write error, a crash) the old file stays as it was.
// Without Commit the temporary file is removed. A stream over the platform's
// FileReplacement.

#include <filesystem>
#include <memory>
#include <string>

#include "platform/file_replacement.h"

#include "richtext/io/stream.h"

namespace qn {

class TQnReplacementFile : public TQnStream {
public:
    TQnReplacementFile() = default;
    ~TQnReplacementFile() override;
    TQnReplacementFile(const TQnReplacementFile &) = delete;
    TQnReplacementFile &operator=(const TQnReplacementFile &) = delete;

    // Creates the temporary file for target; false (with Error) when it cannot.
    bool Open(const std::filesystem::path &target);
    // Puts the written bytes in place of the target; false (with Error) when
    // anything failed, in which case the target is untouched.
    bool Commit();
    const std::string &Error() const { return error_; }
    const std::filesystem::path &TemporaryName() const { return temp_; }

    int64_t Read(void *buffer, int64_t count) override;
    int64_t Write(const void *buffer, int64_t count) override;
    int64_t Position() const override { return position_; }
    bool Seek(int64_t position) override;
    int64_t Size() const override { return size_; }

private:
    void fail(const std::string &what);

    std::unique_ptr<FileReplacement> file_;
    std::filesystem::path target_, temp_;
    int64_t position_ = 0, size_ = 0;
    bool failed_ = false;
    std::string error_;
};

} // namespace qn
