// Restores that neither a crafted backup nor a crash nor an I/O error can
// turn into a write outside the diary or a diary of mixed files; the diary's
// one lock against a second writer; backups that keep the password's promise.
#include "exchange_test_util.h"

#include "app/exchange/command_line.h"
#include "app/exchange/diary_backup.h"
#include "engine/xt.h"
#include "engine/xtable.h"
#include "platform/diary_lock.h"
#include "platform/password_scramble.h"
#include "platform/profile.h"
#include "table_shell.h"
#include "tests/support/command.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace qn::test {
namespace {

using namespace qn::exchange;
namespace fs = std::filesystem;

std::map<std::string, std::string> numberedEntries(int count, const std::string &tag)
{
    std::map<std::string, std::string> entries;
    for (int n = 1; n <= count; ++n)
        entries[dayKey(n)] = "{\\rtf1 " + tag + " " + std::to_string(n) + "\\par}";
    return entries;
}

// The first paragraph of every entry, by date key.
std::map<std::string, std::string> firstParagraphs(const std::map<std::string, std::string> &all)
{
    std::map<std::string, std::string> out;
    for (const auto &[key, rtf] : all)
        out[key] = paragraphsOf(rtf).at(0);
    return out;
}

int runCommandLine(const std::vector<std::string> &args, std::string &out, std::string &err)
{
    std::istringstream in;
    std::ostringstream o, e;
    const int status = RunDiaryCommand(args, in, o, e, fs::path(), false);
    out = o.str();
    err = e.str();
    return status;
}

// Files of the diary folder that a switch or a replacement leaves behind.
std::vector<std::string> leftovers(const fs::path &diary)
{
    std::vector<std::string> found;
    for (const auto &entry : fs::directory_iterator(diary)) {
        const std::string name = entry.path().filename().string();
        if (name == "Backups" || name == "QUILLNK.DBF" || name == "QUILLNK.FPT" ||
            name == "QUILLNK.CDX" || name == "QN.INI" || name == kDiaryLockName)
            continue;
        found.push_back(name);
    }
    return found;
}

TEST(BackupManifest, OnlyBareNamesOfTheDiarysOwnFilesAreObeyed)
{
    TempDir dir;
    const fs::path diary = dir / "home/diary";
    makeDiary(diary, numberedEntries(3, "kept"));
    const BackupInfo good = MakeBackup(diary, "good", EncodeDate(2026, 1, 1), 3);
    // Bytes a crafted backup would plant, where its names point.
    writeFile(diary / "planted.txt", "planted");
    writeFile(good.Folder / "notes.txt", "planted");
    fs::create_directory(good.Folder / "sub");
    writeFile(good.Folder / "sub/QUILLNK.FPT", "planted");
    const std::string absolute = (dir / "planted-absolute.txt").string();
    writeFile(absolute + ".src", "planted");
    const std::pair<std::string, std::string> crafted[] = {
        {"up", "QUILLNK.DBF|QUILLNK.FPT|../../planted.txt"},
        {"absolute", "QUILLNK.DBF|QUILLNK.FPT|" + absolute},
        {"path", "QUILLNK.DBF|sub/QUILLNK.FPT"},
        {"dots", "QUILLNK.DBF|.."},
        {"unknown", "QUILLNK.DBF|QUILLNK.FPT|notes.txt"},
        {"twice", "QUILLNK.DBF|QUILLNK.FPT|quillnk.fpt"},
        {"long", "QUILLNK.DBF|" + std::string(300, 'A')},
        {"notable", "QUILLNK.FPT|QUILLNK.CDX"},
        {"backslash", "QUILLNK.DBF|..\\QUILLNK.FPT"},
    };
    for (const auto &[name, files] : crafted) {
        SCOPED_TRACE(name);
        const fs::path folder = BackupsFolder(diary) / name;
        fs::copy(good.Folder, folder, fs::copy_options::recursive);
        writeFile(folder / kBackupManifest,
                  "[Backup]\r\nMade=2026-01-02 10:00:00\r\nEntries=3\r\nFiles=" + files + "\r\n");

        std::optional<BackupInfo> read = ReadBackup(folder);
        ASSERT_TRUE(read);
        EXPECT_NE(read->Problem.find("The backup " + name + " cannot be used"), std::string::npos)
            << read->Problem;
        // Restored by hand with the names it states: refused all the same.
        BackupInfo stated = *read;
        stated.Problem.clear();
        stated.Files = {"QUILLNK.DBF", "QUILLNK.FPT", "../../planted.txt"};
        EXPECT_THROW(RestoreBackup(diary, stated, EncodeDate(2026, 1, 3), 3), std::runtime_error);

        std::string out, err;
        EXPECT_EQ(runCommandLine({"restore", "--diary", diary.string(), name}, out, err), 2);
        EXPECT_NE(err.find("cannot be used"), std::string::npos) << err;
        EXPECT_NE(err.find("Nothing was restored"), std::string::npos) << err;
    }
    EXPECT_FALSE(fs::exists(dir / "planted.txt"));
    EXPECT_FALSE(fs::exists(absolute));
    EXPECT_FALSE(fs::exists(dir / "QUILLNK.FPT"));
    EXPECT_EQ(firstParagraphs(diaryEntries(diary)), firstParagraphs(numberedEntries(3, "kept")));

    // The list shows the good one; "backups" names every unusable one.
    std::vector<BackupInfo> usable = ListBackups(diary);
    ASSERT_EQ(usable.size(), 1u);
    EXPECT_EQ(usable[0].Name, "good");
    EXPECT_EQ(ListUnusableBackups(diary).size(), std::size(crafted));
    std::string out, err;
    EXPECT_EQ(runCommandLine({"backups", "--diary", diary.string()}, out, err), 0);
    EXPECT_NE(out.find("good"), std::string::npos);
    for (const auto &[name, files] : crafted)
        EXPECT_NE(err.find("The backup " + name + " cannot be used"), std::string::npos) << err;
}

TEST(BackupManifest, AFileOfTheBackupThatIsALinkMakesItUnusable)
{
    TempDir dir;
    const fs::path diary = dir / "diary";
    makeDiary(diary, numberedEntries(2, "kept"));
    const BackupInfo b = MakeBackup(diary, "linked", EncodeDate(2026, 1, 1), 2);
    writeFile(dir / "secret", "not a memo file");
    fs::remove(b.Folder / "QUILLNK.FPT");
    fs::create_symlink(dir / "secret", b.Folder / "QUILLNK.FPT");
    std::optional<BackupInfo> read = ReadBackup(b.Folder);
    ASSERT_TRUE(read);
    EXPECT_NE(read->Problem.find("QUILLNK.FPT is missing or not a plain file"), std::string::npos)
        << read->Problem;
    EXPECT_THROW(RestoreBackup(diary, b, EncodeDate(2026, 1, 2), 2), std::runtime_error);
    EXPECT_EQ(diaryEntries(diary).size(), 2u);
}

// The restore probe in a second process; answers its pid and first line.
pid_t startRestore(const fs::path &diary, long stopAt, bool fail, std::string &line)
{
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeEnds[1], STDOUT_FILENO);
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        const std::string stop = std::to_string(stopAt);
        ::execl(QN_BACKUP_PROBE, QN_BACKUP_PROBE, diary.c_str(), stop.c_str(), "restore", "saved",
                fail ? "fail" : nullptr, nullptr);
        ::_exit(127);
    }
    ::close(pipeEnds[1]);
    line.clear();
    char c;
    while (::read(pipeEnds[0], &c, 1) == 1 && c != '\n')
        line.push_back(c);
    ::close(pipeEnds[0]);
    return pid;
}

