// Import, search and folder export at scale: ENTRIES daily entries of about
// 2 KB of RTF (made as a JSON lines file in FOLDER, or a temporary folder).
// Each phase runs in a process of its own, so that its peak memory is its
// own; syncs are counted by a file door that counts them.
//   import   the line file into a new diary: time, syncs, peak memory; with
//            BEFORE (a quillnook program to compare with), its
//            `quillnook import` of the same file: time and peak memory
//   search   a word only the newest entry holds, in the process: the first
//            search (every entry read in one pass), a repeated one (the
//            text kept), and the document search the window did before
//   export   the folder export: time, file and folder syncs; beside it
//            `cp -r` of the exported files and one `sync`, and BEFORE's
//            folder export
// PHASES picks some of them ("import,search"); the search and the export
// need the diary an import made.
//   scale_bench [ENTRIES] [FOLDER] [BEFORE|-] [PHASES]
#include "app/entry_texts.h"
#include "app/exchange/diary_export.h"
#include "app/exchange/diary_import.h"
#include "app/exchange/json_text.h"
#include "bench/support/bench_entries.h"
#include "engine/engine_files.h"
#include "platform/ansi.h"
#include "platform/datetime.h"
#include "platform/unicode_text.h"
#include "richtext/edit/buffer_finder.h"
#include "richtext/edit/text_finder.h"
#include "richtext/io/rtf_text_io.h"
#include "richtext/io/stream.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace qn;
using namespace qn::exchange;
namespace fs = std::filesystem;

