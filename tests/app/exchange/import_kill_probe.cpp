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

class SyncCountedFile : public qn::FileWrapper {
public:
    using FileWrapper::FileWrapper;
    void sync() override
    {
        counted();
        wrapped().sync();
    }
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
