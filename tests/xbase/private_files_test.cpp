// Every file the table engine makes (the table, its memo file and index,
// the journal, the new files of a pack) is its owner's alone, whatever the
// umask.

#include "xbase/journal.h"
#include "xbase/table.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace qn::xbase;
namespace fs = std::filesystem;

namespace {

unsigned modeOf(const fs::path &path)
{
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

TEST(PrivateTableFiles, EveryFileTheEngineMakesIsTheOwnersOnly)
{
    const mode_t old = ::umask(022);
    qn::test::TempDir dir;
    const fs::path table = dir / "QUILLNK.DBF";
    Table::create(table, {{"DATE", 'C', 8, 0, 0}, {"ENTRY", 'M', 10, 0, 0}}, 1);
    EngineSettings settings;
    {
        auto t = Table::open(table, Table::Access::Exclusive, settings);
        for (int i = 1; i <= 3; ++i) {
            t->appendBlank();
            t->replaceText(0, "2024010" + std::to_string(i));
            t->replaceMemo(1, "entry");
        }
        t->indexTag({}, "DATE", "date", false, false, {});
        t->commit();
        ASSERT_TRUE(fs::exists(Journal::pathFor(table)));
        for (const auto &e : fs::directory_iterator(dir.path()))
            EXPECT_EQ(modeOf(e.path()), 0600u) << e.path();
        t->go(2);
        t->deleteRecord();
        t->pack(); // new files beside the old ones, switched in
    }
    ::umask(old);
    int files = 0;
    for (const auto &e : fs::directory_iterator(dir.path())) {
        EXPECT_EQ(modeOf(e.path()), 0600u) << e.path();
        ++files;
    }
    EXPECT_EQ(files, 3);
}

} // namespace
