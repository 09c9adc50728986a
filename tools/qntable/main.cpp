#include "table_shell.h"

#include <iostream>

int main(int argc, char **argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    return qn::tools::runTableShell(args, std::cout, std::cerr);
}
