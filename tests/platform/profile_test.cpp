#include "platform/profile.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace qn;
using qn::test::readFile;
using qn::test::TempDir;
using qn::test::writeFile;

namespace {

class ProfileTest : public testing::Test {
protected:
    TempDir dir;
    std::filesystem::path file = dir / "QN.INI";
    TProfileFile ini{file};
};

} // namespace

TEST_F(ProfileTest, MissingFileSectionOrKeyGivesTheDefaults)
{
    EXPECT_EQ(ini.ReadString("Default Font", "Name", "Arial"), "Arial");
    EXPECT_EQ(ini.ReadInteger("Default Font", "Size", 10), 10);
    EXPECT_TRUE(ini.ReadBool("Default Font", "Bold", true));
    EXPECT_FALSE(ini.SectionExists("Default Font"));
    EXPECT_FALSE(std::filesystem::exists(file)) << "reading must not create the file";

    writeFile(file, "[Security]\nPassword=x\n");
    EXPECT_EQ(ini.ReadString("Default Font", "Name", "Arial"), "Arial");
    EXPECT_EQ(ini.ReadString("Security", "Other", "d"), "d");
}

TEST_F(ProfileTest, NamesMatchWithoutCaseAndValuesLoseSurroundingBlanks)
{
    writeFile(file, "; preferences\r\n[ Default Font ]\r\n  NAME =  Times New Roman  \r\n"
                    "size=12\r\n[security]\r\npassword=\r\n");
    EXPECT_EQ(ini.ReadString("default font", "Name", "Arial"), "Times New Roman");
    EXPECT_EQ(ini.ReadInteger("DEFAULT FONT", "SIZE", 10), 12);
    EXPECT_TRUE(ini.ValueExists("Security", "Password"));
    EXPECT_EQ(ini.ReadString("Security", "Password", "default"), "");
}

TEST_F(ProfileTest, TheFirstOfRepeatedSectionsAndKeysCounts)
{
    writeFile(file, "[A]\nk=1\nk=2\n[B]\nk=3\n[a]\nk=4\n");
    EXPECT_EQ(ini.ReadString("A", "k", ""), "1");
    ini.WriteString("a", "K", "5");
    EXPECT_EQ(readFile(file), "[A]\nk=5\nk=2\n[B]\nk=3\n[a]\nk=4\n");
}

TEST_F(ProfileTest, IntegersAndBooleans)
{
    writeFile(file, "[N]\na=42\nb=-7\nc=+3\nd=$1F\ne=0x10\nf=12abc\ng=\nh=99999999999\n"
                    "i=$FFFFFFFF\nj= 5 \nk=yes\nl=0\n");
    EXPECT_EQ(ini.ReadInteger("N", "a", 0), 42);
    EXPECT_EQ(ini.ReadInteger("N", "b", 0), -7);
    EXPECT_EQ(ini.ReadInteger("N", "c", 0), 3);
    EXPECT_EQ(ini.ReadInteger("N", "d", 0), 31);
    EXPECT_EQ(ini.ReadInteger("N", "e", 0), 16);
    EXPECT_EQ(ini.ReadInteger("N", "f", -1), -1);
    EXPECT_EQ(ini.ReadInteger("N", "g", -1), -1);
    EXPECT_EQ(ini.ReadInteger("N", "h", -1), -1);
    EXPECT_EQ(ini.ReadInteger("N", "i", 0), -1);
    EXPECT_EQ(ini.ReadInteger("N", "j", 0), 5);
    EXPECT_TRUE(ini.ReadBool("N", "a", false));
    EXPECT_TRUE(ini.ReadBool("N", "k", true)) << "not a number: the default";
    EXPECT_FALSE(ini.ReadBool("N", "k", false));
    EXPECT_FALSE(ini.ReadBool("N", "l", true));

    ini.WriteInteger("Default Font", "Color", 0x00FF8000);
    ini.WriteInteger("Default Font", "Size", -12);
    ini.WriteBool("Default Font", "Bold", true);
    ini.WriteBool("Default Font", "Italic", false);
    EXPECT_EQ(ini.ReadInteger("Default Font", "Color", 0), 0x00FF8000);
    EXPECT_EQ(ini.ReadInteger("Default Font", "Size", 0), -12);
    EXPECT_TRUE(ini.ReadBool("Default Font", "Bold", false));
    EXPECT_EQ(ini.ReadString("Default Font", "Bold", ""), "1");
    EXPECT_EQ(ini.ReadString("Default Font", "Italic", ""), "0");
}

