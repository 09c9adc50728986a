#include "richtext/io/replacement_file.h"

#include <algorithm>

namespace qn {

TQnReplacementFile::~TQnReplacementFile() = default;

void TQnReplacementFile::fail(const std::string &what)
{
    if (!failed_) {
        failed_ = true;
        error_ = what;
    }
}

bool TQnReplacementFile::Open(const std::filesystem::path &target)
{
    file_.reset();
    temp_.clear();
    failed_ = false;
    error_.clear();
    position_ = size_ = 0;
    target_ = target;
    try {
        file_ = std::make_unique<FileReplacement>(target);
    } catch (const FileError &e) {
        fail(e.what());
        return false;
    }
    temp_ = file_->temporaryName();
    return true;
}

int64_t TQnReplacementFile::Read(void *, int64_t)
{
    return 0;
}

int64_t TQnReplacementFile::Write(const void *buffer, int64_t count)
{
    if (!file_ || failed_ || count <= 0)
        return 0;
    try {
        file_->file().writeAt(uint64_t(position_), buffer, size_t(count));
    } catch (const FileError &e) {
        fail(e.what());
        return 0;
    }
    position_ += count;
    size_ = std::max(size_, position_);
    return count;
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
    if (!file_) {
        if (!failed_)
            fail("nothing to save for " + target_.string());
        return false;
    }
    if (!failed_) {
        try {
            file_->commit();
        } catch (const FileError &e) {
            fail(e.what());
        }
    }
    file_.reset(); // removes the temporary file unless it took the target's place
    temp_.clear();
    return !failed_;
}

} // namespace qn
