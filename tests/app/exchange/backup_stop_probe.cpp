// Second process for the backup tests: makes the daily backup of a diary
// (or restores a backup) and stops still at a chosen file operation
// (create, write, sync, rename, remove, folder sync), printing "stopped", so
// that the test can kill it there. With "fail" the operation fails with an
// I/O error instead and the run goes on as it would after one. With -1 it
// runs through and prints "done" and the operations counted.
//   backup_stop_probe DIARY_FOLDER STOP_AT [restore BACKUP [fail]]
#include "app/exchange/diary_backup.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

long stopAt = -1;
long counted = 0;
bool failInstead = false;

void count()
{
    if (++counted == stopAt && failInstead)
        throw qn::FileError("injected I/O error at operation " + std::to_string(counted));
    if (counted == stopAt) {
        std::printf("stopped\n");
        std::fflush(stdout);
        for (int i = 0; i < 600; ++i) // ends on its own should the test die
            sleep(1);
        std::_Exit(3);
    }
}

class CountedFile : public qn::FileWrapper {
public:
    using FileWrapper::FileWrapper;
    void writeAt(uint64_t offset, const void *data, size_t n) override
    {
        count();
        wrapped().writeAt(offset, data, n);
    }
    void truncate(uint64_t size) override
    {
        count();
        wrapped().truncate(size);
    }
    void sync() override
    {
        count();
        wrapped().sync();
    }
};

class CountedFileSystem : public qn::FileSystemWrapper {
public:
    CountedFileSystem() : FileSystemWrapper(qn::DefaultFileSystem()) {}
    std::unique_ptr<qn::File> open(const std::filesystem::path &path, qn::OpenMode mode) override
    {
        if (mode != qn::OpenMode::ReadOnly)
            count();
        return std::make_unique<CountedFile>(target().open(path, mode));
    }
    void rename(const std::filesystem::path &from, const std::filesystem::path &to) override
    {
        count();
        target().rename(from, to);
    }
    void remove(const std::filesystem::path &path) override
    {
        count();
        target().remove(path);
    }
    void syncFolder(const std::filesystem::path &folder) override
    {
        count();
        target().syncFolder(folder);
    }
};

} // namespace

int restore(const char *diary, const std::string &name, qn::FileSystem &fs)
{
    for (const auto &backup : qn::exchange::ListBackups(diary))
        if (backup.Name == name) {
            try {
                qn::exchange::RestoreBackup(diary, backup, qn::EncodeDate(2026, 12, 8), -1, fs);
            } catch (const std::exception &error) {
                std::printf("failed %ld %s\n", counted, error.what());
                return 1;
            }
            std::printf("done %ld\n", counted);
            return 0;
        }
    std::printf("no backup %s\n", name.c_str());
    return 2;
}

int main(int argc, char **argv)
{
    if (argc < 3)
        return 2;
    stopAt = std::atol(argv[2]);
    CountedFileSystem fs;
    if (argc >= 5 && std::string(argv[3]) == "restore") {
        failInstead = argc == 6 && std::string(argv[5]) == "fail";
        return restore(argv[1], argv[4], fs);
    }
    auto made = qn::exchange::MakeDailyBackup(argv[1], qn::EncodeDate(2026, 12, 7), 42, fs);
    std::printf("done %ld %s\n", counted, made ? made->Name.c_str() : "-");
    return 0;
}
