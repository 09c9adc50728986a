// Export, import and restore from the main window, and the backup its
// closing makes.
#include "app/exchange/diary_backup.h"
#include "app/exchange/diary_export.h"
#include "app/exchange/diary_records.h"
#include "app/exchange/entry_document.h"
#include "app/exchange_commands.h"
#include "app/exchange_dialogs.h"
#include "app/get_password.h"
#include "app/main_screen.h"
#include "engine/xt.h"
#include "engine/xtable.h"
#include "tests/support/notification_capture.h"
#include "tests/support/temp_dir.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace qn;
namespace fs = std::filesystem;

namespace {

void addEntry(TMainScreen &w, const std::string &key, const std::string &text)
{
    exchange::DiaryRecords(*w.DiaryTable, *w.DiaryXTable)
        .Store(key, "{\\rtf1\\ansi " + text + "\\par}");
    w.FindDateRecord();
}

std::string entryText(TMainScreen &w, const std::string &key)
{
    std::optional<std::string> rtf =
        exchange::DiaryRecords(*w.DiaryTable, *w.DiaryXTable).Entry(key);
    w.FindDateRecord();
    if (!rtf)
        return "(none)";
    std::string error;
    auto doc = exchange::ReadDocument(*rtf, exchange::SourceFormat::Rtf, error);
    return doc ? exchange::ParagraphTexts(*doc)[0] : error;
}

QAction *action(QMenu *menu, const QString &text)
{
    for (QAction *a : menu->actions())
        if (a->text() == text)
            return a;
    return nullptr;
}

void savePicture(QWidget &widget, const std::string &name)
{
    const fs::path folder = qn::test::binaryDir() / "screenshots";
    std::error_code ec;
    fs::create_directories(folder, ec);
    widget.grab().save(QString::fromStdString((folder / name).string()));
}

class ExchangeCommandsTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        BackupClock() = [] { return Now(); };
        MergeQuestion() = {};
        CopyPasswordQuestion() = {};
        ResetFormatSettings(); // the window set its own short date format
    }
    qn::test::TempDir dir;
    qn::test::NotificationCapture notes;
};

TEST_F(ExchangeCommandsTest, TheMenusOfferTheCommandsAndLockWithTheDiary)
{
    TMainScreen w(dir.path().string());
    ASSERT_FALSE(w.StartFailed());
    QAction *exportAction = action(w.mnuFile, QStringLiteral("Export..."));
    QAction *importAction = action(w.mnuFile, QStringLiteral("Import..."));
    QAction *restore = action(w.mnuUtilities, QStringLiteral("Restore from Backup..."));
    ASSERT_TRUE(exportAction && importAction && restore);
    // Before the exit command, below the printing commands.
    const QList<QAction *> file = w.mnuFile->actions();
    EXPECT_LT(file.indexOf(importAction), file.indexOf(w.exit1));
    EXPECT_GT(file.indexOf(exportAction), file.indexOf(w.PrintNow));
    w.HideAllThings(true);
    EXPECT_FALSE(exportAction->isEnabled());
    EXPECT_FALSE(restore->isEnabled());
    w.HideAllThings(false);
    EXPECT_TRUE(importAction->isEnabled());
}

TEST_F(ExchangeCommandsTest, ClosingMakesTheDaysBackupAndTheEleventhDropsTheOldest)
{
    for (int day = 1; day <= 11; ++day) {
        BackupClock() = [day] { return EncodeDate(2026, 5, day) + 0.5; };
        TMainScreen w(dir.path().string());
        ASSERT_FALSE(w.StartFailed());
        addEntry(w, "202605" + std::string(day < 10 ? "0" : "") + std::to_string(day),
                 "day " + std::to_string(day));
        w.close();
        const auto list = exchange::ListBackups(dir.path());
        ASSERT_EQ(list.size(), std::min(day, 10)) << day;
        EXPECT_EQ(list.front().Entries, day);
    }
    const auto list = exchange::ListBackups(dir.path());
    EXPECT_EQ(list.front().Name, "2026-05-11");
    EXPECT_EQ(list.back().Name, "2026-05-02") << "the first day's backup was dropped";
    EXPECT_TRUE(notes.informations.empty());
}

