// One diary changed on two computers: the copies sync programs leave beside
// it are found by their names only, merged date by date, and kept under
// Backups/; another diary's table is merged by the same rules.
#include "app/exchange/diary_backup.h"
#include "app/exchange/diary_merge.h"
#include "app/exchange/entry_document.h"
#include "engine/xt.h"
#include "exchange_test_util.h"
#include "tests/support/command.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace qn::test {
namespace {

namespace fs = std::filesystem;
using namespace qn::exchange;

// An entry of plain paragraphs.
std::string rtfOf(const std::vector<std::string> &paragraphs)
{
    std::string rtf = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 ";
    for (size_t i = 0; i < paragraphs.size(); ++i)
        rtf += (i ? "\\par " : "") + paragraphs[i];
    return rtf + "}";
}

std::vector<std::string> textOf(const std::string &rtf)
{
    std::vector<std::string> texts = paragraphsOf(rtf);
    while (!texts.empty() && texts.back().empty())
        texts.pop_back();
    return texts;
}

std::vector<std::string> joined(std::vector<std::string> a, const std::vector<std::string> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The entries as the diary stores them.
std::map<std::string, std::string> stored(const std::map<std::string, std::string> &entries)
{
    std::map<std::string, std::string> out;
    for (const auto &[key, rtf] : entries)
        out[key] = StoredEntryText(rtf);
    return out;
}

// Two sides of one diary after each computer changed it: the entries both
// had at the last sync, then what each side did.
struct TwoSides {
    std::map<std::string, std::string> diary, copy;
    TwoSides()
    {
        for (int n = 1; n <= 12; ++n)
            diary[dayKey(n)] = copy[dayKey(n)] = formattedEntryRtf(n);
        // Different dates: each side wrote a day of its own.
        diary[dayKey(20)] = rtfOf({"Only here, on the desktop."});
        copy[dayKey(21)] = rtfOf({"Only on the laptop."});
        copy[dayKey(22)] = formattedEntryRtf(22);
        // The same date: one side went on writing, in the last paragraph
        // and in a new one.
        diary[dayKey(30)] = rtfOf({"A walk by the river"});
        copy[dayKey(30)] = rtfOf({"A walk by the river in the rain.", "Tea afterwards."});
        diary[dayKey(31)] = rtfOf({"Read a book.", "Then slept."});
        copy[dayKey(31)] = rtfOf({"Read a book."});
        // Both wrote the same, and both wrote something else.
        diary[dayKey(32)] = copy[dayKey(32)] = rtfOf({"Same words on both."});
        diary[dayKey(33)] = rtfOf({"Desktop: a meeting."});
        copy[dayKey(33)] = rtfOf({"Laptop: a train journey.", "Arrived late."});
    }

    // Checks every entry of both sides in the merged diary.
    void checkMerged(const std::map<std::string, std::string> &merged) const
    {
        for (const auto &[key, rtf] : diary)
            if (!copy.count(key))
                EXPECT_EQ(merged.at(key), StoredEntryText(rtf)) << key << " was only in the diary";
        for (const auto &[key, rtf] : copy)
            if (!diary.count(key))
                EXPECT_EQ(textOf(merged.at(key)), textOf(rtf)) << key << " was only in the copy";
        for (int n = 1; n <= 12; ++n)
            EXPECT_EQ(merged.at(dayKey(n)), StoredEntryText(diary.at(dayKey(n))))
                << "equal texts are left alone";
        EXPECT_EQ(textOf(merged.at(dayKey(30))), textOf(copy.at(dayKey(30))));
        EXPECT_EQ(merged.at(dayKey(31)), StoredEntryText(diary.at(dayKey(31))));
        EXPECT_EQ(merged.at(dayKey(32)), StoredEntryText(diary.at(dayKey(32))));
        std::string error;
        auto both = ReadDocument(merged.at(dayKey(33)), SourceFormat::Rtf, error);
        ASSERT_TRUE(both) << error;
        EXPECT_EQ(textOf(merged.at(dayKey(33))),
                  joined(textOf(diary.at(dayKey(33))), textOf(copy.at(dayKey(33)))));
        EXPECT_TRUE(both->ParagraphAt(1)->ParFlags & kParPageBreak)
            << "the copy's text starts on a new page";
        std::set<std::string> keys;
        for (const auto &side : {diary, copy})
            for (const auto &entry : side)
                keys.insert(entry.first);
        EXPECT_EQ(merged.size(), keys.size());
    }
};

// Puts the copy's files beside the diary under a sync program's names;
// the index is left out when asked (sync programs may not have copied it).
void placeCopy(const fs::path &other, const fs::path &diaryDir, const std::string &stem,
               const std::string &memoExt, bool withIndex)
{
    fs::copy_file(other / "QUILLNK.DBF", diaryDir / (stem + ".DBF"));
    fs::copy_file(other / "QUILLNK.FPT", diaryDir / (stem + memoExt));
    if (withIndex)
        fs::copy_file(other / "QUILLNK.CDX", diaryDir / (stem + ".CDX"));
}

MergeResult mergeAll(const fs::path &diaryDir, const std::string &password,
                     const CopyPasswordHook &ask = {})
{
    DiaryFolder diary(diaryDir, password, DiaryFolder::Write);
    MergeResult last;
    for (const DiaryCopy &copy : FindConflictedCopies(diaryDir)) {
        MergeOptions options;
        options.DiaryPassword = password;
        options.AskPassword = ask;
        last = MergeDiaryCopy(diary.Records(), *diary.Lock(), copy, options);
    }
    diary.Close();
    return last;
}

int countFilesNamed(const fs::path &folder, const std::string &part)
{
    int n = 0;
    for (const auto &entry : fs::directory_iterator(folder))
        n += entry.path().filename().string().find(part) != std::string::npos;
    return n;
}

TEST(ConflictedCopies, TheThreeNamingSchemesAndNothingElse)
{
    EXPECT_EQ(ConflictSchemeOf("QUILLNK.sync-conflict-20261209-101500-ABCDEFG"),
              ConflictScheme::SyncConflict);
    EXPECT_EQ(ConflictSchemeOf("quillnk.Sync-Conflict-20261209-101500-abc1234"),
              ConflictScheme::SyncConflict);
    EXPECT_EQ(ConflictSchemeOf("QUILLNK (conflicted copy 2026-12-09 101500)"),
              ConflictScheme::ConflictedCopy);
    EXPECT_EQ(ConflictSchemeOf("QUILLNK (Someone's conflicted copy 2026-12-09)"),
              ConflictScheme::OwnConflictedCopy);
    EXPECT_EQ(ConflictSchemeOf("Quillnk (Ann Lee\xE2\x80\x99s Conflicted Copy 2026-12-09)"),
              ConflictScheme::OwnConflictedCopy);
    for (const char *stem :
         {"QUILLNK", "QUILLNK.sync-conflict-2026129-101500-ABCDEFG",
          "QUILLNK.sync-conflict-20261209-101500-ABCDEF",
          "OTHER (conflicted copy 2026-12-09 101500)", "QUILLNK (conflicted copy 2026-12-09)",
          "QUILLNK ('s conflicted copy 2026-12-09)",
          "QUILLNK (a\x1b[2Jb's conflicted copy 2026-12-09)",
          "QUILLNK (Someone's conflicted copy 2026-12-09) x", "QUILLNK-journal"})
        EXPECT_EQ(ConflictSchemeOf(stem), ConflictScheme::None) << ShownBytes(stem);
}

TEST(ConflictedCopies, OnlyPlainFilesWithTheirMemoAreMergeable)
{
    TempDir dir;
    const fs::path diary = dir / "diary";
    makeDiary(diary, {{dayKey(1), rtfOf({"one"})}});
    const std::string sync = "QUILLNK.sync-conflict-20261209-101500-ABCDEFG";
    writeFile(diary / (sync + ".dbf"), "table");
    writeFile(diary / (sync + ".Fpt"), "memo");
    // A table without its memo is named with the reason; a memo alone is no copy.
    writeFile(diary / "QUILLNK (conflicted copy 2026-12-09 101500).DBF", "table");
    writeFile(diary / "QUILLNK (Ann's conflicted copy 2026-12-09).FPT", "memo");
    // Links, folders and FIFOs named as copies are passed over.
    fs::create_symlink("/etc/passwd", diary / "QUILLNK (Bob's conflicted copy 2026-12-09).DBF");
    writeFile(diary / "QUILLNK (Bob's conflicted copy 2026-12-09).FPT", "memo");
    fs::create_directory(diary / "QUILLNK.sync-conflict-20261209-101501-ABCDEFG.DBF");
    ASSERT_EQ(::mkfifo((diary / "QUILLNK.sync-conflict-20261209-101502-ABCDEFG.DBF").c_str(), 0600),
              0);
    writeFile(diary / "notes (conflicted copy 2026-12-09 101500).DBF", "other");

    std::vector<DiaryCopy> copies = FindConflictedCopies(diary);
    ASSERT_EQ(copies.size(), 2u);
    EXPECT_EQ(copies[0].Table.filename(), "QUILLNK (conflicted copy 2026-12-09 101500).DBF");
    EXPECT_NE(copies[0].Problem.find("memo file"), std::string::npos);
    EXPECT_EQ(copies[1].Table.filename(), sync + ".dbf");
    EXPECT_EQ(copies[1].Memo.filename(), sync + ".Fpt");
    EXPECT_TRUE(copies[1].Index.empty());
    EXPECT_TRUE(copies[1].Problem.empty());

    // A table that is no diary's is reported and nothing is moved.
    const MergeResult result = mergeAll(diary, "");
    EXPECT_FALSE(result.Failure.empty()) << result.Report();
    EXPECT_TRUE(fs::exists(diary / (sync + ".dbf")));
}

TEST(DiaryMerge, TheRulesForOneDate)
{
    std::string text, message;
    const std::string a = rtfOf({"Hello"}), longer = rtfOf({"Hello there", "and more"});
    EXPECT_EQ(DecideEntryMerge(std::nullopt, a, text, message), MergeAction::Added);
    EXPECT_EQ(text, a);
    EXPECT_EQ(DecideEntryMerge(a, rtfOf({"Hello"}), text, message), MergeAction::Same);
    // The same words in another font are the same text.
    EXPECT_EQ(DecideEntryMerge(a, "{\\rtf1{\\fonttbl{\\f0 Courier New;}}\\f0\\fs30 Hello\\par}",
                               text, message),
              MergeAction::Same);
    EXPECT_EQ(DecideEntryMerge(a, longer, text, message), MergeAction::CopyLonger);
    EXPECT_EQ(text, longer);
    EXPECT_EQ(DecideEntryMerge(longer, a, text, message), MergeAction::DiaryLonger);
    EXPECT_EQ(DecideEntryMerge(a, rtfOf({" "}), text, message), MergeAction::Same)
        << "an empty copy brings nothing";
    EXPECT_EQ(DecideEntryMerge(rtfOf({"Other"}), a, text, message), MergeAction::Appended);
    EXPECT_EQ(textOf(text), (std::vector<std::string>{"Other", "Hello"}));
    // Merged once, the same copy changes nothing more.
    const std::string appended = text;
    EXPECT_EQ(DecideEntryMerge(appended, a, text, message), MergeAction::AlreadyFollows);
    EXPECT_EQ(DecideEntryMerge(a, "{\\rtf1 broken", text, message) == MergeAction::Failed ||
                  DecideEntryMerge(a, "not rtf", text, message) == MergeAction::Failed,
              true);
}

TEST(DiaryMerge, TextsBeyondTheCodePageAreComparedCharacterByCharacter)
{
    std::string text, message;
    // Two cities the code page cannot write, equal in their code page form
    // ("?\xF3d?"): different texts, so the copy's follows the diary's.
    const std::string lodz = "{\\rtf1 \\u321?\\'f3d\\u378?\\par}";
    const std::string other = "{\\rtf1 \\u379?\\'f3d\\u377?\\par}";
    EXPECT_EQ(DecideEntryMerge(lodz, lodz, text, message), MergeAction::Same);
    EXPECT_EQ(DecideEntryMerge(lodz, other, text, message), MergeAction::Appended);
    // A text that goes on with more of the same script is the longer one.
    const std::string longer = "{\\rtf1 \\u321?\\'f3d\\u378? \\u945?\\par}";
    EXPECT_EQ(DecideEntryMerge(lodz, longer, text, message), MergeAction::CopyLonger);
}

TEST(DiaryMerge, TextsOfOtherScriptsAreComparedCharacterForCharacter)
{
    // Two entries that differ only in characters beyond the code page are
    // different texts: the copy's is added, never dropped as the same.
    std::string text, message;
    const std::string japanese = rtfOf({"\\u26085\\'3f\\u26412\\'3f"});
    const std::string chinese = rtfOf({"\\u20013\\'3f\\u22269\\'3f"});
    EXPECT_EQ(DecideEntryMerge(japanese, chinese, text, message), MergeAction::Appended);
    EXPECT_EQ(textOf(text), (std::vector<std::string>{"\u65E5\u672C", "\u4E2D\u56FD"}));
    EXPECT_EQ(DecideEntryMerge(japanese, japanese, text, message), MergeAction::Same);
    // A no-break space at the end is a blank; a letter whose UTF-8 ends in
    // the same byte is not.
    EXPECT_EQ(DecideEntryMerge(rtfOf({"x"}), rtfOf({"x\\~"}), text, message), MergeAction::Same);
    EXPECT_EQ(DecideEntryMerge(rtfOf({"x"}), rtfOf({"x\\'e0"}), text, message),
              MergeAction::CopyLonger);
}

struct SchemeCase {
    std::string stem, memoExt;
    bool withIndex;
};

TEST(DiaryMerge, EachSchemesCopyIsMergedAndKeptUnderBackups)
{
    const SchemeCase cases[] = {
        {"QUILLNK.sync-conflict-20261209-101500-ABCDEFG", ".FPT", true},
        {"QUILLNK (conflicted copy 2026-12-09 101500)", ".fpt", false},
        {"QUILLNK (Someone's conflicted copy 2026-12-09)", ".FPT", false},
    };
    for (const SchemeCase &c : cases) {
        SCOPED_TRACE(c.stem);
        TempDir dir;
        const TwoSides sides;
        const fs::path diary = dir / "diary", other = dir / "laptop";
        makeDiary(diary, sides.diary);
        makeDiary(other, sides.copy);
        placeCopy(other, diary, c.stem, c.memoExt, c.withIndex);

        const MergeResult result = mergeAll(diary, "");
        const std::string report = result.Report();
        EXPECT_TRUE(result.Complete()) << report;
        EXPECT_EQ(result.Count(MergeAction::Added), 2) << report;
        EXPECT_EQ(result.Count(MergeAction::CopyLonger), 1) << report;
        EXPECT_EQ(result.Count(MergeAction::Appended), 1) << report;
        EXPECT_EQ(result.Count(MergeAction::DiaryLonger), 1) << report;
        sides.checkMerged(diaryEntries(diary));

        // The copy left the folder whole, into a backup that restores it.
        EXPECT_EQ(countFilesNamed(diary, "onflict"), 0);
        std::optional<BackupInfo> kept = ReadBackup(BackupsFolder(diary) / result.Backup);
        ASSERT_TRUE(kept && kept->Problem.empty()) << result.Backup;
        EXPECT_NE(kept->Note.find("conflicted copy"), std::string::npos);
        EXPECT_EQ(kept->Files.size(), 3u) << "the index was built for the copy";
        EXPECT_EQ(diaryEntries(kept->Folder), stored(sides.copy));
        std::optional<BackupInfo> before = ReadBackup(BackupsFolder(diary) / result.Before);
        ASSERT_TRUE(before && before->Problem.empty());
        EXPECT_EQ(diaryEntries(before->Folder), stored(sides.diary));

        // A memo and index left by a merge cut short after the table went
        // are cleared; those of a copy not kept are not.
        fs::copy_file(other / "QUILLNK.FPT", diary / (c.stem + ".FPT"));
        fs::copy_file(other / "QUILLNK.CDX", diary / (c.stem + ".cdx"));
        const std::string unknown = "QUILLNK.sync-conflict-20261209-999999-ZZZZZZZ.FPT";
        fs::copy_file(other / "QUILLNK.FPT", diary / unknown);
        {
            DiaryLock lock(diary);
            EXPECT_EQ(RemoveMergedCopyLeftovers(lock), 2);
        }
        EXPECT_EQ(countFilesNamed(diary, "onflict"), 1);
        EXPECT_TRUE(fs::exists(diary / unknown));
        fs::remove(diary / unknown);

        // Merging the kept copy again changes nothing.
        {
            DiaryFolder again(diary, "", DiaryFolder::Write);
            MergeOptions options;
            options.MoveToBackups = false;
            options.BackupBefore = false;
            const MergeResult second =
                MergeDiaryCopy(again.Records(), *again.Lock(),
                               OtherDiaryTable(kept->Folder / "QUILLNK.DBF"), options);
            EXPECT_TRUE(second.Complete()) << second.Report();
            EXPECT_EQ(second.Written(), 0) << second.Report();
        }
        sides.checkMerged(diaryEntries(diary));
    }
}

TEST(DiaryMerge, AnEncryptedCopyAsksForItsPasswordWhenItDiffers)
{
    TempDir dir;
    const TwoSides sides;
    const fs::path diary = dir / "diary", other = dir / "laptop";
    makeDiary(diary, sides.diary);
    encryptDiary(diary, "desk-secret");
    makeDiary(other, sides.copy);
    encryptDiary(other, "laptop-secret");
    const std::string stem = "QUILLNK (Someone's conflicted copy 2026-12-09)";
    placeCopy(other, diary, stem, ".FPT", true);

    // Not given: nothing merged, the copy stays.
    std::vector<std::string> asked;
    MergeResult refused = mergeAll(diary, "desk-secret", [&](const std::string &name) {
        asked.push_back(name);
        return std::optional<std::string>();
    });
    EXPECT_FALSE(refused.Failure.empty());
    EXPECT_EQ(refused.Written(), 0);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], stem + ".DBF");
    EXPECT_TRUE(fs::exists(diary / (stem + ".DBF")));

