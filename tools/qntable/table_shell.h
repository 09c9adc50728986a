#pragma once

#include "xbase/table_cipher.h"

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace qn::tools {

// From the terminal with echo off (the prompt on standard error), or a line
// of standard input when that is not a terminal.
std::string readPassword(const std::string &prompt, bool confirm);

// Passwords are asked for, never taken from the command line (where other
// users and the shell history would see them). `confirm` asks twice.
using PasswordPrompt = std::function<std::string(const std::string &prompt, bool confirm)>;

// Runs one qntable command; the answer is the exit status (0 success,
// 1 "not found" or "check failed", 2 errors). Output and messages go to the
// given streams so that tests can run it in process.
// `newKeys`: how the keys of tables it encrypts are derived (tests lower the cost).
int runTableShell(const std::vector<std::string> &args, std::ostream &out, std::ostream &err,
                  const PasswordPrompt &askPassword = readPassword,
                  const xbase::KeyDerivation &newKeys = xbase::KeyDerivation::standard());

// Text of a value for a list line: backslash, tab, CR and LF escaped.
std::string escapeListText(const std::string &text);

} // namespace qn::tools
