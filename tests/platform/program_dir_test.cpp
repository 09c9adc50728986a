#include "platform/program_dir.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

using namespace qn;
using qn::test::TempDir;
using qn::test::writeFile;
namespace fs = std::filesystem;

namespace {

class ProgramDirTest : public testing::Test {
protected:
    TempDir dir;
    fs::path programDir = dir / "bin";
    ProgramDirSources sources;

    void SetUp() override
    {
        fs::create_directories(programDir);
        sources.programFileDir = programDir;
        sources.userHome = (dir / "home").string();
    }
};

} // namespace

TEST_F(ProgramDirTest, TheUsersDataFolderByDefault)
{
    EXPECT_EQ(ChooseProgramDir(sources), dir / "home" / ".local" / "share" / "Quillnook");
    sources.xdgDataHome = (dir / "data").string();
    EXPECT_EQ(ChooseProgramDir(sources), dir / "data" / "Quillnook");
    sources.xdgDataHome = "relative/data"; // not allowed by the XDG rules
    EXPECT_EQ(ChooseProgramDir(sources), dir / "home" / ".local" / "share" / "Quillnook");
}

TEST_F(ProgramDirTest, ProgramFolderWithADiaryOrMarkerIsPortable)
{
    writeFile(programDir / "QUILLNK.INI", "not a diary");
    EXPECT_NE(ChooseProgramDir(sources), programDir);
    writeFile(programDir / "quillnk.dbf", "");
    EXPECT_EQ(ChooseProgramDir(sources), programDir);
    fs::remove(programDir / "quillnk.dbf");
    writeFile(programDir / "portable", "");
    EXPECT_EQ(ChooseProgramDir(sources), programDir);
    // A folder named like the diary table does not count.
    fs::remove(programDir / "portable");
    fs::create_directory(programDir / "Quillnk.DBF");
    EXPECT_FALSE(IsPortableDir(programDir));
}

TEST_F(ProgramDirTest, QuillnookHomeWinsOverEverything)
{
    writeFile(programDir / "portable", "");
    sources.quillnookHome = (dir / "mine").string();
    EXPECT_EQ(ChooseProgramDir(sources), dir / "mine");
}

TEST_F(ProgramDirTest, FilesAreFoundWithoutRegardToCase)
{
    writeFile(programDir / "Quillnk.Hlp", "x");
    auto found = FindFileNoCase(programDir, "QUILLNK.HLP");
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->filename(), "Quillnk.Hlp");
    EXPECT_FALSE(FindFileNoCase(programDir, "QUILLNK.DCT").has_value());
    EXPECT_FALSE(FindFileNoCase(dir / "missing", "x").has_value());
}

TEST(ProgramDir, IsChosenOnceWithATrailingSeparator)
{
    // The test mains point QUILLNOOK_HOME at a private folder.
    const char *home = std::getenv("QUILLNOOK_HOME");
    ASSERT_NE(home, nullptr);
    const std::string &dir = ProgramDir();
    EXPECT_EQ(dir, fs::path(home).lexically_normal().string() + "/");
    EXPECT_TRUE(fs::is_directory(dir));
    EXPECT_EQ(&ProgramDir(), &dir);
}

TEST(ProgramDir, TheBuildTreeIsNeverTakenForAPortableDiary)
{
    // The test binaries sit in the build tree beside the program; neither
    // folder may look like a portable diary.
    EXPECT_FALSE(IsPortableDir(ProgramFileDir()));
    EXPECT_FALSE(IsPortableDir(qn::test::binaryDir() / "bin"));
}

TEST(ProgramDir, ResourcesAreFoundInTheDiaryFolderThenBesideTheProgramThenInShare)
{
    std::vector<fs::path> dirs = ResourceDirs();
    ASSERT_EQ(dirs.size(), 3u);
    EXPECT_EQ(dirs[0], fs::path(ProgramDir()));
    EXPECT_EQ(dirs[1], ProgramFileDir());
    EXPECT_EQ(dirs[2], (ProgramFileDir() / ".." / "share" / "quillnook").lexically_normal());

    EXPECT_FALSE(FindResourceFile("qn-no-such-resource").has_value());
    fs::path own = fs::path(ProgramDir()) / "Qn-Test-Resource.txt";
    writeFile(own, "x");
    auto found = FindResourceFile("QN-TEST-RESOURCE.TXT");
    fs::remove(own);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(*found, own);
}
