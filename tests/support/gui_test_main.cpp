// Entry point of the tests that need widgets: one QApplication for the whole
// binary, on the offscreen platform unless the caller chose another, with a
// private runtime folder so that single-instance locks never meet a real one,
// and a private diary folder so that no test touches the user's own diary.
#include <QApplication>
#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    const char *platform = std::getenv("QT_QPA_PLATFORM");
    if (!platform || !*platform)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::string runtime =
        (std::filesystem::temp_directory_path() / ("qn-runtime-" + std::to_string(getpid())))
            .string();
    mkdir(runtime.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
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
    QApplication app(argc, argv);
    int result = RUN_ALL_TESTS();
    std::error_code ignored;
    std::filesystem::remove_all(runtime, ignored);
    std::filesystem::remove_all(home, ignored);
    return result;
}
