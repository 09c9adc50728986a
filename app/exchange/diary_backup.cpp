#include "app/exchange/diary_backup.h"

#include "engine/engine_files.h"
#include "platform/file_lookup.h"
#include "platform/file_replacement.h"
#include "platform/file_system.h"
#include "platform/profile.h"
#include "xbase/file_io.h"
#include "xbase/file_switch.h"
#include "xbase/table.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <memory>
#include <stdexcept>
#include <unistd.h>

namespace qn::exchange {

namespace fs = std::filesystem;
namespace file_switch = xbase::file_switch;

namespace {

constexpr const char *kPartialPrefix = ".partial-";
constexpr const char *kTableName = "QUILLNK.DBF";
constexpr const char *kPreferencesName = "QN.INI";
// The diary's files a backup may hold, as BACKUP.INI names them (in any case).
constexpr const char *kKnownFiles[] = {"QUILLNK.DBF", "QUILLNK.FPT", "QUILLNK.CDX",
                                       "QUILLNK.DBF-journal", "QN.INI"};
constexpr size_t kLongestName = 32;
constexpr uintmax_t kLargestManifest = 64 * 1024;

bool sameName(const std::string &a, const std::string &b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

// A name from a file as it may be shown: printable ASCII, cut short.
std::string shown(const std::string &name)
{
    std::string out;
    for (char c : name.substr(0, kLongestName))
        out += (c >= 0x20 && c < 0x7F) ? c : '?';
    return "\"" + out + (name.size() > kLongestName ? "...\"" : "\"");
}

// Holds the diary's lock unless the caller does.
class LockUnlessHeld {
public:
    LockUnlessHeld(const fs::path &diaryDir, const DiaryLock *held)
    {
        if (!held)
            own_ = std::make_unique<DiaryLock>(diaryDir);
    }

private:
    std::unique_ptr<DiaryLock> own_;
};

// The diary's own files that a backup holds, as they are named on the disk.
std::vector<fs::path> diaryFiles(const fs::path &diaryDir)
{
    std::vector<fs::path> files;
    std::optional<fs::path> table = FindFileNoCase(diaryDir, kTableName);
    if (!table)
        return files;
    files.push_back(*table);
    for (const char *name : {"QUILLNK.FPT", "QUILLNK.CDX"})
        if (auto file = FindFileNoCase(diaryDir, name))
            files.push_back(*file);
    // A journal left by a save that never finished belongs to the files it
    // can still undo.
    const fs::path journal = table->string() + "-journal";
    if (fs::exists(journal))
        files.push_back(journal);
    return files;
}

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

bool plainFile(const fs::path &file)
{
    std::error_code ec;
    return fs::symlink_status(file, ec).type() == fs::file_type::regular;
}

std::string manifestText(TDateTime now, int entries, const std::vector<std::string> &files)
{
    std::string list;
    for (const std::string &file : files)
        list += (list.empty() ? "" : "|") + file;
    return "[Backup]\r\nMade=" + madeText(now) + "\r\nEntries=" + std::to_string(entries) +
           "\r\nFiles=" + list + "\r\n";
}

std::string uniqueName(const fs::path &backups, const std::string &wanted)
{
    std::string name = wanted;
    for (int n = 2; fs::exists(backups / name); ++n)
        name = wanted + "-" + std::to_string(n);
    return name;
}

fs::path makeBackupsFolder(const fs::path &diaryDir)
{
    // Backups hold the whole diary: folders made here are the user's alone.
    const fs::path backups = BackupsFolder(diaryDir);
    std::error_code ec;
    if (!fs::is_directory(backups, ec))
        CreatePrivateFolder(backups);
    return backups;
}

BackupInfo makeBackupHolding(const fs::path &diaryDir, const std::string &name, TDateTime now,
                             int entries, FileSystem &fs)
{
    const std::vector<fs::path> files = diaryFiles(diaryDir);
    if (files.empty())
        throw std::runtime_error("There is no diary in " + diaryDir.string() + " to back up.");
    std::string finalName;
    const fs::path partial = StartBackupFolder(diaryDir, name, finalName);
    try {
        std::vector<std::string> names;
        for (const fs::path &file : files) {
            std::unique_ptr<File> copy = fs.open(partial / file.filename(), OpenMode::CreateNew);
            copyThrough(fs, file, *copy);
            names.push_back(file.filename().string());
        }
        return FinishBackupFolder(diaryDir, partial, finalName, now, entries, names, {}, fs);
    } catch (...) {
        std::error_code ignored;
        fs::remove_all(partial, ignored);
        throw;
    }
}

// An earlier version copied QN.INI, with the scrambled password, into every
// backup: the copy goes, BACKUP.INI first (so that the backup stays whole).
void dropPreferencesCopy(const BackupInfo &backup)
{
    auto ini = std::find_if(backup.Files.begin(), backup.Files.end(),
                            [](const std::string &f) { return sameName(f, kPreferencesName); });
    if (ini == backup.Files.end())
        return;
    const std::string name = *ini;
    std::vector<std::string> kept = backup.Files;
    kept.erase(kept.begin() + (ini - backup.Files.begin()));
    TProfileFile manifest(backup.Folder / kBackupManifest);
    std::string text = "[Backup]\r\nMade=" + backup.Made +
                       "\r\nEntries=" + std::to_string(backup.Entries) + "\r\nFiles=";
    for (size_t i = 0; i < kept.size(); ++i)
        text += (i ? "|" : "") + kept[i];
    text += "\r\n";
    ReplaceFile(backup.Folder / kBackupManifest, text);
    DefaultFileSystem().remove(backup.Folder / name);
}

// Finishes or undoes a key change of the backup's table that was cut short.
void settleBackupSwitch(const fs::path &table)
{
    if (file_switch::pending(table))
        file_switch::recover(DefaultFileSystem(), table);
}

std::vector<BackupInfo> readAll(const fs::path &diaryDir)
{
    std::vector<BackupInfo> list;
    std::error_code ec;
    for (fs::directory_iterator it(BackupsFolder(diaryDir), ec), end; !ec && it != end;
         it.increment(ec)) {
        if (it->is_symlink() || !it->is_directory() ||
            it->path().filename().string().rfind('.', 0) == 0)
            continue;
        if (auto info = ReadBackup(it->path()))
            list.push_back(std::move(*info));
    }
    std::sort(list.begin(), list.end(), [](const BackupInfo &a, const BackupInfo &b) {
        return a.Made != b.Made ? a.Made > b.Made : a.Name > b.Name;
    });
    return list;
}

} // namespace

fs::path BackupsFolder(const fs::path &diaryDir)
{
    return diaryDir / "Backups";
}

fs::path StartBackupFolder(const fs::path &diaryDir, const std::string &name,
                           std::string &finalName)
{
    const fs::path backups = makeBackupsFolder(diaryDir);
    removeAbandoned(backups);
    finalName = uniqueName(backups, name);
    const fs::path partial =
        backups / (kPartialPrefix + std::to_string(::getpid()) + "-" + finalName);
    std::error_code ec;
    fs::remove_all(partial, ec);
    CreatePrivateFolder(partial);
    return partial;
}

BackupInfo FinishBackupFolder(const fs::path &diaryDir, const fs::path &partial,
                              const std::string &finalName, TDateTime now, int entries,
                              const std::vector<std::string> &names, const std::string &note,
                              FileSystem &fs)
{
    const fs::path backups = BackupsFolder(diaryDir);
    // The note of what the backup holds comes last: without it the folder
    // is not a backup.
    std::string manifest = manifestText(now, entries, names);
    if (!note.empty())
        manifest += "Note=" + note + "\r\n";
    std::unique_ptr<File> file = fs.open(partial / kBackupManifest, OpenMode::CreateNew);
    file->writeAt(0, manifest.data(), manifest.size());
    file->sync();
    file.reset();
    fs.syncFolder(partial);
    fs.rename(partial, backups / finalName);
    fs.syncFolder(backups);
    std::optional<BackupInfo> made = ReadBackup(backups / finalName);
    if (!made || !made->Problem.empty())
        throw std::runtime_error("The backup " + finalName + " cannot be read back.");
    return *made;
}

int BackupsKept(const fs::path &diaryDir)
{
    auto ini = FindFileNoCase(diaryDir, kPreferencesName);
    if (!ini)
        return kDefaultBackupsKept;
    const int keep = TProfileFile(*ini).ReadInteger("Backups", "Keep", kDefaultBackupsKept);
    return keep < 0 ? kDefaultBackupsKept : keep;
}

std::string CheckBackupFileList(const std::string &list, std::vector<std::string> &files)
{
    files.clear();
    if (list.size() > kLongestName * std::size(kKnownFiles) * 2)
        return "its list of files is too long";
    for (size_t start = 0; start <= list.size();) {
        size_t end = list.find('|', start);
        if (end == std::string::npos)
            end = list.size();
        const std::string name = list.substr(start, end - start);
        start = end + 1;
        if (name.empty())
            continue;
        if (name.size() > kLongestName)
            return "it names a file with a name too long (" + shown(name) + ")";
        if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos ||
            name == "." || name == "..")
            return "it names a path instead of a file of the diary (" + shown(name) + ")";
        if (std::none_of(std::begin(kKnownFiles), std::end(kKnownFiles),
                         [&](const char *known) { return sameName(name, known); }))
            return "it names a file that is none of the diary's (" + shown(name) + ")";
        if (std::any_of(files.begin(), files.end(),
                        [&](const std::string &f) { return sameName(f, name); }))
            return "it names a file twice (" + shown(name) + ")";
        files.push_back(name);
    }
    if (std::none_of(files.begin(), files.end(),
                     [](const std::string &f) { return sameName(f, kTableName); }))
        return "it holds no diary table";
    return {};
}

std::optional<BackupInfo> ReadBackup(const fs::path &folder)
{
    const fs::path manifest = folder / kBackupManifest;
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(manifest, ec)))
        return std::nullopt;
    BackupInfo info;
    info.Name = folder.filename().string();
    info.Folder = folder;
    auto refuse = [&](const std::string &why) {
        info.Problem = "The backup " + info.Name + " cannot be used: " + why + ".";
        info.Files.clear();
        return info;
    };
    if (!plainFile(manifest))
        return refuse(std::string(kBackupManifest) + " is not a plain file");
    if (fs::file_size(manifest, ec) > kLargestManifest || ec)
        return refuse(std::string(kBackupManifest) + " is too large");
    TProfileFile ini(manifest);
    info.Made = ini.ReadString("Backup", "Made", "");
    info.Entries = ini.ReadInteger("Backup", "Entries", -1);
    info.Note = ini.ReadString("Backup", "Note", "");
    if (info.Made.empty())
        return refuse(std::string(kBackupManifest) + " does not say when it was made");
    const std::string problem =
        CheckBackupFileList(ini.ReadString("Backup", "Files", ""), info.Files);
    if (!problem.empty())
        return refuse(std::string(kBackupManifest) + " is damaged: " + problem);
    for (const std::string &file : info.Files)
        if (!plainFile(folder / file))
            return refuse(file + " is missing or not a plain file");
    return info;
}

