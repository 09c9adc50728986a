#pragma once

#include "platform/file_system.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace qn::spell {

// One open dictionary file, read and written at explicit offsets through the
// file door. Shared by the sections that live in it. File errors come back as
// results; anything else the door throws passes through.
class DictionaryFile {
public:
    enum class Mode { ReadOnly, ReadWrite, CreateNew };

    // Null when the file cannot be opened, is no regular file, or (for
    // CreateNew) already exists.
    static std::shared_ptr<DictionaryFile> Open(const std::string &path, Mode mode,
                                                FileSystem &fs = DefaultFileSystem());
    ~DictionaryFile();
    DictionaryFile(const DictionaryFile &) = delete;
    DictionaryFile &operator=(const DictionaryFile &) = delete;

    // Bytes read; fewer at the end of the file, 0 on errors (which are not reported).
    size_t ReadAt(int64_t offset, void *buffer, size_t size) const;
    bool WriteAt(int64_t offset, const void *buffer, size_t size);
    bool Truncate(int64_t size);
    bool Flush();
    int64_t Size() const;
    bool Writable() const { return writable_; }
    const std::string &Path() const { return path_; }

    // The offset just after the header text's end byte, or -1 when there is none.
    int64_t FirstSectionOffset() const;

private:
    DictionaryFile(std::unique_ptr<File> file, bool writable, std::string path)
        : file_(std::move(file)), writable_(writable), path_(std::move(path))
    {
    }

    std::unique_ptr<File> file_;
    bool writable_;
    std::string path_;
};

} // namespace qn::spell
