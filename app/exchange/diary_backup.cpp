#include "app/exchange/diary_backup.h"

#include "platform/file_lookup.h"
#include "platform/file_replacement.h"
#include "platform/profile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <stdexcept>
#include <sys/file.h>
#include <unistd.h>

namespace qn::exchange {

namespace fs = std::filesystem;

namespace {

constexpr const char *kManifest = "BACKUP.INI";
constexpr const char *kPartialPrefix = ".partial-";

// The diary's own files that a backup holds, as they are named on the disk.
std::vector<fs::path> diaryFiles(const fs::path &diaryDir)
{
    std::vector<fs::path> files;
    std::optional<fs::path> table = FindFileNoCase(diaryDir, "QUILLNK.DBF");
    if (!table)
        return files;
    files.push_back(*table);
    for (const char *name : {"QUILLNK.FPT", "QUILLNK.CDX", "QN.INI"})
        if (auto file = FindFileNoCase(diaryDir, name))
            files.push_back(*file);
    // A journal left by a save that never finished belongs to the files it
    // can still undo.
    const fs::path journal = table->string() + "-journal";
    if (fs::exists(journal))
        files.push_back(journal);
    return files;
}

// Holds the table file's lock while files are copied, so that no other
// program opens the diary meanwhile.
class DiaryLock {
public:
    explicit DiaryLock(const fs::path &diaryDir)
    {
        std::optional<fs::path> table = FindFileNoCase(diaryDir, "QUILLNK.DBF");
        if (!table)
            return;
        fd_ = ::open(table->c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd_);
            fd_ = -1;
            throw std::runtime_error("The diary in " + diaryDir.string() +
                                     " is in use by another program; its files were not copied.");
        }
    }
    ~DiaryLock()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    DiaryLock(const DiaryLock &) = delete;
    DiaryLock &operator=(const DiaryLock &) = delete;

private:
    int fd_ = -1;
};

void copyThrough(FileSystem &fs, const fs::path &from, File &to)
{
    std::unique_ptr<File> source = fs.open(from, OpenMode::ReadOnly);
    std::vector<char> buffer(1 << 20);
    uint64_t offset = 0;
    for (;;) {
        const size_t n = source->readSomeAt(offset, buffer.data(), buffer.size());
        if (n == 0)
            break;
        to.writeAt(offset, buffer.data(), n);
        offset += n;
    }
    to.sync();
}

std::string madeText(TDateTime now)
{
    return FormatDateTime("yyyy-mm-dd hh:nn:ss", now);
}

bool processGone(long pid)
{
    return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

// Temporary folders of backups whose process has ended (killed, or the
// computer stopped) are removed; they never counted as backups.
void removeAbandoned(const fs::path &backups)
{
    std::error_code ec;
    for (fs::directory_iterator it(backups, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(kPartialPrefix, 0) != 0)
            continue;
        const long pid =
            std::strtol(name.c_str() + std::char_traits<char>::length(kPartialPrefix), nullptr, 10);
        if (pid == ::getpid() || processGone(pid)) {
            std::error_code ignored;
            fs::remove_all(it->path(), ignored);
        }
    }
}

std::optional<BackupInfo> readBackup(const fs::path &folder)
{
    const fs::path manifest = folder / kManifest;
    if (!fs::is_regular_file(manifest))
        return std::nullopt;
    TProfileFile ini(manifest);
    BackupInfo info;
    info.Name = folder.filename().string();
    info.Folder = folder;
    info.Made = ini.ReadString("Backup", "Made", "");
    info.Entries = ini.ReadInteger("Backup", "Entries", -1);
    std::string files = ini.ReadString("Backup", "Files", "");
    for (size_t start = 0; start < files.size();) {
        size_t end = files.find('|', start);
        if (end == std::string::npos)
            end = files.size();
        if (end > start)
            info.Files.push_back(files.substr(start, end - start));
        start = end + 1;
    }
    // A backup without its table is of no use to a restore.
    const bool hasTable = std::any_of(info.Files.begin(), info.Files.end(), [](auto &f) {
        return f.size() == 11 && std::equal(f.begin(), f.end(), "QUILLNK.DBF", [](char a, char b) {
                   return std::toupper(static_cast<unsigned char>(a)) == b;
               });
    });
    if (info.Made.empty() || !hasTable)
        return std::nullopt;
    for (const std::string &file : info.Files)
        if (!fs::is_regular_file(folder / file))
            return std::nullopt;
    return info;
}

std::string uniqueName(const fs::path &backups, const std::string &wanted)
{
    std::string name = wanted;
    for (int n = 2; fs::exists(backups / name); ++n)
        name = wanted + "-" + std::to_string(n);
    return name;
}

} // namespace

fs::path BackupsFolder(const fs::path &diaryDir)
{
    return diaryDir / "Backups";
}

int BackupsKept(const fs::path &diaryDir)
{
    auto ini = FindFileNoCase(diaryDir, "QN.INI");
    if (!ini)
        return kDefaultBackupsKept;
    const int keep = TProfileFile(*ini).ReadInteger("Backups", "Keep", kDefaultBackupsKept);
    return keep < 0 ? kDefaultBackupsKept : keep;
}

std::vector<BackupInfo> ListBackups(const fs::path &diaryDir)
{
    std::vector<BackupInfo> list;
    std::error_code ec;
    for (fs::directory_iterator it(BackupsFolder(diaryDir), ec), end; !ec && it != end;
         it.increment(ec)) {
        if (!it->is_directory() || it->path().filename().string().rfind('.', 0) == 0)
            continue;
        if (auto info = readBackup(it->path()))
            list.push_back(std::move(*info));
    }
    std::sort(list.begin(), list.end(), [](const BackupInfo &a, const BackupInfo &b) {
        return a.Made != b.Made ? a.Made > b.Made : a.Name > b.Name;
    });
    return list;
}

BackupInfo MakeBackup(const fs::path &diaryDir, const std::string &name, TDateTime now, int entries,
                      FileSystem &fs)
{
    const std::vector<fs::path> files = diaryFiles(diaryDir);
    if (files.empty())
        throw std::runtime_error("There is no diary in " + diaryDir.string() + " to back up.");
    DiaryLock lock(diaryDir);
    const fs::path backups = BackupsFolder(diaryDir);
    std::error_code ec;
    fs::create_directories(backups, ec);
    if (!fs::is_directory(backups))
        throw std::runtime_error("The backup folder " + backups.string() + " cannot be made" +
                                 (ec ? ": " + ec.message() : "."));
    removeAbandoned(backups);

    const std::string finalName = uniqueName(backups, name);
    const fs::path partial =
        backups / (kPartialPrefix + std::to_string(::getpid()) + "-" + finalName);
    fs::remove_all(partial, ec);
    if (!fs::create_directory(partial, ec))
        throw std::runtime_error("The backup folder " + partial.string() + " cannot be made" +
                                 (ec ? ": " + ec.message() : "."));
    try {
        std::string list;
        for (const fs::path &file : files) {
            std::unique_ptr<File> copy = fs.open(partial / file.filename(), OpenMode::CreateNew);
            copyThrough(fs, file, *copy);
            list += (list.empty() ? "" : "|") + file.filename().string();
        }
        // The note of what the backup holds comes last: without it the
        // folder is not a backup.
        const std::string manifest = "[Backup]\r\nMade=" + madeText(now) +
                                     "\r\nEntries=" + std::to_string(entries) +
                                     "\r\nFiles=" + list + "\r\n";
        std::unique_ptr<File> note = fs.open(partial / kManifest, OpenMode::CreateNew);
        note->writeAt(0, manifest.data(), manifest.size());
        note->sync();
        note.reset();
        fs.syncFolder(partial);
        fs.rename(partial, backups / finalName);
        fs.syncFolder(backups);
    } catch (...) {
        std::error_code ignored;
        fs::remove_all(partial, ignored);
        throw;
    }
    std::optional<BackupInfo> made = readBackup(backups / finalName);
    if (!made)
        throw std::runtime_error("The backup " + finalName + " cannot be read back.");
    return *made;
}

std::optional<BackupInfo> MakeDailyBackup(const fs::path &diaryDir, TDateTime now, int entries,
                                          FileSystem &fs)
{
    const int keep = BackupsKept(diaryDir);
    if (keep == 0 || !FindFileNoCase(diaryDir, "QUILLNK.DBF"))
        return std::nullopt;
    const std::string name = FormatDateTime("yyyy-mm-dd", now);
    if (readBackup(BackupsFolder(diaryDir) / name))
        return std::nullopt;
    // A folder of that name that is no backup (cut short long ago) makes way.
    std::error_code ec;
    fs::remove_all(BackupsFolder(diaryDir) / name, ec);
    BackupInfo made = MakeBackup(diaryDir, name, now, entries, fs);
    PruneBackups(diaryDir, keep);
    return made;
}

void PruneBackups(const fs::path &diaryDir, int keep)
{
    removeAbandoned(BackupsFolder(diaryDir));
    if (keep <= 0)
        return;
    std::vector<BackupInfo> list = ListBackups(diaryDir);
    for (size_t i = static_cast<size_t>(keep); i < list.size(); ++i) {
        std::error_code ec;
        fs::remove_all(list[i].Folder, ec);
    }
}

BackupInfo RestoreBackup(const fs::path &diaryDir, const BackupInfo &chosen, TDateTime now,
                         int currentEntries, FileSystem &fs)
{
    if (!readBackup(chosen.Folder))
        throw std::runtime_error("The backup " + chosen.Name +
                                 " is not complete; nothing was "
                                 "restored.");
    // The files replaced become one more backup first.
    BackupInfo before =
        MakeBackup(diaryDir, FormatDateTime("yyyy-mm-dd-hhnnss", now) + "-before-restore", now,
                   currentEntries, fs);
    DiaryLock lock(diaryDir);

    // Every file is copied beside its target first; the switch is then only
    // renames, one after another.
    std::vector<std::unique_ptr<FileReplacement>> replacements;
    std::vector<fs::path> targets;
    for (const std::string &name : chosen.Files) {
        fs::path target = FindFileNoCase(diaryDir, name).value_or(diaryDir / name);
        auto replacement = std::make_unique<FileReplacement>(target, fs);
        copyThrough(fs, chosen.Folder / name, replacement->file());
        targets.push_back(target);
        replacements.push_back(std::move(replacement));
    }
    // The diary's files that the backup lacks would not belong to the
    // restored table (a missing index is built again at the next start).
    for (const fs::path &current : diaryFiles(diaryDir))
        if (std::find(targets.begin(), targets.end(), current) == targets.end())
            fs.remove(current);
    for (auto &replacement : replacements)
        replacement->commit();
    PruneBackups(diaryDir, std::max(BackupsKept(diaryDir), 1));
    return before;
}

} // namespace qn::exchange
