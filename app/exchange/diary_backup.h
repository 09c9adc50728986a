#pragma once

// Backups of the diary's files: a copy of the table, its memo and index in a
// dated folder under Backups/ beside the diary. A backup is written into a
// temporary folder and renamed into place only once every file is on the
// disk, so a copy cut short never counts as a backup. QN.INI (which holds
// the password) is never copied: a backup holds the entries only, encrypted
// as the diary is.
//
// Every function that changes the diary or its backups holds the diary's
// lock (DiaryLock) for its whole work; a caller that holds it already (the
// window, while its diary is open) passes it in.

#include "platform/datetime.h"
#include "platform/diary_lock.h"
#include "platform/file_system.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qn::exchange {

// How many backups are kept when QN.INI does not say ([Backups] Keep).
constexpr int kDefaultBackupsKept = 10;

constexpr const char *kBackupManifest = "BACKUP.INI";

struct BackupInfo {
    std::string Name; // the folder's name: "2026-12-07" or "2026-12-07-153012"
    std::filesystem::path Folder;
    std::string Made;               // "yyyy-mm-dd hh:nn:ss"
    int Entries = -1;               // entries the diary held; -1 when unknown
    std::vector<std::string> Files; // the diary's files it holds (bare names)
    std::string Problem;            // why it cannot be used; empty when it can
    std::string Note;               // what it holds, when not the diary itself
};

std::filesystem::path BackupsFolder(const std::filesystem::path &diaryDir);

// The number of backups to keep: [Backups] Keep in the diary's QN.INI; 0
// turns the backups at closing off; a missing or negative value gives the
// default.
int BackupsKept(const std::filesystem::path &diaryDir);

// Checks the list of files of a BACKUP.INI ("Files=" value): only bare names
// of the diary's own files (table, memo, index, the journal of an unfinished
// save, and QN.INI in backups of earlier versions), each once, the table
// among them. Answers the problem, empty when there is none; `files` gets
// the names.
std::string CheckBackupFileList(const std::string &list, std::vector<std::string> &files);

// Reads the backup in `folder`; nothing when it holds no BACKUP.INI (a
// folder that is no backup). A backup that cannot be used has its Problem.
std::optional<BackupInfo> ReadBackup(const std::filesystem::path &folder);

// The complete, usable backups, newest first.
std::vector<BackupInfo> ListBackups(const std::filesystem::path &diaryDir);
// The backups whose BACKUP.INI or files make them unusable, with the reason.
std::vector<BackupInfo> ListUnusableBackups(const std::filesystem::path &diaryDir);

// Copies the diary's files (which nobody may be changing: the table must be
// closed) into Backups/<name>; `entries` is noted for the list. Throws
// DiaryInUseError when another program holds the diary, std::runtime_error
// (FileError for the files) when the copy cannot be made; nothing half made
// is left counted as a backup.
BackupInfo MakeBackup(const std::filesystem::path &diaryDir, const std::string &name, TDateTime now,
                      int entries, FileSystem &fs = DefaultFileSystem(),
                      const DiaryLock *held = nullptr);

// The backup at closing: at most one a day (named by the day), then only the
// newest BackupsKept() are kept. Nothing when the day has its backup, when
// backups are turned off or when there is no diary.
std::optional<BackupInfo> MakeDailyBackup(const std::filesystem::path &diaryDir, TDateTime now,
                                          int entries, FileSystem &fs = DefaultFileSystem(),
                                          const DiaryLock *held = nullptr);

// The parts of a backup for callers that fill one themselves: a temporary
// folder under Backups/ for the backup `name` (made unique: `finalName`),
// which never counts as a backup and is cleared once its process has ended;
// then, once every file is in it and synced, its BACKUP.INI (naming the
// files, with an optional one-line note) and the rename into place. The
// caller holds the diary's lock.
std::filesystem::path StartBackupFolder(const std::filesystem::path &diaryDir,
                                        const std::string &name, std::string &finalName);
BackupInfo FinishBackupFolder(const std::filesystem::path &diaryDir,
                              const std::filesystem::path &partial, const std::string &finalName,
                              TDateTime now, int entries, const std::vector<std::string> &names,
                              const std::string &note, FileSystem &fs = DefaultFileSystem());

// Removes the oldest backups beyond `keep`, temporary folders of backups
// whose process has ended, and the copies of QN.INI earlier versions put
// into backups.
void PruneBackups(const std::filesystem::path &diaryDir, int keep);

// Puts the files of `chosen` in the place of the diary's (the table must be
// closed) in one switch: the backup's files are copied beside the diary and
// synced, then a marker decides the switch, so that a crash leaves the old
// diary or the restored one (the next open finishes or discards it). The
// files replaced go first into one more backup, which is answered. QN.INI
// stays as it is. Throws DiaryInUseError when the diary is in use,
// std::runtime_error when the backup cannot be used or a file cannot be
// copied (the diary is then as it was).
BackupInfo RestoreBackup(const std::filesystem::path &diaryDir, const BackupInfo &chosen,
                         TDateTime now, int currentEntries, FileSystem &fs = DefaultFileSystem(),
                         const DiaryLock *held = nullptr);

// Puts every backup under a new password (empty: in clear), each in one
// switch of its own. A backup that `oldPassword` does not open (made under
// a password before it) is left as it is and named in the answer.
// `progress` gets (backups done, backups in all).
struct BackupKeyResult {
    int Changed = 0;
    std::vector<std::string> LeftAlone; // "NAME: reason"
};
BackupKeyResult ChangeBackupKeys(const std::filesystem::path &diaryDir,
                                 const std::string &oldPassword, const std::string &newPassword,
                                 const std::function<void(int, int)> &progress = {},
                                 const DiaryLock *held = nullptr);

// Removes every backup (usable or not); answers how many.
int DeleteAllBackups(const std::filesystem::path &diaryDir, const DiaryLock *held = nullptr);

} // namespace qn::exchange
