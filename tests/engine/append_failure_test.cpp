// A new entry that cannot be saved (the disk full at any write of the save,
// or the journal impossible to make) is an I/O error naming the file and the
// reason, and leaves no trace: no record, deleted or not, no memo, no key.

#include "engine/engine_files.h"
#include "engine/xt.h"
#include "engine/xtable.h"

#include "tests/support/fault_file_system.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <map>

using namespace qn::engine;
using qn::test::FaultFileSystem;
using qn::test::TempDir;
namespace fs = std::filesystem;

namespace {

class AppendFailureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        xt_SetDeleted(0);
        TXTable maker;
        ASSERT_TRUE(maker.CreateNew((dir / "QUILLNK.DBF").string(), 2, 2)) << maker.LastError();
        ASSERT_TRUE(maker.CreateField("DATE", "C", 8, 0));
        ASSERT_TRUE(maker.CreateField("ENTRY", "M", 10, 0));
        ASSERT_TRUE(maker.CreateExec()) << maker.LastError();
        open();
        for (int day = 1; day <= 6; ++day)
            add("2024050" + std::to_string(day), std::string(size_t(200 * day), 'e'));
        close();
    }
    void TearDown() override
    {
        SetEngineFileSystem(nullptr);
        xt_CloseAll();
    }

    void open()
    {
        table.DatabaseName = dir.path();
        table.TableName = "QUILLNK.DBF";
        table.Exclusive = true;
        source.SetDataSet(&table);
        component.SetDataSource(&source);
        table.Open();
        if (component.TagArea("DATE") == 0)
            component.IndexTag("", "DATE", "date", 0, false, "");
        component.SetOrder(1);
    }
    void close() { table.Close(); }
    void add(const std::string &date, const std::string &text)
    {
        table.Append();
        table.FieldByName("DATE").SetAsString(date);
        try {
            table.SetMemoText("ENTRY", text);
            table.Post();
        } catch (...) {
            table.Cancel();
            throw;
        }
    }

    std::map<std::string, std::string> files() const
    {
        std::map<std::string, std::string> m;
        for (const auto &e : fs::directory_iterator(dir.path()))
            m[e.path().filename().string()] = qn::test::readFile(e.path());
        return m;
    }
    void restore(const std::map<std::string, std::string> &saved)
    {
        for (const auto &e : fs::directory_iterator(dir.path()))
            fs::remove(e.path());
        for (const auto &[name, bytes] : saved)
            qn::test::writeFile(dir / name, bytes);
    }

    TempDir dir;
    FaultFileSystem faults;
    TXDataTable table;
    TXDataSource source;
    TXTable component;
};

TEST_F(AppendFailureTest, AFailedAppendLeavesNoRecordAndEveryFileAsItWas)
{
    const auto start = files();
    ASSERT_EQ(start.size(), 3u); // the table, its memo file and its index; no journal
    bool saved = false;
    int failures = 0;
    for (long n = 0; !saved && n < 200; ++n) {
        SCOPED_TRACE(n);
        restore(start);
        SetEngineFileSystem(&faults);
        open();
        faults.failAfter(n, ENOSPC, false);
        try {
            add("20240610", std::string(4000, 'n'));
            saved = true;
        } catch (const EXTableError &e) {
            ++failures;
            EXPECT_EQ(e.code(), XT_ERR_IO) << e.what();
            EXPECT_NE(std::string(e.what()).find("No space left on device"), std::string::npos)
                << e.what();
            EXPECT_NE(std::string(e.what()).find(dir.path().string()), std::string::npos)
                << e.what();
        }
        faults.failAfter(-1);
        close();
        SetEngineFileSystem(nullptr);
        if (!saved)
            EXPECT_EQ(files(), start) << "a failed append left a trace";
    }
    EXPECT_TRUE(saved);
    EXPECT_GT(failures, 8);
    open();
    EXPECT_TRUE(component.Seek("20240610"));
    EXPECT_EQ(table.MemoText("ENTRY"), std::string(4000, 'n'));
}

} // namespace
