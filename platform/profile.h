#pragma once

// Windows profile (INI) files: "[section]" lines and "key=value" lines.
// Section and key names match without regard to case; the first occurrence
// counts. Every read looks at the file as it is on disk; every write changes
// one key and replaces the whole file atomically (a new file beside it,
// renamed over it), keeping every other line, comment and the order as they
// were. Values are Windows-1252 bytes.
//
// Only a regular file of at most kProfileSizeLimit bytes is read, never
// through a symbolic link: anything else (a link, a FIFO, a device, a huge
// file, one that cannot be read) reads as empty, so that every value is its
// default, Unusable() says why, and writes are refused (nothing is written
// through a link or into a FIFO, and what is there is left as it is).

#include "platform/file_system.h"

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace qn {

// A profile file that cannot be written, or a name or value that cannot be
// stored in one (line breaks, a key starting with "[" or holding "=").
class EProfileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

constexpr uint64_t kProfileSizeLimit = 1024 * 1024;

class TProfileFile {
public:
    explicit TProfileFile(std::filesystem::path file);
    // Written through `files` (tests put a wrapper there).
    TProfileFile(std::filesystem::path file, FileSystem &files);

    const std::filesystem::path &FileName() const { return file_; }

    // Why the file is not read, for the user ("QN.INI is not read: it is a
    // FIFO, not a file"); empty when it is missing or read.
    std::string Unusable() const;

    // A missing file, section or key gives the default. The value is the text
    // after the first "=" without surrounding blanks; one pair of matching
    // quotes around it is removed (which is how values with blanks at their
    // ends are written).
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;
    // Optional sign, decimal digits, or "$"/"0x" followed by hexadecimal digits;
    // anything else (also a number that does not fit) gives the default.
    int ReadInteger(std::string_view section, std::string_view key, int defaultValue) const;
    // An integer; not 0 is true.
    bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;

    bool SectionExists(std::string_view section) const;
    bool ValueExists(std::string_view section, std::string_view key) const;

    // Replaces the value of an existing key in place, or adds the key at the
    // end of its section, or adds the section at the end of the file.
    // Raises EProfileError when the file cannot be written; the old file then
    // stays as it was.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, int value);
    void WriteBool(std::string_view section, std::string_view key, bool value);

    void DeleteKey(std::string_view section, std::string_view key);
    void EraseSection(std::string_view section);

private:
    void replace(std::string_view bytes);

    std::filesystem::path file_;
    FileSystem *files_ = nullptr; // null: the operating system's
};

// Replaces `file` with `bytes` so that a crash leaves either the old or the
// new contents: the bytes go to a new file in the same folder, are flushed to
// disk, and the new file is renamed over the old one. Keeps the old file's
// permissions. Raises EProfileError with the reason on failure.
void ReplaceFileAtomically(const std::filesystem::path &file, std::string_view bytes);

} // namespace qn
