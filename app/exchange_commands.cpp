// Export, import and backups of the main window's diary.
#include "app/exchange_commands.h"

#include "app/exchange/diary_records.h"
#include "app/exchange_dialogs.h"
#include "app/main_screen.h"
#include "engine/xtable.h"
#include "platform/qt/messages.h"

#include <QAction>
#include <QMenu>

namespace qn {

namespace {

template <typename Dialog> void showDialog(TMainScreen &main)
{
    Dialog dialog(main);
    main.CenterOnMainScreen(&dialog);
    dialog.exec();
}

} // namespace

void InstallExchangeCommands(TMainScreen &main)
{
    QAction *exportAction = new QAction(QStringLiteral("Export..."), main.mnuFile);
    QAction *importAction = new QAction(QStringLiteral("Import..."), main.mnuFile);
    exportAction->setObjectName(QStringLiteral("Export1"));
    importAction->setObjectName(QStringLiteral("Import1"));
    main.mnuFile->insertAction(main.N6, exportAction);
    main.mnuFile->insertAction(main.N6, importAction);
    main.mnuFile->insertSeparator(exportAction);
    QObject::connect(exportAction, &QAction::triggered, &main, [&main] { ExportClick(main); });
    QObject::connect(importAction, &QAction::triggered, &main, [&main] { ImportClick(main); });

    main.mnuUtilities->addSeparator();
    QAction *restore = main.mnuUtilities->addAction(QStringLiteral("Restore from Backup..."));
    restore->setObjectName(QStringLiteral("RestorefromBackup1"));
    QObject::connect(restore, &QAction::triggered, &main,
                     [&main] { RestoreFromBackupClick(main); });
}

void ExportClick(TMainScreen &main)
{
    // A modified entry is stored first, so that it is exported as shown.
    main.SaveButtonClick();
    showDialog<TExportDialog>(main);
    main.FindDateRecord();
}

void ImportClick(TMainScreen &main)
{
    main.SaveButtonClick();
    showDialog<TImportDialog>(main);
    // The entry on screen may have received text.
    main.FindDateRecord();
    main.LoadRichText();
}

void RestoreFromBackupClick(TMainScreen &main)
{
    main.SaveButtonClick();
    showDialog<TRestoreDialog>(main);
    main.FindDateRecord();
    main.LoadRichText();
}

int EntriesBeforeClosing(TMainScreen &main)
{
    if (!main.DiaryTable || !main.DiaryTable->Active())
        return -1;
    try {
        return exchange::DiaryRecords(*main.DiaryTable, *main.DiaryXTable).Count();
    } catch (const std::exception &) {
        return -1; // no backup of a table that cannot be read through
    }
}

void BackupAfterClosing(TMainScreen &main, int entries)
{
    if (entries < 0)
        return;
    try {
        exchange::MakeDailyBackup(main.DiaryDir(), BackupClock()(), entries);
    } catch (const std::exception &error) {
        ShowInformationUtf8(std::string("The diary's backup could not be made: ") + error.what());
    }
}

std::function<TDateTime()> &BackupClock()
{
    static std::function<TDateTime()> clock = [] { return Now(); };
    return clock;
}

exchange::BackupInfo RestoreDiary(TMainScreen &main, const exchange::BackupInfo &backup)
{
    const int entries = EntriesBeforeClosing(main);
    main.DiaryTable->Close();
    main.DiaryTableDATE = main.DiaryTableENTRY = nullptr;
    std::string failure;
    exchange::BackupInfo replaced;
    try {
        replaced = exchange::RestoreBackup(main.DiaryDir(), backup, BackupClock()(), entries);
    } catch (const std::exception &error) {
        failure = std::string("The backup could not be restored: ") + error.what() +
                  "\nThe diary was left as it was.";
    }
    // The restored QN.INI holds the password the restored table is encrypted under.
    const std::string password = exchange::StoredPassword(main.DiaryDir());
    const bool otherPassword = password != main.DiaryPassword;
    main.DiaryPassword = password;
    main.DiaryXTable->SetPassword(password);
    if (!main.OpenDiaryFile()) {
        throw std::runtime_error((failure.empty() ? std::string() : failure + "\n") +
                                 main.OpenFailure());
    }
    main.DiaryXTable->SetPassword(password);
    // A diary under another password opens locked, as at start.
    if (otherPassword && !password.empty())
        main.HideAllThings(true);
    if (!failure.empty())
        throw std::runtime_error(failure);
    return replaced;
}

} // namespace qn