TEST_F(ProfileTest, WritesKeepEveryOtherLineInPlace)
{
    const std::string original = "; Quillnook preferences\n"
                                 "stray line before any section\n"
                                 "[Security]\n"
                                 "# kept comment\n"
                                 "Password=abc\n"
                                 "\n"
                                 "[Window]\n"
                                 "Left = 10\n"
                                 "Top=20   ; not a comment, part of the value\n"
                                 "\n"
                                 "[Unknown]\n"
                                 "x=1";
    writeFile(file, original);

    ini.WriteString("security", "PASSWORD", "xyz");
    ini.WriteString("Window", "Width", "300");
    ini.WriteString("Default Font", "Name", "Arial");
    ini.WriteString("Unknown", "y", "2");

    EXPECT_EQ(readFile(file), "; Quillnook preferences\n"
                              "stray line before any section\n"
                              "[Security]\n"
                              "# kept comment\n"
                              "Password=xyz\n"
                              "\n"
                              "[Window]\n"
                              "Left = 10\n"
                              "Top=20   ; not a comment, part of the value\n"
                              "Width=300\n"
                              "\n"
                              "[Unknown]\n"
                              "x=1\n"
                              "y=2\n"
                              "\n"
                              "[Default Font]\n"
                              "Name=Arial\n");
    EXPECT_EQ(ini.ReadString("Window", "Top", ""), "20   ; not a comment, part of the value");
}

TEST_F(ProfileTest, WindowsLineEndsStayWindowsLineEnds)
{
    writeFile(file, "[A]\r\nk=1\r\n");
    ini.WriteString("A", "m", "2");
    ini.WriteString("B", "n", "3");
    EXPECT_EQ(readFile(file), "[A]\r\nk=1\r\nm=2\r\n\r\n[B]\r\nn=3\r\n");
}

TEST_F(ProfileTest, OddValuesSurviveAWriteAndARead)
{
    std::string high;
    for (int c = 128; c < 256; ++c)
        high += static_cast<char>(c);
    const std::string values[] = {
        "",
        "  two leading blanks",
        "trailing blanks  ",
        " both ",
        "\t",
        "\"quoted\"",
        "'single'",
        "\"",
        "a=b=c",
        "[not a section]",
        "; not a comment",
        "\xDB\xDE\xE3\xD0\xF1\xCE\x94\xCA", // a scrambled password, bytes above 123
        high,
    };
    int n = 0;
    for (const std::string &value : values) {
        std::string key = "k" + std::to_string(n++);
        ini.WriteString("Odd", key, value);
        EXPECT_EQ(ini.ReadString("Odd", key, "<missing>"), value) << key;
    }
    // Also after every other key was written.
    n = 0;
    for (const std::string &value : values)
        EXPECT_EQ(ini.ReadString("Odd", "k" + std::to_string(n++), "<missing>"), value);
    // And when rewritten in place.
    ini.WriteString("Odd", "k1", "   ");
    EXPECT_EQ(ini.ReadString("Odd", "k1", ""), "   ");
}

TEST_F(ProfileTest, WhatAFileCannotHoldIsRefusedAndTheFileKept)
{
    writeFile(file, "[A]\nk=1\n");
    EXPECT_THROW(ini.WriteString("A", "k", "two\nlines"), EProfileError);
    EXPECT_THROW(ini.WriteString("A", "k", "cr\r"), EProfileError);
    EXPECT_THROW(ini.WriteString("A", "a=b", "x"), EProfileError);
    EXPECT_THROW(ini.WriteString("A", "[k", "x"), EProfileError);
    EXPECT_THROW(ini.WriteString("A", "", "x"), EProfileError);
    EXPECT_THROW(ini.WriteString("A]", "k", "x"), EProfileError);
    EXPECT_THROW(ini.WriteString("", "k", "x"), EProfileError);
    EXPECT_EQ(readFile(file), "[A]\nk=1\n");
}

