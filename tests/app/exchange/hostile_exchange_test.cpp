// Export and import of diaries and folders that were tampered with, and of
// disks that fail: nothing is written outside the place named, no link is
// followed out of a folder, damaged entries cost only themselves, and every
// failure ends in a message and an exit status, never in an abort.
#include "exchange_test_util.h"

#include "app/exchange/command_line.h"
#include "app/exchange/diary_backup.h"
#include "app/exchange/diary_export.h"
#include "app/exchange/diary_import.h"
#include "engine/engine_files.h"
#include "tests/support/fault_file_system.h"
#include "tests/support/temp_dir.h"
#include "xbase/table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qn::test {
namespace {

using namespace qn::exchange;
namespace fs = std::filesystem;

int run(std::vector<std::string> args, std::string &out, std::string &err, const fs::path &diary)
{
    std::istringstream in;
    std::ostringstream o, e;
    const int status = RunDiaryCommand(args, in, o, e, diary, false);
    out = o.str();
    err = e.str();
    return status;
}

std::map<std::string, std::string> entriesOfDays(int first, int last)
{
    std::map<std::string, std::string> entries;
    for (int n = first; n <= last; ++n)
        entries[dayKey(n)] = formattedEntryRtf(n);
    return entries;
}

bool validUtf8(const std::string &text)
{
    size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        int more = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (more < 0 || (more == 1 && c < 0xC2) || i + more >= text.size() + (more ? 0 : 1))
            return false;
        for (int k = 1; k <= more; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        i += static_cast<size_t>(more) + 1;
    }
    return true;
}

// Everything below `root`, as paths relative to it.
std::set<std::string> treeOf(const fs::path &root)
{
    std::set<std::string> names;
    for (const auto &e : fs::recursive_directory_iterator(root))
        names.insert(fs::relative(e.path(), root).string());
    return names;
}

// The ENTRY field of a record written over with `pointer` (the memo block
// number, as the table stores it): a damaged pointer.
void damageMemoPointer(const fs::path &dbf, int record, const std::string &pointer)
{
    std::string bytes = readFile(dbf);
    const auto u16 = [&](size_t at) {
        return static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1])
                                                           << 8;
    };
    const size_t header = u16(8), length = u16(10);
    size_t offset = 1;
    for (size_t field = 32; bytes[field] != '\r'; field += 32) {
        const size_t width = static_cast<unsigned char>(bytes[field + 16]);
        if (bytes.compare(field, 5, "ENTRY") == 0) {
            ASSERT_EQ(width, pointer.size());
            bytes.replace(header + (record - 1) * length + offset, width, pointer);
            writeFile(dbf, bytes);
            return;
        }
        offset += width;
    }
    FAIL() << "no ENTRY field";
}

// A disk that fills up: after `allowed` writes every write, extension and
// creation fails as a full disk's do (removing and renaming still work).
class FullDisk : public FileSystemWrapper {
public:
    explicit FullDisk(long allowed = -1) : FileSystemWrapper(DefaultFileSystem()), left_(allowed) {}
    long writes() const { return writes_; }

    void use(const fs::path &path)
    {
        if (left_ == 0)
            throw FileError("Cannot write " + path.string() + ": No space left on device");
        if (left_ > 0)
            --left_;
        ++writes_;
    }

    std::unique_ptr<File> open(const fs::path &path, OpenMode mode) override
    {
        if (mode == OpenMode::Create || mode == OpenMode::CreateNew)
            use(path);
        return std::make_unique<Counted>(target().open(path, mode), *this);
    }

private:
    class Counted final : public FileWrapper {
    public:
        Counted(std::unique_ptr<File> file, FullDisk &disk)
            : FileWrapper(std::move(file)), disk_(disk)
        {
        }
        void writeAt(uint64_t offset, const void *data, size_t n) override
        {
            disk_.use(wrapped().path());
            wrapped().writeAt(offset, data, n);
        }
        void truncate(uint64_t size) override
        {
            if (size > wrapped().size())
                disk_.use(wrapped().path());
            wrapped().truncate(size);
        }

    private:
        FullDisk &disk_;
    };