std::vector<BackupInfo> ListBackups(const fs::path &diaryDir)
{
    std::vector<BackupInfo> list = readAll(diaryDir);
    list.erase(std::remove_if(list.begin(), list.end(),
                              [](const BackupInfo &b) { return !b.Problem.empty(); }),
               list.end());
    return list;
}

std::vector<BackupInfo> ListUnusableBackups(const fs::path &diaryDir)
{
    std::vector<BackupInfo> list = readAll(diaryDir);
    list.erase(std::remove_if(list.begin(), list.end(),
                              [](const BackupInfo &b) { return b.Problem.empty(); }),
               list.end());
    return list;
}

BackupInfo MakeBackup(const fs::path &diaryDir, const std::string &name, TDateTime now, int entries,
                      FileSystem &fs, const DiaryLock *held)
{
    if (!FindFileNoCase(diaryDir, kTableName))
        throw std::runtime_error("There is no diary in " + diaryDir.string() + " to back up.");
    LockUnlessHeld lock(diaryDir, held);
    return makeBackupHolding(diaryDir, name, now, entries, fs);
}

std::optional<BackupInfo> MakeDailyBackup(const fs::path &diaryDir, TDateTime now, int entries,
                                          FileSystem &fs, const DiaryLock *held)
{
    const int keep = BackupsKept(diaryDir);
    if (keep == 0 || !FindFileNoCase(diaryDir, kTableName))
        return std::nullopt;
    LockUnlessHeld lock(diaryDir, held);
    const std::string name = FormatDateTime("yyyy-mm-dd", now);
    std::optional<BackupInfo> today = ReadBackup(BackupsFolder(diaryDir) / name);
    if (today && today->Problem.empty())
        return std::nullopt;
    // A folder of that name that is no backup (cut short long ago) makes way.
    std::error_code ec;
    if (!today)
        fs::remove_all(BackupsFolder(diaryDir) / name, ec);
    BackupInfo made = makeBackupHolding(diaryDir, name, now, entries, fs);
    PruneBackups(diaryDir, keep);
    return made;
}

