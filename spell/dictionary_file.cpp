#include "spell/dictionary_file.h"

#include "spell/dictionary_format.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qn::spell {

std::shared_ptr<DictionaryFile> DictionaryFile::Open(const std::string &path, Mode mode)
{
    int flags = O_CLOEXEC;
    switch (mode) {
    case Mode::ReadOnly:
        flags |= O_RDONLY;
        break;
    case Mode::ReadWrite:
        flags |= O_RDWR;
        break;
    case Mode::CreateNew:
        flags |= O_RDWR | O_CREAT | O_EXCL;
        break;
    }
    int fd;
    do
        fd = ::open(path.c_str(), flags, 0644);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    return std::shared_ptr<DictionaryFile>(new DictionaryFile(fd, mode != Mode::ReadOnly, path));
}

DictionaryFile::~DictionaryFile()
{
    ::close(fd_);
}

size_t DictionaryFile::ReadAt(int64_t offset, void *buffer, size_t size) const
{
    if (offset < 0)
        return 0;
    size_t done = 0;
    auto *out = static_cast<char *>(buffer);
    while (done < size) {
        const ssize_t n =
            ::pread(fd_, out + done, size - done, offset + static_cast<int64_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    return done;
}

bool DictionaryFile::WriteAt(int64_t offset, const void *buffer, size_t size)
{
    if (!writable_ || offset < 0)
        return false;
    size_t done = 0;
    const auto *in = static_cast<const char *>(buffer);
    while (done < size) {
        const ssize_t n =
            ::pwrite(fd_, in + done, size - done, offset + static_cast<int64_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool DictionaryFile::Flush()
{
    return ::fdatasync(fd_) == 0;
}

int64_t DictionaryFile::Size() const
{
    struct stat st {};
    return ::fstat(fd_, &st) == 0 ? static_cast<int64_t>(st.st_size) : 0;
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