    long left_;
    long writes_ = 0;
};

// A disk mounted read-only: every open for writing and every change of a
// name fails.
class ReadOnlyDisk : public FileSystemWrapper {
public:
    ReadOnlyDisk() : FileSystemWrapper(DefaultFileSystem()) {}
    std::unique_ptr<File> open(const fs::path &path, OpenMode mode) override
    {
        if (mode != OpenMode::ReadOnly)
            throw FileError("Cannot open " + path.string() + ": Read-only file system");
        return target().open(path, mode);
    }
    void rename(const fs::path &, const fs::path &to) override
    {
        throw FileError("Cannot replace " + to.string() + ": Read-only file system");
    }
    void remove(const fs::path &path) override
    {
        throw FileError("Cannot remove " + path.string() + ": Read-only file system");
    }
    void syncFolder(const fs::path &) override {}
};

// The table engine's files go through `files` while it lives.
struct EngineFiles {
    explicit EngineFiles(FileSystem &files) { engine::SetEngineFileSystem(&files); }
    ~EngineFiles() { engine::SetEngineFileSystem(nullptr); }
};

TEST(HostileExchange, ExportNamesFilesOnlyByValidDatesAndWritesValidUtf8)
{
    TempDir dir;
    std::map<std::string, std::string> entries = entriesOfDays(1, 4);
    // Bytes Windows-1252 leaves undefined and a zero byte in an entry's text.
    entries[dayKey(2)] = "{\\rtf1\\ansi odd \x81\x8d\xff bytes \\'81\\'ff end\\par}";
    entries["../../QZ"] = formattedEntryRtf(7);      // a path for a date
    entries[std::string("2024\xff\x1b[2", 8)] = "x"; // not UTF-8, and a terminal escape
    makeDiary(dir / "diary", entries);

    std::string out, err;
    const fs::path target = dir / "a/b/out";
    EXPECT_EQ(run({"export", "--format", "folder", target.string()}, out, err, dir / "diary"), 1)
        << out << err;
    EXPECT_FALSE(fs::exists(dir / "a/QZ.rtf"));
    EXPECT_EQ(treeOf(dir / "a"),
              (std::set<std::string>{"b", "b/out", "b/out/2023-03-01.rtf", "b/out/2023-03-02.rtf",
                                     "b/out/2023-03-03.rtf", "b/out/2023-03-04.rtf"}));
    // Reported by record number, the stored bytes shown harmlessly.
    EXPECT_NE(err.find("record 1 (date \"../../QZ\"): its date is not a date"), std::string::npos)
        << err;
    EXPECT_NE(err.find("record 6 (date \"2024\\xff\\x1b[2\")"), std::string::npos) << err;
    EXPECT_EQ(err.find('\x1b'), std::string::npos);
    EXPECT_NE(out.find("Exported 4 entries"), std::string::npos) << out;

    for (const char *format : {"jsonl", "text", "html", "rtf"}) {
        const fs::path file = dir / (std::string("all.") + format);
        EXPECT_EQ(run({"export", "--format", format, file.string()}, out, err, dir / "diary"), 1)
            << format << err;
        const std::string bytes = readFile(file);
        EXPECT_TRUE(validUtf8(bytes)) << format;
        EXPECT_NE(bytes.find("Day 4 began early."), std::string::npos) << format;
        EXPECT_EQ(bytes.find("QZ"), std::string::npos) << format;
    }
    EXPECT_NE(readFile(dir / "all.jsonl").find("odd \xc2\x81\xc2\x8d\xc3\xbf bytes"),
              std::string::npos);
}