TEST_F(ExchangeCommandsTest, RestoreBringsBackTheChosenDayAndKeepsTheReplacedFiles)
{
    BackupClock() = [] { return EncodeDate(2026, 6, 1) + 0.5; };
    {
        TMainScreen w(dir.path().string());
        addEntry(w, "20260601", "the first version");
        w.close();
    }
    BackupClock() = [] { return EncodeDate(2026, 6, 2) + 0.5; };
    TMainScreen w(dir.path().string());
    addEntry(w, "20260601", "changed later");
    addEntry(w, "20260602", "a day added later");
    w.CurrentDate = EncodeDate(2026, 6, 1);
    w.FindDateRecord();

    TRestoreDialog dialog(w);
    ASSERT_EQ(dialog.Backups->count(), 1);
    EXPECT_TRUE(dialog.Backups->item(0)->text().contains(QStringLiteral("1 entry")));
    savePicture(dialog, "restore_dialog.png");
    QString asked;
    dialog.Confirm = [&](const QString &question) {
        asked = question;
        return true;
    };
    ASSERT_TRUE(dialog.RestoreButtonClick());
    EXPECT_TRUE(asked.contains(QStringLiteral("2026-06-01")));
    EXPECT_EQ(entryText(w, "20260601"), "the first version");
    EXPECT_EQ(entryText(w, "20260602"), "(none)");
    EXPECT_TRUE(w.RecordFound) << "the window stands on its date again";
    const auto list = exchange::ListBackups(dir.path());
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list.front().Entries, 2) << "the replaced diary is a backup of its own";
    ASSERT_FALSE(notes.informations.empty());
    EXPECT_NE(notes.informations.back().find("kept as the backup " + list.front().Name),
              std::string::npos)
        << notes.informations.back();
}

// A diary of its own in `folder` holding the entries (key to text).
void diaryHolding(const fs::path &folder, const std::map<std::string, std::string> &entries)
{
    fs::create_directories(folder);
    exchange::DiaryFolder diary(folder, "", exchange::DiaryFolder::CreateWhenMissing);
    for (const auto &[key, text] : entries)
        diary.Records().Store(key, "{\\rtf1\\ansi " + text + "}");
    diary.Close();
}

TEST_F(ExchangeCommandsTest, OpeningTheDiaryOffersToMergeTheCopiesASyncProgramLeft)
{
    BackupClock() = [] { return EncodeDate(2026, 12, 10) + 0.5; };
    const fs::path laptop = dir / "laptop";
    diaryHolding(dir.path(), {{"20261201", "both"}, {"20261202", "desktop"}});
    diaryHolding(laptop, {{"20261201", "both"}, {"20261202", "laptop"}, {"20261203", "new"}});
    const std::string stem = "QUILLNK.sync-conflict-20261209-101500-ABCDEFG";
    fs::copy_file(laptop / "QUILLNK.DBF", dir / (stem + ".DBF"));
    fs::copy_file(laptop / "QUILLNK.FPT", dir / (stem + ".FPT"));
    // The laptop's lock file, synced along: it keeps nobody out.
    qn::test::writeFile(dir / "QUILLNK.lock", "4242 laptop\n");

    // Declined: nothing changes, the copy stays, and the window asks once.
    std::vector<QString> asked;
    MergeQuestion() = [&](TMainScreen &, const QString &question) {
        asked.push_back(question);
        return false;
    };
    {
        TMainScreen w(dir.path().string());
        ASSERT_FALSE(w.StartFailed());
        QApplication::processEvents();
        QApplication::processEvents();
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_TRUE(asked[0].contains(QString::fromStdString(stem + ".DBF")))
            << asked[0].toStdString();
        EXPECT_EQ(entryText(w, "20261203"), "(none)");
        EXPECT_TRUE(fs::exists(dir / (stem + ".DBF")));
    }
    // Accepted: merged, the copy under Backups/, the report shown.
    MergeQuestion() = [&](TMainScreen &, const QString &question) {
        asked.push_back(question);
        return true;
    };
    TMainScreen w(dir.path().string());
    QApplication::processEvents();
    MergeQuestion() = {};
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(entryText(w, "20261203"), "new");
    EXPECT_EQ(entryText(w, "20261201"), "both");
    std::optional<std::string> both =
        exchange::DiaryRecords(*w.DiaryTable, *w.DiaryXTable).Entry("20261202");
    ASSERT_TRUE(both);
    std::string error;
    auto doc = exchange::ReadDocument(*both, exchange::SourceFormat::Rtf, error);
    ASSERT_TRUE(doc);
    std::vector<std::string> texts = exchange::ParagraphTexts(*doc);
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts.front(), "desktop");
    EXPECT_EQ(texts.back(), "laptop");
    EXPECT_FALSE(fs::exists(dir / (stem + ".DBF")));
    EXPECT_FALSE(fs::exists(dir / (stem + ".FPT")));
    bool kept = false;
    for (const auto &backup : exchange::ListBackups(dir.path()))
        kept = kept || backup.Note.find(stem) != std::string::npos;
    EXPECT_TRUE(kept);
    ASSERT_FALSE(notes.informations.empty());
    EXPECT_NE(notes.informations.back().find("1 added"), std::string::npos)
        << notes.informations.back();
}