void PruneBackups(const fs::path &diaryDir, int keep)
{
    removeAbandoned(BackupsFolder(diaryDir));
    std::vector<BackupInfo> list = ListBackups(diaryDir);
    for (size_t i = 0; i < list.size(); ++i) {
        std::error_code ec;
        if (keep > 0 && i >= static_cast<size_t>(keep))
            fs::remove_all(list[i].Folder, ec);
        else
            try {
                dropPreferencesCopy(list[i]);
            } catch (const std::exception &) {
                // tried again at the next backup
            }
    }
}

namespace {

// Copies the backup's files beside the diary's (new names of the switch)
// and answers the targets they replace and the diary's files to remove.
void stageRestore(const BackupInfo &backup, const fs::path &table, FileSystem &fs,
                  std::vector<fs::path> &targets, std::vector<fs::path> &removals)
{
    const fs::path journal = fs::path(table.string() + "-journal");
    const std::pair<const char *, fs::path> roles[] = {
        {"QUILLNK.DBF", table},
        {"QUILLNK.FPT", xbase::siblingWithExtension(table, ".FPT")},
        {"QUILLNK.CDX", xbase::siblingWithExtension(table, ".CDX")},
        {"QUILLNK.DBF-journal", journal}};
    for (const auto &roleAndTarget : roles) {
        const char *role = roleAndTarget.first;
        const fs::path &target = roleAndTarget.second;
        auto held = std::find_if(backup.Files.begin(), backup.Files.end(),
                                 [&](const std::string &f) { return sameName(f, role); });
        if (held == backup.Files.end()) {
            // A file the backup lacks does not belong to the restored table
            // (a missing index is built again when the diary opens).
            std::error_code ec;
            if (fs::exists(fs::symlink_status(target, ec)))
                removals.push_back(target);
            continue;
        }
        targets.push_back(target);
        std::unique_ptr<File> copy = fs.open(file_switch::newNameFor(target), OpenMode::Create);
        copyThrough(fs, backup.Folder / *held, *copy);
    }
}

} // namespace

