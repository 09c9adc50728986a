#include "tools/qndict/qndict.h"

#include <iostream>

int main(int argc, char **argv)
{
    return qn::qndict::Run(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
