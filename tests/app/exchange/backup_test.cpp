// Backups of the diary's files: one a day, the newest kept, restores that
// keep what they replace, and a backup killed half way never counted.
#include "exchange_test_util.h"

#include "app/exchange/diary_backup.h"
#include "platform/profile.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

namespace qn::test {
namespace {

using namespace qn::exchange;
namespace fs = std::filesystem;

std::map<std::string, std::string> someEntries(int count, const std::string &tag = {})
{
    std::map<std::string, std::string> entries;
    for (int n = 1; n <= count; ++n)
        entries[dayKey(n)] = "{\\rtf1 entry " + std::to_string(n) + tag + "\\par}";
    return entries;
}

std::string diaryBytes(const fs::path &folder)
{
    std::string bytes;
    for (const char *name : {"QUILLNK.DBF", "QUILLNK.FPT", "QUILLNK.CDX"})
        bytes += readFile(folder / name);
    return bytes;
}

std::vector<std::string> names(const std::vector<BackupInfo> &list)
{
    std::vector<std::string> out;
    for (const BackupInfo &b : list)
        out.push_back(b.Name);
    return out;
}

bool anyPartial(const fs::path &diary)
{
    std::error_code ec;
    for (fs::directory_iterator it(BackupsFolder(diary), ec), end; !ec && it != end;
         it.increment(ec))
        if (it->path().filename().string().rfind(".partial-", 0) == 0)
            return true;
    return false;
}

TEST(DiaryBackup, OneADayTheNewestKeptAndTheSettingObeyed)
{
    TempDir dir;
    makeDiary(dir / "diary", someEntries(4));
    const TDateTime day1 = EncodeDate(2026, 1, 1);
    ASSERT_TRUE(MakeDailyBackup(dir / "diary", day1 + 0.5, 4));
    EXPECT_FALSE(MakeDailyBackup(dir / "diary", day1 + 0.9, 4)) << "at most one a day";
    std::vector<BackupInfo> list = ListBackups(dir / "diary");
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].Name, "2026-01-01");
    EXPECT_EQ(list[0].Made, "2026-01-01 12:00:00");
    EXPECT_EQ(list[0].Entries, 4);
    EXPECT_EQ(diaryBytes(list[0].Folder), diaryBytes(dir / "diary"));

    // Eleven days: the eleventh drops the oldest.
    for (int d = 1; d < 11; ++d)
        ASSERT_TRUE(MakeDailyBackup(dir / "diary", day1 + d + 0.5, 4));
    list = ListBackups(dir / "diary");
    ASSERT_EQ(list.size(), 10u);
    EXPECT_EQ(list.front().Name, "2026-01-11");
    EXPECT_EQ(list.back().Name, "2026-01-02");

    // QN.INI keeps three; 0 turns them off.
    TProfileFile(dir / "diary/QN.INI").WriteInteger("Backups", "Keep", 3);
    ASSERT_TRUE(MakeDailyBackup(dir / "diary", day1 + 20, 4));
    EXPECT_EQ(names(ListBackups(dir / "diary")),
              (std::vector<std::string>{"2026-01-21", "2026-01-11", "2026-01-10"}));
    EXPECT_FALSE(fs::exists(dir / "diary/Backups/2026-01-21/QN.INI")) << "it holds the password";
    TProfileFile(dir / "diary/QN.INI").WriteInteger("Backups", "Keep", 0);
    EXPECT_FALSE(MakeDailyBackup(dir / "diary", day1 + 21, 4));
    EXPECT_EQ(ListBackups(dir / "diary").size(), 3u);
}