// A diary (state "now") with the backup "saved" of an earlier state ("then",
// fewer entries, packed since), kept aside so that each run starts from it.
struct RestoreScene {
    TempDir dir;
    fs::path diary = dir / "diary";
    fs::path pristine = dir / "pristine";
    std::map<std::string, std::string> then, now;

    RestoreScene()
    {
        then = numberedEntries(40, std::string(400, 't') + " then");
        makeDiary(pristine, then);
        MakeBackup(pristine, "saved", EncodeDate(2026, 12, 1), 40);
        now = numberedEntries(70, "now");
        {
            DiaryFolder d(pristine, "", DiaryFolder::Write);
            for (const auto &[key, rtf] : now)
                d.Records().Store(key, rtf);
        }
        // After a pack the backup's table read with today's memo file would
        // point past its end: a mixed diary cannot go unnoticed.
        pack(pristine);
        reset();
    }
    static void pack(const fs::path &folder)
    {
        std::ostringstream out, err;
        EXPECT_EQ(tools::runTableShell({"pack", (folder / "QUILLNK.DBF").string()}, out, err), 0)
            << err.str();
    }
    void reset()
    {
        fs::remove_all(diary);
        fs::copy(pristine, diary, fs::copy_options::recursive);
    }
    // After a stop: wholly the old or wholly the restored diary, a clean
    // check, nothing left over once it was opened. Answers which one.
    std::string settle()
    {
        std::map<std::string, std::string> entries;
        try {
            entries = firstParagraphs(diaryEntries(diary));
        } catch (const std::exception &error) {
            ADD_FAILURE() << "the diary does not open: " << error.what();
            return "broken";
        }
        std::ostringstream out, err;
        EXPECT_EQ(tools::runTableShell({"check", (diary / "QUILLNK.DBF").string()}, out, err), 0)
            << out.str() << err.str();
        EXPECT_EQ(leftovers(diary), std::vector<std::string>());
        if (entries == firstParagraphs(now))
            return "old";
        if (entries == firstParagraphs(then))
            return "restored";
        ADD_FAILURE() << "a diary of mixed files: " << entries.size() << " entries";
        return "mixed";
    }
};

