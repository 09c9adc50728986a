#include "spell/dictionary_file.h"

#include "spell/dictionary_format.h"

#include <filesystem>

namespace qn::spell {

std::shared_ptr<DictionaryFile> DictionaryFile::Open(const std::string &path, Mode mode,
                                                     FileSystem &fs)
{
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (mode == Mode::CreateNew ? std::filesystem::exists(status)
                                : !std::filesystem::is_regular_file(status))
        return nullptr;
    const OpenMode how = mode == Mode::ReadOnly    ? OpenMode::ReadOnly
                         : mode == Mode::ReadWrite ? OpenMode::ReadWrite
                                                   : OpenMode::CreateNew;
    try {
        return std::shared_ptr<DictionaryFile>(
            new DictionaryFile(fs.open(path, how), mode != Mode::ReadOnly, path));
    } catch (const FileError &) {
        return nullptr;
    }
}

DictionaryFile::~DictionaryFile() = default;

size_t DictionaryFile::ReadAt(int64_t offset, void *buffer, size_t size) const
{
    if (offset < 0)
        return 0;
    size_t done = 0;
    auto *out = static_cast<char *>(buffer);
    try {
        while (done < size) {
            const size_t n =
                file_->readSomeAt(static_cast<uint64_t>(offset) + done, out + done, size - done);
            if (n == 0)
                break;
            done += n;
        }
    } catch (const FileError &) {
    }
    return done;
}

bool DictionaryFile::WriteAt(int64_t offset, const void *buffer, size_t size)
{
    if (!writable_ || offset < 0)
        return false;
    try {
        file_->writeAt(static_cast<uint64_t>(offset), buffer, size);
        return true;
    } catch (const FileError &) {
        return false;
    }
}

bool DictionaryFile::Truncate(int64_t size)
{
    if (!writable_ || size < 0)
        return false;
    try {
        file_->truncate(static_cast<uint64_t>(size));
        return true;
    } catch (const FileError &) {
        return false;
    }
}

bool DictionaryFile::Flush()
{
    try {
        file_->sync();
        return true;
    } catch (const FileError &) {
        return false;
    }
}

int64_t DictionaryFile::Size() const
{
    try {
        return static_cast<int64_t>(file_->size());
    } catch (const FileError &) {
        return 0;
    }
}

int64_t DictionaryFile::FirstSectionOffset() const
{
    char buffer[4096];
    int64_t offset = 0;
    for (;;) {
        const size_t n = ReadAt(offset, buffer, sizeof buffer);
        if (n == 0)
            return -1;
        for (size_t i = 0; i < n; ++i)
            if (static_cast<uint8_t>(buffer[i]) == kHeaderTextEnd)
                return offset + static_cast<int64_t>(i) + 1;
        offset += static_cast<int64_t>(n);
    }
}

} // namespace qn::spell
