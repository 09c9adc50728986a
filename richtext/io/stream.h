#pragma once

// Byte streams that readers and writers work on: a file, or a block of
// memory. A read returns how many bytes it got (0 at the end); a write that
// stores fewer bytes than asked is a failure the caller reports.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace qn {

class TQnStream {
public:
    virtual ~TQnStream() = default;
    virtual int64_t Read(void *buffer, int64_t count) = 0;
    virtual int64_t Write(const void *buffer, int64_t count) = 0;
    virtual int64_t Position() const = 0;
    virtual bool Seek(int64_t position) = 0;
    virtual int64_t Size() const = 0;
};

// A stream over bytes in memory that it owns; writing overwrites and extends.
class TQnMemoryStream : public TQnStream {
public:
    TQnMemoryStream() = default;
    explicit TQnMemoryStream(std::string bytes) : bytes_(std::move(bytes)) {}
    int64_t Read(void *buffer, int64_t count) override;
    int64_t Write(const void *buffer, int64_t count) override;
    int64_t Position() const override { return position_; }
    bool Seek(int64_t position) override;
    int64_t Size() const override { return static_cast<int64_t>(bytes_.size()); }

    const std::string &Bytes() const { return bytes_; }
    std::string TakeBytes()
    {
        position_ = 0;
        return std::move(bytes_);
    }

private:
    std::string bytes_;
    int64_t position_ = 0;
};

// A stream over a file. Open() tells whether the file could be opened; the
// error text says why not.
class TQnFileStream : public TQnStream {
public:
    enum Mode { ReadOnly, Create };
    TQnFileStream() = default;
    ~TQnFileStream() override;
    TQnFileStream(const TQnFileStream &) = delete;
    TQnFileStream &operator=(const TQnFileStream &) = delete;

    bool Open(const std::filesystem::path &path, Mode mode);
    // Takes a stream such as stdout without owning it.
    void Attach(std::FILE *file);
    bool Close(); // false when buffered bytes could not be written
    const std::string &Error() const { return error_; }

    int64_t Read(void *buffer, int64_t count) override;
    int64_t Write(const void *buffer, int64_t count) override;
    int64_t Position() const override;
    bool Seek(int64_t position) override;
    int64_t Size() const override;

private:
    std::FILE *file_ = nullptr;
    bool owned_ = false;
    std::string error_;
};

} // namespace qn
