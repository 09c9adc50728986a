// Files and folders the program creates are private to their owner whatever
// the umask.

#include "platform/file_replacement.h"
#include "platform/file_system.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace qn {
namespace {

namespace fs = std::filesystem;

unsigned modeOf(const fs::path &path)
{
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

// Sets a umask for one test and puts the old one back.
class Umask {
public:
    explicit Umask(mode_t mask) : old_(::umask(mask)) {}
    ~Umask() { ::umask(old_); }

private:
    mode_t old_;
};

TEST(PrivateFolder, MadeWithItsMissingParentsForTheOwnerOnly)
{
    test::TempDir dir;
    for (mode_t mask : {mode_t(022), mode_t(0277), mode_t(0)}) {
        Umask umask(mask);
        const fs::path top = dir / ("mask" + std::to_string(mask));
        EXPECT_TRUE(CreatePrivateFolder(top / "diary" / "Backups/"));
        for (const fs::path &made : {top, top / "diary", top / "diary" / "Backups"})
            EXPECT_EQ(modeOf(made), 0700u) << made << " umask " << mask;
    }
}

TEST(PrivateFolder, AnExistingFolderIsLeftAsItIs)
{
    test::TempDir dir;
    fs::create_directory(dir / "shared");
    fs::permissions(dir / "shared", fs::perms(0755));
    EXPECT_FALSE(CreatePrivateFolder(dir / "shared"));
    EXPECT_EQ(modeOf(dir / "shared"), 0755u);
}

TEST(PrivateFolder, AFileInTheWayOrAFolderThatCannotBeMadeIsNamed)
{
    test::TempDir dir;
    test::writeFile(dir / "plain", "x");
    try {
        CreatePrivateFolder(dir / "plain" / "below");
        FAIL() << "no error";
    } catch (const FileError &e) {
        EXPECT_NE(std::string(e.what()).find("plain"), std::string::npos) << e.what();
    }
    fs::create_directory(dir / "locked");
    fs::permissions(dir / "locked", fs::perms(0500));
    if (::geteuid() != 0) { // permissions do not stop root
        EXPECT_THROW(CreatePrivateFolder(dir / "locked" / "diary"), FileError);
    }
    fs::permissions(dir / "locked", fs::perms(0700));
}

TEST(PrivateFiles, CreatedAndReplacedFilesAreTheOwnersOnly)
{
    test::TempDir dir;
    Umask umask(022);
    FileSystem &fs = DefaultFileSystem();
    fs.open(dir / "created", OpenMode::Create);
    fs.open(dir / "new", OpenMode::CreateNew);
    ReplaceFile(dir / "replaced-new", "text");
    test::writeFile(dir / "emptied", "old");
    test::writeFile(dir / "replaced", "old");
    fs::permissions(dir / "emptied", fs::perms(0644));
    fs::permissions(dir / "replaced", fs::perms(0664));
    fs.open(dir / "emptied", OpenMode::Create);
    ReplaceFile(dir / "replaced", "new");
    for (const char *name : {"created", "new", "replaced-new", "emptied", "replaced"})
        EXPECT_EQ(modeOf(dir / name), 0600u) << name;
    EXPECT_EQ(test::readFile(dir / "replaced"), "new");
}

TEST(PrivateFiles, OpeningAnExistingFileLeavesItsPermissions)
{
    test::TempDir dir;
    test::writeFile(dir / "shared", "x");
    fs::permissions(dir / "shared", fs::perms(0644));
    DefaultFileSystem().open(dir / "shared", OpenMode::ReadWrite)->writeAt(0, "y", 1);
    EXPECT_EQ(modeOf(dir / "shared"), 0644u);
}

} // namespace
} // namespace qn
