// Saving files: a failed save never destroys the previous file.

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "richtext/io/rtf_text_io.h"
#include "storage_test_util.h"
#include "tests/support/temp_dir.h"

namespace qn {
namespace {

namespace fs = std::filesystem;

int filesIn(const fs::path &dir)
{
    int n = 0;
    for ([[maybe_unused]] const auto &e : fs::directory_iterator(dir))
        ++n;
    return n;
}

// A document of a few hundred kilobytes.
void fill(TQnRTFTextIo &doc)
{
    std::vector<std::vector<std::string>> paragraphs(2000, {std::string(200, 'x')});
    test::buildLines(doc, paragraphs);
}

TEST(StorageFile, AWriterThatFailsLeavesThePreviousFile)
{
    test::TempDir dir;
    test::writeFile(dir / "entry.rtf", "previous contents");
    // Writes part of the document, then reports a short write.
    struct Failing : TQnTextWriter {
        using TQnTextWriter::TQnTextWriter;
        int WriteFooter(TQnStream &) override { return kWriteShort; }
    };
    TQnRTFTextIo doc;
    fill(doc);
    doc.CustomWriter = [](TQnRTFText &d) { return std::make_unique<Failing>(d); };
    EXPECT_THROW(doc.SaveToFile(dir / "entry.rtf"), EQnFileError);
    EXPECT_EQ(test::readFile(dir / "entry.rtf"), "previous contents");
    EXPECT_EQ(filesIn(dir.path()), 1); // no temporary file left behind
    EXPECT_EQ(doc.ErrorState, kIoFailed);
}

TEST(StorageFile, AFullDiskLeavesThePreviousFile)
{
    test::TempDir dir;
    test::writeFile(dir / "entry.rtf", "previous contents");
    TQnRTFTextIo doc;
    fill(doc);
    // A file size limit makes writes fail as on a full disk, also for root.
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool threw = false;
    std::string message;
    try {
        doc.SaveToFile(dir / "entry.rtf");
    } catch (const EQnFileError &e) {
        threw = true;
        message = e.what();
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(threw);
    EXPECT_NE(message.find("entry.rtf"), std::string::npos);
    EXPECT_EQ(test::readFile(dir / "entry.rtf"), "previous contents");
    EXPECT_EQ(filesIn(dir.path()), 1);
}

TEST(StorageFile, AFolderThatCannotBeWrittenLeavesThePreviousFile)
{
    test::TempDir dir;
    TQnRTFTextIo doc;
    test::buildLines(doc, {{"new text"}});

    // A folder that is really a file.
    test::writeFile(dir / "plain", "a file");
    EXPECT_THROW(doc.SaveToFile(dir / "plain" / "entry.rtf"), EQnFileError);
    EXPECT_EQ(test::readFile(dir / "plain"), "a file");

    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not stop root; the other failures are tested above";
    fs::create_directory(dir / "locked");
    test::writeFile(dir / "locked" / "entry.rtf", "previous contents");
    fs::permissions(dir / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_THROW(doc.SaveToFile(dir / "locked" / "entry.rtf"), EQnFileError);
    fs::permissions(dir / "locked", fs::perms::owner_all);
    EXPECT_EQ(test::readFile(dir / "locked" / "entry.rtf"), "previous contents");
}

TEST(StorageFile, ASaveKeepsPermissionsAndLinks)
{
    test::TempDir dir;
    TQnRTFTextIo doc;
    test::buildLines(doc, {{"new text"}});
    test::writeFile(dir / "private.txt", "old");
    fs::permissions(dir / "private.txt", fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink("private.txt", dir / "link.txt");
    doc.SaveFormat = kFormatText;
    doc.SaveToFile(dir / "link.txt");
    EXPECT_TRUE(fs::is_symlink(dir / "link.txt"));
    EXPECT_EQ(test::readFile(dir / "private.txt"), std::string("new text\0", 9));
    EXPECT_EQ(fs::status(dir / "private.txt").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(filesIn(dir.path()), 2);
}

TEST(StorageFile, LoadingAMissingFileOrAFolderFails)
{
    test::TempDir dir;
    TQnRTFTextIo doc;
    EXPECT_THROW(doc.LoadFromFile(dir / "missing.rtf"), EQnFileError);
    EXPECT_THROW(doc.LoadFromFile(dir.path()), EQnFileError);
    EXPECT_TRUE(doc.IsEmpty());
}

} // namespace
} // namespace qn

namespace qn {
namespace {

int runTool(const std::string &arguments)
{
    const auto tool = test::binaryDir() / "bin" / "qnrtf";
    return std::system((tool.string() + " " + arguments + " 2>/dev/null").c_str());
}

TEST(StorageTool, RecognisesInputAndTakesTheFormatFromOptionOrName)
{
    if (!fs::exists(test::binaryDir() / "bin" / "qnrtf"))
        GTEST_SKIP() << "qnrtf is not built";
    test::TempDir dir;
    // HTML recognised by its tags, whatever the file is called.
    test::writeFile(dir / "page.dat", "Notes of <b>today</b>");
    ASSERT_EQ(runTool((dir / "page.dat").string() + " " + (dir / "out.rtf").string()), 0);
    const std::string rtf = test::readFile(dir / "out.rtf");
    EXPECT_NE(rtf.find("\\b today"), std::string::npos) << rtf;

    // An option wins over the name.
    ASSERT_EQ(
        runTool("--format html " + (dir / "out.rtf").string() + " " + (dir / "page.rtf").string()),
        0);
    EXPECT_NE(test::readFile(dir / "page.rtf").find("<html"), std::string::npos);
    ASSERT_EQ(
        runTool("--format=text " + (dir / "page.rtf").string() + " " + (dir / "page.htm").string()),
        0);
    EXPECT_EQ(test::readFile(dir / "page.htm"), "Notes of today\r\n");
    EXPECT_NE(runTool("--format pdf " + (dir / "page.rtf").string() + " -"), 0);

    // A failed conversion leaves an existing output as it was.
    test::writeFile(dir / "keep.txt", "kept");
    EXPECT_NE(runTool((dir / "missing").string() + " " + (dir / "keep.txt").string()), 0);
    EXPECT_EQ(test::readFile(dir / "keep.txt"), "kept");
}

} // namespace
} // namespace qn
