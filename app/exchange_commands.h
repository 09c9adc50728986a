#pragma once

// Export, import and backups in the main window: the menu commands and the
// backup when the window closes.

#include "app/exchange/diary_backup.h"
#include "platform/datetime.h"

#include <functional>

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

} // namespace qn