TEST_F(ExchangeCommandsTest, TheRestoreDialogNamesUnusableBackupsAndOffersOnlyTheGoodOnes)
{
    BackupClock() = [] { return EncodeDate(2026, 6, 1) + 0.5; };
    {
        TMainScreen w(dir.path().string());
        addEntry(w, "20260601", "the first version");
        w.close();
    }
    const fs::path good = exchange::BackupsFolder(dir.path()) / "2026-06-01";
    const fs::path crafted = exchange::BackupsFolder(dir.path()) / "crafted";
    fs::copy(good, crafted);
    qn::test::writeFile(crafted / "BACKUP.INI", "[Backup]\r\nMade=2026-06-02 10:00:00\r\n"
                                                "Files=QUILLNK.DBF|../../planted.txt\r\n");
    TMainScreen w(dir.path().string());
    ASSERT_FALSE(w.StartFailed());
    TRestoreDialog dialog(w);
    ASSERT_EQ(dialog.Backups->count(), 1);
    EXPECT_TRUE(dialog.Backups->item(0)->text().contains(QStringLiteral("2026-06-01")));
    EXPECT_TRUE(dialog.Status->text().contains(
        QStringLiteral("The backup crafted cannot be used: BACKUP.INI is damaged: it names a "
                       "path instead of a file of the diary")))
        << dialog.Status->text().toStdString();
}

TEST_F(ExchangeCommandsTest, ASecondWriterIsRefusedWhileTheWindowHoldsTheDiary)
{
    TMainScreen w(dir.path().string());
    ASSERT_FALSE(w.StartFailed());
    ASSERT_NE(w.HeldDiaryLock(), nullptr);
    try {
        exchange::DiaryFolder second(dir.path(), "", exchange::DiaryFolder::CreateWhenMissing);
        ADD_FAILURE() << "a second writer was let in";
    } catch (const exchange::DiaryOpenError &error) {
        EXPECT_EQ(error.kind(), exchange::DiaryOpenError::InUse);
        EXPECT_NE(std::string(error.what()).find("close it first"), std::string::npos);
    }
    EXPECT_THROW(exchange::MakeBackup(dir.path(), "x", EncodeDate(2026, 1, 1), 0), DiaryInUseError);
    // The window's own backup and restore go through under its lock.
    const exchange::BackupInfo made = exchange::MakeBackup(
        dir.path(), "x", EncodeDate(2026, 1, 1), 0, DefaultFileSystem(), w.HeldDiaryLock());
    EXPECT_NO_THROW(RestoreDiary(w, made));
    w.close();
    EXPECT_FALSE(DiaryLock::HeldElsewhere(dir.path())) << "released once the window closed";
}

TEST_F(ExchangeCommandsTest, ABackupUnderAnotherPasswordOpensLockedAndAsksForIt)
{
    BackupClock() = [] { return EncodeDate(2026, 6, 1) + 0.5; };
    {
        TMainScreen w(dir.path().string());
        addEntry(w, "20260601", "from the backup");
        w.close();
    }
    ASSERT_EQ(xt_SetKeyCost(64, 1, 1), 0);
    // A backup under a password the diary no longer has.
    ASSERT_EQ(exchange::ChangeBackupKeys(dir.path(), "", "Other").Changed, 1);
    xt_SetKeyCost(0, 0, 0);
    TMainScreen w(dir.path().string());
    addEntry(w, "20260602", "today");
    TRestoreDialog dialog(w);
    dialog.Confirm = [](const QString &) { return true; };
    ASSERT_TRUE(dialog.RestoreButtonClick());
    EXPECT_TRUE(w.DiaryKeyRefused());
    EXPECT_FALSE(w.PrivacyPanel->isHidden()) << "nothing shows before its password is typed";
    w.Pass->setText(QStringLiteral("Other"));
    w.BitBtn1Click();
    EXPECT_FALSE(w.DiaryKeyRefused());
    EXPECT_TRUE(w.PrivacyPanel->isHidden());
    EXPECT_EQ(entryText(w, "20260601"), "from the backup");
    EXPECT_EQ(exchange::StoredPassword(dir.path()), "Other");
}

