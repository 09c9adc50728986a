#include "app/date_key.h"
#include "app/main_screen.h"
#include "app/rebuild_indexes.h"
#include "engine/xdata_table.h"
#include "engine/xt.h"
#include "engine/xtable.h"
#include "platform/modal_result.h"
#include "platform/qt/key_translation.h"
#include "platform/qt/messages.h"
#include "xbase/cdx_index.h"

#include "tests/support/command.h"
#include "tests/support/notification_capture.h"
#include "tests/support/temp_dir.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>
#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

using namespace qn;
namespace fs = std::filesystem;

namespace {

// A command line's output, error output included, and exit status.
qn::test::CommandResult run(const std::string &command)
{
    return qn::test::runCommand(command + " 2>&1");
}

std::string quoted(const fs::path &path)
{
    return qn::test::shellQuote(path.string());
}

std::string qntable()
{
    return quoted(qn::test::binaryDir() / "bin" / "qntable");
}

// The keys of the DATE tag in index order as the independent reader sees
// them ("key|record" lines); nullopt, with a note, when it is not installed.
std::optional<std::string> peerIndexKeys(const fs::path &cdx)
{
    if (!fs::exists(qn::test::peerScript("cdx_keys.pl")) || !qn::test::havePerlReader()) {
        std::printf("note: the independent CDX reader is not available; skipped that check\n");
        return std::nullopt;
    }
    qn::test::CommandResult keys =
        run("perl " + quoted(qn::test::peerScript("cdx_keys.pl")) + " " + quoted(cdx) + " DATE");
    EXPECT_EQ(keys.status, 0) << keys.out;
    return keys.out;
}

QString longDate(TDateTime date)
{
    return QString::fromStdString(FormatDateTime("dddd, mmmm d, yyyy", date));
}

// A diary folder of its own for every case, and a window on it.
class DiaryStoreTest : public testing::Test {
protected:
    qn::test::TempDir dir;
    std::unique_ptr<TMainScreen> w;

    void open()
    {
        w = std::make_unique<TMainScreen>(dir.path().string());
        ASSERT_FALSE(w->StartFailed()) << w->OpenFailure();
        w->show();
    }
    void closeWindow()
    {
        if (w)
            w->close();
        w.reset();
    }
    void TearDown() override
    {
        w.reset();
        ResetFormatSettings();
    }

    // Adds records for the keys through the window's table; true ones deleted.
    void add(const std::vector<std::string> &keys)
    {
        for (const std::string &key : keys) {
            w->DiaryTable->Append();
            w->DiaryTableDATE->SetAsString(key);
            w->DiaryTableENTRY->SetAsString("{\\rtf1 entry " + key + "}");
            w->DiaryTable->Post();
        }
        w->FindDateRecord();
    }
    void remove(const std::string &key)
    {
        ASSERT_TRUE(w->DiaryXTable->Seek(key)) << key;
        w->DiaryTable->Delete();
        w->FindDateRecord();
    }
    void goTo(int year, int month, int day)
    {
        w->CurrentDate = EncodeDate(year, month, day);
        w->FindDateRecord();
    }
    QString dateLine() const { return w->DateLabel->text(); }
};

} // namespace