TEST(HostileExchange, ImportReadsOnlyTheRegularFilesOfItsFolderAndNamesTheRest)
{
    TempDir dir;
    writeFile(dir / "secret.txt", "the password of another account");
    fs::create_directories(dir / "in/2024-06-05.txt");
    writeFile(dir / "in/2024-06-05.txt/2024-06-08.txt", "in a sub-folder");
    writeFile(dir / "in/2024-06-01.txt", "a plain entry");
    fs::create_symlink(dir / "secret.txt", dir / "in/2024-06-02.txt");
    fs::create_symlink(dir / "nowhere", dir / "in/2024-06-03.txt");
    fs::create_symlink("2024-06-01.txt", dir / "in/2024-06-06.txt");
    fs::create_symlink("/dev/zero", dir / "in/2024-06-07.txt");
    ASSERT_EQ(mkfifo((dir / "in/2024-06-04.txt").c_str(), 0600), 0);
    // A name with a terminal escape and broken UTF-8 is shown harmlessly.
    writeFile(dir / "in" / "caf\xc3\xa9\x1b[2J\xff.txt", "no date");

    // A FIFO opened for reading would wait for a writer for ever: the child
    // stops itself after a while.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        alarm(20);
        std::string out, err;
        const int status = run({"import", (dir / "in").string()}, out, err, dir / "diary");
        writeFile(dir / "report.txt", out + "\n--\n" + err);
        _exit(status);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "stopped by signal " << WTERMSIG(status);
    const std::string report = readFile(dir / "report.txt");
    EXPECT_EQ(WEXITSTATUS(status), 0) << report;
    for (const char *line :
         {"2024-06-01.txt: became the entry of 2024-06-01",
          "2024-06-02.txt: skipped: a symbolic link; links are not followed",
          "2024-06-03.txt: skipped: a symbolic link to nothing",
          "2024-06-04.txt: skipped: a FIFO, not a file",
          "2024-06-05.txt: skipped: a folder; folders inside are not read",
          "2024-06-06.txt: skipped: a symbolic link;", "2024-06-07.txt: skipped: a symbolic link;",
          "caf\xc3\xa9\\x1b[2J\\xff.txt: skipped: the name is not a date", "1 new"})
        EXPECT_NE(report.find(line), std::string::npos) << line << "\n" << report;
    EXPECT_EQ(report.find('\x1b'), std::string::npos);
    const std::map<std::string, std::string> diary = diaryEntries(dir / "diary");
    ASSERT_EQ(diary.size(), 1u);
    EXPECT_EQ(paragraphsOf(diary.at("20240601"))[0], "a plain entry");

    // A line file named on the command line must be a file too.
    std::string out, err;
    EXPECT_EQ(run({"import", "/dev/null/x"}, out, err, dir / "diary"), 2);
    const fs::path fifo = dir / "in/2024-06-04.txt";
    const pid_t second = fork();
    ASSERT_GE(second, 0);
    if (second == 0) {
        alarm(20);
        std::string o, e;
        const int s = run({"import", fifo.string()}, o, e, dir / "diary");
        _exit(s == 2 && e.find("a FIFO, not a file") != std::string::npos ? 0 : 1);
    }
    ASSERT_EQ(waitpid(second, &status, 0), second);
    ASSERT_TRUE(WIFEXITED(status)) << "stopped by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(HostileExchange, OneDamagedEntryCostsOnlyItself)
{
    TempDir dir;
    makeDiary(dir / "diary", entriesOfDays(1, 6));
    damageMemoPointer(dir / "diary/QUILLNK.DBF", 2, "  12x4    ");
    damageMemoPointer(dir / "diary/QUILLNK.DBF", 5, "9999999999");
    std::string out, err;
    const fs::path target = dir / "out.jsonl";
    EXPECT_EQ(run({"export", target.string()}, out, err, dir / "diary"), 1) << out << err;
    EXPECT_NE(err.find("the entry of 2023-03-02: "), std::string::npos) << err;
    EXPECT_NE(err.find("the entry of 2023-03-05: "), std::string::npos) << err;
    EXPECT_NE(out.find("Exported 4 entries"), std::string::npos) << out;
    const std::string lines = readFile(target);
    for (int day : {1, 3, 4, 6})
        EXPECT_NE(lines.find("Day " + std::to_string(day) + " began early."), std::string::npos)
            << day;
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 4);
}

