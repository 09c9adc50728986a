// Second process for the import kill test: imports a source into a diary
// (made when missing) with every sync of the diary's files counted, and at
// the sync numbered KILL_AT kills itself with SIGKILL, as a crash or a power
// cut would stop it. With 0 it runs through and prints "done" and the syncs
// counted.
//   import_kill_probe DIARY SOURCE KILL_AT
#include "app/exchange/diary_import.h"
#include "engine/engine_files.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

long killAt = 0;
long syncs = 0;

void counted()
{
    if (++syncs == killAt)
        std::raise(SIGKILL);
}

class SyncCountedFile : public qn::File {
public:
    explicit SyncCountedFile(std::unique_ptr<qn::File> file) : file_(std::move(file)) {}
    const std::filesystem::path &path() const override { return file_->path(); }
    bool writable() const override { return file_->writable(); }
    size_t readSomeAt(uint64_t offset, void *buffer, size_t n) override
    {
        return file_->readSomeAt(offset, buffer, n);
    }
    void writeAt(uint64_t offset, const void *data, size_t n) override
    {
        file_->writeAt(offset, data, n);
    }
    uint64_t size() override { return file_->size(); }
    void truncate(uint64_t size) override { file_->truncate(size); }
    void sync() override
    {
        counted();
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

class SyncCountedFileSystem : public qn::FileSystemWrapper {
public:
    SyncCountedFileSystem() : FileSystemWrapper(qn::DefaultFileSystem()) {}
    std::unique_ptr<qn::File> open(const std::filesystem::path &path, qn::OpenMode mode) override
    {
        return std::make_unique<SyncCountedFile>(target().open(path, mode));
    }
    void syncFolder(const std::filesystem::path &folder) override
    {
        counted();
        target().syncFolder(folder);
    }
};

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4)
        return 2;
    killAt = std::atol(argv[3]);
    SyncCountedFileSystem files;
    qn::engine::SetEngineFileSystem(&files);
    try {
        qn::exchange::DiaryFolder diary(argv[1], std::string(),
                                        qn::exchange::DiaryFolder::CreateWhenMissing);
        const qn::exchange::ImportResult result =
            qn::exchange::ImportIntoDiary(&diary.Records(), argv[2], false);
        diary.Close();
        std::printf("done %ld %d\n", syncs, result.Written());
    } catch (const std::exception &error) {
        std::printf("failed %s\n", error.what());
        return 1;
    }
    qn::engine::SetEngineFileSystem(nullptr);
    return 0;
}
