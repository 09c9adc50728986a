#include "app/start_up.h"
#include "platform/qt/messages.h"
#include "platform/single_instance.h"

#include "tests/support/notification_capture.h"
#include "tests/support/temp_dir.h"

#include <QString>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

using namespace qn;

// The test main gives this process a private runtime folder, so the lock
// below never meets a running Quillnook.
TEST(StartUp, ASecondCopyIsToldAndEndsWhileTheFirstKeepsRunning)
{
    std::string exe = (qn::test::binaryDir() / "tests" / "instance_lock_probe").string();
    std::string mode = "hold";
    std::string file = InstanceLockFile().string();
    ASSERT_FALSE(file.empty());
    char *argv[] = {exe.data(), mode.data(), file.data(), nullptr};
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    pid_t first;
    ASSERT_EQ(posix_spawn(&first, argv[0], &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    char line[16] = {};
    FILE *out = fdopen(fds[0], "r");
    ASSERT_TRUE(fgets(line, sizeof line, out));
    EXPECT_STREQ(line, "held\n");

    {
        qn::test::NotificationCapture capture;
        EXPECT_FALSE(PrepareStart());
        ASSERT_EQ(capture.informations.size(), 1u);
        EXPECT_EQ(capture.informations[0], "Quillnook! is already running");
    }
    // The first copy is untouched.
    EXPECT_EQ(waitpid(first, nullptr, WNOHANG), 0);
    kill(first, SIGKILL);
    waitpid(first, nullptr, 0);
    fclose(out);

    // Once it has ended, a start goes ahead and keeps the lock.
    qn::test::NotificationCapture capture;
    EXPECT_TRUE(PrepareStart());
    EXPECT_TRUE(capture.informations.empty());
    TInstanceLock other(file);
    EXPECT_EQ(other.TryAcquire(), TInstanceLock::Result::HeldElsewhere);
}
