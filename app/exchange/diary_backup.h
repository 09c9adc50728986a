#pragma once

// Backups of the diary's files: a copy of the table, its memo and index,
// and QN.INI in a dated folder under Backups/ beside the diary. A backup is
// written into a temporary folder and renamed into place only once every
// file is on the disk, so a copy cut short never counts as a backup.

#include "platform/datetime.h"
#include "platform/file_system.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qn::exchange {

// How many backups are kept when QN.INI does not say ([Backups] Keep).
constexpr int kDefaultBackupsKept = 10;

struct BackupInfo {
    std::string Name; // the folder's name: "2026-12-07" or "2026-12-07-153012"
    std::filesystem::path Folder;
    std::string Made;               // "yyyy-mm-dd hh:nn:ss"
    int Entries = -1;               // entries the diary held; -1 when unknown
    std::vector<std::string> Files; // the diary's files it holds
};

std::filesystem::path BackupsFolder(const std::filesystem::path &diaryDir);

// The number of backups to keep: [Backups] Keep in the diary's QN.INI; 0
// turns the backups at closing off; a missing or negative value gives the
// default.
int BackupsKept(const std::filesystem::path &diaryDir);

// The complete backups, newest first.
std::vector<BackupInfo> ListBackups(const std::filesystem::path &diaryDir);

// Copies the diary's files (which nobody may be changing: the table must be
// closed) into Backups/<name>; `entries` is noted for the list. Throws
// std::runtime_error (FileError for the files) when the copy cannot be made;
// nothing half made is left counted as a backup.
BackupInfo MakeBackup(const std::filesystem::path &diaryDir, const std::string &name, TDateTime now,
                      int entries, FileSystem &fs = DefaultFileSystem());

// The backup at closing: at most one a day (named by the day), then only the
// newest BackupsKept() are kept. Nothing when the day has its backup, when
// backups are turned off or when there is no diary.
std::optional<BackupInfo> MakeDailyBackup(const std::filesystem::path &diaryDir, TDateTime now,
                                          int entries, FileSystem &fs = DefaultFileSystem());

// Removes the oldest backups beyond `keep`, and temporary folders of backups
// whose process has ended.
void PruneBackups(const std::filesystem::path &diaryDir, int keep);

// Puts the files of `chosen` in the place of the diary's (the table must be
// closed). The files replaced go first into one more backup, which is
// answered. Throws std::runtime_error when the diary is in use or a file
// cannot be copied.
BackupInfo RestoreBackup(const std::filesystem::path &diaryDir, const BackupInfo &chosen,
                         TDateTime now, int currentEntries, FileSystem &fs = DefaultFileSystem());

} // namespace qn::exchange
