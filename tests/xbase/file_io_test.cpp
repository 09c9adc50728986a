#include "platform/file_lookup.h"
#include "tests/support/fault_file_system.h"
#include "xbase/file_io.h"
#include "xbase/xbase_error.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

using namespace qn::xbase;
using qn::test::TempDir;

TEST(BinaryFile, ReadsWhatWasWrittenAndRefusesShortReads)
{
    TempDir dir;
    BinaryFile f(dir / "a.bin", BinaryFile::Mode::Create);
    f.writeAt(10, "abc", 3);
    EXPECT_EQ(f.size(), 13u);
    char buf[3];
    f.readAt(10, buf, 3);
    EXPECT_EQ(std::string(buf, 3), "abc");
    EXPECT_THROW(f.readAt(11, buf, 3), XbaseError);
    EXPECT_EQ(f.readSomeAt(11, buf, 3), 2u);
    EXPECT_THROW(BinaryFile(dir / "missing", BinaryFile::Mode::ReadOnly), XbaseError);
}

TEST(BinaryFile, FaultFileSystemCrashesAtTheGivenOperationAndStaysCrashed)
{
    TempDir dir;
    qn::test::FaultFileSystem faults;
    BinaryFile f(dir / "a.bin", BinaryFile::Mode::Create, faults); // one
    faults.crashAfter(2);
    f.writeAt(0, "1", 1);
    f.sync();
    EXPECT_THROW(f.writeAt(1, "2", 1), qn::test::SimulatedCrash);
    EXPECT_TRUE(faults.crashed());
    EXPECT_THROW(f.truncate(0), qn::test::SimulatedCrash);
    EXPECT_THROW(removeFile(dir / "a.bin", faults), qn::test::SimulatedCrash);
    char c = 0;
    f.readAt(0, &c, 1); // reads still work
    EXPECT_EQ(c, '1');
    EXPECT_EQ(f.size(), 1u);
    faults.crashAfter(-1);
    f.writeAt(1, "2", 1);
    EXPECT_EQ(f.size(), 2u);
    EXPECT_EQ(faults.counted(), 5); // the crashing write counts; the refused ones after it do not
}

TEST(BinaryFile, FailuresOfTheFileDoorAreEngineErrors)
{
    TempDir dir;
    EXPECT_THROW(BinaryFile(dir / "missing" / "a.bin", BinaryFile::Mode::Create), XbaseError);
    EXPECT_THROW(replaceFile(dir / "none", dir / "other", qn::DefaultFileSystem()), XbaseError);
}

TEST(BinaryFile, ExclusiveLockExcludesASecondOpen)
{
    TempDir dir;
    BinaryFile a(dir / "t.dbf", BinaryFile::Mode::Create);
    BinaryFile b(dir / "t.dbf", BinaryFile::Mode::ReadWrite);
    ASSERT_TRUE(a.tryLock(true));
    EXPECT_FALSE(b.tryLock(true));
    EXPECT_FALSE(b.tryLock(false));
    a.close();
    EXPECT_TRUE(b.tryLock(true));
}

TEST(BinaryFile, RangeLocksExcludeOtherOpensOfTheSameFile)
{
    TempDir dir;
    BinaryFile a(dir / "t.dbf", BinaryFile::Mode::Create);
    BinaryFile b(dir / "t.dbf", BinaryFile::Mode::ReadWrite);
    ASSERT_TRUE(tryLockRange(a, 100, 1));
    EXPECT_FALSE(tryLockRange(b, 100, 1));
    EXPECT_TRUE(tryLockRange(b, 101, 1));
    unlockRange(a, 100, 1);
    EXPECT_TRUE(tryLockRange(b, 100, 1));
}

TEST(FileNames, AreFoundWhateverTheirCase)
{
    TempDir dir;
    qn::test::writeFile(dir / "Quillnk.cdx", "x");
    EXPECT_EQ(qn::FindPathNoCase(dir / "QUILLNK.CDX"), dir / "Quillnk.cdx");
    EXPECT_EQ(qn::FindPathNoCase(dir / "missing.cdx"), dir / "missing.cdx");
    EXPECT_EQ(siblingWithExtension(dir / "QUILLNK.DBF", ".cdx"), dir / "Quillnk.cdx");
    EXPECT_EQ(siblingWithExtension(dir / "QUILLNK.DBF", ".fpt"), dir / "QUILLNK.FPT");
    EXPECT_EQ(siblingWithExtension(dir / "quillnk.dbf", ".FPT"), dir / "quillnk.fpt");
}
