// Second process for the backup tests: makes the daily backup of a diary
// and stops still at a chosen file operation (create, write, sync, rename,
// remove, folder sync), printing "stopped", so that the test can kill it
// there. With -1 it runs through and prints "done" and the operations counted.
//   backup_stop_probe DIARY_FOLDER STOP_AT
#include "app/exchange/diary_backup.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

long stopAt = -1;
long counted = 0;

void count()
{
    if (++counted == stopAt) {
        std::printf("stopped\n");
        std::fflush(stdout);
        for (int i = 0; i < 600; ++i) // ends on its own should the test die
            sleep(1);
        std::_Exit(3);
    }
}

class CountedFile : public qn::File {
public:
    explicit CountedFile(std::unique_ptr<qn::File> file) : file_(std::move(file)) {}
    const std::filesystem::path &path() const override { return file_->path(); }
    bool writable() const override { return file_->writable(); }
    size_t readSomeAt(uint64_t offset, void *buffer, size_t n) override
    {
        return file_->readSomeAt(offset, buffer, n);
    }
    void writeAt(uint64_t offset, const void *data, size_t n) override
    {
        count();
        file_->writeAt(offset, data, n);
    }
    uint64_t size() override { return file_->size(); }
    void truncate(uint64_t size) override
    {
        count();
        file_->truncate(size);
    }
    void sync() override
    {
        count();
        file_->sync();
    }
    bool tryLock(bool exclusive) override { return file_->tryLock(exclusive); }
    bool tryLockRange(uint64_t offset, uint64_t length) override
    {
        return file_->tryLockRange(offset, length);
    }
    void unlockRange(uint64_t offset, uint64_t length) override
    {
        file_->unlockRange(offset, length);
    }
    int descriptor() const override { return file_->descriptor(); }

private:
    std::unique_ptr<qn::File> file_;
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

int main(int argc, char **argv)
{
    if (argc != 3)
        return 2;
    stopAt = std::atol(argv[2]);
    CountedFileSystem fs;
    auto made = qn::exchange::MakeDailyBackup(argv[1], qn::EncodeDate(2026, 12, 7), 42, fs);
    std::printf("done %ld %s\n", counted, made ? made->Name.c_str() : "-");
    return 0;
}