TEST_F(ExchangeCommandsTest, ABackupInClearRestoredIntoADiaryWithAPasswordIsEncryptedAtOnce)
{
    ASSERT_EQ(xt_SetKeyCost(64, 1, 1), 0);
    BackupClock() = [] { return EncodeDate(2026, 6, 1) + 0.5; };
    {
        TMainScreen w(dir.path().string());
        addEntry(w, "20260601", "private words");
        w.RunPasswordDialog = [](TGetPassword &d) {
            d.NewPassword->setText(QStringLiteral("pw"));
            d.NewPasswordAgain->setText(QStringLiteral("pw"));
            d.OkButton->click();
        };
        w.mnuSecurityClick();
        w.close();
    }
    // A backup left in clear (as the password's removal would leave it).
    ASSERT_EQ(exchange::ChangeBackupKeys(dir.path(), "pw", "").Changed, 1);
    TMainScreen w(dir.path().string());
    w.Pass->setText(QStringLiteral("pw"));
    w.BitBtn1Click();
    TRestoreDialog dialog(w);
    dialog.Confirm = [](const QString &) { return true; };
    ASSERT_TRUE(dialog.RestoreButtonClick());
    EXPECT_EQ(w.DiaryXTable->KeyState(), engine::TXTable::TKeyState::Fits);
    EXPECT_EQ(entryText(w, "20260601"), "private words");
    EXPECT_EQ(exchange::StoredPassword(dir.path()), "pw");
    EXPECT_EQ(qn::test::readFile(dir / "QUILLNK.FPT").find("private words"), std::string::npos);
    xt_SetKeyCost(0, 0, 0);
}

TEST_F(ExchangeCommandsTest, ExportAndImportDialogsWorkOnTheOpenDiary)
{
    TMainScreen w(dir.path().string());
    addEntry(w, "20260301", "one");
    addEntry(w, "20260302", "two");
    TExportDialog out(w);
    out.FormatBox->setCurrentIndex(out.FormatBox->findData(int(exchange::ExportFormat::JsonLines)));
    out.Target->setText(QString::fromStdString((dir.path() / "out/all.jsonl").string()));
    fs::create_directories(dir.path() / "out");
    savePicture(out, "export_dialog.png");
    ASSERT_TRUE(out.ExportButtonClick());
    EXPECT_EQ(out.Gauge->value(), 2);
    ASSERT_FALSE(notes.informations.empty());
    EXPECT_NE(notes.informations.back().find("Exported 2 entries"), std::string::npos);

    fs::create_directories(dir.path() / "in");
    qn::test::writeFile(dir.path() / "in/2026-03-02.txt", "imported");
    qn::test::writeFile(dir.path() / "in/2026-03-03.rtf", "{\\rtf1 cut");
    TImportDialog in(w);
    in.Source->setText(QString::fromStdString((dir.path() / "in").string()));
    ASSERT_TRUE(in.ImportButtonClick());
    const QString report = in.Report->toPlainText();
    EXPECT_TRUE(report.contains(QStringLiteral("2026-03-03.rtf: not imported")))
        << report.toStdString();
    EXPECT_TRUE(report.contains(QStringLiteral("added after a page break")))
        << report.toStdString();
    savePicture(in, "import_dialog.png");
    EXPECT_EQ(entryText(w, "20260302"), "two");
    EXPECT_EQ(entryText(w, "20260303"), "(none)");
}

} // namespace