TEST(DiaryRestore, KilledOrFailingAtEveryOperationLeavesTheOldOrTheRestoredDiary)
{
    RestoreScene scene;
    std::string line;
    pid_t pid = startRestore(scene.diary, -1, false, line);
    ASSERT_GT(pid, 0);
    ::waitpid(pid, nullptr, 0);
    long total = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "done %ld", &total), 1) << line;
    ASSERT_GT(total, 10);
    RecordProperty("operations", static_cast<int>(total));
    EXPECT_EQ(scene.settle(), "restored");
    // The before-restore backup holds the diary as it was.
    std::vector<BackupInfo> list = ListBackups(scene.diary);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(firstParagraphs(diaryEntries(list[0].Folder)), firstParagraphs(scene.now));

    int restored = 0, old = 0;
    for (const bool fail : {false, true})
        for (long stop = 1; stop <= total; ++stop) {
            SCOPED_TRACE((fail ? "I/O error at operation " : "killed at operation ") +
                         std::to_string(stop));
            scene.reset();
            pid = startRestore(scene.diary, stop, fail, line);
            ASSERT_GT(pid, 0);
            if (!fail) {
                ASSERT_EQ(line, "stopped");
                ::kill(pid, SIGKILL);
            } else {
                EXPECT_TRUE(line.rfind("failed", 0) == 0 || line.rfind("done", 0) == 0) << line;
            }
            ::waitpid(pid, nullptr, 0);
            const std::string state = scene.settle();
            (state == "restored" ? restored : old)++;
            if (fail && line.rfind("failed", 0) == 0 && state == "restored") {
                EXPECT_NE(line.find("injected"), std::string::npos) << line;
            }
            // The backup restored from is never harmed.
            std::vector<BackupInfo> kept = ListBackups(scene.diary);
            auto saved = std::find_if(kept.begin(), kept.end(),
                                      [](const BackupInfo &b) { return b.Name == "saved"; });
            ASSERT_NE(saved, kept.end());
            EXPECT_EQ(firstParagraphs(diaryEntries(saved->Folder)), firstParagraphs(scene.then));
        }
    RecordProperty("stopsLeavingTheRestoredDiary", restored);
    RecordProperty("stopsLeavingTheOldDiary", old);
    EXPECT_GT(restored, 0);
    EXPECT_GT(old, 0);
}

TEST(DiaryRestore, AnImportWhileARestoreRunsIsRefusedAndLosesNothing)
{
    RestoreScene scene;
    const fs::path source = scene.dir / "import";
    fs::create_directory(source);
    for (int n = 100; n < 103; ++n) {
        const std::string key = dayKey(n);
        writeFile(source /
                      (key.substr(0, 4) + "-" + key.substr(4, 2) + "-" + key.substr(6) + ".txt"),
                  "imported " + std::to_string(n) + "\n");
    }
    std::string line;
    pid_t pid = startRestore(scene.diary, -1, false, line);
    ::waitpid(pid, nullptr, 0);
    long total = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "done %ld", &total), 1) << line;
    // Early, in the middle (the before-restore backup, the copies) and in
    // the switch itself.
    for (long stop : {1L, total / 2, total - 3, total - 1}) {
        SCOPED_TRACE("restore stopped at operation " + std::to_string(stop));
        scene.reset();
        pid = startRestore(scene.diary, stop, false, line);
        ASSERT_EQ(line, "stopped");
        const CommandResult import = runCommand(shellQuote(QN_QUILLNOOK) + " import --diary " +
                                                shellQuote(scene.diary.string()) + " " +
                                                shellQuote(source.string()) + " 2>&1 </dev/null");
        EXPECT_EQ(import.status, 2) << import.out;
        EXPECT_NE(import.out.find("in use"), std::string::npos) << import.out;
        EXPECT_NE(import.out.find("close it first"), std::string::npos) << import.out;
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        const std::string state = scene.settle();
        EXPECT_TRUE(state == "old" || state == "restored") << state;
        // Once the restore has ended, the import goes through.
        const CommandResult again = runCommand(shellQuote(QN_QUILLNOOK) + " import --diary " +
                                               shellQuote(scene.diary.string()) + " " +
                                               shellQuote(source.string()) + " 2>&1 </dev/null");
        EXPECT_EQ(again.status, 0) << again.out;
        EXPECT_EQ(diaryEntries(scene.diary).count(dayKey(101)), 1u);
    }
}

