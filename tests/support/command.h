#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace qn::test {

// Runs a shell command line and collects what it writes to standard output.
struct CommandResult {
    std::string out;
    int status = -1; // exit status; -1 when it could not run or did not exit
};
CommandResult runCommand(const std::string &commandLine);

// The output of a command that succeeded (exit status 0), with its error
// output discarded; nullopt otherwise.
std::optional<std::string> commandOutput(const std::string &commandLine);

// A text as one word for the shell.
std::string shellQuote(const std::string &text);

// The independent readers of table files: the scripts kept under
// tests/interop/peers and the interpreter they need (Debian's own python3
// unless QN_PEER_PYTHON names another).
std::filesystem::path peerScript(const std::string &name);
std::string peerPython();
bool havePythonReader();
bool havePerlReader();

} // namespace qn::test
