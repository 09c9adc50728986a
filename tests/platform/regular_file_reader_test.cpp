// Reading a regular file line by line: every line once, long lines cut,
// and only regular files opened.
#include "platform/regular_file.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace qn;

TEST(RegularFileReader, ReadsEveryLineOnceAcrossItsBufferAndAgainAfterRewind)
{
    qn::test::TempDir dir;
    std::string bytes;
    std::vector<std::string> lines;
    for (int i = 0; i < 5000; ++i) {
        lines.push_back(std::string(static_cast<size_t>(i % 97), 'a' + i % 26));
        bytes += lines.back() + "\n";
    }
    bytes += "last line without an end";
    lines.push_back("last line without an end");
    qn::test::writeFile(dir / "lines", bytes);
    RegularFileReader reader(dir / "lines", 1 << 20);
    ASSERT_EQ(reader.What, RegularFileContents::Read) << reader.Reason;
    for (int pass = 0; pass < 2; ++pass) {
        std::string line;
        bool cut = true;
        size_t n = 0;
        while (reader.ReadLine(line, 1000, cut)) {
            ASSERT_LT(n, lines.size());
            EXPECT_EQ(line, lines[n]) << n;
            EXPECT_FALSE(cut);
            ++n;
        }
        EXPECT_EQ(n, lines.size());
        reader.Rewind();
    }
}

TEST(RegularFileReader, CutsLongLinesAndOpensOnlyRegularFiles)
{
    qn::test::TempDir dir;
    qn::test::writeFile(dir / "long", std::string(200000, 'x') + "\nshort\n\n");
    RegularFileReader reader(dir / "long", 1 << 20);
    std::string line;
    bool cut = false;
    ASSERT_TRUE(reader.ReadLine(line, 100, cut));
    EXPECT_TRUE(cut);
    EXPECT_EQ(line, std::string(100, 'x'));
    ASSERT_TRUE(reader.ReadLine(line, 100, cut));
    EXPECT_FALSE(cut);
    EXPECT_EQ(line, "short");
    ASSERT_TRUE(reader.ReadLine(line, 100, cut));
    EXPECT_EQ(line, "");
    EXPECT_FALSE(reader.ReadLine(line, 100, cut));

    EXPECT_EQ(RegularFileReader(dir / "long", 1000).What, RegularFileContents::TooLarge);
    EXPECT_EQ(RegularFileReader(dir / "missing", 1000).What, RegularFileContents::Missing);
    EXPECT_EQ(RegularFileReader(dir.path(), 1000).What, RegularFileContents::NotRegular);
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    EXPECT_EQ(RegularFileReader(dir / "fifo", 1000).What, RegularFileContents::NotRegular);
    std::filesystem::create_symlink(dir / "long", dir / "link");
    EXPECT_EQ(RegularFileReader(dir / "link", 1 << 20).What, RegularFileContents::Link);
    EXPECT_EQ(RegularFileReader(dir / "link", 1 << 20, true).What, RegularFileContents::Read);
}
