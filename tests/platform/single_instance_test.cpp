#include "platform/single_instance.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace qn;
using qn::test::TempDir;

extern char **environ;

namespace {

std::string probe()
{
    return (qn::test::binaryDir() / "tests" / "instance_lock_probe").string();
}

// Runs the probe to its end; its exit code.
int runProbe(std::vector<std::string> args)
{
    args.insert(args.begin(), probe());
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A probe holding the lock until it is killed.
struct Holder {
    pid_t pid = -1;
    FILE *output = nullptr;

    explicit Holder(const std::string &file)
    {
        int fds[2];
        if (pipe(fds) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        std::string exe = probe();
        std::string mode = "hold";
        std::string path = file;
        char *argv[] = {exe.data(), mode.data(), path.data(), nullptr};
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ) != 0)
            pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        output = fdopen(fds[0], "r");
    }

    bool waitUntilHeld()
    {
        char line[16] = {};
        return pid > 0 && output && fgets(line, sizeof line, output) &&
               std::string(line) == "held\n";
    }

    void kill()
    {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            pid = -1;
        }
    }

    ~Holder()
    {
        kill();
        if (output)
            fclose(output);
    }
};

} // namespace

TEST(SingleInstance, ASecondProcessSeesTheLockUntilItsHolderEnds)
{
    TempDir dir;
    std::string file = (dir / "Quillnook.lock").string();
    {
        TInstanceLock lock(file);
        ASSERT_EQ(lock.TryAcquire(), TInstanceLock::Result::Acquired);
        EXPECT_EQ(runProbe({"check", file}), 3);
    }
    // Released with the object; the file stays.
    EXPECT_EQ(runProbe({"check", file}), 0);
    EXPECT_TRUE(std::filesystem::exists(file));
}

TEST(SingleInstance, AKilledHolderReleasesTheLock)
{
    TempDir dir;
    std::string file = (dir / "Quillnook.lock").string();
    Holder holder(file);
    ASSERT_TRUE(holder.waitUntilHeld());
    TInstanceLock lock(file);
    EXPECT_EQ(lock.TryAcquire(), TInstanceLock::Result::HeldElsewhere);
    holder.kill();
    EXPECT_EQ(lock.TryAcquire(), TInstanceLock::Result::Acquired);
}

TEST(SingleInstance, AlreadyRunningUsesTheRuntimeFolder)
{
    TempDir dir;
    const char *old = std::getenv("XDG_RUNTIME_DIR");
    std::string saved = old ? old : "";
    setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
    EXPECT_EQ(InstanceLockFile(), dir / "Quillnook.lock");

    EXPECT_EQ(runProbe({"running"}), 0) << "nobody holds the lock yet";
    Holder holder(InstanceLockFile().string());
    ASSERT_TRUE(holder.waitUntilHeld());
    EXPECT_EQ(runProbe({"running"}), 3);
    holder.kill();
    EXPECT_EQ(runProbe({"running"}), 0);

    if (old)
        setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    else
        unsetenv("XDG_RUNTIME_DIR");
}

TEST(SingleInstance, WithoutARuntimeFolderAPrivateTemporaryOneIsUsed)
{
    const char *old = std::getenv("XDG_RUNTIME_DIR");
    std::string saved = old ? old : "";
    unsetenv("XDG_RUNTIME_DIR");
    std::filesystem::path file = InstanceLockFile();
    if (old)
        setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    EXPECT_EQ(file, std::filesystem::path("/tmp") / ("quillnook-" + std::to_string(getuid())) /
                        "Quillnook.lock");
}

TEST(SingleInstance, AnUnusableLockFileIsNotAnotherCopy)
{
    TempDir dir;
    TInstanceLock missingFolder(dir / "no" / "such" / "Quillnook.lock");
    EXPECT_EQ(missingFolder.TryAcquire(), TInstanceLock::Result::Failed);
    TInstanceLock none{std::filesystem::path()};
    EXPECT_EQ(none.TryAcquire(), TInstanceLock::Result::Failed);
}

TEST(SingleInstance, AStaleLockFileCopiedInBlocksNobody)
{
    TempDir dir;
    const std::string file = (dir / "Quillnook.lock").string();
    // Left by a crash or copied from another computer: a file, but no lock.
    qn::test::writeFile(file, "4242 laptop\n");
    EXPECT_EQ(runProbe({"check", file}), 0);
    TInstanceLock lock(file);
    EXPECT_EQ(lock.TryAcquire(), TInstanceLock::Result::Acquired);
    EXPECT_EQ(runProbe({"check", file}), 3) << "a real holder is still seen";
}
