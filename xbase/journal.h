#pragma once

#include "platform/file_system.h"
#include "xbase/file_io.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qn::xbase {

// The table's own files. A journal names them by these roles, never by a
// path, so that whatever a journal says it can only restore these three.
enum class FileRole : uint8_t { Table = 1, Memo = 2, Index = 3 };

// What one commit does to one file: bytes at offsets, then the size the file
// ends with (cut or extended), when that changes.
struct FileChange {
    BinaryFile *file = nullptr;
    std::optional<FileRole> role; // which of the table's files; set before the commit
    uint64_t originalSize = 0;    // the size at the last commit
    std::vector<std::pair<uint64_t, std::string>> writes;
    std::optional<uint64_t> size;
    bool empty() const { return writes.empty() && !size; }
};

// The rollback journal of a table ("TABLE.DBF-journal"), which makes every
// commit of record, memo, index and header changes one atomic, durable step.
//
// A commit first writes the original bytes of everything it overwrites in
// the table, memo and index files (and the sizes the files had) to the
// journal, with checksums, and syncs it. Then the files are written and
// synced, and the journal is invalidated by one small write (its magic
// cleared) and a sync: that write is the commit point. Bytes appended beyond
// a file's old end need no copy; rollback cuts the file back to its size.
//
// A process that dies between the journal's sync and the commit point
// leaves a complete ("hot") journal: whoever opens the table next rolls it
// back before reading anything. A journal that is not complete (it died
// while writing the journal) is discarded: nothing had been overwritten yet.
//
// The journal lies beside the table and travels with copies of it, so it is
// read as a file from outside: it names the table's own files by role
// (FileRole), the table, memo and production index found beside the table.
// A complete journal that says anything else (an unknown role, a file named
// twice, bytes beyond a file's recorded size, or, in the journals of earlier
// versions, which named files, a name that is not the bare name of one of
// the table's own files) is damaged: it is never applied, never removed,
// and the table does not open until it is moved away. Nor is a journal that
// is no regular file (a link, a folder, a device) ever read or written.
class Journal {
public:
    Journal(FileSystem &fs, std::filesystem::path table, bool keepOpen);
    ~Journal();
    Journal(const Journal &) = delete;
    Journal &operator=(const Journal &) = delete;

    static std::filesystem::path pathFor(const std::filesystem::path &table);

    // Journals, writes and syncs the changes. On failure the files may be
    // half written: the caller rolls back (recover) before going on.
    void commit(std::vector<FileChange> &changes);
    // Closes the journal file; removes it when `remove` (only an exclusive
    // opener may: in shared mode another writer may be using it).
    void close(bool remove);

    // Creates the journal file when it is not there yet, so that a commit
    // can never fail for want of it once the files have been written to.
    void open() { openFile(); }

    enum class State { Missing, Hot, Cold, Damaged };
    // `problem`, when given, receives what is wrong with a damaged journal:
    // a message naming the journal and the table.
    static State state(FileSystem &fs, const std::filesystem::path &table,
                       std::string *problem = nullptr);
    // Rolls a hot journal back into the table's files; removes a cold one
    // when `removeCold`; a damaged one is an XbaseError (Damaged) and nothing
    // is changed. Only while no other writer can change the table.
    // True when changes were undone.
    static bool recover(FileSystem &fs, const std::filesystem::path &table, bool removeCold);

private:
    void openFile();

    FileSystem &fs_;
    std::filesystem::path table_, path_;
    bool keepOpen_;
    std::unique_ptr<BinaryFile> file_;
    uint64_t sequence_ = 0;
};

} // namespace qn::xbase