namespace {

TEST_F(ExchangeCommandsTest, TheExportFormatAndTheNameOfItsFileAgree)
{
    TMainScreen w(dir.path().string());
    addEntry(w, "20260301", "one");
    TExportDialog out(w);
    auto choose = [&](exchange::ExportFormat format) {
        out.FormatBox->setCurrentIndex(out.FormatBox->findData(int(format)));
    };
    const std::string base = (dir.path() / "kept" / "my-diary").string();
    fs::create_directories(dir.path() / "kept");
    out.Target->setText(QString::fromStdString(base + ".html"));

    // Another format keeps the path typed; only the extension changes.
    choose(exchange::ExportFormat::Rtf);
    EXPECT_EQ(out.Target->text().toStdString(), base + ".rtf");
    choose(exchange::ExportFormat::RtfFolder);
    EXPECT_EQ(out.Target->text().toStdString(), base);
    choose(exchange::ExportFormat::JsonLines);
    EXPECT_EQ(out.Target->text().toStdString(), base + ".jsonl");

    // A name typed with a known extension chooses its format.
    out.Target->clear();
    QTest::keyClicks(out.Target, QString::fromStdString(base + ".txt"));
    EXPECT_EQ(out.FormatBox->currentData().toInt(), int(exchange::ExportFormat::Text));
    EXPECT_EQ(out.Target->text().toStdString(), base + ".txt");

    // Format and name made to disagree: the dialog says so, writes nothing.
    choose(exchange::ExportFormat::Rtf);
    out.Target->setText(QString::fromStdString(base + ".jsonl"));
    notes.informations.clear();
    EXPECT_FALSE(out.ExportButtonClick());
    ASSERT_EQ(notes.informations.size(), 1u);
    EXPECT_NE(notes.informations[0].find(".jsonl"), std::string::npos) << notes.informations[0];
    EXPECT_FALSE(fs::exists(base + ".jsonl"));

    // Agreeing, the file holds the format its name says.
    choose(exchange::ExportFormat::JsonLines);
    ASSERT_TRUE(out.ExportButtonClick());
    EXPECT_EQ(qn::test::readFile(base + ".jsonl").rfind("{\"date\":\"2026-03-01\"", 0), 0u);
}

// The exported page of a formatted entry, as a browser shows it, beside
// the entry on screen: both pictures go to build/screenshots for review.
TEST_F(ExchangeCommandsTest, TheExportedPageIsAWholeUtf8DocumentLaidOutAsTheEntry)
{
    TMainScreen w(dir.path().string());
    const std::string rtf =
        "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}{\\f1 Times New Roman;}}"
        "{\\colortbl;\\red0\\green0\\blue160;}\\f0\\fs20 "
        "\\qc\\sa120{\\f1\\fs32\\b A day by the sea}\\par "
        "\\pard\\li720\\tx2880 Ice cream:\\tab 3 \\'80 \\'97 \\'93worth it\\'94\\par "
        "\\pard\\li720\\tx2880 Train:\\tab 12 \\'80\\par "
        "\\pard\\par "
        "\\pard\\fi360 The sea was {\\cf1\\i calm}, the sand warm, and the long walk back along "
        "the "
        "cliffs took most of the afternoon.\\par "
        "\\pard\\qr Signed, me}";
    exchange::DiaryRecords(*w.DiaryTable, *w.DiaryXTable).Store("20260705", rtf);
    // The next day's colour 1 is another colour: each entry keeps its own.
    exchange::DiaryRecords(*w.DiaryTable, *w.DiaryXTable)
        .Store("20260706", "{\\rtf1\\ansi{\\colortbl;\\red200\\green0\\blue0;}"
                           "Rain, {\\cf1 red} umbrellas}");
    w.FindDateRecord();
    exchange::ExportRequest request;
    request.Format = exchange::ExportFormat::Html;
    request.Target = dir.path() / "diary.html";
    exchange::DiaryRecords records(*w.DiaryTable, *w.DiaryXTable);
    exchange::ExportDiary(records, request, {});
    const std::string html = qn::test::readFile(request.Target);
    EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u);
    EXPECT_NE(html.find("<meta charset=\"utf-8\">"), std::string::npos);
    EXPECT_NE(html.find("<body>"), std::string::npos);
    EXPECT_NE(html.find("3 \u20AC \u2014 \u201Cworth it\u201D"), std::string::npos) << html;
    EXPECT_EQ(html.find("&#128;"), std::string::npos);
    EXPECT_NE(html.find("margin-left: 0.5in"), std::string::npos);
    EXPECT_NE(html.find("left: 1.5in"), std::string::npos);
    EXPECT_NE(html.find("text-align: center"), std::string::npos);
    EXPECT_NE(html.find("Sunday, July 5, 2026"), std::string::npos);
    EXPECT_NE(html.find("color: #0000A0\">calm"), std::string::npos) << html;
    EXPECT_NE(html.find("color: #C80000\">red"), std::string::npos) << html;
    EXPECT_LT(html.find("calm"), html.find("Monday, July 6, 2026"));
    EXPECT_EQ(html.substr(html.size() - 18), "</body>\r\n</html>\r\n");
    const fs::path shots = qn::test::binaryDir() / "screenshots";
    fs::create_directories(shots);
    fs::copy_file(request.Target, shots / "export_page.html", fs::copy_options::overwrite_existing);

    // The same entry on screen.
    w.resize(700, 520);
    w.show();
    w.CurrentDate = EncodeDate(2026, 7, 5);
    w.FindDateRecord();
    w.LoadRichText();
    QApplication::processEvents();
    savePicture(*w.RingPanel1, "export_entry_on_screen.png");
}

} // namespace