BackupInfo RestoreBackup(const fs::path &diaryDir, const BackupInfo &chosen, TDateTime now,
                         int currentEntries, FileSystem &fs, const DiaryLock *held)
{
    LockUnlessHeld lock(diaryDir, held);
    // The backup is read again: only what its own BACKUP.INI names, checked.
    std::optional<BackupInfo> backup = ReadBackup(chosen.Folder);
    if (!backup)
        throw std::runtime_error("The backup " + chosen.Name +
                                 " is not complete; nothing was restored.");
    if (!backup->Problem.empty())
        throw std::runtime_error(backup->Problem + " Nothing was restored.");
    if (auto inBackup = FindFileNoCase(backup->Folder, kTableName))
        settleBackupSwitch(*inBackup);

    const fs::path table = FindFileNoCase(diaryDir, kTableName).value_or(diaryDir / kTableName);
    // A switch an earlier run left is settled before anything is copied.
    if (file_switch::pending(table))
        file_switch::recover(fs, table);
    // The files replaced become one more backup first.
    BackupInfo before;
    if (fs::exists(table))
        before = makeBackupHolding(diaryDir,
                                   FormatDateTime("yyyy-mm-dd-hhnnss", now) + "-before-restore",
                                   now, currentEntries, fs);
    std::vector<fs::path> targets, removals;
    try {
        stageRestore(*backup, table, fs, targets, removals);
        fs.syncFolder(diaryDir);
    } catch (...) {
        file_switch::discard(fs, targets);
        throw;
    }
    try {
        file_switch::commit(fs, table, targets, removals);
    } catch (const std::exception &error) {
        // Before the marker: the diary is as it was. After it: the next
        // open finishes the switch.
        if (!fs::exists(file_switch::markerFor(table)))
            file_switch::discard(fs, targets);
        throw std::runtime_error(std::string(error.what()));
    }
    PruneBackups(diaryDir, std::max(BackupsKept(diaryDir), 1));
    return before;
}

