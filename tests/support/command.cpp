#include "tests/support/command.h"

#include "tests/support/temp_dir.h"

#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>

namespace qn::test {

CommandResult runCommand(const std::string &commandLine)
{
    CommandResult result;
    FILE *pipe = popen(commandLine.c_str(), "r");
    if (!pipe)
        return result;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.out.append(buffer, n);
    int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::optional<std::string> commandOutput(const std::string &commandLine)
{
    CommandResult result = runCommand(commandLine + " 2>/dev/null");
    if (result.status != 0)
        return std::nullopt;
    return result.out;
}

std::string shellQuote(const std::string &text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::filesystem::path peerScript(const std::string &name)
{
    return sourceDir() / "tests" / "interop" / "peers" / name;
}

std::string peerPython()
{
    const char *p = std::getenv("QN_PEER_PYTHON");
    return p && *p ? p : "/usr/bin/python3";
}

bool havePythonReader()
{
    return commandOutput(peerPython() + " -c 'import dbfread'").has_value();
}
bool havePerlReader()
{
    return commandOutput("perl -MXBase::Index -e 1").has_value();
}

} // namespace qn::test
