#pragma once

// The diary table as export, import and backups see it: entries by date
// key, read in date order, and stored the way the window stores them.

#include "engine/xtable.h"
#include "platform/diary_lock.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qn::exchange {

// One entry: its date key ("yyyymmdd") and its stored RTF.
struct DiaryEntry {
    std::string Key;
    std::string Rtf;
    int32_t Record = 0; // its record number in the table
};

// A record whose entry cannot be read, or whose date is no date.
struct DamagedRecord {
    int32_t Record = 0;
    std::string Key; // as stored: any bytes
    std::string Reason;
    // "the entry of yyyy-mm-dd" or "record n" (when the date is no date),
    // and why, as one line of UTF-8 for the user.
    std::string Describe() const;
};

// Whether a key is "yyyymmdd" of a day that exists.
bool IsDateKey(const std::string &key);

// Bytes of unknown origin (a stored date, a file name) shown safely on one
// line of UTF-8: printable characters of well-formed UTF-8 as they are,
// every other byte (controls, terminal escapes, broken UTF-8, the
// backslash) as \xNN.
std::string ShownBytes(std::string_view bytes);

// Over an open diary table. The record pointer and the order are left
// wherever the last call put them: a window positions its table again
// afterwards.
class DiaryRecords {
public:
    DiaryRecords(engine::TXDataTable &table, engine::TXTable &component);

    // Every entry whose key lies in [fromKey, toKey] (empty: no bound), in
    // date order. Only the date of records outside the range is read.
    // With `damaged`, a record whose entry cannot be read, or whose date is
    // no date (whatever the range), goes there instead and the rest are
    // read on; without, such an entry throws.
    std::vector<DiaryEntry> Entries(const std::string &fromKey = {}, const std::string &toKey = {},
                                    std::vector<DamagedRecord> *damaged = nullptr);
    // The keys of all entries, in date order.
    std::vector<std::string> Keys();
    int Count();
    // The stored RTF of a date, nothing when the date has no entry.
    std::optional<std::string> Entry(const std::string &key);
    // Replaces the entry of a date, or adds it. `rtf` is stored in the
    // entry form (CR LF lines, padding).
    void Store(const std::string &key, const std::string &rtf);
    // While held, Store does not commit: Commit makes everything stored
    // since the last commit durable in one step, Rollback drops it (see
    // TXDataTable::HoldCommits).
    void HoldCommits(bool hold) { table_.HoldCommits(hold); }
    void Commit() { table_.CommitHeld(); }
    void Rollback() { table_.RollbackHeld(); }

    // Finds dates by reading the table front to back instead of through the
    // index: for a table open read-only whose index is missing or does not
    // match the entries (and cannot be rebuilt without writing).
    void LookUpWithoutIndex() { scan_ = true; }

private:
    void selectDateTag();
    engine::TXDataTable &table_;
    engine::TXTable &component_;
    bool scan_ = false;
};

// Why a diary could not be opened: in use by another program, a wrong or
// missing password, no diary there, or another reason.
class DiaryOpenError : public std::runtime_error {
public:
    enum Kind { InUse, Password, Missing, Other };
    DiaryOpenError(Kind kind, const std::string &text) : std::runtime_error(text), kind_(kind) {}
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

// A diary folder opened on its own, for the command line and for tests:
// starts the table engine, opens the table exclusively (creating table and
// index when asked to), and lets everything go again when destroyed. A
// writer holds the diary's lock (DiaryLock) all the while; a reader is
// refused while a writer holds it.
class DiaryFolder {
public:
    enum Mode { ReadOnly, Write, CreateWhenMissing };
    // Throws DiaryOpenError.
    DiaryFolder(const std::filesystem::path &folder, const std::string &password, Mode mode);
    ~DiaryFolder();
    DiaryFolder(const DiaryFolder &) = delete;
    DiaryFolder &operator=(const DiaryFolder &) = delete;

    DiaryRecords &Records() { return *records_; }
    // What the opening found and mended (an index that did not match the
    // entries and was rebuilt), for the user; empty when nothing.
    const std::vector<std::string> &Notes() const { return notes_; }
    // Closes the table; a failure (its last writes) throws. The destructor
    // closes too, but can only swallow a failure.
    void Close();
    // Whether the table is encrypted.
    bool Encrypted();
    // The diary's lock, held while a writer has the diary open; null for a
    // reader.
    const DiaryLock *Lock() const { return lock_.get(); }
    const std::filesystem::path &Folder() const { return folder_; }
    // Rewrites the table under `password` in one switch (see TXTable::DbfChangeKey).
    void ChangeKey(const std::string &password);

private:
    void openIndex(const std::filesystem::path &folder, Mode mode);

    engine::TXDataTable table_;
    engine::TXDataSource source_;
    engine::TXTable component_;
    engine::TXTableEnv settings_;
    std::filesystem::path folder_;
    std::unique_ptr<DiaryLock> lock_;
    std::unique_ptr<DiaryRecords> records_;
    std::vector<std::string> notes_;
    bool engineStarted_ = false;
};

// The diary's files in a folder, found without regard to case.
std::optional<std::filesystem::path> DiaryTableFile(const std::filesystem::path &folder);

// The diary password stored in the folder's QN.INI, in clear; empty when
// there is none (or when QN.INI is not read, see PreferencesRefused).
std::string StoredPassword(const std::filesystem::path &folder);

// Why the folder's QN.INI is not read (a link, a FIFO, a device, too large),
// for the user; empty when it is read or missing.
std::string PreferencesRefused(const std::filesystem::path &folder);
// Makes the folder of a new diary (and the folders above it) when missing;
// a folder made here is private to the user (0700).
void MakeDiaryFolder(const std::filesystem::path &folder);

} // namespace qn::exchange
