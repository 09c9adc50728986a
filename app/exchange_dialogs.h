#pragma once

// The windows of export, import and restore: each works on the main
// window's open diary, shows its progress and says what it did.

#include "app/exchange/diary_backup.h"
#include "app/exchange/diary_export.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace qn {

class TMainScreen;

// "Export": a format, all entries or a range of dates, and where to.
class TExportDialog : public QDialog {
    Q_OBJECT
public:
    explicit TExportDialog(TMainScreen &main);

    QComboBox *FormatBox;
    QRadioButton *AllEntries, *RangeOfDates;
    QDateEdit *DateFrom, *DateTo;
    QLineEdit *Target;
    QPushButton *BrowseButton, *ExportButton, *CloseButton;
    QProgressBar *Gauge;
    QLabel *Status;

    // Runs the export as chosen; false when it failed or was cancelled.
    bool ExportButtonClick();

private:
    void browse();
    void formatChanged();
    void followExtension();
    // Says so when the name's extension stands for another format.
    bool refuseDisagreement(exchange::ExportFormat format);
    TMainScreen &main_;
    bool running_ = false;
    bool cancelled_ = false;
};

// "Import": a folder of dated files or a JSON-lines file, and a dry run.
class TImportDialog : public QDialog {
    Q_OBJECT
public:
    explicit TImportDialog(TMainScreen &main);

    QLineEdit *Source;
    QPushButton *FolderButton, *FileButton, *ImportButton, *CloseButton;
    QCheckBox *DryRun;
    QProgressBar *Gauge;
    QPlainTextEdit *Report;

    bool ImportButtonClick();

private:
    TMainScreen &main_;
    bool running_ = false;
    bool cancelled_ = false;
};

// "Restore from Backup": the backups with their dates and entry counts.
class TRestoreDialog : public QDialog {
    Q_OBJECT
public:
    explicit TRestoreDialog(TMainScreen &main);

    QListWidget *Backups;
    QPushButton *RestoreButton, *CloseButton;
    QLabel *Status;
    // Asks the user before anything is replaced; a question box unless a
    // test answers.
    std::function<bool(const QString &question)> Confirm;

    bool RestoreButtonClick();

private:
    void fill();
    TMainScreen &main_;
    std::vector<exchange::BackupInfo> list_;
};

} // namespace qn
