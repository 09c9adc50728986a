// Second process for the merge's kill loop: merges every conflicted copy
// beside a diary and kills itself with SIGKILL at a chosen sync of a file
// or folder to the disk (every fsync and fdatasync of the process counts).
// With -1 it runs through and prints "done" and the syncs counted.
//   merge_kill_probe DIARY_FOLDER KILL_AT
#include "app/exchange/diary_merge.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

long killAt = -1;
long counted = 0;

void count()
{
    if (++counted == killAt)
        ::kill(::getpid(), SIGKILL);
}

} // namespace

// The program's own definitions come before the C library's.
extern "C" int fsync(int fd)
{
    count();
    return static_cast<int>(::syscall(SYS_fsync, fd));
}

extern "C" int fdatasync(int fd)
{
    count();
    return static_cast<int>(::syscall(SYS_fdatasync, fd));
}

int main(int argc, char **argv)
{
    if (argc != 3)
        return 2;
    killAt = std::strtol(argv[2], nullptr, 10);
    using namespace qn::exchange;
    try {
        DiaryFolder diary(argv[1], "", DiaryFolder::Write);
        for (const DiaryCopy &copy : FindConflictedCopies(argv[1])) {
            MergeResult result = MergeDiaryCopy(diary.Records(), *diary.Lock(), copy, {});
            if (!result.Complete()) {
                std::printf("failed %s\n", result.Report().c_str());
                return 1;
            }
        }
        diary.Close();
    } catch (const std::exception &error) {
        std::printf("failed %s\n", error.what());
        return 1;
    }
    std::printf("done %ld\n", counted);
    return 0;
}
