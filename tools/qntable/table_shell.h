#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace qn::tools {

// Runs one qntable command; the answer is the exit status (0 success,
// 1 "not found" or "check failed", 2 errors). Output and messages go to the
// given streams so that tests can run it in process.
int runTableShell(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);

// Text of a value for a list line: backslash, tab, CR and LF escaped.
std::string escapeListText(const std::string &text);

} // namespace qn::tools