    // A wrong one is asked again; the right one merges. (The copy's backup
    // takes a new key: a cheap one in a test.)
    ASSERT_EQ(xt_SetKeyCost(64, 1, 1), 0);
    std::vector<std::string> answers = {"wrong", "laptop-secret"};
    MergeResult merged = mergeAll(diary, "desk-secret", [&](const std::string &) {
        std::string answer = answers.front();
        answers.erase(answers.begin());
        return std::optional<std::string>(answer);
    });
    xt_SetKeyCost(0, 0, 0);
    EXPECT_TRUE(merged.Complete()) << merged.Report();
    EXPECT_TRUE(answers.empty());
    sides.checkMerged(diaryEntries(diary, "desk-secret"));
    // The copy's backup is under the diary's password, as every backup.
    std::optional<BackupInfo> kept = ReadBackup(BackupsFolder(diary) / merged.Backup);
    ASSERT_TRUE(kept && kept->Problem.empty());
    EXPECT_EQ(diaryEntries(kept->Folder, "desk-secret"), stored(sides.copy));
    EXPECT_THROW(diaryEntries(kept->Folder, "laptop-secret"), DiaryOpenError);

    // Under the diary's own password nothing is asked.
    TempDir same;
    makeDiary(same / "diary", sides.diary);
    encryptDiary(same / "diary", "shared");
    makeDiary(same / "laptop", sides.copy);
    encryptDiary(same / "laptop", "shared");
    placeCopy(same / "laptop", same / "diary", "QUILLNK.sync-conflict-20261209-101500-ABCDEFG",
              ".FPT", false);
    MergeResult quiet = mergeAll(same / "diary", "shared", [&](const std::string &) {
        ADD_FAILURE() << "asked for a password the diary's opens";
        return std::optional<std::string>();
    });
    EXPECT_TRUE(quiet.Complete()) << quiet.Report();
    sides.checkMerged(diaryEntries(same / "diary", "shared"));

