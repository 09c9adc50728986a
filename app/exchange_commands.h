#pragma once

// Export, import and backups in the main window: the menu commands and the
// backup when the window closes.

#include "app/exchange/diary_backup.h"
#include "platform/datetime.h"

#include <QString>

#include <functional>
#include <optional>
#include <string>

namespace qn {

class TMainScreen;

// Adds "Export..." and "Import..." to the File menu and "Restore from
// Backup..." to the Utilities menu.
void InstallExchangeCommands(TMainScreen &main);

void ExportClick(TMainScreen &main);
void ImportClick(TMainScreen &main);
void RestoreFromBackupClick(TMainScreen &main);

// The entries of the open diary, counted before it closes for the backup;
// -1 when no diary is open.
int EntriesBeforeClosing(TMainScreen &main);
// The day's backup once the diary is closed (nothing without a diary).
void BackupAfterClosing(TMainScreen &main, int entries);

// When backups are made: now, unless a test sets another clock.
std::function<TDateTime()> &BackupClock();

// Puts a backup's files in place of the open diary's and opens it again;
// answers the backup that keeps the files replaced. Throws with a text for
// the user when nothing was restored; the diary is open again either way.
exchange::BackupInfo RestoreDiary(TMainScreen &main, const exchange::BackupInfo &backup);

// When the diary opens and a sync program has left conflicted copies of it
// beside it: says so, asks whether to merge them (MergeQuestion) and merges
// with a progress window. Once a window; nothing while the diary is locked.
void OfferConflictedCopyMerge(TMainScreen &main);

// The question box of that offer: true merges. Empty (unless a test puts
// its own answer here): a Yes/No message box.
using TMergeQuestion = std::function<bool(TMainScreen &, const QString &question)>;
TMergeQuestion &MergeQuestion();
// Asks for the password of an encrypted copy the diary's password does not
// open; nothing when none is given. Empty: a password box.
using TCopyPasswordQuestion =
    std::function<std::optional<std::string>(TMainScreen &, const std::string &copyName)>;
TCopyPasswordQuestion &CopyPasswordQuestion();

} // namespace qn
