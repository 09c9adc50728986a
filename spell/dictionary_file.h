#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace qn::spell {

// One open dictionary file, read and written at explicit offsets. Shared by the
// sections that live in it.
class DictionaryFile {
public:
    enum class Mode { ReadOnly, ReadWrite, CreateNew };

    // Null when the file cannot be opened (or, for CreateNew, already exists).
    static std::shared_ptr<DictionaryFile> Open(const std::string &path, Mode mode);
    ~DictionaryFile();
    DictionaryFile(const DictionaryFile &) = delete;
    DictionaryFile &operator=(const DictionaryFile &) = delete;

    // Bytes read; fewer at the end of the file, 0 on errors (which are not reported).
    size_t ReadAt(int64_t offset, void *buffer, size_t size) const;
    bool WriteAt(int64_t offset, const void *buffer, size_t size);
    bool Flush();
    int64_t Size() const;
    bool Writable() const { return writable_; }
    const std::string &Path() const { return path_; }

    // The offset just after the header text's end byte, or -1 when there is none.
    int64_t FirstSectionOffset() const;

private:
    DictionaryFile(int fd, bool writable, std::string path)
        : fd_(fd), writable_(writable), path_(std::move(path))
    {
    }

    int fd_;
    bool writable_;
    std::string path_;
};

} // namespace qn::spell