    // A copy in clear beside an encrypted diary is kept encrypted.
    TempDir clear;
    makeDiary(clear / "diary", sides.diary);
    encryptDiary(clear / "diary", "shared");
    makeDiary(clear / "laptop", sides.copy);
    placeCopy(clear / "laptop", clear / "diary", stem, ".FPT", false);
    ASSERT_EQ(xt_SetKeyCost(64, 1, 1), 0);
    MergeResult fromClear = mergeAll(clear / "diary", "shared");
    xt_SetKeyCost(0, 0, 0);
    EXPECT_TRUE(fromClear.Complete()) << fromClear.Report();
    sides.checkMerged(diaryEntries(clear / "diary", "shared"));
    const fs::path keptClear = BackupsFolder(clear / "diary") / fromClear.Backup;
    EXPECT_EQ(diaryEntries(keptClear, "shared"), stored(sides.copy));
    EXPECT_THROW(diaryEntries(keptClear, ""), DiaryOpenError);
}

// Runs the merge probe; answers its first line of output (empty when it was
// killed) and whether SIGKILL ended it.
std::string runMergeProbe(const fs::path &diary, long killAt, bool &killed)
{
    const CommandResult run =
        runCommand(shellQuote(QN_MERGE_PROBE) + " " + shellQuote(diary.string()) + " " +
                   std::to_string(killAt) + " 2>&1; echo \"status $?\"");
    killed = run.out.find("status 137") != std::string::npos;
    return run.out.substr(0, run.out.find('\n'));
}

