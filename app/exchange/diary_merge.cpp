#include "app/exchange/diary_merge.h"

#include "app/exchange/diary_backup.h"
#include "app/exchange/entry_document.h"
#include "engine/engine_files.h"
#include "platform/file_system.h"
#include "xbase/table.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace qn::exchange {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kBase = "quillnk";

std::string lowerAscii(std::string_view text)
{
    std::string out(text);
    for (char &c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// Whether `text` from `at` holds `pattern`, where '9' stands for a digit,
// 'X' for a letter or digit, and any other character for itself.
bool matchesAt(std::string_view text, size_t at, std::string_view pattern)
{
    if (at + pattern.size() > text.size())
        return false;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char c = text[at + i];
        const bool digit = c >= '0' && c <= '9';
        const bool letter = c >= 'a' && c <= 'z';
        if (pattern[i] == '9' ? !digit : pattern[i] == 'X' ? !(digit || letter) : c != pattern[i])
            return false;
    }
    return true;
}

// A name given by someone else's computer ("Someone" of a copy): no
// controls, no path, not too long.
bool harmlessOwner(std::string_view owner)
{
    if (owner.empty() || owner.size() > 96)
        return false;
    return std::none_of(owner.begin(), owner.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7F || c == '/' || c == '\\';
    });
}

// The stem and extension of a name ("QUILLNK (x).DBF"): the extension in
// upper case, one of DBF, FPT and CDX, or empty.
std::string tableFileKind(const std::string &name, std::string &stem)
{
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos)
        return {};
    std::string ext = lowerAscii(name.substr(dot + 1));
    if (ext != "dbf" && ext != "fpt" && ext != "cdx")
        return {};
    stem = name.substr(0, dot);
    for (char &c : ext)
        c = static_cast<char>(c - 'a' + 'A');
    return ext;
}

bool plainFile(const fs::path &file)
{
    std::error_code ec;
    return fs::symlink_status(file, ec).type() == fs::file_type::regular;
}

} // namespace

ConflictScheme ConflictSchemeOf(std::string_view stem)
{
    const std::string s = lowerAscii(stem);
    if (s.size() <= kBase.size() || s.compare(0, kBase.size(), kBase) != 0)
        return ConflictScheme::None;
    const size_t at = kBase.size();
    const std::string_view sync = ".sync-conflict-99999999-999999-XXXXXXX";
    if (s.size() == at + sync.size() && matchesAt(s, at, sync))
        return ConflictScheme::SyncConflict;
    const std::string_view copy = " (conflicted copy 9999-99-99 999999)";
    if (s.size() == at + copy.size() && matchesAt(s, at, copy))
        return ConflictScheme::ConflictedCopy;
    // " (Someone's conflicted copy 2026-12-09)", the apostrophe plain or
    // typographic.
    const std::string_view tail = "s conflicted copy 9999-99-99)";
    if (s.size() < at + 2 + tail.size() || s.compare(at, 2, " (") != 0 ||
        !matchesAt(s, s.size() - tail.size(), tail))
        return ConflictScheme::None;
    std::string_view owner(stem.data() + at + 2, s.size() - at - 2 - tail.size());
    if (owner.size() >= 1 && owner.back() == '\'')
        owner.remove_suffix(1);
    else if (owner.size() >= 3 && owner.substr(owner.size() - 3) == "\xE2\x80\x99")
        owner.remove_suffix(3);
    else
        return ConflictScheme::None;
    return harmlessOwner(owner) ? ConflictScheme::OwnConflictedCopy : ConflictScheme::None;
}

std::string DiaryCopy::Name() const
{
    return ShownBytes(Table.filename().string());
}