TEST(DiaryLockCommands, TheTableToolLeavesAHeldDiaryAlone)
{
    TempDir dir;
    const fs::path diary = dir / "diary";
    makeDiary(diary, numberedEntries(3, "kept"));
    const std::string table = (diary / "QUILLNK.DBF").string();
    {
        DiaryLock held(diary);
        for (const std::vector<std::string> &command : {std::vector<std::string>{"pack", table},
                                                        {"decrypt", table},
                                                        {"check", table},
                                                        {"append", table, "DATE=20300101"}}) {
            std::ostringstream out, err;
            EXPECT_NE(tools::runTableShell(command, out, err), 0) << command[0];
            EXPECT_NE(err.str().find("in use"), std::string::npos) << command[0] << err.str();
        }
    }
    std::ostringstream out, err;
    EXPECT_EQ(tools::runTableShell({"check", table}, out, err), 0) << err.str();
    EXPECT_EQ(diaryEntries(diary).size(), 3u);
}

TEST(DiaryLockCommands, TwoImportsMakingTheSameNewDiaryNeverSeeAHalfMadeOne)
{
    TempDir dir;
    const fs::path a = dir / "a", b = dir / "b";
    fs::create_directory(a);
    fs::create_directory(b);
    writeFile(a / "2024-01-01.txt", "from a\n");
    writeFile(b / "2024-01-02.txt", "from b\n");
    const std::string q = shellQuote(QN_QUILLNOOK);
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const fs::path diary = dir / ("diary" + std::to_string(round));
        const std::string d = shellQuote(diary.string());
        const CommandResult both = runCommand(
            "(" + q + " import --diary " + d + " " + shellQuote(a.string()) + " </dev/null; echo " +
            "\"a=$?\") >" + shellQuote((dir / "a.out").string()) + " 2>&1 & (" + q +
            " import --diary " + d + " " + shellQuote(b.string()) + " </dev/null; echo " +
            "\"b=$?\") >" + shellQuote((dir / "b.out").string()) + " 2>&1 & wait");
        ASSERT_EQ(both.status, 0);
        size_t imported = 0;
        for (const char *side : {"a", "b"}) {
            const std::string out = readFile(dir / (std::string(side) + ".out"));
            EXPECT_EQ(out.find("damaged"), std::string::npos) << out;
            if (out.find(std::string(side) + "=0") != std::string::npos) {
                ++imported;
            } else {
                EXPECT_NE(out.find(std::string(side) + "=2"), std::string::npos) << out;
                EXPECT_NE(out.find("in use"), std::string::npos) << out;
            }
        }
        EXPECT_GE(imported, 1u);
        EXPECT_EQ(diaryEntries(diary).size(), imported);
    }
}

bool holdsText(const fs::path &file, const std::string &text)
{
    return readFile(file).find(text) != std::string::npos;
}