TEST(DiaryMerge, KilledAtEveryTwentiethSyncTheDiaryChecksCleanAndASecondMergeCompletesIt)
{
    // Enough written days for kills all through the merge.
    TwoSides sides;
    for (int n = 100; n < 140; ++n)
        sides.copy[dayKey(n)] = formattedEntryRtf(n);
    const std::string stem = "QUILLNK (conflicted copy 2026-12-09 101500)";
    TempDir base;
    makeDiary(base / "diary", sides.diary);
    makeDiary(base / "laptop", sides.copy);
    auto scene = [&](const fs::path &diary) {
        fs::create_directories(diary);
        for (const char *name : {"QUILLNK.DBF", "QUILLNK.FPT", "QUILLNK.CDX"})
            fs::copy_file(base / "diary" / name, diary / name);
        placeCopy(base / "laptop", diary, stem, ".FPT", false);
    };
    long total = 0;
    {
        TempDir dir;
        scene(dir / "diary");
        bool killed = false;
        const std::string line = runMergeProbe(dir / "diary", -1, killed);
        ASSERT_EQ(std::sscanf(line.c_str(), "done %ld", &total), 1) << line;
        sides.checkMerged(diaryEntries(dir / "diary"));
    }
    ASSERT_GT(total, 20);
    RecordProperty("syncs", static_cast<int>(total));
    const std::map<std::string, std::string> before = stored(sides.diary);
    // Every twentieth, and each of the last few: the copy's backup sealed
    // and the copy moved.
    std::vector<long> stops;
    for (long at = 20; at < total - 6; at += 20)
        stops.push_back(at);
    for (long at = total - 6; at < total; ++at)
        stops.push_back(at);
    for (long at : stops) {
        SCOPED_TRACE("killed at sync " + std::to_string(at));
        TempDir dir;
        const fs::path diary = dir / "diary";
        scene(diary);
        bool killed = false;
        runMergeProbe(diary, at, killed);
        ASSERT_TRUE(killed);
        {
            // The diary opens without a note: its index matches its entries,
            // and each entry is as it was or as the merge makes it.
            DiaryFolder opened(diary, "", DiaryFolder::Write);
            EXPECT_TRUE(opened.Notes().empty()) << opened.Notes().front();
            for (const DiaryEntry &entry : opened.Records().Entries()) {
                auto old = before.find(entry.Key);
                if (old != before.end() && old->second == entry.Rtf)
                    continue;
                EXPECT_TRUE(sides.copy.count(entry.Key)) << entry.Key;
            }
        }
        // The copy is where it was, or whole under Backups/.
        const bool inPlace = fs::exists(diary / (stem + ".DBF"));
        bool backedUp = false;
        for (const BackupInfo &b : ListBackups(diary))
            if (b.Note.find("conflicted copy") != std::string::npos) {
                EXPECT_EQ(diaryEntries(b.Folder), stored(sides.copy));
                backedUp = true;
            }
        EXPECT_TRUE(inPlace || backedUp);
        if (inPlace)
            EXPECT_TRUE(fs::exists(diary / (stem + ".FPT")));
        const MergeResult second = mergeAll(diary, "");
        EXPECT_TRUE(second.Complete()) << second.Report();
        sides.checkMerged(diaryEntries(diary));
        EXPECT_FALSE(fs::exists(diary / (stem + ".DBF")));
    }
}

