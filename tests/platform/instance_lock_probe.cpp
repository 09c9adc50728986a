// Second process for the single-instance tests.
//   instance_lock_probe check FILE   exit 0 when the lock was free, 3 when held
//   instance_lock_probe hold FILE    take the lock, print "held", wait to be killed
//   instance_lock_probe running      exit 3 when AlreadyRunning() says so, else 0
// Exit 4: the lock could not be taken at all.
#include "platform/single_instance.h"

#include <cstdio>
#include <cstring>
#include <unistd.h>

int main(int argc, char **argv)
{
    using qn::TInstanceLock;
    if (argc == 2 && std::strcmp(argv[1], "running") == 0)
        return qn::AlreadyRunning() ? 3 : 0;
    if (argc != 3)
        return 2;
    TInstanceLock lock(argv[2]);
    TInstanceLock::Result result = lock.TryAcquire();
    if (result == TInstanceLock::Result::Failed)
        return 4;
    if (result == TInstanceLock::Result::HeldElsewhere)
        return 3;
    if (std::strcmp(argv[1], "hold") == 0) {
        std::printf("held\n");
        std::fflush(stdout);
        for (int i = 0; i < 600; ++i) // ends on its own should the test die
            sleep(1);
    }
    return 0;
}