std::vector<DiaryCopy> FindConflictedCopies(const fs::path &diaryDir)
{
    // Stem (in lower case) to the files of each kind.
    std::map<std::string, std::map<std::string, fs::path>> stems;
    std::error_code ec;
    for (fs::directory_iterator it(diaryDir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::string stem;
        const std::string kind = tableFileKind(name, stem);
        if (kind.empty() || ConflictSchemeOf(stem) == ConflictScheme::None ||
            !plainFile(it->path()))
            continue;
        auto &files = stems[lowerAscii(stem)];
        // Two names of one kind differing only in case: the first in name
        // order counts.
        if (!files.count(kind) || name < files[kind].filename().string())
            files[kind] = it->path();
    }
    std::vector<DiaryCopy> copies;
    for (auto &[stem, files] : stems) {
        if (!files.count("DBF"))
            continue; // a memo or index alone is no table
        DiaryCopy copy;
        copy.Table = files["DBF"];
        copy.Scheme = ConflictSchemeOf(copy.Table.stem().string());
        if (files.count("FPT"))
            copy.Memo = files["FPT"];
        else
            copy.Problem = "its memo file (.FPT) is missing, so its entries cannot be read";
        if (files.count("CDX"))
            copy.Index = files["CDX"];
        copies.push_back(std::move(copy));
    }
    std::sort(copies.begin(), copies.end(),
              [](const DiaryCopy &a, const DiaryCopy &b) { return a.Table < b.Table; });
    return copies;
}

DiaryCopy OtherDiaryTable(const fs::path &table)
{
    DiaryCopy copy;
    copy.Table = table;
    std::string stem;
    const std::string name = table.filename().string();
    if (tableFileKind(name, stem) != "DBF") {
        copy.Problem = "it is not a diary's table (a .DBF file)";
        return copy;
    }
    copy.Scheme = ConflictSchemeOf(stem);
    if (!plainFile(table)) {
        copy.Problem = "it is missing, a link or not a plain file";
        return copy;
    }
    // The memo and index files of the same stem, in any case.
    std::error_code ec;
    const fs::path folder = table.has_parent_path() ? table.parent_path() : fs::path(".");
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string otherStem;
        const std::string kind = tableFileKind(it->path().filename().string(), otherStem);
        if (lowerAscii(otherStem) != lowerAscii(stem) || !plainFile(it->path()))
            continue;
        if (kind == "FPT" && copy.Memo.empty())
            copy.Memo = it->path();
        else if (kind == "CDX" && copy.Index.empty())
            copy.Index = it->path();
    }
    if (copy.Memo.empty())
        copy.Problem = "its memo file (.FPT) is missing, so its entries cannot be read";
    return copy;
}

namespace {

std::string copyBackupNote(const std::string &tableName)
{
    return "conflicted copy " + ShownBytes(tableName);
}

} // namespace

int RemoveMergedCopyLeftovers(const DiaryLock &lock)
{
    const fs::path &diaryDir = lock.folder();
    std::set<std::string> tables;                        // stems with a table, in lower case
    std::vector<std::pair<std::string, fs::path>> parts; // stem (lower case), file
    std::error_code ec;
    for (fs::directory_iterator it(diaryDir, ec), end; !ec && it != end; it.increment(ec)) {
        std::string stem;
        const std::string kind = tableFileKind(it->path().filename().string(), stem);
        if (kind.empty() || ConflictSchemeOf(stem) == ConflictScheme::None)
            continue;
        if (kind == "DBF")
            tables.insert(lowerAscii(stem));
        else if (plainFile(it->path()))
            parts.emplace_back(lowerAscii(stem), it->path());
    }
    std::set<std::string> kept; // notes of the copies' backups, in lower case
    for (const BackupInfo &backup : ListBackups(diaryDir))
        if (!backup.Note.empty())
            kept.insert(lowerAscii(backup.Note));
    int removed = 0;
    for (const auto &[stem, file] : parts) {
        if (tables.count(stem) || !kept.count(lowerAscii(copyBackupNote(stem + ".dbf"))))
            continue;
        if (::unlink(file.c_str()) == 0)
            ++removed;
    }
    if (removed > 0)
        DefaultFileSystem().syncFolder(diaryDir);
    return removed;
}

