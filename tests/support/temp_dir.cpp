#include "tests/support/temp_dir.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace qn::test {

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "qn-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary folder");
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

static std::filesystem::path fromEnvironment(const char *name, const char *fallback)
{
    const char *value = std::getenv(name);
    return value && *value ? std::filesystem::path(value) : std::filesystem::path(fallback);
}

std::filesystem::path sourceDir()
{
    return fromEnvironment("QN_SOURCE_DIR", QN_DEFAULT_SOURCE_DIR);
}
std::filesystem::path binaryDir()
{
    return fromEnvironment("QN_BINARY_DIR", QN_DEFAULT_BINARY_DIR);
}

std::string readFile(const std::filesystem::path &file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + file.string());
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeFile(const std::filesystem::path &file, const std::string &bytes)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + file.string());
}

} // namespace qn::test
