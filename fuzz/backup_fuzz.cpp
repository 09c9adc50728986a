// libFuzzer target: a BACKUP.INI from outside, in a backup folder of a
// diary inside a private temporary folder, and the restore it leads to.
// Every file the restore opens, renames or removes must lie in the diary's
// folder (the file door is watched), and nothing else in the private folder
// may be created or changed (it is compared after every input); either is
// reported as a crash. Input: the bytes of BACKUP.INI.

#include "app/exchange/diary_backup.h"
#include "platform/datetime.h"
#include "xbase/table.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <map>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct Scene {
    fs::path root, diary, pristine, backup;
};

[[noreturn]] void fail(const std::string &what)
{
    std::fprintf(stderr, "backup_fuzz: %s\n", what.c_str());
    std::abort();
}

bool inside(const fs::path &path, const fs::path &folder)
{
    const std::string p = fs::weakly_canonical(path).string();
    const std::string f = folder.string() + "/";
    return p.rfind(f, 0) == 0;
}

// Refuses (as a crash) any operation on a file outside the diary's folder.
class WatchedFileSystem : public qn::FileSystemWrapper {
public:
    explicit WatchedFileSystem(fs::path diary)
        : FileSystemWrapper(qn::DefaultFileSystem()), diary_(std::move(diary))
    {
    }
    std::unique_ptr<qn::File> open(const fs::path &path, qn::OpenMode mode) override
    {
        check(path);
        return target().open(path, mode);
    }
    void rename(const fs::path &from, const fs::path &to) override
    {
        check(from);
        check(to);
        target().rename(from, to);
    }
    void remove(const fs::path &path) override
    {
        check(path);
        target().remove(path);
    }
    void syncFolder(const fs::path &folder) override
    {
        if (folder != diary_)
            check(folder);
        target().syncFolder(folder);
    }

private:
    void check(const fs::path &path) const
    {
        if (!inside(path, diary_))
            fail("the restore reached " + path.string());
    }
    fs::path diary_;
};

void writeFile(const fs::path &file, const std::string &bytes)
{
    std::ofstream(file, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

// Every file and folder of the private folder outside the diary, with its
// size and change time.
std::map<std::string, std::string> outsideState(const Scene &s)
{
    std::map<std::string, std::string> state;
    for (auto it = fs::recursive_directory_iterator(s.root);
         it != fs::recursive_directory_iterator(); ++it) {
        if (it->path() == s.diary) {
            it.disable_recursion_pending();
            continue;
        }
        struct stat info {};
        ::lstat(it->path().c_str(), &info);
        state[it->path().string()] =
            std::to_string(info.st_size) + "/" + std::to_string(info.st_mtim.tv_sec) + "." +
            std::to_string(info.st_mtim.tv_nsec) + "/" + std::to_string(info.st_mode);
    }
    return state;
}

const Scene &scene()
{
    static const Scene made = [] {
        Scene s;
        const fs::path base =
            fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        std::string pattern = (base / "qnfuzz-backup-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) // 0700
            fail("no private folder");
        s.root = fs::canonical(pattern);
        // Deep enough that "../" runs out of the diary land in the private folder.
        s.diary = s.root / "a/b/c/d/diary";
        s.pristine = s.root / "pristine";
        fs::create_directories(s.diary);
        fs::create_directories(s.pristine);
        qn::xbase::Table::create(
            s.pristine / "QUILLNK.DBF",
            {qn::xbase::FieldInfo{"DATE", 'C', 8, 0}, qn::xbase::FieldInfo{"ENTRY", 'M', 10, 0}},
            64);
        for (const auto &entry : fs::directory_iterator(s.pristine))
            fs::copy_file(entry.path(), s.diary / entry.path().filename());
        s.backup = qn::exchange::BackupsFolder(s.diary) / "b";
        fs::create_directories(s.backup / "sub");
        for (const auto &entry : fs::directory_iterator(s.pristine))
            fs::copy_file(entry.path(), s.backup / entry.path().filename());
        // Bait: files a crafted list might name, and a link out.
        writeFile(s.backup / "notes.txt", "bait");
        writeFile(s.backup / "sub/QUILLNK.FPT", "bait");
        writeFile(s.root / "outside.txt", "bait");
        fs::create_symlink(s.root / "outside.txt", s.backup / "QUILLNK.DBF-journal");
        // Outlives the scene, which is gone before the handlers at exit run.
        static const fs::path *leftBehind = new fs::path(s.root);
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(*leftBehind, ec);
        });
        return s;
    }();
    return made;
}

// The diary as it was, and no backup but the fuzzed one.
void reset(const Scene &s)
{
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(s.diary))
        if (entry.path().filename() != "Backups")
            fs::remove_all(entry.path(), ec);
    for (const auto &entry : fs::directory_iterator(qn::exchange::BackupsFolder(s.diary)))
        if (entry.path() != s.backup)
            fs::remove_all(entry.path(), ec);
    for (const auto &entry : fs::directory_iterator(s.pristine)) {
        // libFuzzer's timer signal may interrupt the copy: it is tried again.
        for (int attempt = 0;; ++attempt) {
            fs::copy_file(entry.path(), s.diary / entry.path().filename(),
                          fs::copy_options::overwrite_existing, ec);
            if (!ec)
                break;
            if (attempt == 100)
                fail("the diary cannot be reset: " + ec.message());
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const Scene &s = scene();
    static const std::map<std::string, std::string> before = outsideState(s);
    writeFile(s.backup / qn::exchange::kBackupManifest,
              std::string(reinterpret_cast<const char *>(data), size));
    WatchedFileSystem watched(s.diary);
    try {
        for (const qn::exchange::BackupInfo &b : qn::exchange::ListBackups(s.diary))
            qn::exchange::RestoreBackup(s.diary, b, qn::EncodeDate(2026, 12, 8), 0, watched);
        qn::exchange::ListUnusableBackups(s.diary);
    } catch (const std::exception &) {
        // A backup refused with a message: that is the point.
    }
    if (outsideState(s) != before)
        fail("something outside the diary was created or changed");
    reset(s);
    return 0;
}
