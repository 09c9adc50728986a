// Imports and exports of many entries: an import commits the diary in
// batches (killed at any sync, the diary checks clean and holds whole
// entries only, and running the same import again brings in exactly what is
// missing); a folder export syncs each file once and the folder once.
#include "exchange_test_util.h"

#include "app/exchange/diary_export.h"
#include "app/exchange/diary_import.h"
#include "app/exchange/json_text.h"
#include "platform/ansi.h"
#include "tests/support/command.h"
#include "tests/support/fault_file_system.h"
#include "tests/support/temp_dir.h"
#include "tools/qntable/table_shell.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>

namespace qn::test {
namespace {

using namespace qn::exchange;
namespace fs = std::filesystem;

constexpr int kEntries = 3000;

std::string isoDate(const std::string &key)
{
    return key.substr(0, 4) + "-" + key.substr(4, 2) + "-" + key.substr(6);
}

// The line file: formatted entries, and now and then a plain one.
void writeLineFile(const fs::path &file)
{
    std::ofstream out(file, std::ios::binary);
    for (int n = 1; n <= kEntries; ++n) {
        out << "{\"date\":\"" << isoDate(dayKey(n)) << "\",";
        if (n % 7 == 0)
            out << "\"text\":" << JsonQuote("plain entry " + std::to_string(n));
        else
            out << "\"rtf\":" << JsonQuote(AnsiToUtf8(formattedEntryRtf(n)));
        out << "}\n";
    }
}

std::string firstParagraph(int n)
{
    return n % 7 == 0 ? "plain entry " + std::to_string(n)
                      : paragraphsOf(formattedEntryRtf(n)).front();
}

struct ProbeRun {
    std::string out;
    long syncs = 0;
    int written = 0;
};

ProbeRun runProbe(const fs::path &diary, const fs::path &source, long killAt)
{
    const CommandResult r =
        runCommand(shellQuote(QN_IMPORT_KILL_PROBE) + " " + shellQuote(diary.string()) + " " +
                   shellQuote(source.string()) + " " + std::to_string(killAt) + " 2>&1 </dev/null");
    ProbeRun run;
    run.out = r.out;
    std::sscanf(r.out.c_str(), "done %ld %d", &run.syncs, &run.written);
    return run;
}

// The diary's entries checked whole: each is the one imported for its date.
size_t checkEntries(const fs::path &diary)
{
    const std::map<std::string, std::string> entries = diaryEntries(diary);
    for (int n = 1; n <= kEntries; ++n) {
        const auto it = entries.find(dayKey(n));
        if (it == entries.end())
            continue;
        const std::vector<std::string> paragraphs = paragraphsOf(it->second);
        EXPECT_FALSE(paragraphs.empty()) << dayKey(n);
        if (!paragraphs.empty()) {
            EXPECT_EQ(paragraphs.front(), firstParagraph(n)) << dayKey(n);
        }
    }
    return entries.size();
}

// Counts the syncs of files and folders on the way to the disk.
class SyncCounter : public FileSystemWrapper {
public:
    SyncCounter() : FileSystemWrapper(DefaultFileSystem()) {}
    long fileSyncs = 0;
    std::map<std::string, long> folderSyncs, filesSyncs;