namespace {

const std::string kWord = "zanzibarite";

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double peakMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

std::string isoDate(int n)
{
    // Day n counted from 1 January 2000.
    const TDateTime date = EncodeDate(2000, 1, 1) + n;
    int y, m, d;
    DecodeDate(date, y, m, d);
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", y, m, d);
    return text;
}

void writeLineFile(const fs::path &file, int count)
{
    std::ofstream out(file, std::ios::binary);
    for (int n = 0; n < count; ++n)
        out << "{\"date\":\"" << isoDate(n) << "\",\"rtf\":"
            << JsonQuote(qn::bench::EntryRtf(n, n + 1 == count ? kWord + " " : std::string()))
            << "}\n";
}

// Counts the syncs of files (fdatasync) and folders (fsync).
struct SyncCount {
    long files = 0, folders = 0;
};

class CountedFile : public FileWrapper {
public:
    CountedFile(std::unique_ptr<File> file, SyncCount &count)
        : FileWrapper(std::move(file)), count_(count)
    {
    }
    void sync() override
    {
        ++count_.files;
        wrapped().sync();
    }

private:
    SyncCount &count_;
};

class CountingFileSystem : public FileSystemWrapper {
public:
    CountingFileSystem() : FileSystemWrapper(DefaultFileSystem()) {}
    SyncCount count;
    std::unique_ptr<File> open(const fs::path &path, OpenMode mode) override
    {
        return std::make_unique<CountedFile>(target().open(path, mode), count);
    }
    void syncFolder(const fs::path &folder) override
    {
        ++count.folders;
        target().syncFolder(folder);
    }
};

// Runs `phase` in a child process and waits for it.
template <typename Phase> int inChild(Phase phase)
{
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        int status = 1;
        try {
            status = phase();
        } catch (const std::exception &error) {
            std::printf("failed: %s\n", error.what());
        }
        std::fflush(stdout);
        _exit(status);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

// Runs a shell command: its time, and the peak memory of its processes.
double timedCommand(const std::string &command, double &peak)
{
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    peak = usage.ru_maxrss / 1024.0;
    return seconds(start);
}

int importPhase(const fs::path &lines, const fs::path &diaryFolder, int count)
{
    CountingFileSystem files;
    engine::SetEngineFileSystem(&files);
    const auto start = std::chrono::steady_clock::now();
    DiaryFolder diary(diaryFolder, "", DiaryFolder::CreateWhenMissing);
    const ImportResult result = ImportIntoDiary(&diary.Records(), lines, false);
    diary.Close();
    const double took = seconds(start);
    std::printf("import  %d entries: %.2f s, %ld fdatasync + %ld folder fsync, peak %.0f MiB "
                "(written %d)\n",
                count, took, files.count.files, files.count.folders, peakMiB(), result.Written());
    engine::SetEngineFileSystem(nullptr);
    return result.Written() == count ? 0 : 1;
}

bool documentMatches(TQnRTFTextIo &document, const std::string &rtf, const std::string &pattern)
{
    document.Clear();
    TQnMemoryStream stream(rtf);
    document.LoadFromStream(stream);
    TQnTextFinder finder;
    finder.SetDocument(&document);
    finder.Opts.Wildcard = '*';
    finder.ToStart();
    return finder.SearchForward(qn::unicode::FromAnsi(pattern));
}

int searchPhase(const fs::path &diaryFolder)
{
    DiaryFolder diary(diaryFolder, "", DiaryFolder::ReadOnly);
    auto start = std::chrono::steady_clock::now();
    const std::vector<DiaryEntry> entries = diary.Records().Entries();
    const double read = seconds(start);
    const TQnBufferFinder finder(qn::unicode::FromAnsi(kWord), U'*');
    TEntryTexts texts;
    TQnRTFTextIo scratch;
    std::string hit;
    start = std::chrono::steady_clock::now();
    for (const DiaryEntry &e : entries) {
        std::u32string text = FoldedEntryText(e.Rtf, scratch);
        const bool found = finder.Matches(text);
        texts.Store(e.Key, std::move(text));
        if (found) {
            hit = e.Key;
            break;
        }
    }
    const double first = seconds(start);
    std::vector<double> repeats;
    for (int round = 0; round < 5; ++round) {
        start = std::chrono::steady_clock::now();
        for (const DiaryEntry &e : entries)
            if (const std::u32string *text = texts.Find(e.Key); text && finder.Matches(*text))
                break;
        repeats.push_back(seconds(start));
    }
    std::sort(repeats.begin(), repeats.end());
    start = std::chrono::steady_clock::now();
    std::string before;
    for (const DiaryEntry &e : entries)
        if (documentMatches(scratch, e.Rtf, kWord)) {
            before = e.Key;
            break;
        }
    const double documents = seconds(start);
    std::printf("search  %zu entries in the process: reading the table %.0f ms; first search "
                "%.0f ms, repeated %.1f ms (texts kept: %.1f MiB); the document search of "
                "before %.0f ms; same hit: %s\n",
                entries.size(), read * 1e3, first * 1e3, repeats[2] * 1e3,
                texts.Bytes() / 1048576.0, documents * 1e3,
                hit == before && !hit.empty() ? "yes" : "NO");
    return hit == before ? 0 : 1;
}

int exportPhase(const fs::path &diaryFolder, const fs::path &target)
{
    DiaryFolder diary(diaryFolder, "", DiaryFolder::ReadOnly);
    CountingFileSystem files;
    ExportRequest request;
    request.Format = ExportFormat::RtfFolder;
    request.Target = target;
    request.Files = &files;
    const auto start = std::chrono::steady_clock::now();
    const ExportResult result = ExportDiary(diary.Records(), request);
    std::printf("export  %d entries to a folder: %.2f s, %ld fdatasync + %ld folder fsync, peak "
                "%.0f MiB\n",
                result.Entries, seconds(start), files.count.files, files.count.folders, peakMiB());
    return result.Complete() ? 0 : 1;
}

std::string quoted(const fs::path &path)
{
    return "'" + path.string() + "'";
}

} // namespace

int main(int argc, char **argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    const fs::path folder =
        argc > 2 ? fs::path(argv[2])
                 : fs::temp_directory_path() / ("qn-scale-bench-" + std::to_string(::getpid()));
    const std::string before = argc > 3 && std::string(argv[3]) != "-" ? argv[3] : "";
    const std::string phases = argc > 4 ? argv[4] : "import,search,export";
    const auto runs = [&](const char *phase) { return phases.find(phase) != std::string::npos; };
    fs::create_directories(folder);
    const fs::path lines = folder / "entries.jsonl";
    if (!fs::exists(lines))
        writeLineFile(lines, count);
    std::printf("%d entries, %.1f MiB of JSON lines in %s\n", count,
                fs::file_size(lines) / 1048576.0, folder.c_str());

    const fs::path diary = folder / "diary";
    if (runs("import")) {
        fs::remove_all(diary);
        if (inChild([&] { return importPhase(lines, diary, count); }) != 0)
            return 1;
    }
    if (runs("import") && !before.empty()) {
        const fs::path old = folder / "diary-before";
        fs::remove_all(old);
        double peak = 0;
        const double took = timedCommand("'" + before + "' import --diary " + quoted(old) + " " +
                                             quoted(lines) + " >/dev/null",
                                         peak);
        std::printf("        before: %.2f s, peak %.0f MiB\n", took, peak);
    }
    if (runs("search") && inChild([&] { return searchPhase(diary); }) != 0)
        return 1;
    if (!runs("export"))
        return 0;
    const fs::path out = folder / "export";
    fs::remove_all(out);
    // What earlier phases left unwritten is not the export's to sync.
    ::sync();
    const auto exportStart = std::chrono::steady_clock::now();
    if (inChild([&] { return exportPhase(diary, out); }) != 0)
        return 1;
    const double exported =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - exportStart).count();
    double peak = 0;
    const fs::path copy = folder / "export-copy";
    fs::remove_all(copy);
    ::sync();
    const double cp = timedCommand("cp -r " + quoted(out) + " " + quoted(copy) + " && sync", peak);
    std::printf("        cp -r of the same files and one sync: %.2f s (the export, with its "
                "process: %.2f s, %.2f x)\n",
                cp, exported, exported / cp);
    if (!before.empty()) {
        const fs::path old = folder / "export-before";
        fs::remove_all(old);
        const double took = timedCommand("'" + before + "' export --format folder --diary " +
                                             quoted(diary) + " " + quoted(old) + " >/dev/null",
                                         peak);
        std::printf("        before: %.2f s\n", took);
    }
    return 0;
}