TEST_F(ProfileTest, ReplacementIsAtomicAndPrivate)
{
    writeFile(file, "[A]\nk=1\n");
    chmod(file.c_str(), 0644);
    ini.WriteString("A", "k", "2");
    struct stat info {};
    ASSERT_EQ(stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    // No temporary file is left beside it.
    int entries = 0;
    for (const auto &entry : std::filesystem::directory_iterator(dir.path())) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

TEST_F(ProfileTest, AFailedWriteReportsItself)
{
    TProfileFile nowhere(dir / "missing" / "QN.INI");
    try {
        nowhere.WriteString("A", "k", "1");
        FAIL() << "no error raised";
    } catch (const EProfileError &error) {
        EXPECT_NE(std::string(error.what()).find("QN.INI"), std::string::npos) << error.what();
    }
    EXPECT_EQ(nowhere.ReadString("A", "k", "none"), "none");
}

TEST_F(ProfileTest, AFailedWriteLeavesTheOldFile)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root may write into a read-only folder";
    writeFile(file, "[A]\nk=1\n");
    chmod(dir.path().c_str(), 0500);
    EXPECT_THROW(ini.WriteString("A", "k", "2"), EProfileError);
    chmod(dir.path().c_str(), 0700);
    EXPECT_EQ(ini.ReadString("A", "k", ""), "1");
}

// A profile that is not a plain file is neither read nor written: a link is
// not followed (to another user's file, to /dev/zero), a FIFO never waits, a
// huge file is not read. Every value is its default and the reason is told.
TEST_F(ProfileTest, OnlyAPlainFileOfAtMostOneMebibyteIsReadOrWritten)
{
    auto real = dir / "real.ini";
    writeFile(real, "[A]\nk=1\n");
    std::filesystem::create_symlink(real, file);
    EXPECT_EQ(ini.ReadString("A", "k", "default"), "default");
    EXPECT_NE(ini.Unusable().find("QN.INI is not read: it is a symbolic link"), std::string::npos)
        << ini.Unusable();
    EXPECT_THROW(ini.WriteString("A", "k", "2"), EProfileError);
    EXPECT_THROW(ini.DeleteKey("A", "k"), EProfileError);
    EXPECT_TRUE(std::filesystem::is_symlink(file));
    EXPECT_EQ(readFile(real), "[A]\nk=1\n");

    std::filesystem::remove(file);
    std::filesystem::create_symlink("/dev/zero", file);
    EXPECT_EQ(ini.ReadInteger("A", "k", 7), 7);
    EXPECT_FALSE(ini.Unusable().empty());

    std::filesystem::remove(file);
    writeFile(file, "[A]\nk=1\n" + std::string(kProfileSizeLimit, ';'));
    EXPECT_EQ(ini.ReadString("A", "k", "default"), "default");
    EXPECT_NE(ini.Unusable().find("larger than"), std::string::npos) << ini.Unusable();
    EXPECT_THROW(ini.WriteString("A", "k", "2"), EProfileError);
    EXPECT_EQ(std::filesystem::file_size(file), kProfileSizeLimit + 8);

    // Just under the limit is a profile like any other.
    writeFile(file, "[A]\nk=1\n" + std::string(kProfileSizeLimit - 9, ';'));
    EXPECT_EQ(ini.ReadString("A", "k", "default"), "1");
    EXPECT_EQ(ini.Unusable(), "");
    std::filesystem::remove(file);
    EXPECT_EQ(ini.Unusable(), "") << "a missing file is no fault";
}

TEST_F(ProfileTest, AFifoIsNeitherWaitedForNorWrittenInto)
{
    ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
    // Were the FIFO opened to be read, the read would wait for a writer for
    // ever: the child stops itself after a few seconds.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        alarm(10);
        TProfileFile fifo(file);
        const bool defaults = fifo.ReadString("A", "k", "default") == "default" &&
                              fifo.Unusable().find("FIFO") != std::string::npos;
        bool refused = false;
        try {
            fifo.WriteString("A", "k", "2");
        } catch (const EProfileError &) {
            refused = true;
        }
        _exit(defaults && refused ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status)) << "stopped by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    struct stat st {};
    ASSERT_EQ(lstat(file.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "the FIFO is left as it is";
}

TEST_F(ProfileTest, DeletingKeysAndSections)
{
    writeFile(file, "[A]\nk=1\nm=2\n\n[B]\nn=3\n");
    ini.DeleteKey("a", "K");
    EXPECT_FALSE(ini.ValueExists("A", "k"));
    EXPECT_EQ(ini.ReadString("A", "m", ""), "2");
    ini.EraseSection("b");
    EXPECT_EQ(readFile(file), "[A]\nm=2\n\n");
}