TEST(DiaryBackup, RestoreBringsBackTheDayAndKeepsTheReplacedFiles)
{
    TempDir dir;
    makeDiary(dir / "diary", someEntries(5));
    encryptDiary(dir / "diary", "pw");
    BackupInfo saved = MakeBackup(dir / "diary", "2026-03-01", EncodeDate(2026, 3, 1), 5);
    // An encrypted diary's backup stays encrypted.
    EXPECT_THROW(diaryEntries(saved.Folder), DiaryOpenError);
    EXPECT_EQ(diaryEntries(saved.Folder, "pw").size(), 5u);

    {
        DiaryFolder diary(dir / "diary", "pw", DiaryFolder::Write);
        diary.Records().Store(dayKey(3), "{\\rtf1 rewritten\\par}");
        diary.Records().Store(dayKey(9), "{\\rtf1 a new day\\par}");
    }
    const std::string changed = diaryBytes(dir / "diary");
    BackupInfo before = RestoreBackup(dir / "diary", saved, EncodeDate(2026, 3, 2) + 0.25, 6);
    EXPECT_EQ(before.Name, "2026-03-02-060000-before-restore");
    EXPECT_EQ(before.Entries, 6);
    EXPECT_EQ(diaryBytes(before.Folder), changed);

    std::map<std::string, std::string> restored = diaryEntries(dir / "diary", "pw");
    ASSERT_EQ(restored.size(), 5u);
    EXPECT_EQ(paragraphsOf(restored.at(dayKey(3)))[0], "entry 3");
    EXPECT_EQ(paragraphsOf(diaryEntries(before.Folder, "pw").at(dayKey(3)))[0], "rewritten");
    EXPECT_EQ(names(ListBackups(dir / "diary")),
              (std::vector<std::string>{before.Name, saved.Name}));
}

TEST(DiaryBackup, ABackupInUseOrIncompleteIsRefused)
{
    TempDir dir;
    makeDiary(dir / "diary", someEntries(2));
    {
        DiaryFolder open(dir / "diary", "", DiaryFolder::Write);
        EXPECT_THROW(MakeBackup(dir / "diary", "x", EncodeDate(2026, 1, 1), 2), std::runtime_error);
    }
    BackupInfo b = MakeBackup(dir / "diary", "x", EncodeDate(2026, 1, 1), 2);
    fs::remove(b.Folder / "QUILLNK.FPT");
    EXPECT_TRUE(ListBackups(dir / "diary").empty()) << "a backup missing a file is none";
    EXPECT_THROW(RestoreBackup(dir / "diary", b, EncodeDate(2026, 1, 2), 2), std::runtime_error);
    EXPECT_EQ(diaryEntries(dir / "diary").size(), 2u);
}

// Runs the probe; answers its pid and the line it printed first.
pid_t startProbe(const fs::path &diary, long stopAt, std::string &line)
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
        ::execl(QN_BACKUP_PROBE, QN_BACKUP_PROBE, diary.c_str(), stop.c_str(), nullptr);
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

TEST(DiaryBackup, KillingTheProgramDuringABackupLeavesTheDiaryAndNoHalfBackup)
{
    TempDir dir;
    const fs::path diary = dir / "diary";
    const std::map<std::string, std::string> entries = someEntries(200, std::string(300, 'x'));
    makeDiary(diary, entries);
    const std::string files = diaryBytes(diary);

    // Once through, to count the operations a backup makes.
    std::string line;
    pid_t pid = startProbe(diary, -1, line);
    ASSERT_GT(pid, 0);
    int status = 0;
    ::waitpid(pid, &status, 0);
    long total = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "done %ld", &total), 1) << line;
    ASSERT_GT(total, 8);
    fs::remove_all(BackupsFolder(diary));

    for (long stop = 1; stop <= total; ++stop) {
        SCOPED_TRACE("killed at operation " + std::to_string(stop));
        pid = startProbe(diary, stop, line);
        ASSERT_GT(pid, 0);
        ASSERT_EQ(line, "stopped");
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);

        // The diary is as it was; a backup listed is a whole one.
        EXPECT_EQ(diaryBytes(diary), files);
        std::vector<BackupInfo> list = ListBackups(diary);
        ASSERT_LE(list.size(), 1u);
        if (!list.empty()) {
            EXPECT_EQ(diaryBytes(list[0].Folder), files);
        }
        // The next close makes the day's backup (unless the killed one had
        // finished it) and clears what the killed one left.
        MakeDailyBackup(diary, EncodeDate(2026, 12, 7) + 0.75, 200);
        list = ListBackups(diary);
        ASSERT_EQ(list.size(), 1u);
        EXPECT_EQ(diaryBytes(list[0].Folder), files);
        EXPECT_FALSE(anyPartial(diary));
        fs::remove_all(BackupsFolder(diary));
    }
    std::map<std::string, std::string> stored = diaryEntries(diary);
    ASSERT_EQ(stored.size(), entries.size());
    for (const auto &[key, rtf] : entries)
        EXPECT_EQ(paragraphsOf(stored[key]), paragraphsOf(rtf)) << key;
}

} // namespace
} // namespace qn::test