std::string quillnook(const fs::path &diary, const std::string &args)
{
    return shellQuote(QN_QUILLNOOK) + " " + args + " --diary " + shellQuote(diary.string()) +
           " 2>&1 </dev/null";
}

TEST(DiaryMergeCommand, MergeAndImportOfAnotherDiarysTable)
{
    TempDir dir;
    const TwoSides sides;
    const fs::path diary = dir / "diary", other = dir / "laptop";
    makeDiary(diary, sides.diary);
    makeDiary(other, sides.copy);

    // import takes another diary's table and leaves it where it is.
    const std::string table = shellQuote((other / "QUILLNK.DBF").string());
    CommandResult dry = runCommand(quillnook(diary, "import --dry-run " + table));
    EXPECT_EQ(dry.status, 0) << dry.out;
    EXPECT_NE(dry.out.find("would be added"), std::string::npos) << dry.out;
    EXPECT_EQ(diaryEntries(diary), stored(sides.diary));
    CommandResult import =
        runCommand(quillnook(diary, "import " + shellQuote((other / "quillnk.dbf").string())));
    EXPECT_NE(import.status, 0) << "a name that is not there: " << import.out;
    import = runCommand(quillnook(diary, "import " + table));
    EXPECT_EQ(import.status, 0) << import.out;
    sides.checkMerged(diaryEntries(diary));
    EXPECT_TRUE(fs::exists(other / "QUILLNK.DBF"));
    EXPECT_EQ(countFilesNamed(BackupsFolder(diary).parent_path(), "Backups"), 0)
        << "an import makes no backups";

    // merge finds the copies itself; with none left there is nothing to do.
    TempDir dir2;
    makeDiary(dir2 / "diary", sides.diary);
    placeCopy(other, dir2 / "diary", "QUILLNK (conflicted copy 2026-12-09 101500)", ".FPT", true);
    CommandResult merge = runCommand(quillnook(dir2 / "diary", "merge"));
    EXPECT_EQ(merge.status, 0) << merge.out;
    EXPECT_NE(merge.out.find("2 added"), std::string::npos) << merge.out;
    EXPECT_NE(merge.out.find("conflicted-copy"), std::string::npos) << merge.out;
    sides.checkMerged(diaryEntries(dir2 / "diary"));
    merge = runCommand(quillnook(dir2 / "diary", "merge"));
    EXPECT_EQ(merge.status, 0) << merge.out;
    EXPECT_NE(merge.out.find("nothing to merge"), std::string::npos) << merge.out;
    // A table that cannot be merged: nothing done.
    writeFile(dir / "bad.DBF", "not a table");
    merge =
        runCommand(quillnook(dir2 / "diary", "merge " + shellQuote((dir / "bad.DBF").string())));
    EXPECT_EQ(merge.status, 2) << merge.out;
}

TEST(DiaryMergeCommand, AStaleLockFileBlocksNobodyButAHolderDoes)
{
    TempDir dir;
    const fs::path diary = dir / "diary", source = dir / "in";
    makeDiary(diary, {{dayKey(1), rtfOf({"one"})}});
    fs::create_directory(source);
    writeFile(source / "2024-01-02.txt", "two\n");
    // As a sync program copies it from the other computer, or a crash leaves it.
    writeFile(diary / "QUILLNK.lock", "12345 laptop\n");
    CommandResult import = runCommand(quillnook(diary, "import " + shellQuote(source.string())));
    EXPECT_EQ(import.status, 0) << import.out;

    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        DiaryLock lock(diary);
        (void)!::write(ready[1], "x", 1);
        for (int i = 0; i < 600; ++i)
            ::sleep(1);
        ::_exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    for (const char *command : {"import", "merge"}) {
        CommandResult refused =
            runCommand(quillnook(diary, std::string(command) + " " + shellQuote(source.string())));
        EXPECT_EQ(refused.status, 2) << refused.out;
        EXPECT_NE(refused.out.find("close it first"), std::string::npos) << refused.out;
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
}

} // namespace
} // namespace qn::test
