// Second process for the diary tests: opens a table exclusively through the
// engine, prints "held" and waits to be killed.
//   diary_hold_probe TABLE.DBF
#include "engine/xt.h"

#include <cstdio>
#include <unistd.h>

int main(int argc, char **argv)
{
    if (argc != 2)
        return 2;
    if (xt_Use(argv[1], "HELD", 2, 2) == 0)
        return 3;
    std::printf("held\n");
    std::fflush(stdout);
    for (int i = 0; i < 600; ++i) // ends on its own should the test die
        sleep(1);
    return 0;
}