TEST_F(DiaryStoreTest, FirstStartCreatesTableMemoAndIndexAndShowsToday)
{
    open();
    EXPECT_EQ(w->CurrentDate, Date());
    EXPECT_EQ(dateLine(), longDate(Date()));
    EXPECT_FALSE(w->RecordFound);
    EXPECT_EQ(w->DiaryXTable->IndexOrd(), 1);
    EXPECT_TRUE(w->XTableEnv1->Deleted());
    EXPECT_EQ(xt_SysProp(1009, -1), 0);
    closeWindow();

    EXPECT_TRUE(fs::exists(dir / "QUILLNK.DBF"));
    EXPECT_TRUE(fs::exists(dir / "QUILLNK.CDX"));
    EXPECT_TRUE(fs::exists(dir / "QUILLNK.FPT"));

    qn::test::CommandResult info = run(qntable() + " info " + quoted(dir / "QUILLNK.DBF"));
    ASSERT_EQ(info.status, 0) << info.out;
    EXPECT_NE(info.out.find("records 0\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("field DATE C 8\nfield ENTRY M 10\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("tag DATE \"date\"\n"), std::string::npos) << info.out;
    qn::test::CommandResult check = run(qntable() + " check " + quoted(dir / "QUILLNK.DBF"));
    EXPECT_EQ(check.status, 0) << check.out;

    fs::path reader = qn::test::peerScript("dbf_dump.py");
    if (!fs::exists(reader) || !qn::test::havePythonReader()) {
        std::printf("note: the independent DBF reader is not available; skipped that check\n");
        return;
    }
    qn::test::CommandResult dump =
        run(qn::test::peerPython() + " " + quoted(reader) + " " + quoted(dir / "QUILLNK.DBF"));
    ASSERT_EQ(dump.status, 0) << dump.out;
    EXPECT_NE(dump.out.find("records=0"), std::string::npos) << dump.out;
    EXPECT_NE(dump.out.find("field DATE       C len=8 dec=0"), std::string::npos) << dump.out;
    EXPECT_NE(dump.out.find("field ENTRY      M len=10 dec=0"), std::string::npos) << dump.out;
}

TEST_F(DiaryStoreTest, TheWindowStartsTheEngineAndEndsItWhenItCloses)
{
    xt_ErrorLevel(5);
    open();
    EXPECT_EQ(xt_ErrorLevel(1), 1) << "the window sets the engine's error level";

    // Another table the engine holds beside the diary.
    const std::string other = (dir / "OTHER.DBF").string();
    ASSERT_NE(xt_CreateNew(other.c_str(), "OTHER", 2, 1), 0);
    ASSERT_EQ(xt_CreateField("NAME", "C", 10, 0), 0);
    ASSERT_NE(xt_CreateExec(), 0);
    const int16_t area = xt_WorkArea("OTHER");
    ASSERT_NE(area, 0);

    closeWindow();
    xt_Select(area);
    EXPECT_EQ(xt_SysProp(65002, 0), 0) << "a table was left open at the end";
    xt_CloseAll();
}

TEST_F(DiaryStoreTest, FirstAndLastOnAnEmptyTableLandOnToday)
{
    open();
    goTo(2020, 5, 5);
    w->FirstButtonClick();
    EXPECT_EQ(w->CurrentDate, Date());
    EXPECT_EQ(dateLine(), longDate(Date()));
    goTo(2020, 5, 5);
    w->LastButtonClick();
    EXPECT_EQ(w->CurrentDate, Date());
    EXPECT_FALSE(w->RecordFound);
}

TEST_F(DiaryStoreTest, FirstAndLastJumpToTheOldestAndNewestEntry)
{
    open();
    add({"20250304", "20190101", "20301231", "20210615"});
    remove("20301231"); // a deleted record is no entry
    goTo(2024, 1, 1);
    w->LastButtonClick();
    EXPECT_EQ(w->CurrentDate, EncodeDate(2025, 3, 4));
    EXPECT_TRUE(w->RecordFound);
    EXPECT_EQ(dateLine(), "Tuesday, March 4, 2025");
    w->FirstButtonClick();
    EXPECT_EQ(w->CurrentDate, EncodeDate(2019, 1, 1));
    EXPECT_TRUE(w->RecordFound);
    EXPECT_EQ(w->FirstDiaryRecord(), EncodeDate(2019, 1, 1));
    EXPECT_EQ(w->LastDiaryRecord(), EncodeDate(2025, 3, 4));
    EXPECT_EQ(w->CurrentDate, EncodeDate(2019, 1, 1)); // left alone by those two
}

TEST_F(DiaryStoreTest, NextAndPriorMoveByCalendarDaysAndFindRecords)
{
    open();
    add({"20270101", "20240229"});
    goTo(2026, 12, 31);
    EXPECT_FALSE(w->RecordFound);
    w->NextButtonClick();
    EXPECT_EQ(dateLine(), "Friday, January 1, 2027");
    EXPECT_TRUE(w->RecordFound);
    EXPECT_EQ(w->DiaryTableDATE->AsString(), "20270101");

    goTo(2024, 3, 1);
    w->PriorButtonClick();
    EXPECT_EQ(dateLine(), "Thursday, February 29, 2024");
    EXPECT_TRUE(w->RecordFound);
    goTo(2023, 3, 1);
    w->PriorButtonClick();
    EXPECT_EQ(dateLine(), "Tuesday, February 28, 2023");
    EXPECT_FALSE(w->RecordFound);

    // The keys of the window reach the same moves, typed into the editor.
    QApplication::setActiveWindow(w.get());
    w->QnRichText1->setFocus();
    goTo(2026, 12, 31);
    QTest::keyClick(w->QnRichText1, Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(dateLine(), "Friday, January 1, 2027");
    EXPECT_TRUE(w->RecordFound);
    QTest::keyClick(w->QnRichText1, Qt::Key_PageUp, Qt::ControlModifier);
    EXPECT_EQ(dateLine(), "Thursday, December 31, 2026");
    EXPECT_FALSE(w->RecordFound);
}

TEST_F(DiaryStoreTest, MarkEntryDaysListsExactlyTheDaysHoldingRecords)
{
    open();
    add({"20240201", "20240214", "20240229", "20240301", "20240131", "20230228", "20240215"});
    remove("20240215");
    QStringList list{"stale"};
    w->MarkEntryDays(list, 2024, 2);
    EXPECT_EQ(list, QStringList({"1", "14", "29"}));
    w->MarkEntryDays(list, 2023, 2);
    EXPECT_EQ(list, QStringList({"28"}));
    w->MarkEntryDays(list, 2024, 1);
    EXPECT_EQ(list, QStringList({"31"}));
    w->MarkEntryDays(list, 2024, 4);
    EXPECT_TRUE(list.isEmpty());
}

TEST_F(DiaryStoreTest, AMissingIndexIsWrittenAgainAtTheNextStart)
{
    open();
    add({"20240105", "20240101", "20240103"});
    closeWindow();
    ASSERT_TRUE(fs::remove(dir / "QUILLNK.CDX"));

    qn::test::NotificationCapture capture;
    open();
    EXPECT_TRUE(capture.informations.empty());
    EXPECT_TRUE(fs::exists(dir / "QUILLNK.CDX"));
    goTo(2024, 1, 3);
    EXPECT_TRUE(w->RecordFound);
    w->FirstButtonClick();
    EXPECT_EQ(w->CurrentDate, EncodeDate(2024, 1, 1));
    closeWindow();
    qn::test::CommandResult list =
        run(qntable() + " list " + quoted(dir / "QUILLNK.DBF") + " --tag DATE");
    ASSERT_EQ(list.status, 0) << list.out;
    EXPECT_EQ(list.out.substr(0, 8), "20240101") << list.out;
    EXPECT_NE(list.out.find("20240103"), std::string::npos);
    EXPECT_LT(list.out.find("20240103"), list.out.find("20240105"));
    if (auto keys = peerIndexKeys(dir / "QUILLNK.CDX")) {
        EXPECT_EQ(*keys, "20240101|2\n20240103|3\n20240105|1\n");
    }
}

TEST_F(DiaryStoreTest, AnIndexWithoutTheDateTagGetsItAtStart)
{
    open();
    add({"20240102", "20240101"});
    closeWindow();
    ASSERT_TRUE(fs::remove(dir / "QUILLNK.CDX"));
    qn::test::CommandResult other =
        run(qntable() + " index " + quoted(dir / "QUILLNK.DBF") + " OTHER \"upper(date)\"");
    ASSERT_EQ(other.status, 0) << other.out;

    open();
    EXPECT_GT(w->DiaryXTable->TagArea("DATE"), 0);
    w->FirstButtonClick();
    EXPECT_EQ(w->CurrentDate, EncodeDate(2024, 1, 1));
    EXPECT_TRUE(w->RecordFound);
}

// Another program's tag that sorts after DATE, with other keys: the index
// file counts DATE first, the table counts it after that tag once the
// program has added it. Every positioning must still use DATE.
TEST_F(DiaryStoreTest, AForeignTagAfterDateNeverTakesItsPlace)
{
    open();
    add({"20231231", "20240102", "20240101"});
    closeWindow();
    ASSERT_TRUE(fs::remove(dir / "QUILLNK.CDX"));
    // Keys mmddyyyy: month-day order, so the first record is 1 January.
    qn::test::CommandResult other = run(qntable() + " index " + quoted(dir / "QUILLNK.DBF") +
                                        " MONTHDAY \"right(date,4)+left(date,4)\"");
    ASSERT_EQ(other.status, 0) << other.out;

    for (int start = 0; start < 2; ++start) {
        SCOPED_TRACE(start == 0 ? "start that adds DATE" : "start with both tags");
        open();
        EXPECT_EQ(w->DiaryTable->IndexFieldNames(), "DATE");
        goTo(2024, 1, 2);
        EXPECT_TRUE(w->RecordFound);
        EXPECT_EQ(w->DiaryTableDATE->AsString(), "20240102");
        w->FirstButtonClick();
        EXPECT_EQ(w->CurrentDate, EncodeDate(2023, 12, 31));
        EXPECT_TRUE(w->RecordFound);
        w->LastButtonClick();
        EXPECT_EQ(w->CurrentDate, EncodeDate(2024, 1, 2));
        EXPECT_TRUE(w->RecordFound);
        QStringList days;
        w->MarkEntryDays(days, 2024, 1);
        EXPECT_EQ(days, QStringList({"1", "2"}));
        closeWindow();
    }
}

TEST_F(DiaryStoreTest, RebuildRemovesDeletedRecordsAndStaysOnTheSameDate)
{
    open();
    add({"20240101", "20240102", "20240103", "20240104"});
    remove("20240102");
    remove("20240104");
    goTo(2024, 1, 3);

    qn::test::NotificationCapture capture;
    w->RebuildIndexes1Click();
    // Whatever became of the run, the window is where it was and finds it.
    EXPECT_EQ(w->CurrentDate, EncodeDate(2024, 1, 3));
    EXPECT_TRUE(w->RecordFound);
    if (!capture.informations.empty() &&
        capture.informations[0].find("not available") != std::string::npos) {
        GTEST_SKIP() << "the engine cannot pack yet: " << capture.informations[0];
    }
    EXPECT_TRUE(capture.informations.empty()) << capture.informations[0];
    EXPECT_EQ(w->CurrentDate, EncodeDate(2024, 1, 3));
    EXPECT_EQ(dateLine(), "Wednesday, January 3, 2024");
    EXPECT_TRUE(w->RecordFound);
    EXPECT_EQ(w->DiaryTableDATE->AsString(), "20240103");
    EXPECT_TRUE(w->XTableEnv1->Deleted());
    EXPECT_EQ(w->DiaryXTable->IndexOrd(), 1);
    closeWindow();

    qn::test::CommandResult list =
        run(qntable() + " list " + quoted(dir / "QUILLNK.DBF") + " --deleted");
    ASSERT_EQ(list.status, 0) << list.out;
    EXPECT_EQ(list.out.find('*'), std::string::npos) << list.out;
    EXPECT_EQ(list.out.find("20240102"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("20240101"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("20240103"), std::string::npos) << list.out;
    qn::test::CommandResult check = run(qntable() + " check " + quoted(dir / "QUILLNK.DBF"));
    EXPECT_EQ(check.status, 0) << check.out;
    if (auto keys = peerIndexKeys(dir / "QUILLNK.CDX")) {
        EXPECT_EQ(*keys, "20240101|1\n20240103|2\n");
    }
}

TEST_F(DiaryStoreTest, ADiaryHeldByAnotherProcessIsReportedAndLeftAlone)
{
    open();
    add({"20240101"});
    closeWindow();
    const fs::path table = dir / "QUILLNK.DBF";
    const std::string before = qn::test::readFile(table);
    const std::string indexBefore = qn::test::readFile(dir / "QUILLNK.CDX");
    auto fileNames = [&] {
        std::vector<std::string> names;
        for (const auto &entry : fs::directory_iterator(dir.path()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    // The tables, the window's placement, the diary's lock file and the day's
    // backup from the close above.
    const std::vector<std::string> namesBefore = fileNames();
    EXPECT_EQ(namesBefore.size(), 6u);

    std::string exe = (qn::test::binaryDir() / "tests" / "diary_hold_probe").string();
    std::string path = table.string();
    char *argv[] = {exe.data(), path.data(), nullptr};
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    pid_t holder;
    ASSERT_EQ(posix_spawn(&holder, argv[0], &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    FILE *out = fdopen(fds[0], "r");
    char line[16] = {};
    ASSERT_TRUE(fgets(line, sizeof line, out));
    EXPECT_STREQ(line, "held\n");

    {
        qn::test::NotificationCapture capture;
        TMainScreen blocked(dir.path().string());
        EXPECT_TRUE(blocked.StartFailed());
        ASSERT_EQ(capture.informations.size(), 1u);
        EXPECT_TRUE(capture.informations[0].find("in use by another Quillnook") !=
                    std::string::npos)
            << capture.informations[0];
        EXPECT_FALSE(blocked.DiaryTable->Active());
    }
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    fclose(out);

    EXPECT_EQ(qn::test::readFile(table), before);
    EXPECT_EQ(qn::test::readFile(dir / "QUILLNK.CDX"), indexBefore);
    EXPECT_EQ(fileNames(), namesBefore);

    // Once it has let go, the diary opens as before.
    open();
    goTo(2024, 1, 1);
    EXPECT_TRUE(w->RecordFound);
}

TEST_F(DiaryStoreTest, AFolderThatCannotHoldADiaryIsReportedAndNothingIsCreated)
{
    // Read-only for everyone; the probe runs as an ordinary user.
    fs::permissions(dir.path(),
                    fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                        fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec,
                    fs::perm_options::replace);
    qn::test::CommandResult probe = run(
        quoted(qn::test::binaryDir() / "tests" / "diary_open_probe") + " " + quoted(dir.path()));
    fs::permissions(dir.path(), fs::perms::owner_all, fs::perm_options::replace);
    if (probe.status == 4)
        GTEST_SKIP() << "could not run the probe as an ordinary user";
    ASSERT_EQ(probe.status, 0) << probe.out;
    EXPECT_NE(probe.out.find("is not writable.\nfailed\n"), std::string::npos) << probe.out;
    EXPECT_EQ(probe.out.find("in use"), std::string::npos) << probe.out;
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST_F(DiaryStoreTest, ADamagedTableIsReportedWithTheEnginesReasonAndKept)
{
    const std::string junk(300, 'x');
    qn::test::writeFile(dir / "QUILLNK.DBF", junk);
    qn::test::NotificationCapture capture;
    TMainScreen blocked(dir.path().string());
    EXPECT_TRUE(blocked.StartFailed());
    ASSERT_EQ(capture.informations.size(), 1u);
    EXPECT_TRUE(capture.informations[0].rfind("The diary in ", 0) == 0) << capture.informations[0];
    EXPECT_EQ(capture.informations[0].find("in use"), std::string::npos)
        << "the window's own lock is no other program's";
    EXPECT_EQ(qn::test::readFile(dir / "QUILLNK.DBF"), junk);
    EXPECT_FALSE(fs::exists(dir / "QUILLNK.CDX"));
}

TEST_F(DiaryStoreTest, TheCalendarLeavesTheTableOnTheDateOnScreen)
{
    open();
    add({"20240110", "20240120", "20240205"});
    goTo(2024, 1, 10);
    QStringList marked;
    int answer = mrCancel;
    w->RunDateSelector = [&](TMainScreen &main, TDateTime &date) {
        EXPECT_EQ(date, EncodeDate(2024, 1, 10));
        // Browsing months moves the record pointer.
        main.MarkEntryDays(marked, 2024, 2);
        date = EncodeDate(2024, 1, 20);
        return answer;
    };
    w->CalendarButtonClick();
    EXPECT_EQ(marked, QStringList({"5"}));
    EXPECT_EQ(w->CurrentDate, EncodeDate(2024, 1, 10));
    EXPECT_TRUE(w->RecordFound);
    EXPECT_EQ(w->DiaryTableDATE->AsString(), "20240110");

    answer = mrOk;
    w->CalendarButtonClick();
    EXPECT_EQ(w->CurrentDate, EncodeDate(2024, 1, 20));
    EXPECT_EQ(dateLine(), "Saturday, January 20, 2024");
    EXPECT_EQ(w->DiaryTableDATE->AsString(), "20240120");
}

// A large diary, most of it kept, every third record deleted, and the rebuild
// dialog caught in the middle of its run.
TEST_F(DiaryStoreTest, RebuildOfALargeDiaryShowsItsProgress)
{
    open();
    closeWindow();
    // Written straight through the engine without an index; the next start
    // writes the index as it does for any diary that lost it.
    ASSERT_TRUE(fs::remove(dir / "QUILLNK.CDX"));
    const int records = 40000;
    const TDateTime first = EncodeDate(1920, 1, 1);
    {
        const std::string path = (dir / "QUILLNK.DBF").string();
        ASSERT_NE(xt_Use(path.c_str(), "BIG", 2, 2), 0);
        for (int i = 0; i < records; ++i) {
            const std::string key = DateKey(first + i);
            ASSERT_EQ(xt_AppendBlank(), 0);
            ASSERT_EQ(xt_Replace("DATE", XT_REPLACE_TEXT, key.c_str()), 0);
            if (i % 3 == 1) {
                ASSERT_EQ(xt_Delete(), 0);
            }
        }
        ASSERT_EQ(xt_Close(), 0);
    }
    open();
    w->resize(610, 460);
    goTo(1990, 6, 15);
    const bool keptBefore = w->RecordFound;

    // Reports reach the dialog while the engine works; events are let
    // through there, so a timer sees the dialog in mid-run.
    QImage shot;
    QString phase;
    int gauge = -1;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<TRebuildInd *>(QApplication::activeModalWidget());
        if (!dialog || !shot.isNull() || !dialog->Gauge1->isVisible())
            return;
        if (dialog->Progress().CurrentPhase() != TRebuildProgress::Phase::Index ||
            dialog->Gauge1->value() < 20)
            return;
        QImage picture = w->grab().toImage();
        QImage box = dialog->grab().toImage();
        QPainter painter(&picture);
        QPoint at((picture.width() - box.width()) / 2, (picture.height() - box.height()) / 2);
        painter.drawImage(at, box);
        painter.setPen(Qt::darkGray);
        painter.drawRect(QRect(at, box.size()).adjusted(0, 0, -1, -1));
        painter.end();
        shot = picture;
        phase = dialog->WhatAmIDoing->text();
        gauge = dialog->Gauge1->value();
    });
    watch.start(0);
    qn::test::NotificationCapture capture;
    w->RebuildIndexes1Click();
    watch.stop();
    EXPECT_TRUE(capture.informations.empty());

    EXPECT_EQ(w->CurrentDate, EncodeDate(1990, 6, 15));
    EXPECT_EQ(w->RecordFound, keptBefore);
    ASSERT_FALSE(shot.isNull()) << "the dialog was never seen during the run";
    EXPECT_EQ(phase, "Rebuilding indexes");
    EXPECT_GE(gauge, 20);
    fs::create_directories(qn::test::binaryDir() / "screenshots");
    EXPECT_TRUE(shot.save(QString::fromStdString(
        (qn::test::binaryDir() / "screenshots" / "rebuild_dialog.png").string())));
    closeWindow();

    qn::test::CommandResult info = run(qntable() + " info " + quoted(dir / "QUILLNK.DBF"));
    EXPECT_NE(info.out.find("records " + std::to_string(records - records / 3) + "\n"),
              std::string::npos)
        << info.out;
}

// The index is derived from the entries: one that lost a key (edited, or cut
// short) is rebuilt when the diary opens, the user is told, and every date
// is found again.
TEST_F(DiaryStoreTest, AnIndexThatLostKeysIsRebuiltAtStartAndFindsEveryDate)
{
    const std::vector<std::string> days{"20240105", "20240101", "20240103", "20240110"};
    open();
    add(days);
    closeWindow();
    const std::string whole = qn::test::readFile(dir / "QUILLNK.CDX");
    for (const char *damage : {"a key removed", "the file cut short"}) {
        SCOPED_TRACE(damage);
        qn::test::writeFile(dir / "QUILLNK.CDX", whole);
        if (std::string(damage) == "a key removed") {
            auto index = xbase::CdxIndex::open(dir / "QUILLNK.CDX", true);
            ASSERT_TRUE(index->findTag("DATE")->remove(xbase::CdxEntry{"20240103", 3}));
            index->flush();
        } else {
            qn::test::writeFile(dir / "QUILLNK.CDX", whole.substr(0, whole.size() - 512));
        }
        qn::test::NotificationCapture capture;
        open();
        ASSERT_EQ(capture.informations.size(), 1u);
        EXPECT_NE(capture.informations[0].find("was rebuilt"), std::string::npos)
            << capture.informations[0];
        for (const std::string &day : days) {
            w->CurrentDate = STOD(day);
            w->FindDateRecord();
            EXPECT_TRUE(w->RecordFound) << day;
        }
        EXPECT_TRUE(w->DiaryXTable->CheckIndexes().empty());
        closeWindow();
        qn::test::CommandResult check = run(qntable() + " check " + quoted(dir / "QUILLNK.DBF"));
        EXPECT_EQ(check.status, 0) << check.out;
    }
}

// qntable tells of a damaged index, still lists and describes the table,
// reports an unfinished save without touching it and undoes it on request.
TEST_F(DiaryStoreTest, QntableWorksAroundADamagedIndexAndRecoversUnfinishedSaves)
{
    open();
    add({"20240105", "20240101"});
    closeWindow();
    const std::string cdx = qn::test::readFile(dir / "QUILLNK.CDX");
    qn::test::writeFile(dir / "QUILLNK.CDX", cdx.substr(0, 700));
    qn::test::CommandResult info = run(qntable() + " info " + quoted(dir / "QUILLNK.DBF"));
    EXPECT_EQ(info.status, 0) << info.out;
    EXPECT_NE(info.out.find("records 2\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("index unreadable"), std::string::npos) << info.out;
    qn::test::CommandResult list = run(qntable() + " list " + quoted(dir / "QUILLNK.DBF"));
    EXPECT_EQ(list.status, 0) << list.out;
    EXPECT_EQ(list.out.substr(0, 8), "20240105") << list.out;
    qn::test::CommandResult check = run(qntable() + " check " + quoted(dir / "QUILLNK.DBF"));
    EXPECT_EQ(check.status, 1) << check.out;
    qn::test::writeFile(dir / "QUILLNK.CDX", cdx);

    // A save killed between its journal and its commit point.
    qn::test::CommandResult killed =
        run("strace -f -o /dev/null -e inject=pwrite64:signal=KILL:when=4 " + qntable() +
            " replace " + quoted(dir / "QUILLNK.DBF") + " 1 DATE=20991231");
    if (killed.out.find("strace") != std::string::npos && killed.status == 127)
        GTEST_SKIP() << "strace is not installed";
    check = run(qntable() + " check " + quoted(dir / "QUILLNK.DBF"));
    if (check.status == 1 && check.out.find("unfinished save") != std::string::npos) {
        qn::test::CommandResult recover =
            run(qntable() + " recover " + quoted(dir / "QUILLNK.DBF"));
        EXPECT_EQ(recover.status, 0) << recover.out;
        EXPECT_NE(recover.out.find("undone"), std::string::npos) << recover.out;
    }
    check = run(qntable() + " check " + quoted(dir / "QUILLNK.DBF"));
    EXPECT_EQ(check.status, 0) << check.out;
    list = run(qntable() + " list " + quoted(dir / "QUILLNK.DBF"));
    EXPECT_EQ(list.out.substr(0, 8), "20240105") << list.out;
}
