#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "richtext/io/progress.h"
#include "richtext/io/text_writer.h"
#include "tests/richtext/io/io_test_util.h"
#include "tests/support/command.h"
#include "tests/support/temp_dir.h"

using namespace qn;
using namespace qn::test;

TEST(Streams, MemoryAndFileStreamsReadWriteSeek)
{
    TQnMemoryStream m("abc");
    char buf[8] = {};
    EXPECT_EQ(m.Read(buf, 8), 3);
    EXPECT_EQ(m.Read(buf, 8), 0);
    EXPECT_TRUE(m.Seek(1));
    EXPECT_EQ(m.Write("XYZ", 3), 3);
    EXPECT_EQ(m.Bytes(), "aXYZ");
    EXPECT_FALSE(m.Seek(9));

    TempDir dir;
    TQnFileStream f;
    ASSERT_TRUE(f.Open(dir / "x.bin", TQnFileStream::Create));
    EXPECT_EQ(f.Write("hello", 5), 5);
    EXPECT_TRUE(f.Close());
    ASSERT_TRUE(f.Open(dir / "x.bin", TQnFileStream::ReadOnly));
    EXPECT_EQ(f.Size(), 5);
    EXPECT_TRUE(f.Seek(2));
    EXPECT_EQ(f.Read(buf, 8), 3);
    EXPECT_EQ(std::string(buf, 3), "llo");
    TQnFileStream missing;
    EXPECT_FALSE(missing.Open(dir / "none" / "y", TQnFileStream::ReadOnly));
    EXPECT_FALSE(missing.Error().empty());
}

TEST(RtfProgress, ReaderAndWriterReportRisingPercentsThroughTheHook)
{
    std::vector<int> seen;
    SetProgressHook([&](void *, int percent) { seen.push_back(percent); });
    TQnRTFText doc;
    std::string rtf = "{\\rtf1 ";
    for (int i = 0; i < 2000; ++i)
        rtf += "Some words of a paragraph.\\par ";
    rtf += "}";
    ASSERT_EQ(readRtf(doc, rtf), 0);
    auto check = [&] {
        ASSERT_GE(seen.size(), 3u);
        for (size_t i = 1; i + 2 < seen.size(); ++i)
            EXPECT_GE(seen[i], seen[i - 1]);
        EXPECT_EQ(seen[seen.size() - 2], 100); // the end of the run
        EXPECT_EQ(seen.back(), 0);             // and nothing running
        EXPECT_EQ(ProgressDepth(), 0);
    };
    check();
    seen.clear();
    writeRtf(doc);
    check();
    SetProgressHook({});
}

namespace {
int run(const std::string &command)
{
    return std::system((command + " 2>/dev/null").c_str());
}
} // namespace

TEST(QnrtfTool, ConvertsBothWaysAndFailsClearly)
{
    const auto tool = binaryDir() / "bin" / "qnrtf";
    if (!std::filesystem::exists(tool))
        GTEST_SKIP() << "qnrtf is not built";
    TempDir dir;
    writeFile(dir / "in.rtf", "  \r\n{\\rtf1 caf\\u233? {\\b bold}\\par second}");
    ASSERT_EQ(
        run(tool.string() + " " + (dir / "in.rtf").string() + " " + (dir / "out.txt").string()), 0);
    EXPECT_EQ(readFile(dir / "out.txt"), "caf\xc3\xa9 bold\r\nsecond\r\n");
    ASSERT_EQ(
        run(tool.string() + " " + (dir / "out.txt").string() + " " + (dir / "back.RTF").string()),
        0);
    const std::string rtf = readFile(dir / "back.RTF");
    EXPECT_EQ(rtf.substr(0, 5), "{\\rtf");
    EXPECT_NE(rtf.find("caf\\'e9 bold\\par"), std::string::npos);
    // Plain text that does not start as RTF stays text.
    writeFile(dir / "plain.txt", "x {\\rtf1 y}");
    ASSERT_EQ(run(tool.string() + " " + (dir / "plain.txt").string() + " " +
                  (dir / "plain.out").string()),
              0);
    EXPECT_EQ(readFile(dir / "plain.out"), "x {\\rtf1 y}\r\n");

    EXPECT_NE(run(tool.string() + " " + (dir / "missing.rtf").string() + " -"), 0);
    EXPECT_NE(run(tool.string() + " " + (dir / "in.rtf").string() + " " +
                  (dir / "no" / "such" / "dir.txt").string()),
              0);
    EXPECT_NE(run(tool.string() + " onlyone"), 0);
    writeFile(dir / "cut.rtf", "{\\rtf1 abc\\pa");
    EXPECT_NE(
        run(tool.string() + " " + (dir / "cut.rtf").string() + " " + (dir / "cut.txt").string()),
        0);
    EXPECT_EQ(readFile(dir / "cut.txt"), "abc\r\n"); // what came before is kept
    const std::string quoted = shellQuote(tool.string()) + " ";
    EXPECT_NE(runCommand(quoted + (dir / "cut.rtf").string() + " - 2>&1 >/dev/null")
                  .out.find("what came before it was converted"),
              std::string::npos);

    // Out of memory: said so, and nothing is claimed to be converted when
    // nothing was. (A sanitizer's shadow memory cannot live under ulimit -v.)
#if defined(__SANITIZE_ADDRESS__)
    return;
#endif
    std::string big = "{\\rtf1 ";
    while (big.size() < (24u << 20))
        big += "one long paragraph of words ";
    writeFile(dir / "big.rtf", big + "}");
    const CommandResult starved =
        runCommand("(ulimit -v 200000; " + quoted + (dir / "big.rtf").string() + " " +
                   (dir / "big.txt").string() + ") 2>&1");
    EXPECT_NE(starved.status, 0);
    EXPECT_NE(starved.out.find("memory"), std::string::npos) << starved.out;
    EXPECT_NE(starved.out.find("nothing was converted"), std::string::npos) << starved.out;
    EXPECT_EQ(starved.out.find("what came before"), std::string::npos) << starved.out;
}