    std::unique_ptr<File> open(const fs::path &path, OpenMode mode) override;
    void syncFiles(const fs::path &folder) override
    {
        ++filesSyncs[fs::weakly_canonical(folder).string()];
        target().syncFiles(folder);
    }
    void syncFolder(const fs::path &folder) override
    {
        ++folderSyncs[fs::weakly_canonical(folder).string()];
        target().syncFolder(folder);
    }
};

class CountedFile : public FileWrapper {
public:
    CountedFile(std::unique_ptr<File> file, long &syncs)
        : FileWrapper(std::move(file)), syncs_(syncs)
    {
    }
    void sync() override
    {
        ++syncs_;
        wrapped().sync();
    }

private:
    long &syncs_;
};

std::unique_ptr<File> SyncCounter::open(const fs::path &path, OpenMode mode)
{
    return std::make_unique<CountedFile>(target().open(path, mode), fileSyncs);
}

} // namespace

TEST(ExportSyncs, AFolderExportSyncsItsFilesOnceAndTheFolderOnce)
{
    TempDir dir;
    std::map<std::string, std::string> entries;
    for (int n = 1; n <= 40; ++n)
        entries[dayKey(n)] = formattedEntryRtf(n);
    makeDiary(dir / "diary", entries);
    DiaryFolder diary(dir / "diary", std::string(), DiaryFolder::ReadOnly);
    SyncCounter counter;
    ExportRequest request;
    request.Format = ExportFormat::RtfFolder;
    request.Target = dir / "out";
    request.Files = &counter;
    const ExportResult result = ExportDiary(diary.Records(), request);
    ASSERT_TRUE(result.Complete()) << result.Failure;
    EXPECT_EQ(result.Entries, 40);
    // One sync for the data of all the files, one for their names.
    const std::string out = fs::weakly_canonical(dir / "out").string();
    EXPECT_EQ(counter.fileSyncs, 0);
    EXPECT_EQ(counter.filesSyncs[out], 1);
    EXPECT_EQ(counter.folderSyncs[out], 1);
    // Every file is there whole.
    for (const auto &[key, rtf] : entries)
        EXPECT_EQ(paragraphsOf(readFile(dir / "out" / (isoDate(key) + ".rtf"))), paragraphsOf(rtf))
            << key;
}

// Into a folder that was there, a failure anywhere leaves exactly the files
// it lists and no temporary one; into a folder the export makes, a failure
// leaves no folder at all.
TEST(ExportSyncs, AFolderExportFailingAnywhereListsExactlyTheFilesInPlace)
{
    TempDir dir;
    std::map<std::string, std::string> entries;
    for (int n = 1; n <= 5; ++n)
        entries[dayKey(n)] = formattedEntryRtf(n);
    makeDiary(dir / "diary", entries);
    DiaryFolder diary(dir / "diary", std::string(), DiaryFolder::ReadOnly);
    for (const bool existing : {true, false}) {
        bool completed = false;
        for (long failAt = 0; failAt < 40 && !completed; ++failAt) {
            SCOPED_TRACE(std::string(existing ? "existing" : "new") +
                         " folder, failing operation " + std::to_string(failAt));
            const fs::path target = dir / ((existing ? "old" : "new") + std::to_string(failAt));
            if (existing)
                fs::create_directory(target);
            FaultFileSystem faults;
            faults.failAfter(failAt, EIO, false);
            ExportRequest request;
            request.Format = ExportFormat::RtfFolder;
            request.Target = target;
            request.Files = &faults;
            const ExportResult result = ExportDiary(diary.Records(), request);
            completed = result.Failure.empty();
            std::set<std::string> listed, there;
            for (const std::string &file : result.Files)
                listed.insert(fs::path(file).filename().string());
            if (!existing && !completed) {
                EXPECT_FALSE(fs::exists(target));
                EXPECT_TRUE(listed.empty());
                continue;
            }
            for (const auto &e : fs::directory_iterator(target))
                there.insert(e.path().filename().string());
            EXPECT_EQ(there, listed);
            EXPECT_EQ(listed.size(), completed ? entries.size() : listed.size());
        }
        EXPECT_TRUE(completed);
    }
}

TEST(ImportBatches, KilledAtAnySyncTheDiaryChecksCleanAndASecondRunCompletesIt)
{
    TempDir dir;
    const fs::path source = dir / "entries.jsonl";
    writeLineFile(source);
    const ProbeRun whole = runProbe(dir / "whole", source, 0);
    ASSERT_EQ(whole.written, kEntries) << whole.out;
    // A few commits, not one or more for every entry.
    EXPECT_LT(whole.syncs, 60) << "syncs for " << kEntries << " entries";
    ASSERT_EQ(checkEntries(dir / "whole"), static_cast<size_t>(kEntries));
    std::printf("%d entries imported with %ld syncs\n", kEntries, whole.syncs);

    const long step = std::max(1L, whole.syncs / 30);
    for (long killAt = 1; killAt <= whole.syncs; killAt += step) {
        SCOPED_TRACE("killed at sync " + std::to_string(killAt));
        const fs::path diary = dir / ("d" + std::to_string(killAt));
        const ProbeRun killed = runProbe(diary, source, killAt);
        ASSERT_EQ(killed.out.find("done"), std::string::npos) << "the probe was to die first";
        if (!fs::exists(diary / "QUILLNK.DBF"))
            continue; // killed before the diary was made
        // The unfinished commit is undone (as opening the diary undoes it),
        // and then every file checks clean.
        const std::string table = (diary / "QUILLNK.DBF").string();
        std::ostringstream out, err;
        EXPECT_EQ(tools::runTableShell({"recover", table}, out, err), 0) << err.str();
        EXPECT_EQ(tools::runTableShell({"check", table}, out, err), 0) << out.str() << err.str();
        const size_t before = checkEntries(diary);
        // What a commit made durable is the first entries, in order.
        const std::map<std::string, std::string> entries = diaryEntries(diary);
        for (int n = 1; n <= static_cast<int>(before); ++n)
            ASSERT_TRUE(entries.count(dayKey(n))) << dayKey(n) << " of " << before;

        const ProbeRun again = runProbe(diary, source, 0);
        ASSERT_NE(again.out.find("done"), std::string::npos) << again.out;
        EXPECT_EQ(again.written, kEntries - static_cast<int>(before));
        EXPECT_EQ(checkEntries(diary), static_cast<size_t>(kEntries));
    }
}

} // namespace qn::test