TEST(BackupPassword, BackupsHoldNoPasswordAndFollowTheDiarysKey)
{
    TempDir dir;
    const fs::path diary = dir / "diary";
    makeDiary(diary, numberedEntries(4, "secretword"));
    TProfileFile(diary / "QN.INI").WriteInteger("Backups", "Keep", 5);
    BackupInfo clear = MakeBackup(diary, "clear", EncodeDate(2026, 1, 1), 4);
    EXPECT_TRUE(holdsText(clear.Folder / "QUILLNK.FPT", "secretword"));
    // A backup of an earlier version, with QN.INI and its password.
    const fs::path legacy = BackupsFolder(diary) / "legacy";
    fs::copy(clear.Folder, legacy);
    fs::copy_file(diary / "QN.INI", legacy / "QN.INI");
    TProfileFile(legacy / "QN.INI").WriteString("Security", "Password", EncryptString("old"));
    writeFile(legacy / kBackupManifest, "[Backup]\r\nMade=2025-12-31 10:00:00\r\nEntries=4\r\n"
                                        "Files=QUILLNK.DBF|QUILLNK.FPT|QUILLNK.CDX|QN.INI\r\n");
    ASSERT_EQ(ListBackups(diary).size(), 2u);

    encryptDiary(diary, "pw");
    BackupInfo encrypted = MakeBackup(diary, "encrypted", EncodeDate(2026, 1, 2), 4);
    EXPECT_FALSE(fs::exists(encrypted.Folder / "QN.INI")) << "the password never goes along";
    EXPECT_EQ(encrypted.Files,
              (std::vector<std::string>{"QUILLNK.DBF", "QUILLNK.FPT", "QUILLNK.CDX"}));

    // The password set: every backup under it, the old copies of QN.INI gone.
    ASSERT_EQ(xt_SetKeyCost(64, 1, 1), 0);
    std::vector<std::pair<int, int>> steps;
    BackupKeyResult result = ChangeBackupKeys(
        diary, "", "pw", [&](int done, int total) { steps.emplace_back(done, total); });
    EXPECT_TRUE(result.LeftAlone.size() == 1 && result.LeftAlone[0].rfind("encrypted:", 0) == 0)
        << "the backup under \"pw\" is not opened by the old password";
    EXPECT_EQ(result.Changed, 2);
    EXPECT_EQ(steps.back(), std::make_pair(3, 3));
    for (const BackupInfo &b : ListBackups(diary)) {
        SCOPED_TRACE(b.Name);
        EXPECT_FALSE(holdsText(b.Folder / "QUILLNK.FPT", "secretword"));
        EXPECT_FALSE(fs::exists(b.Folder / "QN.INI"));
        EXPECT_EQ(firstParagraphs(diaryEntries(b.Folder, "pw")),
                  firstParagraphs(numberedEntries(4, "secretword")));
        EXPECT_THROW(diaryEntries(b.Folder, "other"), DiaryOpenError);
    }
    // Changed again, then removed: the backups follow, and open in clear.
    result = ChangeBackupKeys(diary, "pw", "new");
    EXPECT_EQ(result.Changed, 3);
    result = ChangeBackupKeys(diary, "new", "");
    EXPECT_EQ(result.Changed, 3);
    for (const BackupInfo &b : ListBackups(diary))
        EXPECT_EQ(diaryEntries(b.Folder).size(), 4u) << b.Name;
    xt_SetKeyCost(0, 0, 0);
    EXPECT_EQ(DeleteAllBackups(diary), 3);
    EXPECT_TRUE(ListBackups(diary).empty());
}

TEST(BackupPassword, ABackupInClearRestoredByTheCommandLineTakesTheDiarysPassword)
{
    TempDir dir;
    const fs::path diary = dir / "diary";
    makeDiary(diary, numberedEntries(3, "secretword"));
    MakeBackup(diary, "clear", EncodeDate(2026, 1, 1), 3);
    encryptDiary(diary, "pw");
    ASSERT_EQ(xt_SetKeyCost(64, 1, 1), 0);
    std::istringstream in("pw\n");
    std::ostringstream out, err;
    EXPECT_EQ(RunDiaryCommand({"restore", "--diary", diary.string(), "clear"}, in, out, err,
                              fs::path(), false),
              0)
        << err.str();
    xt_SetKeyCost(0, 0, 0);
    EXPECT_NE(out.str().find("now encrypted under the diary's password"), std::string::npos)
        << out.str();
    EXPECT_FALSE(holdsText(diary / "QUILLNK.FPT", "secretword"));
    EXPECT_EQ(diaryEntries(diary, "pw").size(), 3u);
    EXPECT_EQ(StoredPassword(diary), "pw");
}

TEST(BackupPassword, ARestoreKeepsTheDiarysPreferencesAndPassword)
{
    TempDir dir;
    const fs::path diary = dir / "diary";
    makeDiary(diary, numberedEntries(3, "entry"));
    encryptDiary(diary, "pw");
    BackupInfo saved = MakeBackup(diary, "saved", EncodeDate(2026, 1, 1), 3);
    TProfileFile(diary / "QN.INI").WriteString("Default Font", "Name", "Courier New");
    const std::string preferences = readFile(diary / "QN.INI");
    RestoreBackup(diary, saved, EncodeDate(2026, 1, 2), 3);
    EXPECT_EQ(readFile(diary / "QN.INI"), preferences);
    EXPECT_EQ(StoredPassword(diary), "pw");
    EXPECT_EQ(diaryEntries(diary, "pw").size(), 3u);
}

} // namespace
} // namespace qn::test