BackupKeyResult ChangeBackupKeys(const fs::path &diaryDir, const std::string &oldPassword,
                                 const std::string &newPassword,
                                 const std::function<void(int, int)> &progress,
                                 const DiaryLock *held)
{
    LockUnlessHeld lock(diaryDir, held);
    BackupKeyResult result;
    const std::vector<BackupInfo> list = ListBackups(diaryDir);
    const int total = static_cast<int>(list.size());
    for (int i = 0; i < total; ++i) {
        const BackupInfo &backup = list[static_cast<size_t>(i)];
        if (progress)
            progress(i, total);
        try {
            dropPreferencesCopy(backup);
            const fs::path table = *FindFileNoCase(backup.Folder, kTableName);
            xbase::EngineSettings settings;
            engine::CopyFileSettings(settings);
            settings.password = oldPassword;
            // Each backup's table changes key in a switch of its own.
            auto t = xbase::Table::open(table, xbase::Table::Access::Exclusive, settings);
            if (t->encrypted() && !t->keyFits())
                throw std::runtime_error("the previous password does not open it");
            if (t->encrypted() || !newPassword.empty())
                t->changeKey(newPassword, [&] { settings.password = newPassword; });
            t->close();
            ++result.Changed;
        } catch (const std::exception &error) {
            result.LeftAlone.push_back(backup.Name + ": " + error.what());
        }
    }
    if (progress)
        progress(total, total);
    return result;
}

int DeleteAllBackups(const fs::path &diaryDir, const DiaryLock *held)
{
    LockUnlessHeld lock(diaryDir, held);
    int removed = 0;
    std::error_code ec;
    std::vector<fs::path> folders;
    for (fs::directory_iterator it(BackupsFolder(diaryDir), ec), end; !ec && it != end;
         it.increment(ec))
        if (!it->is_symlink() && it->is_directory())
            folders.push_back(it->path());
    for (const fs::path &folder : folders) {
        const bool backup = ReadBackup(folder).has_value();
        std::error_code ignored;
        fs::remove_all(folder, ignored);
        removed += backup ? 1 : 0;
    }
    return removed;
}

} // namespace qn::exchange
