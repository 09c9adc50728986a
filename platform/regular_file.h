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

// What kind of thing a name is, for the user: "a folder", "a FIFO", "a
// device", "a socket", "a symbolic link", "a symbolic link to nothing".
// Empty for a regular file or a missing name. Never follows a link.
std::string KindOfNonFile(const std::filesystem::path &name);

} // namespace qn
