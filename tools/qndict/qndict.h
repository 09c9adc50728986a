#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace qn::qndict {

// Runs one qndict command (the arguments after the program name) and returns
// its exit code: 0 success, 1 a word was wrong (check), 2 usage or file errors.
int Run(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);

} // namespace qn::qndict
