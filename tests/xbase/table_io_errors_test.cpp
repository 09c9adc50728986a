// A full disk or another I/O error in the middle of a save is an XbaseError
// of the I/O kind that names the file and the reason, and leaves the table's
// files as the last commit left them: no record, no memo, no key of the
// failed change remains, and the memo file does not grow.

#include "xbase/journal.h"
#include "xbase/table.h"
#include "xbase/xbase_error.h"

#include "tests/support/fault_file_system.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <map>

using namespace qn::xbase;
using qn::test::FaultFileSystem;
using qn::test::TempDir;
namespace fs = std::filesystem;

namespace {

class TableIoErrorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        settings.fileSystem = &faults;
        Table::create(path(), {{"DATE", 'C', 8, 0, 0}, {"ENTRY", 'M', 10, 0, 0}}, 1);
        auto t = open();
        for (int i = 1; i <= 8; ++i) {
            t->appendBlank();
            t->replaceText(0, "2024010" + std::to_string(i));
            t->replaceMemo(1, std::string(size_t(100 * i), char('a' + i)));
        }
        t->indexTag({}, "DATE", "date", false, false, {});
        t->close();
    }

    fs::path path() const { return dir / "QUILLNK.DBF"; }
    std::unique_ptr<Table> open()
    {
        return Table::open(path(), Table::Access::Exclusive, settings);
    }

    // The table's three files.
    std::map<std::string, std::string> tableFiles() const
    {
        std::map<std::string, std::string> m;
        for (const char *name : {"QUILLNK.DBF", "QUILLNK.FPT", "QUILLNK.CDX"})
            m[name] = qn::test::readFile(dir / name);
        return m;
    }
    void restore(const std::map<std::string, std::string> &files)
    {
        for (const auto &e : fs::directory_iterator(dir.path()))
            fs::remove(e.path());
        for (const auto &[name, bytes] : files)
            qn::test::writeFile(dir / name, bytes);
    }

    // The dates of the records, "*" before deleted ones.
    std::vector<std::string> dates()
    {
        EngineSettings plain;
        auto t = Table::open(path(), Table::Access::ReadOnly, plain);
        std::vector<std::string> d;
        for (uint32_t r = 1; r <= t->recordCount(); ++r) {
            t->go(r);
            d.push_back((t->deleted() ? "*" : "") + t->text(0) + ":" +
                        std::to_string(t->memo(1).size()));
        }
        EXPECT_TRUE(t->checkIndexes().empty());
        return d;
    }

    void expectIoError(const XbaseError &e, const char *reason)
    {
        EXPECT_TRUE(e.isIo()) << e.what();
        EXPECT_NE(std::string(e.what()).find(dir.path().string()), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find(reason), std::string::npos) << e.what();
    }

    TempDir dir;
    FaultFileSystem faults;
    EngineSettings settings;
};

void appendOne(Table &t)
{
    t.appendBlank();
    t.replaceText(0, "20991231");
    t.replaceMemo(1, std::string(3000, 'n'));
    t.commit();
}

// One write, sync, truncation or creation refused at each point in turn
// (a disk that is full, as for the journal's first write, or a folder in
// which the journal cannot be made): the caller rolls back, and every file
// is as before, byte for byte.
TEST_F(TableIoErrorTest, AnAppendThatFailsAnywhereLeavesEveryFileAsItWas)
{
    const auto start = tableFiles();
    const auto before = dates();
    bool completed = false;
    int failed = 0;
    for (long n = 0; !completed && n < 200; ++n) {
        SCOPED_TRACE(n);
        restore(start);
        auto t = open();
        faults.failAfter(n, ENOSPC, false);
        try {
            appendOne(*t);
            completed = true;
        } catch (const XbaseError &e) {
            ++failed;
            expectIoError(e, "No space left on device");
            t->rollback();
        }
        faults.failAfter(-1);
        t->close();
        if (completed)
            break;
        EXPECT_EQ(tableFiles(), start);
        EXPECT_FALSE(fs::exists(Journal::pathFor(path())));
        EXPECT_EQ(dates(), before);
    }
    EXPECT_TRUE(completed);
    EXPECT_GT(failed, 8); // the journal, the memo, the files, their syncs
    EXPECT_EQ(dates().size(), before.size() + 1);
}

// An error that lasts (a disk gone bad): nothing can be undone at once, but
// the next open finds the table as it was, without the record.
TEST_F(TableIoErrorTest, AnErrorThatLastsLeavesNoRecordForTheNextOpen)
{
    const auto start = tableFiles();
    const auto before = dates();
    for (long n = 0; n < 200; ++n) {
        SCOPED_TRACE(n);
        restore(start);
        bool completed = false;
        {
            auto t = open();
            faults.failAfter(n, EIO, true);
            try {
                appendOne(*t);
                completed = true;
            } catch (const XbaseError &e) {
                expectIoError(e, "Input/output error");
                try {
                    t->rollback();
                } catch (const XbaseError &e) {
                    expectIoError(e, "Input/output error");
                }
            }
            try {
                t->close();
            } catch (const XbaseError &e) {
                expectIoError(e, "Input/output error");
            }
            faults.failAfter(-1);
        }
        if (completed)
            break;
        EXPECT_EQ(dates(), before);
        EXPECT_EQ(qn::test::readFile(path()), start.at("QUILLNK.DBF"));
        EXPECT_EQ(qn::test::readFile(dir / "QUILLNK.CDX"), start.at("QUILLNK.CDX"));
    }
}

// A rollback without a failure gives up what waits: a changed record, a new
// record, its memo and its keys.
TEST_F(TableIoErrorTest, RollbackGivesUpWhatWasNotCommitted)
{
    const auto start = tableFiles();
    const auto before = dates();
    auto t = open();
    t->go(3);
    t->replaceText(0, "20990101");
    t->replaceMemo(1, "changed");
    t->appendBlank();
    t->replaceText(0, "20990102");
    t->replaceMemo(1, std::string(5000, 'x'));
    t->rollback();
    EXPECT_EQ(t->recordCount(), 8u);
    EXPECT_TRUE(t->checkIndexes().empty());
    t->setOrder(1);
    EXPECT_FALSE(t->seek("20990102"));
    t->go(3);
    EXPECT_EQ(t->text(0), "20240103");
    t->replaceText(0, "20990103"); // and the table goes on
    t->commit();
    t->close();
    auto after = before;
    after[2] = "20990103:300";
    EXPECT_EQ(dates(), after);
    EXPECT_EQ(qn::test::readFile(dir / "QUILLNK.FPT"), start.at("QUILLNK.FPT"));
}

} // namespace

// A name the system cannot even look up is an I/O error of the engine too,
// not some other exception.
TEST(TableNames, ANameThatCannotBeLookedUpIsAnIoError)
{
    TempDir dir;
    fs::create_directory_symlink("loop", dir / "loop");
    EngineSettings settings;
    for (const fs::path &name : {dir / "loop" / "T.DBF", dir / std::string(300, 'a') / "T.DBF"}) {
        SCOPED_TRACE(name.string().substr(0, 80));
        try {
            Table::open(name, Table::Access::ReadOnly, settings);
            ADD_FAILURE() << "opened";
        } catch (const XbaseError &e) {
            EXPECT_TRUE(e.isIo()) << e.what();
        }
        try {
            Table::create(name, {{"DATE", 'C', 8, 0, 0}}, 1);
            ADD_FAILURE() << "created";
        } catch (const XbaseError &e) {
            EXPECT_TRUE(e.isIo()) << e.what();
        }
        EXPECT_FALSE(Table::hasHotJournal(name, settings));
    }
}
