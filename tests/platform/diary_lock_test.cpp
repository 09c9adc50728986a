// The diary's lock: one holder at a time across processes, gone with its
// process, and a lock file on the disk alone blocks nobody.
#include "platform/diary_lock.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace qn::test {
namespace {

namespace fs = std::filesystem;

// Tries the lock in a child process: 0 taken, 1 refused as in use (with
// the message the user needs), 2 any other failure.
int lockInChild(const fs::path &folder)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        try {
            DiaryLock lock(folder);
            ::_exit(0);
        } catch (const DiaryInUseError &error) {
            const std::string text = error.what();
            ::_exit(text.find("in use") != std::string::npos &&
                            text.find("close it first") != std::string::npos
                        ? 1
                        : 2);
        } catch (...) {
            ::_exit(2);
        }
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 3;
}

TEST(DiaryLock, OneHolderAtATimeAndNeverTheFileAlone)
{
    TempDir dir;
    // A lock file a sync tool copied in, or one a killed program left.
    writeFile(dir / kDiaryLockName, "4242\n");
    EXPECT_FALSE(DiaryLock::HeldElsewhere(dir.path()));
    EXPECT_EQ(lockInChild(dir.path()), 0) << "a stale lock file blocks nobody";
    {
        DiaryLock lock(dir.path());
        EXPECT_EQ(lockInChild(dir.path()), 1);
        EXPECT_THROW(DiaryLock second(dir.path()), DiaryInUseError)
            << "two writers in one process exclude each other too";
    }
    EXPECT_EQ(lockInChild(dir.path()), 0) << "released with its holder";
}

TEST(DiaryLock, AKilledHolderLeavesNoLock)
{
    TempDir dir;
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        DiaryLock lock(dir.path());
        ::write(ready[1], "x", 1);
        for (int i = 0; i < 600; ++i)
            ::sleep(1);
        ::_exit(0);
    }
    char c;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    EXPECT_TRUE(DiaryLock::HeldElsewhere(dir.path()));
    EXPECT_THROW(DiaryLock lock(dir.path()), DiaryInUseError);
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_EQ(fs::status(dir / kDiaryLockName).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_FALSE(DiaryLock::HeldElsewhere(dir.path()));
    EXPECT_NO_THROW(DiaryLock lock(dir.path()));
}

} // namespace
} // namespace qn::test
