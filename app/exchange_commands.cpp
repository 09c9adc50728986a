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
        exchange::MakeDailyBackup(main.DiaryDir(), BackupClock()(), entries, DefaultFileSystem(),
                                  main.HeldDiaryLock());
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
        replaced = exchange::RestoreBackup(main.DiaryDir(), backup, BackupClock()(), entries,
                                           DefaultFileSystem(), main.HeldDiaryLock());
    } catch (const std::exception &error) {
        failure = std::string("The backup could not be restored: ") + error.what() +
                  "\nThe diary was left as it was.";
    }
    // QN.INI stays: the diary keeps its password. A backup under another
    // password opens locked, and the window asks for that one (as it does
    // when the stored password does not fit the table).
    main.DiaryXTable->SetPassword(main.DiaryPassword);
    if (!main.OpenDiaryFile()) {
        throw std::runtime_error((failure.empty() ? std::string() : failure + "\n") +
                                 main.OpenFailure());
    }
    if (main.DiaryKeyRefused()) {
        main.HideAllThings(true);
    } else if (failure.empty() && !main.DiaryPassword.empty() &&
               main.DiaryXTable->KeyState() == engine::TXTable::TKeyState::Clear) {
        // A backup in clear (made before the password was set) is put under
        // the diary's password at once.
        try {
            main.DiaryXTable->SetOrder(0);
            main.DiaryXTable->CloseIndexes();
            main.DiaryXTable->SetPassword(std::string());
            main.DiaryXTable->DbfChangeKey(main.DiaryPassword);
        } catch (const std::exception &error) {
            failure = std::string("The backup was restored, but it could not be encrypted under "
                                  "the diary's password: ") +
                      error.what();
        }
        main.DiaryXTable->SetPassword(main.DiaryPassword);
        main.DiaryTable->Close();
        main.OpenDiaryFile();
    }
    if (!failure.empty())
        throw std::runtime_error(failure);
    return replaced;
}

} // namespace qn
