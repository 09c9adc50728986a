#pragma once

// One diary changed on two computers: the copies a file-sync program keeps
// beside the diary when both sides changed between two syncs, found and
// merged into the diary, and another diary's table merged in the same way.
//
// The merge never removes text from the diary: a date only in the copy is
// added; of a date on both sides, equal texts are left alone, the longer of
// two texts of which one begins with the other is kept, and otherwise the
// copy's text follows the diary's after a page break (as import does). Texts
// are compared as the reader sees them (the paragraphs' characters), not as
// RTF: the same words saved by two computers may carry their fonts and
// colours in another order, and must not be doubled for it. Running a merge
// again changes nothing more, so a merge cut short is completed by a second
// one.

#include "app/exchange/diary_export.h"
#include "app/exchange/diary_records.h"
#include "platform/datetime.h"
#include "platform/diary_lock.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qn::exchange {

// How a sync program names its copy of a file in conflict.
enum class ConflictScheme {
    None,
    SyncConflict,      // QUILLNK.sync-conflict-20261209-101500-ABCDEFG.DBF
    ConflictedCopy,    // QUILLNK (conflicted copy 2026-12-09 101500).DBF
    OwnConflictedCopy, // QUILLNK (Someone's conflicted copy 2026-12-09).DBF
};

// The scheme of a file name's stem (the name without ".DBF"), in any case;
// None when the stem is no conflicted copy of the diary's table.
ConflictScheme ConflictSchemeOf(std::string_view stem);

// A table to merge: a conflicted copy beside the diary, or another diary's
// table named by the user.
struct DiaryCopy {
    std::filesystem::path Table, Memo, Index; // Index empty when there is none
    ConflictScheme Scheme = ConflictScheme::None;
    // Why it cannot be merged (its memo file missing, not a plain file);
    // empty when it can.
    std::string Problem;
    // The table's file name as it may be shown.
    std::string Name() const;
};

// The conflicted copies of the diary's table in `diaryDir`: every plain
// file whose name is a copy's (see ConflictSchemeOf) with ".DBF", and the
// ".FPT" and ".CDX" of the same stem (names compared without regard to
// case). Links, folders and other names are passed over. In name order.
std::vector<DiaryCopy> FindConflictedCopies(const std::filesystem::path &diaryDir);

// Another diary's table named by the user (OTHER/QUILLNK.DBF): its memo and
// index files beside it. Problem says why it cannot be read.
DiaryCopy OtherDiaryTable(const std::filesystem::path &table);

// A merge removes a copy's table first, then its memo and index: a crash in
// between leaves a memo or index file of a copy whose table is gone. Those
// whose copy is kept under Backups/ (a backup noting that copy's name) are
// removed here; answers how many. The caller holds the diary's lock.
int RemoveMergedCopyLeftovers(const DiaryLock &lock);

// What the merge does with one date of the copy.
enum class MergeAction {
    Added,          // only in the copy: added
    Same,           // both texts alike (or the copy's holds no text): left
    DiaryLonger,    // the diary's text begins with the copy's: left
    CopyLonger,     // the copy's text begins with the diary's: the copy's kept
    AlreadyFollows, // the diary's entry already ends with the copy's text: left
    Appended,       // the copy's text after a page break in the diary's entry
    Failed,         // an entry cannot be read; the diary's is left as it is
};

// Decides one date: `diaryRtf` is the diary's entry (none when the date has
// none), `copyRtf` the copy's. For Added, CopyLonger and Appended `text`
// receives the entry's new RTF; for Failed `message` says why.
MergeAction DecideEntryMerge(const std::optional<std::string> &diaryRtf, const std::string &copyRtf,
                             std::string &text, std::string &message);

struct MergeItem {
    std::string Key;
    MergeAction What = MergeAction::Same;
    std::string Message;
};

struct MergeResult {
    std::string Copy; // the copy's name, as shown
    std::vector<MergeItem> Items;
    std::string Backup;  // the Backups/ folder that holds the copy now
    std::string Before;  // the Backups/ folder that holds the diary as it was before
    std::string Failure; // why the merge stopped (or never started)
    bool DryRun = false;
    bool Cancelled = false;
    int Count(MergeAction action) const;
    int Written() const
    {
        return Count(MergeAction::Added) + Count(MergeAction::CopyLonger) +
               Count(MergeAction::Appended);
    }
    bool Complete() const
    {
        return !Cancelled && Failure.empty() && Count(MergeAction::Failed) == 0;
    }
    // One line per date that changed or could not be merged, and a summary.
    std::string Report() const;
};

// Asks for the password of an encrypted copy that the diary's password does
// not open; nothing when the user gives none.
using CopyPasswordHook = std::function<std::optional<std::string>(const std::string &copyName)>;

struct MergeOptions {
    std::string DiaryPassword;    // tried first on an encrypted copy
    CopyPasswordHook AskPassword; // then asked; none: an encrypted copy is not merged
    ProgressHook Progress;        // (dates done, dates in all); false cancels
    // The copy's files go into Backups/ once merged (else they stay where
    // they are, and are read from a temporary folder).
    bool MoveToBackups = true;
    bool BackupBefore = true; // the diary's files are kept as a backup first
    bool DryRun = false;      // decides every date, writes nothing
    TDateTime Now = 0;        // names the backups; 0: now
};

// Merges the copy's entries into the diary (`records`, whose lock `lock`
// the caller holds). The copy's files are first copied into a folder of
// their own under Backups/ (named "...-conflicted-copy", its index built
// when it is missing or does not match) and read there; once every date is
// merged that folder becomes a backup (a restore of it gives the copy's
// diary) and the copy's own files are removed from beside the diary. Of an
// encrypted diary (a DiaryPassword given), that backup is put under the
// diary's password, as every backup of it is.
// Without MoveToBackups the copy is read from a temporary folder and left
// as it is. A crash at any point leaves the diary's entries whole,
// the copy in its place or in Backups/, and a second merge completes the
// first. Errors that stop the merge are in MergeResult::Failure.
MergeResult MergeDiaryCopy(DiaryRecords &records, const DiaryLock &lock, const DiaryCopy &copy,
                           const MergeOptions &options);

} // namespace qn::exchange
