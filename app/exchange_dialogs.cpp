#include "app/exchange_dialogs.h"

#include "app/exchange/diary_export.h"
#include "app/exchange/diary_import.h"
#include "app/exchange/diary_records.h"
#include "app/exchange_commands.h"
#include "app/main_screen.h"
#include "engine/xtable.h"
#include "platform/notifications.h"
#include "platform/qt/messages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>

#include <optional>

namespace qn {

namespace {

using namespace qn::exchange;

QString fromUtf8(const std::string &text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string toPath(const QString &text)
{
    const QByteArray bytes = text.trimmed().toUtf8();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

std::string keyOf(const QDate &date)
{
    return date.toString(QStringLiteral("yyyyMMdd")).toStdString();
}

QDate qdateOf(TDateTime value)
{
    int y = 0, m = 0, d = 0;
    DecodeDate(value, y, m, d);
    return QDate(y, m, d);
}

// A progress hook that moves a gauge and lets the window breathe; the
// flag stops the work.
ProgressHook gaugeHook(QProgressBar *gauge, const bool &cancelled)
{
    return [gauge, &cancelled](int done, int total) {
        gauge->setMaximum(std::max(total, 1));
        gauge->setValue(done);
        ProcessPendingMessages();
        return !cancelled;
    };
}

// The export format a file name's extension stands for, if it stands for one.
std::optional<ExportFormat> formatOfName(const QString &path)
{
    const QString suffix = QFileInfo(path.trimmed()).suffix().toLower();
    if (suffix == QStringLiteral("html") || suffix == QStringLiteral("htm"))
        return ExportFormat::Html;
    if (suffix == QStringLiteral("rtf"))
        return ExportFormat::Rtf;
    if (suffix == QStringLiteral("txt") || suffix == QStringLiteral("text"))
        return ExportFormat::Text;
    if (suffix == QStringLiteral("jsonl") || suffix == QStringLiteral("json"))
        return ExportFormat::JsonLines;
    return std::nullopt;
}

} // namespace

// ---------------------------------------------------------------------------

TExportDialog::TExportDialog(TMainScreen &main) : QDialog(&main), main_(main)
{
    setWindowTitle(QStringLiteral("Export"));
    FormatBox = new QComboBox(this);
    FormatBox->addItem(QStringLiteral("Web page (HTML), one file"), int(ExportFormat::Html));
    FormatBox->addItem(QStringLiteral("Word processor (RTF), one file"), int(ExportFormat::Rtf));
    FormatBox->addItem(QStringLiteral("Plain text, one file"), int(ExportFormat::Text));
    FormatBox->addItem(QStringLiteral("Folder of RTF files, one per entry"),
                       int(ExportFormat::RtfFolder));
    FormatBox->addItem(QStringLiteral("JSON lines, for scripts and other diaries"),
                       int(ExportFormat::JsonLines));
    AllEntries = new QRadioButton(QStringLiteral("All entries"), this);
    RangeOfDates = new QRadioButton(QStringLiteral("Range of dates"), this);
    AllEntries->setChecked(true);
    DateFrom = new QDateEdit(qdateOf(main.CurrentDate), this);
    DateTo = new QDateEdit(qdateOf(main.CurrentDate), this);
    for (QDateEdit *edit : {DateFrom, DateTo}) {
        edit->setDisplayFormat(QStringLiteral("MM/dd/yyyy"));
        edit->setCalendarPopup(true);
        edit->setEnabled(false);
    }
    Target = new QLineEdit(this);
    BrowseButton = new QPushButton(QStringLiteral("Browse..."), this);
    Gauge = new QProgressBar(this);
    Gauge->setValue(0);
    Status = new QLabel(this);
    Status->setWordWrap(true);
    ExportButton = new QPushButton(QStringLiteral("Export"), this);
    ExportButton->setDefault(true);
    CloseButton = new QPushButton(QStringLiteral("Close"), this);

    // What readers call the fields that sit beside no label of their own.
    DateFrom->setAccessibleName(QStringLiteral("First date"));
    DateTo->setAccessibleName(QStringLiteral("Last date"));
    Target->setAccessibleName(QStringLiteral("Save to"));
    auto *range = new QHBoxLayout;
    range->addWidget(RangeOfDates);
    range->addWidget(DateFrom);
    range->addWidget(new QLabel(QStringLiteral("to"), this));
    range->addWidget(DateTo);
    auto *target = new QHBoxLayout;
    target->addWidget(Target, 1);
    target->addWidget(BrowseButton);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ExportButton);
    buttons->addWidget(CloseButton);
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Format:"), FormatBox);
    form->addRow(QStringLiteral("Entries:"), AllEntries);
    form->addRow(QString(), range);
    form->addRow(QStringLiteral("Save to:"), target);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(Gauge);
    layout->addWidget(Status);
    layout->addLayout(buttons);

    connect(RangeOfDates, &QRadioButton::toggled, this, [this](bool on) {
        DateFrom->setEnabled(on);
        DateTo->setEnabled(on);
    });
    connect(FormatBox, &QComboBox::currentIndexChanged, this, [this] { formatChanged(); });
    // A name typed with a format's extension chooses that format.
    connect(Target, &QLineEdit::textEdited, this, [this] { followExtension(); });
    connect(BrowseButton, &QPushButton::clicked, this, [this] { browse(); });
    connect(ExportButton, &QPushButton::clicked, this, [this] { ExportButtonClick(); });
    connect(CloseButton, &QPushButton::clicked, this, [this] {
        if (running_)
            cancelled_ = true;
        else
            reject();
    });
    formatChanged();
}

void TExportDialog::formatChanged()
{
    // The path typed stays; only its extension follows the format.
    const auto format = static_cast<ExportFormat>(FormatBox->currentData().toInt());
    QString path = Target->text().trimmed();
    if (path.isEmpty())
        path = QDir::homePath() + QStringLiteral("/quillnook-diary");
    else if (formatOfName(path))
        path.chop(QFileInfo(path).suffix().size() + 1);
    Target->setText(path + QString::fromLatin1(ExportFormatExtension(format)));
}

void TExportDialog::followExtension()
{
    const std::optional<ExportFormat> named = formatOfName(Target->text());
    if (!named)
        return;
    const int index = FormatBox->findData(int(*named));
    if (index < 0 || index == FormatBox->currentIndex())
        return;
    const QSignalBlocker quiet(FormatBox); // the name stays as typed
    FormatBox->setCurrentIndex(index);
}

bool TExportDialog::refuseDisagreement(ExportFormat format)
{
    const std::optional<ExportFormat> named = formatOfName(Target->text());
    if (!named || *named == format)
        return false;
    const QString suffix = QFileInfo(Target->text().trimmed()).suffix();
    ShowInformation(QStringLiteral("The name ends in .%1, which is the extension of \"%2\", but "
                                   "the format chosen is \"%3\". Choose the format that fits the "
                                   "name, or change the name.")
                        .arg(suffix, FormatBox->itemText(FormatBox->findData(int(*named))),
                             FormatBox->currentText()));
    Target->setFocus();
    return true;
}

void TExportDialog::browse()
{
    const auto format = static_cast<ExportFormat>(FormatBox->currentData().toInt());
    QString chosen =
        format == ExportFormat::RtfFolder
            ? QFileDialog::getExistingDirectory(this, QStringLiteral("Export to folder"),
                                                Target->text())
            : QFileDialog::getSaveFileName(this, QStringLiteral("Export to file"), Target->text());
    if (!chosen.isEmpty()) {
        Target->setText(chosen);
        followExtension();
    }
}

bool TExportDialog::ExportButtonClick()
{
    ExportRequest request;
    request.Format = static_cast<ExportFormat>(FormatBox->currentData().toInt());
    // Never one format under another's name (RTF in "diary.jsonl").
    if (refuseDisagreement(request.Format))
        return false;
    request.Target = toPath(Target->text());
    if (RangeOfDates->isChecked()) {
        request.FromKey = keyOf(DateFrom->date());
        request.ToKey = keyOf(DateTo->date());
    }
    running_ = true;
    cancelled_ = false;
    ExportButton->setEnabled(false);
    CloseButton->setText(QStringLiteral("Cancel"));
    Status->setText(QStringLiteral("Exporting..."));
    bool done = false;
    try {
        DiaryRecords records(*main_.DiaryTable, *main_.DiaryXTable);
        ExportResult result = ExportDiary(records, request, gaugeHook(Gauge, cancelled_));
        if (result.Cancelled) {
            Status->setText(QStringLiteral("Cancelled"));
        } else {
            std::string text = "Exported " + std::to_string(result.Entries) +
                               (result.Entries == 1 ? " entry to " : " entries to ") +
                               request.Target.string();
            Status->setText(fromUtf8(result.Failure.empty() ? text : std::string("Error")));
            if (!result.Failure.empty())
                text = result.Failure + "\n" + text + " before that.";
            // The first few problems; a box cannot hold a long list.
            const size_t shown = std::min<size_t>(result.Problems.size(), 10);
            for (size_t i = 0; i < shown; ++i)
                text += "\n" + result.Problems[i];
            if (result.Problems.size() > shown)
                text += "\n... and " + std::to_string(result.Problems.size() - shown) + " more.";
            ShowInformationUtf8(text);
            done = result.Failure.empty();
        }
    } catch (const std::exception &error) {
        Status->setText(QStringLiteral("Error"));
        ShowInformationUtf8(std::string("The diary could not be exported: ") + error.what());
    }
    running_ = false;
    ExportButton->setEnabled(true);
    CloseButton->setText(QStringLiteral("Close"));
    return done;
}

// ---------------------------------------------------------------------------

TImportDialog::TImportDialog(TMainScreen &main) : QDialog(&main), main_(main)
{
    setWindowTitle(QStringLiteral("Import"));
    resize(520, 380);
    auto *hint = new QLabel(
        QStringLiteral("A folder of files named by date (yyyy-mm-dd or yyyymmdd, with .rtf, .htm, "
                       ".html or .txt), or a JSON-lines file written by Export. A date that has "
                       "an entry keeps it; the imported text follows it after a page break."),
        this);
    hint->setWordWrap(true);
    Source = new QLineEdit(this);
    FolderButton = new QPushButton(QStringLiteral("Folder..."), this);
    FileButton = new QPushButton(QStringLiteral("File..."), this);
    DryRun = new QCheckBox(QStringLiteral("Dry run: only list what would change"), this);
    Gauge = new QProgressBar(this);
    Gauge->setValue(0);
    Report = new QPlainTextEdit(this);
    Report->setReadOnly(true);
    ImportButton = new QPushButton(QStringLiteral("Import"), this);
    ImportButton->setDefault(true);
    CloseButton = new QPushButton(QStringLiteral("Close"), this);

    Source->setAccessibleName(QStringLiteral("Import from"));
    Report->setAccessibleName(QStringLiteral("Import report"));
    auto *source = new QHBoxLayout;
    source->addWidget(Source, 1);
    source->addWidget(FolderButton);
    source->addWidget(FileButton);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ImportButton);
    buttons->addWidget(CloseButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(hint);
    layout->addLayout(source);
    layout->addWidget(DryRun);
    layout->addWidget(Gauge);
    layout->addWidget(Report, 1);
    layout->addLayout(buttons);

    connect(FolderButton, &QPushButton::clicked, this, [this] {
        QString chosen = QFileDialog::getExistingDirectory(this, QStringLiteral("Import folder"),
                                                           Source->text());
        if (!chosen.isEmpty())
            Source->setText(chosen);
    });
    connect(FileButton, &QPushButton::clicked, this, [this] {
        QString chosen = QFileDialog::getOpenFileName(
            this, QStringLiteral("Import file"), Source->text(),
            QStringLiteral("JSON lines (*.jsonl *.json);;All files (*)"));
        if (!chosen.isEmpty())
            Source->setText(chosen);
    });
    connect(ImportButton, &QPushButton::clicked, this, [this] { ImportButtonClick(); });
    connect(CloseButton, &QPushButton::clicked, this, [this] {
        if (running_)
            cancelled_ = true;
        else
            accept();
    });
}

bool TImportDialog::ImportButtonClick()
{
    if (Source->text().trimmed().isEmpty()) {
        ShowInformation(QStringLiteral("Choose a folder or a file to import first."));
        return false;
    }
    running_ = true;
    cancelled_ = false;
    ImportButton->setEnabled(false);
    CloseButton->setText(QStringLiteral("Cancel"));
    Report->clear();
    bool done = false;
    try {
        DiaryRecords records(*main_.DiaryTable, *main_.DiaryXTable);
        ImportResult result = ImportIntoDiary(&records, toPath(Source->text()), DryRun->isChecked(),
                                              gaugeHook(Gauge, cancelled_));
        Report->setPlainText(fromUtf8(result.Report()));
        done = !result.Cancelled;
    } catch (const std::exception &error) {
        Report->setPlainText(fromUtf8(std::string("Nothing was imported: ") + error.what()));
    }
    running_ = false;
    ImportButton->setEnabled(true);
    CloseButton->setText(QStringLiteral("Close"));
    return done;
}

// ---------------------------------------------------------------------------

TRestoreDialog::TRestoreDialog(TMainScreen &main) : QDialog(&main), main_(main)
{
    setWindowTitle(QStringLiteral("Restore from Backup"));
    resize(460, 300);
    auto *hint = new QLabel(QStringLiteral("Backups are made when Quillnook closes, once a day. "
                                           "The diary's current files are kept as one more "
                                           "backup before a restore replaces them."),
                            this);
    hint->setWordWrap(true);
    Backups = new QListWidget(this);
    Status = new QLabel(this);
    Status->setWordWrap(true);
    RestoreButton = new QPushButton(QStringLiteral("Restore"), this);
    CloseButton = new QPushButton(QStringLiteral("Close"), this);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(RestoreButton);
    buttons->addWidget(CloseButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(hint);
    layout->addWidget(Backups, 1);
    layout->addWidget(Status);
    layout->addLayout(buttons);
    connect(RestoreButton, &QPushButton::clicked, this, [this] { RestoreButtonClick(); });
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(Backups, &QListWidget::currentRowChanged, this,
            [this](int row) { RestoreButton->setEnabled(row >= 0); });
    Confirm = [this](const QString &question) {
        return QMessageBox::question(this, QStringLiteral("Restore from Backup"), question) ==
               QMessageBox::Yes;
    };
    fill();
}

void TRestoreDialog::fill()
{
    Backups->clear();
    list_ = ListBackups(main_.DiaryDir());
    for (const BackupInfo &b : list_) {
        const QString entries = b.Entries < 0 ? QStringLiteral("entries not counted")
                                              : QStringLiteral("%1 %2").arg(b.Entries).arg(
                                                    b.Entries == 1 ? QStringLiteral("entry")
                                                                   : QStringLiteral("entries"));
        Backups->addItem(
            QStringLiteral("%1    made %2    %3").arg(fromUtf8(b.Name), fromUtf8(b.Made), entries));
    }
    QString status = list_.empty() ? QStringLiteral("There are no backups yet.") : QString();
    for (const BackupInfo &b : ListUnusableBackups(main_.DiaryDir()))
        status += (status.isEmpty() ? QString() : QStringLiteral("\n")) + fromUtf8(b.Problem);
    Status->setText(status);
    if (!list_.empty())
        Backups->setCurrentRow(0);
    RestoreButton->setEnabled(!list_.empty());
}

bool TRestoreDialog::RestoreButtonClick()
{
    const int row = Backups->currentRow();
    if (row < 0 || row >= static_cast<int>(list_.size()))
        return false;
    const BackupInfo chosen = list_[static_cast<size_t>(row)];
    if (Confirm && !Confirm(QStringLiteral("Replace the diary by the backup %1 (made %2)?\n\nThe "
                                           "diary as it is now is kept as one more backup.")
                                .arg(fromUtf8(chosen.Name), fromUtf8(chosen.Made))))
        return false;
    try {
        BackupInfo kept = RestoreDiary(main_, chosen);
        ShowInformationUtf8("The diary was restored from the backup " + chosen.Name + " (made " +
                            chosen.Made + "). The files it replaced are kept as the backup " +
                            kept.Name + ".");
        accept();
        return true;
    } catch (const std::exception &error) {
        ShowInformationUtf8(error.what());
        fill();
        return false;
    }
}

} // namespace qn
