// Entry point of the tests without widgets. The diary folder is a private
// temporary one, so that no test ever touches the user's own diary.
#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    std::string home =
        (std::filesystem::temp_directory_path() / ("qn-home-" + std::to_string(getpid()))).string();
    mkdir(home.c_str(), 0700);
    setenv("QUILLNOOK_HOME", home.c_str(), 1);

    // ctest passes only the first item of the tests' environment list, so
    // the pinned fonts are chosen here, where every run goes through.
    const char *fonts = std::getenv("FONTCONFIG_FILE");
    if (!fonts || !*fonts)
        setenv("FONTCONFIG_FILE", (qn::test::sourceDir() / "tests/support/fonts.conf").c_str(), 1);
    testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
    return result;
}