TEST(HostileExchange, TheCommandLineRebuildsAnIndexThatDoesNotMatchTheEntries)
{
    TempDir dir;
    makeDiary(dir / "diary", entriesOfDays(1, 8));
    makeDiary(dir / "other", entriesOfDays(20, 22));
    // The index of another diary: its tags point at records that hold other dates.
    fs::copy_file(dir / "other/QUILLNK.CDX", dir / "diary/QUILLNK.CDX",
                  fs::copy_options::overwrite_existing);
    fs::create_directories(dir / "in");
    writeFile(dir / "in/2023-03-03.txt", "added to day three");
    writeFile(dir / "in/2023-03-21.txt", "a new day");

    // A dry run writes nothing, so the index is not used rather than rebuilt.
    const std::string foreign = readFile(dir / "diary/QUILLNK.CDX");
    std::string out, err;
    ASSERT_EQ(run({"import", "--dry-run", (dir / "in").string()}, out, err, dir / "diary"), 0)
        << out << err;
    EXPECT_NE(err.find("does not match its entries"), std::string::npos) << err;
    EXPECT_NE(out.find("would be added after a page break to the entry of 2023-03-03"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("would become the entry of 2023-03-21"), std::string::npos) << out;
    EXPECT_EQ(readFile(dir / "diary/QUILLNK.CDX"), foreign);

    ASSERT_EQ(run({"import", (dir / "in").string()}, out, err, dir / "diary"), 0) << out << err;
    EXPECT_NE(err.find("did not match its entries"), std::string::npos) << err;
    EXPECT_NE(err.find("It was rebuilt."), std::string::npos) << err;
    EXPECT_NE(out.find("1 new, 1 added to existing entries"), std::string::npos) << out;
    const std::map<std::string, std::string> diary = diaryEntries(dir / "diary");
    ASSERT_EQ(diary.size(), 9u);
    const std::vector<std::string> third = paragraphsOf(diary.at(dayKey(3)));
    EXPECT_EQ(third.front(), paragraphsOf(formattedEntryRtf(3)).front());
    EXPECT_NE(std::find(third.begin(), third.end(), "added to day three"), third.end());
    EXPECT_EQ(paragraphsOf(diary.at(dayKey(1))), paragraphsOf(formattedEntryRtf(1)));
}

TEST(HostileExchange, AReadOnlyDiaryIsExportedWithoutWritingAndAnUnfinishedSaveIsOnlyReported)
{
    TempDir dir;
    makeDiary(dir / "diary", entriesOfDays(1, 5));
    std::string out, err;
    {
        ReadOnlyDisk readOnly;
        EngineFiles files(readOnly);
        EXPECT_EQ(run({"export", (dir / "out.jsonl").string()}, out, err, dir / "diary"), 0) << err;
        EXPECT_NE(out.find("Exported 5 entries"), std::string::npos) << out;
        // Two readers at once: the second is not refused as "in use".
        DiaryFolder reader(dir / "diary", "", DiaryFolder::ReadOnly);
        EXPECT_EQ(run({"export", (dir / "again.txt").string()}, out, err, dir / "diary"), 0) << err;
    }

    // A save stopped half-way leaves a journal to undo; on a read-only disk
    // it is told and left for a writable open to undo.
    const fs::path table = dir / "diary/QUILLNK.DBF";
    for (long stop = 1; !xbase::Table::hasHotJournal(table, {}); ++stop) {
        ASSERT_LT(stop, 200) << "no stop left an unfinished save";
        FaultFileSystem faults;
        EngineFiles files(faults);
        DiaryFolder diary(dir / "diary", "", DiaryFolder::Write);
        faults.crashAfter(stop);
        EXPECT_ANY_THROW(diary.Records().Store(dayKey(2), formattedEntryRtf(40)));
    }
    const std::set<std::string> before = treeOf(dir / "diary");
    const std::string journalled = readFile(table);
    {
        ReadOnlyDisk readOnly;
        EngineFiles files(readOnly);
        EXPECT_EQ(run({"export", (dir / "hot.jsonl").string()}, out, err, dir / "diary"), 2);
        EXPECT_NE(err.find("unfinished save"), std::string::npos) << err;
    }
    EXPECT_TRUE(xbase::Table::hasHotJournal(table, {}));
    EXPECT_EQ(treeOf(dir / "diary"), before);
    EXPECT_EQ(readFile(table), journalled);
    // Where it may be written, the save is undone and every entry is there.
    EXPECT_EQ(run({"export", (dir / "hot.jsonl").string()}, out, err, dir / "diary"), 0) << err;
    EXPECT_EQ(diaryEntries(dir / "diary").at(dayKey(2)), StoredEntryText(formattedEntryRtf(2)));
}

TEST(HostileExchange, AFullDiskDuringImportIsToldAndWhatWasStoredIsListed)
{
    TempDir dir;
    makeDiary(dir / "base", entriesOfDays(1, 5));
    fs::create_directories(dir / "in");
    for (int n = 3; n <= 22; ++n)
        writeFile(dir / "in" / (KeyAsIsoDate(dayKey(n)) + ".txt"),
                  "imported text of day " + std::to_string(n));
    std::string out, err;
    long total = 0;
    {
        fs::copy(dir / "base", dir / "count");
        FullDisk counting;
        EngineFiles files(counting);
        ASSERT_EQ(run({"import", (dir / "in").string()}, out, err, dir / "count"), 0) << err;
        total = counting.writes();
    }
    ASSERT_GT(total, 20);
    for (long allowed = 0; allowed < total; allowed += std::max(1L, total / 40)) {
        const fs::path diary = dir / ("d" + std::to_string(allowed));
        fs::copy(dir / "base", diary);
        int status = -1;
        {
            FullDisk full(allowed);
            EngineFiles files(full);
            status = run({"import", (dir / "in").string()}, out, err, diary);
        }
        SCOPED_TRACE("after " + std::to_string(allowed) + " writes\n" + out + err);
        EXPECT_NE(err.find("No space left on device"), std::string::npos);
        EXPECT_NE(err.find(diary.string()), std::string::npos) << "the file is named";
        const std::map<std::string, std::string> after = diaryEntries(diary);
        int stored = 0;
        for (int n = 3; n <= 22; ++n) {
            const std::string date = KeyAsIsoDate(dayKey(n));
            const bool reported =
                out.find(": became the entry of " + date) != std::string::npos ||
                out.find("added after a page break to the entry of " + date) != std::string::npos;
            if (!reported)
                continue;
            ++stored;
            ASSERT_TRUE(after.count(dayKey(n))) << date;
            const std::vector<std::string> texts = paragraphsOf(after.at(dayKey(n)));
            EXPECT_NE(
                std::find(texts.begin(), texts.end(), "imported text of day " + std::to_string(n)),
                texts.end())
                << date;
        }
        EXPECT_EQ(status, stored > 0 ? 1 : 2);
        for (int n = 1; n <= 5; ++n) {
            ASSERT_TRUE(after.count(dayKey(n)));
            EXPECT_EQ(paragraphsOf(after.at(dayKey(n))).front(),
                      paragraphsOf(formattedEntryRtf(n)).front());
        }
    }
}

TEST(HostileExchange, AFailedExportWriteListsWhatWasWrittenAndLeavesNoTemporaryFile)
{
    TempDir dir;
    makeDiary(dir / "diary", entriesOfDays(1, 6));
    DiaryFolder diary(dir / "diary", "", DiaryFolder::ReadOnly);
    // Into a folder that is there (a new one is removed again, below).
    for (long allowed = 0; allowed < 12; ++allowed) {
        const fs::path target = dir / ("out" + std::to_string(allowed));
        fs::create_directory(target);
        FullDisk full(allowed);
        ExportRequest request;
        request.Format = ExportFormat::RtfFolder;
        request.Target = target;
        request.Files = &full;
        ExportResult result = ExportDiary(diary.Records(), request);
        SCOPED_TRACE(allowed);
        EXPECT_NE(result.Failure.find("No space left on device"), std::string::npos);
        // The files are put in place together once all are written: a
        // failure before leaves nothing behind.
        ASSERT_TRUE(result.Files.empty());
        EXPECT_NE(result.Failure.find(KeyAsIsoDate(dayKey(allowed / 2 + 1)) + ".rtf"),
                  std::string::npos)
            << result.Failure;
        std::set<std::string> written;
        for (const std::string &file : result.Files)
            written.insert(fs::path(file).filename().string());
        EXPECT_EQ(treeOf(target), written);
    }
    for (long allowed = 0; allowed < 12; ++allowed) {
        FullDisk full(allowed);
        ExportRequest request;
        request.Format = ExportFormat::RtfFolder;
        request.Target = dir / ("new" + std::to_string(allowed));
        request.Files = &full;
        ExportResult result = ExportDiary(diary.Records(), request);
        EXPECT_NE(result.Failure.find("No space left on device"), std::string::npos) << allowed;
        EXPECT_TRUE(result.Files.empty());
        EXPECT_FALSE(fs::exists(request.Target)) << allowed;
    }
    // One file: written whole or not at all.
    FullDisk full(1);
    ExportRequest request;
    request.Target = dir / "one.html";
    request.Files = &full;
    ExportResult result = ExportDiary(diary.Records(), request);
    EXPECT_TRUE(result.Files.empty());
    EXPECT_FALSE(fs::exists(request.Target));
    EXPECT_EQ(treeOf(dir.path()).count("one.html"), 0u);

    // On the command line: nothing written is status 2, with the reason.
    writeFile(dir / "plain", "a file where the export folder should go");
    std::string out, err;
    diary.Close();
    EXPECT_EQ(run({"export", "--format", "folder", (dir / "plain/sub").string()}, out, err,
                  dir / "diary"),
              2);
    EXPECT_NE(
        err.find("Cannot create the folder " + (dir / "plain").string() + ": Not a directory"),
        std::string::npos)
        << err;
}

TEST(HostileExchange, ExportsAreTheirOwnersAloneWhateverTheUmask)
{
    TempDir dir;
    makeDiary(dir / "diary", entriesOfDays(1, 3));
    const mode_t saved = umask(0);
    std::string out, err;
    EXPECT_EQ(run({"export", (dir / "all.html").string()}, out, err, dir / "diary"), 0) << err;
    EXPECT_EQ(
        run({"export", "--format", "folder", (dir / "rtf").string()}, out, err, dir / "diary"), 0)
        << err;
    // A backup, and a new diary made by an import, are private too.
    const exchange::BackupInfo backup =
        exchange::MakeBackup(dir / "diary", "2023-03-04", EncodeDate(2023, 3, 4), 3);
    fs::create_directory(dir / "in");
    writeFile(dir / "in/2023-05-01.txt", "words");
    EXPECT_EQ(run({"import", (dir / "in").string()}, out, err, dir / "new/diary"), 0) << err;
    umask(saved);
    const auto mode = [](const fs::path &p) {
        struct stat st {};
        EXPECT_EQ(stat(p.c_str(), &st), 0) << p;
        return st.st_mode & 07777;
    };
    EXPECT_EQ(mode(dir / "all.html"), 0600u);
    EXPECT_EQ(mode(dir / "rtf"), 0700u);
    EXPECT_EQ(mode(dir / "rtf/2023-03-02.rtf"), 0600u);
    EXPECT_EQ(mode(backup.Folder.parent_path()), 0700u);
    EXPECT_EQ(mode(backup.Folder), 0700u);
    EXPECT_EQ(mode(backup.Folder / "QUILLNK.FPT"), 0600u);
    EXPECT_EQ(mode(dir / "new"), 0700u);
    EXPECT_EQ(mode(dir / "new/diary"), 0700u);
    EXPECT_EQ(mode(dir / "new/diary/QUILLNK.DBF"), 0600u);
}

TEST(HostileExchange, AQnIniThatIsNoPlainFileIsToldAndNeverWaitedFor)
{
    TempDir dir;
    makeDiary(dir / "diary", entriesOfDays(1, 2));
    ASSERT_EQ(mkfifo((dir / "diary/QN.INI").c_str(), 0600), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        alarm(20);
        std::string out, err;
        const int status = run({"export", (dir / "out.txt").string()}, out, err, dir / "diary");
        _exit(status == 0 && err.find("QN.INI is not read: it is a FIFO") != std::string::npos ? 0
                                                                                               : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "stopped by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_NE(readFile(dir / "out.txt").find("Day 2 began early."), std::string::npos);
}

} // namespace
} // namespace qn::test
