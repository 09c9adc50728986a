#include "richtext/io/stream.h"

#include <cerrno>
#include <cstring>

namespace qn {

int64_t TQnMemoryStream::Read(void *buffer, int64_t count)
{
    const int64_t left = Size() - position_;
    if (count > left)
        count = left;
    if (count <= 0)
        return 0;
    std::memcpy(buffer, bytes_.data() + position_, static_cast<size_t>(count));
    position_ += count;
    return count;
}

int64_t TQnMemoryStream::Write(const void *buffer, int64_t count)
{
    if (count <= 0)
        return 0;
    const auto end = static_cast<size_t>(position_ + count);
    if (end > bytes_.size())
        bytes_.resize(end);
    std::memcpy(bytes_.data() + position_, buffer, static_cast<size_t>(count));
    position_ += count;
    return count;
}

bool TQnMemoryStream::Seek(int64_t position)
{
    if (position < 0 || position > Size())
        return false;
    position_ = position;
    return true;
}

TQnFileStream::~TQnFileStream()
{
    Close();
}

bool TQnFileStream::Open(const std::filesystem::path &path, Mode mode)
{
    Close();
    file_ = std::fopen(path.c_str(), mode == ReadOnly ? "rb" : "wb");
    if (!file_) {
        error_ = std::strerror(errno);
        return false;
    }
    owned_ = true;
    error_.clear();
    return true;
}

void TQnFileStream::Attach(std::FILE *file)
{
    Close();
    file_ = file;
    owned_ = false;
}

bool TQnFileStream::Close()
{
    if (!file_)
        return true;
    bool ok = std::fflush(file_) == 0;
    if (owned_)
        ok = std::fclose(file_) == 0 && ok;
    if (!ok)
        error_ = std::strerror(errno);
    file_ = nullptr;
    return ok;
}

int64_t TQnFileStream::Read(void *buffer, int64_t count)
{
    if (!file_ || count <= 0)
        return 0;
    return static_cast<int64_t>(std::fread(buffer, 1, static_cast<size_t>(count), file_));
}

int64_t TQnFileStream::Write(const void *buffer, int64_t count)
{
    if (!file_ || count <= 0)
        return 0;
    const size_t n = std::fwrite(buffer, 1, static_cast<size_t>(count), file_);
    if (n < static_cast<size_t>(count))
        error_ = std::strerror(errno);
    return static_cast<int64_t>(n);
}

int64_t TQnFileStream::Position() const
{
    if (!file_)
        return 0;
    const long p = std::ftell(file_);
    return p < 0 ? 0 : p;
}

bool TQnFileStream::Seek(int64_t position)
{
    return file_ && std::fseek(file_, static_cast<long>(position), SEEK_SET) == 0;
}

int64_t TQnFileStream::Size() const
{
    if (!file_)
        return 0;
    const long here = std::ftell(file_);
    if (here < 0 || std::fseek(file_, 0, SEEK_END) != 0)
        return 0;
    const long size = std::ftell(file_);
    std::fseek(file_, here, SEEK_SET);
    return size < 0 ? 0 : size;
}

} // namespace qn
