#pragma once

// Reading a whole file that somebody else may have put in our way: only a
// regular file is read. The file is opened without blocking (a FIFO or a
// device never waits for a writer) and, unless asked, without following a
// symbolic link as its last name; what was opened is checked before a byte
// is read, so that swapping the name for something else in between changes
// nothing.

#include <cstdint>
#include <filesystem>
#include <string>

namespace qn {

struct RegularFileContents {
    enum Status {
        Read,       // Bytes hold the whole file
        Missing,    // no such name
        Link,       // a symbolic link (not followed)
        NotRegular, // a folder, FIFO, device or socket
        TooLarge,   // longer than the limit
        Failed,     // cannot be opened or read; Reason says why
    };
    Status What = Missing;
    std::string Bytes;
    std::string Reason; // for the user, e.g. "it is a FIFO, not a file"
};

// Reads `file` when it is a regular file of at most `maxBytes` bytes.
RegularFileContents ReadRegularFile(const std::filesystem::path &file, uint64_t maxBytes,
                                    bool followLink = false);

// A regular file read a piece at a time, opened and checked as
// ReadRegularFile opens and checks it, so that a file of any length is read
// in little memory.
class RegularFileReader {
public:
    // What is Read when the file is open; otherwise why not (Missing, Link,
    // NotRegular, TooLarge, Failed) with Reason.
    RegularFileReader(const std::filesystem::path &file, uint64_t maxBytes,
                      bool followLink = false);
    ~RegularFileReader();
    RegularFileReader(const RegularFileReader &) = delete;
    RegularFileReader &operator=(const RegularFileReader &) = delete;

    RegularFileContents::Status What = RegularFileContents::Missing;
    std::string Reason;

    // The next line, without its line feed; false at the end of the file.
    // A line longer than maxLine is cut there (`cut` set) and the rest of
    // it skipped. A read error is a FileError.
    bool ReadLine(std::string &line, size_t maxLine, bool &cut);
    // Back to the start of the file.
    void Rewind();

private:
    bool fill();
    int fd_ = -1;
    std::string buffer_;
    size_t pos_ = 0;
    bool end_ = false;
};

// What kind of thing a name is, for the user: "a folder", "a FIFO", "a
// device", "a socket", "a symbolic link", "a symbolic link to nothing".
// Empty for a regular file or a missing name. Never follows a link.
std::string KindOfNonFile(const std::filesystem::path &name);

} // namespace qn
