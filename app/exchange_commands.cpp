// Export, import and backups of the main window's diary.
#include "app/exchange_commands.h"

#include "app/exchange/diary_merge.h"
#include "app/exchange/diary_records.h"
#include "app/exchange_dialogs.h"
#include "app/main_screen.h"
#include "engine/xtable.h"
#include "platform/qt/messages.h"
#include "platform/qt/qt_text.h"

#include <QAction>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QProgressDialog>

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

TMergeQuestion &MergeQuestion()
{
    static TMergeQuestion question;
    return question;
}

TCopyPasswordQuestion &CopyPasswordQuestion()
{
    static TCopyPasswordQuestion question;
    return question;
}

namespace {

QString utf8(const std::string &text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

bool askMerge(TMainScreen &main, const QString &question)
{
    if (MergeQuestion())
        return MergeQuestion()(main, question);
    return QMessageBox::question(&main, QStringLiteral("Conflicted copies of the diary"),
                                 question) == QMessageBox::Yes;
}

std::optional<std::string> askCopyPassword(TMainScreen &main, const std::string &name)
{
    if (CopyPasswordQuestion())
        return CopyPasswordQuestion()(main, name);
    bool ok = false;
    const QString typed = QInputDialog::getText(
        &main, QStringLiteral("Password of the copy"),
        QStringLiteral("The copy %1 is encrypted under another password than the diary's. "
                       "Its password:")
            .arg(utf8(name)),
        QLineEdit::Password, QString(), &ok);
    if (!ok || typed.isEmpty())
        return std::nullopt;
    // Text the code page cannot hold can never be the password.
    std::optional<std::string> password = QStringToAnsi(typed);
    return password ? password : std::optional<std::string>(std::string("\x01"));
}

QString mergeQuestionText(const std::vector<exchange::DiaryCopy> &copies)
{
    QString text = QStringLiteral(
        "A sync program has kept copies of this diary beside it, because the diary was changed "
        "on two computers between two syncs:\n");
    for (const exchange::DiaryCopy &copy : copies)
        text += QStringLiteral("\n  ") + utf8(copy.Name());
    text += QStringLiteral(
        "\n\nMerge them into the diary now? Days only in a copy are added; where both sides "
        "wrote on one day, the longer text is kept when one only goes on from the other, and "
        "otherwise the copy's text is added after a page break. The diary as it was and the "
        "copies' files are kept under Backups/, so a restore can undo the merge.");
    return text;
}

// One copy merged with a progress window; answers its report.
std::string mergeWithProgress(TMainScreen &main, const exchange::DiaryCopy &copy,
                              exchange::MergeOptions &options)
{
    QProgressDialog progress(QStringLiteral("Merging %1...").arg(utf8(copy.Name())),
                             QStringLiteral("Cancel"), 0, 1, &main);
    progress.setWindowTitle(QStringLiteral("Merging a copy of the diary"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    options.Progress = [&progress](int done, int total) {
        progress.setMaximum(std::max(total, 1));
        progress.setValue(done);
        ProcessPendingMessages();
        return !progress.wasCanceled();
    };
    exchange::DiaryRecords records(*main.DiaryTable, *main.DiaryXTable);
    exchange::MergeResult result =
        exchange::MergeDiaryCopy(records, *main.HeldDiaryLock(), copy, options);
    progress.reset();
    return result.Report();
}

} // namespace

void OfferConflictedCopyMerge(TMainScreen &main)
{
    if (main.ConflictedCopiesOffered)
        return;
    main.ConflictedCopiesOffered = true;
    if (!main.HeldDiaryLock() || !main.DiaryTable || !main.DiaryTable->Active() ||
        main.DiaryKeyRefused())
        return;
    try {
        exchange::RemoveMergedCopyLeftovers(*main.HeldDiaryLock());
    } catch (const std::exception &) {
        // tried again the next time the diary opens
    }
    std::vector<exchange::DiaryCopy> copies = exchange::FindConflictedCopies(main.DiaryDir());
    std::vector<exchange::DiaryCopy> usable;
    std::string unusable;
    for (exchange::DiaryCopy &copy : copies) {
        if (copy.Problem.empty())
            usable.push_back(std::move(copy));
        else
            unusable += copy.Name() + ": " + copy.Problem + "\n";
    }
    if (!unusable.empty())
        ShowInformationUtf8("A sync program has left copies of the diary beside it that cannot "
                            "be merged:\n" +
                            unusable);
    if (usable.empty() || !askMerge(main, mergeQuestionText(usable)))
        return;
    main.SaveButtonClick();
    exchange::MergeOptions options;
    options.DiaryPassword = main.DiaryPassword;
    options.AskPassword = [&main](const std::string &name) { return askCopyPassword(main, name); };
    options.Now = BackupClock()();
    std::string report;
    for (const exchange::DiaryCopy &copy : usable) {
        report += mergeWithProgress(main, copy, options);
        options.BackupBefore = false; // the diary before the first merge is the one to keep
    }
    // The entry on screen may have received text.
    main.FindDateRecord();
    main.LoadRichText();
    ShowInformationUtf8(report);
}

} // namespace qn