// ----------------------------------------------------------------- deciding

namespace {

bool blankCharacter(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

// Drops the blanks at the end of UTF-8 text, the no-break space among them.
void trimBlankEnd(std::string &text)
{
    for (;;) {
        if (!text.empty() && blankCharacter(text.back()))
            text.pop_back();
        else if (text.ends_with("\xC2\xA0"))
            text.resize(text.size() - 2);
        else
            return;
    }
}

// The text as the reader sees it, paragraphs one per line, without the
// blanks and empty paragraphs at its end.
std::string plainText(const TQnRTFText &document)
{
    std::string text;
    for (const std::string &paragraph : ParagraphTexts(document))
        text += paragraph + "\n";
    trimBlankEnd(text);
    return text;
}

bool startsWith(const std::string &text, const std::string &start)
{
    return text.compare(0, start.size(), start) == 0;
}

// Whether the diary's paragraphs end with every paragraph of the copy (a
// merge appended it before).
bool endsWithParagraphs(const TQnRTFText &whole, const TQnRTFText &tail)
{
    std::vector<std::string> a = ParagraphTexts(whole), b = ParagraphTexts(tail);
    auto blank = [](std::string p) {
        trimBlankEnd(p);
        return p.empty();
    };
    while (!a.empty() && blank(a.back()))
        a.pop_back();
    while (!b.empty() && blank(b.back()))
        b.pop_back();
    return !b.empty() && b.size() <= a.size() &&
           std::equal(b.begin(), b.end(), a.end() - static_cast<long>(b.size()));
}

} // namespace

MergeAction DecideEntryMerge(const std::optional<std::string> &diaryRtf, const std::string &copyRtf,
                             std::string &text, std::string &message)
{
    std::string error;
    std::unique_ptr<TQnRTFText> copy = ReadDocument(copyRtf, SourceFormat::Rtf, error);
    if (!copy) {
        message = "the copy's entry cannot be read (" + error + ")";
        return MergeAction::Failed;
    }
    if (IsBlankDocument(*copy))
        return MergeAction::Same;
    if (!diaryRtf) {
        text = copyRtf;
        return MergeAction::Added;
    }
    std::unique_ptr<TQnRTFText> diary = ReadDocument(*diaryRtf, SourceFormat::Rtf, error);
    if (!diary) {
        message = "the diary's entry cannot be read (" + error + "); it was left as it is";
        return MergeAction::Failed;
    }
    const std::string mine = plainText(*diary), theirs = plainText(*copy);
    if (mine == theirs)
        return MergeAction::Same;
    if (startsWith(mine, theirs))
        return MergeAction::DiaryLonger;
    if (startsWith(theirs, mine)) {
        text = copyRtf;
        return MergeAction::CopyLonger;
    }
    if (endsWithParagraphs(*diary, *copy))
        return MergeAction::AlreadyFollows;
    if (!AppendRtf(*diary, copyRtf, true, error)) {
        message = "the copy's entry cannot be added to the diary's (" + error + ")";
        return MergeAction::Failed;
    }
    text = DocumentRtf(*diary);
    return MergeAction::Appended;
}

int MergeResult::Count(MergeAction action) const
{
    return static_cast<int>(std::count_if(Items.begin(), Items.end(),
                                          [&](const MergeItem &i) { return i.What == action; }));
}

std::string MergeResult::Report() const
{
    std::string text;
    const char *would = DryRun ? "would be " : "";
    for (const MergeItem &item : Items) {
        const std::string date = IsDateKey(item.Key) ? KeyAsIsoDate(item.Key) : item.Key;
        switch (item.What) {
        case MergeAction::Added:
            text += date + ": " + would + "added from the copy\n";
            break;
        case MergeAction::CopyLonger:
            text += date + ": the copy's text goes on where the diary's ends; " + would + "taken\n";
            break;
        case MergeAction::Appended:
            text += date + ": the texts differ; the copy's text " + would +
                    "added after a page break\n";
            break;
        case MergeAction::Failed:
            text += date + ": not merged: " + item.Message + "\n";
            break;
        default:
            break;
        }
    }
    const int left = Count(MergeAction::Same) + Count(MergeAction::DiaryLonger) +
                     Count(MergeAction::AlreadyFollows);
    text += Copy + ": " + std::to_string(Count(MergeAction::Added)) + " added, " +
            std::to_string(Count(MergeAction::CopyLonger)) +
            " replaced by the copy's longer text, " + std::to_string(Count(MergeAction::Appended)) +
            " appended after a page break, " + std::to_string(left) + " already in the diary, " +
            std::to_string(Count(MergeAction::Failed)) + " not merged.\n";
    if (DryRun)
        text += "Dry run: the diary was not changed.\n";
    if (!Before.empty())
        text += "The diary as it was before is kept as the backup " + Before + ".\n";
    if (!Backup.empty())
        text += "The copy's files are kept as the backup " + Backup + ".\n";
    if (Cancelled)
        text += "Stopped before the end: the dates above were merged, the rest not; the copy "
                "stays where it was.\n";
    if (!Failure.empty())
        text += "Stopped: " + Failure + "\n";
    return text;
}

// ------------------------------------------------------------------ merging

namespace {

// Copies a plain file (never through a link, never a FIFO or device) to a
// new file, synced.
void copyPlainFile(const fs::path &from, const fs::path &to, FileSystem &fs)
{
    const int fd = ::open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        throw FileError(ShownBytes(from.filename().string()) +
                        " cannot be read: " + std::strerror(errno));
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        throw FileError(ShownBytes(from.filename().string()) + " is not a plain file");
    }
    try {
        std::unique_ptr<File> out = fs.open(to, OpenMode::CreateNew);
        std::vector<char> buffer(1 << 20);
        uint64_t offset = 0;
        for (;;) {
            const ssize_t n = ::read(fd, buffer.data(), buffer.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                throw FileError(ShownBytes(from.filename().string()) +
                                " cannot be read: " + std::strerror(errno));
            if (n == 0)
                break;
            out->writeAt(offset, buffer.data(), static_cast<size_t>(n));
            offset += static_cast<uint64_t>(n);
        }
        out->sync();
    } catch (...) {
        ::close(fd);
        throw;
    }
    ::close(fd);
}

// The copy's files under the diary's own names in a folder of their own,
// where its table can be opened, its index built, and which becomes the
// copy's backup.
struct Staging {
    fs::path Folder;
    std::string FinalName; // under Backups/; empty for a temporary folder
    ~Staging()
    {
        std::error_code ec;
        if (!Folder.empty())
            fs::remove_all(Folder, ec);
    }
};

void stageCopy(const DiaryCopy &copy, const fs::path &folder)
{
    FileSystem &files = DefaultFileSystem();
    copyPlainFile(copy.Table, folder / "QUILLNK.DBF", files);
    copyPlainFile(copy.Memo, folder / "QUILLNK.FPT", files);
    if (!copy.Index.empty())
        copyPlainFile(copy.Index, folder / "QUILLNK.CDX", files);
    files.syncFolder(folder);
}

enum class ReadStatus { Read, NeedsPassword };

// Reads the staged table's entries; builds its index when it is missing or
// does not match the entries.
ReadStatus readStaged(const fs::path &folder, const std::string &password,
                      std::vector<DiaryEntry> &entries)
{
    xbase::EngineSettings settings;
    engine::CopyFileSettings(settings);
    settings.password = password;
    settings.deleted = true;
    auto table =
        xbase::Table::open(folder / "QUILLNK.DBF", xbase::Table::Access::Exclusive, settings);
    if (table->encrypted() && !table->keyFits())
        return ReadStatus::NeedsPassword;
    const int date = table->fieldIndex("DATE"), entry = table->fieldIndex("ENTRY");
    if (date < 0 || entry < 0)
        throw std::runtime_error("it is not a diary's table (it has no DATE and ENTRY)");
    if (table->tagOrder("DATE") == 0 || !table->checkIndexes().empty()) {
        table->closeIndexes();
        std::error_code ec;
        fs::remove(folder / "QUILLNK.CDX", ec);
        table->indexTag(folder / "QUILLNK.CDX", "DATE", "DATE", false, false, "");
    }
    table->setOrder(0);
    entries.clear();
    for (table->goTop(); !table->eof(); table->skip(1)) {
        std::string key = table->text(date);
        while (!key.empty() && key.back() == ' ')
            key.pop_back();
        entries.push_back(
            {std::move(key), table->memo(entry), static_cast<int32_t>(table->recno())});
    }
    table->close();
    return ReadStatus::Read;
}

// Reads the staged copy, asking for its password when the diary's does not
// open it (`used` receives the one that did). False when no fitting
// password was given.
bool readCopy(const fs::path &folder, const DiaryCopy &copy, const MergeOptions &options,
              std::vector<DiaryEntry> &entries, std::string &used, std::string &failure)
{
    used = options.DiaryPassword;
    if (readStaged(folder, used, entries) == ReadStatus::Read)
        return true;
    for (int attempt = 0; options.AskPassword && attempt < 3; ++attempt) {
        std::optional<std::string> password = options.AskPassword(copy.Name());
        if (!password)
            break;
        used = *password;
        if (readStaged(folder, used, entries) == ReadStatus::Read)
            return true;
    }
    failure = "the copy " + copy.Name() +
              " is encrypted under another password, which was not given; nothing was merged "
              "and the copy stays where it is.";
    return false;
}

fs::path privateTemporaryFolder()
{
    std::string pattern = (fs::temp_directory_path() / "quillnook-merge-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw FileError(std::string("A temporary folder cannot be made: ") + std::strerror(errno));
    return pattern;
}

// Merges the entries read from the copy; stops (Failure) when the diary
// cannot be written.
void mergeEntries(DiaryRecords &records, const std::vector<DiaryEntry> &entries,
                  const MergeOptions &options, MergeResult &result)
{
    std::map<std::string, std::string> written;
    const int total = static_cast<int>(entries.size());
    if (options.Progress && !options.Progress(0, total)) {
        result.Cancelled = true;
        return;
    }
    for (int i = 0; i < total; ++i) {
        const DiaryEntry &entry = entries[static_cast<size_t>(i)];
        MergeItem item;
        item.Key = entry.Key;
        try {
            if (!IsDateKey(entry.Key)) {
                item.Key = ShownBytes(entry.Key);
                item.What = MergeAction::Failed;
                item.Message = "the copy's record " + std::to_string(entry.Record) +
                               " has no date (yyyy-mm-dd)";
            } else {
                auto it = written.find(entry.Key);
                std::optional<std::string> now =
                    it != written.end() ? std::optional(it->second) : records.Entry(entry.Key);
                std::string text;
                item.What = DecideEntryMerge(now, entry.Rtf, text, item.Message);
                if (item.What == MergeAction::Added || item.What == MergeAction::CopyLonger ||
                    item.What == MergeAction::Appended) {
                    if (!options.DryRun)
                        records.Store(entry.Key, text);
                    written[entry.Key] = text;
                }
            }
        } catch (const std::exception &error) {
            item.What = MergeAction::Failed;
            item.Message = std::string("the diary could not be written: ") + error.what();
            result.Items.push_back(std::move(item));
            result.Failure = std::string("the diary could not be written (") + error.what() +
                             "); the copy stays where it is.";
            return;
        }
        result.Items.push_back(std::move(item));
        if (options.Progress && !options.Progress(i + 1, total)) {
            result.Cancelled = i + 1 < total;
            if (result.Cancelled)
                return;
        }
    }
}

// The copy's own files leave the diary's folder: the table first, so that
// a crash in between leaves no table to be offered again, only a memo or
// index file of no table.
void removeCopyFiles(const DiaryCopy &copy)
{
    for (const fs::path *file : {&copy.Table, &copy.Memo, &copy.Index})
        if (!file->empty() && ::unlink(file->c_str()) != 0 && errno != ENOENT)
            throw FileError(ShownBytes(file->filename().string()) +
                            " cannot be removed: " + std::strerror(errno));
    DefaultFileSystem().syncFolder(copy.Table.has_parent_path() ? copy.Table.parent_path()
                                                                : fs::path("."));
}

// A backup of an encrypted diary stays encrypted under the diary's
// password: the staged copy (in clear, or under another password) is put
// under it before it becomes a backup.
void keyStagedAsDiary(const fs::path &folder, const std::string &used,
                      const std::string &diaryPassword)
{
    if (diaryPassword.empty())
        return;
    xbase::EngineSettings settings;
    engine::CopyFileSettings(settings);
    settings.password = used;
    auto table =
        xbase::Table::open(folder / "QUILLNK.DBF", xbase::Table::Access::Exclusive, settings);
    // A copy in clear was read under any password; one encrypted under the
    // diary's own needs nothing.
    if (table->encrypted() && (used == diaryPassword || !table->keyFits()))
        return;
    table->changeKey(diaryPassword, [&] { settings.password = diaryPassword; });
    table->close();
}

} // namespace

MergeResult MergeDiaryCopy(DiaryRecords &records, const DiaryLock &lock, const DiaryCopy &copy,
                           const MergeOptions &options)
{
    MergeResult result;
    result.Copy = copy.Name();
    result.DryRun = options.DryRun;
    if (!copy.Problem.empty()) {
        result.Failure = "the copy " + copy.Name() + " cannot be merged: " + copy.Problem + ".";
        return result;
    }
    const fs::path &diaryDir = lock.folder();
    const TDateTime now = options.Now != 0 ? options.Now : Now();
    const std::string stamp = FormatDateTime("yyyy-mm-dd-hhnnss", now);
    try {
        if (!options.DryRun && options.BackupBefore)
            result.Before = MakeBackup(diaryDir, stamp + "-before-merge", now, records.Count(),
                                       DefaultFileSystem(), &lock)
                                .Name;
        // Made after the backup above, which clears this process's unfinished ones.
        Staging staging;
        // A table that stays where it is needs no backup of its own.
        if (options.DryRun || !options.MoveToBackups)
            staging.Folder = privateTemporaryFolder();
        else
            staging.Folder =
                StartBackupFolder(diaryDir, stamp + "-conflicted-copy", staging.FinalName);
        stageCopy(copy, staging.Folder);
        std::vector<DiaryEntry> entries;
        std::string used;
        try {
            if (!readCopy(staging.Folder, copy, options, entries, used, result.Failure))
                return result;
        } catch (const std::exception &error) {
            result.Failure = "the copy " + copy.Name() + " cannot be read: " + error.what() +
                             "; nothing was merged.";
            return result;
        }
        mergeEntries(records, entries, options, result);
        if (options.DryRun || !options.MoveToBackups || result.Cancelled || !result.Failure.empty())
            return result;
        keyStagedAsDiary(staging.Folder, used, options.DiaryPassword);
        std::vector<std::string> names = {"QUILLNK.DBF", "QUILLNK.FPT", "QUILLNK.CDX"};
        result.Backup = FinishBackupFolder(diaryDir, staging.Folder, staging.FinalName, now,
                                           static_cast<int>(entries.size()), names,
                                           copyBackupNote(copy.Table.filename().string()))
                            .Name;
        staging.Folder.clear(); // it is the backup now
        removeCopyFiles(copy);
    } catch (const DiaryInUseError &error) {
        result.Failure = error.what();
    } catch (const std::exception &error) {
        result.Failure = std::string(error.what()) +
                         (result.Backup.empty() ? "; the copy stays where it is." : "");
    }
    return result;
}

} // namespace qn::exchange
