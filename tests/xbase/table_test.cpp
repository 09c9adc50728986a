#include "xbase/cdx_index.h"
#include "xbase/table.h"
#include "xbase/xbase_error.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <random>
#include <sys/wait.h>
#include <unistd.h>

using namespace qn::xbase;
using qn::test::TempDir;

namespace {

class TableTest : public ::testing::Test {
protected:
    // A diary-like table: DATE C(8), ENTRY M, with records in the given order.
    std::unique_ptr<Table> diary(const std::vector<std::string> &dates)
    {
        Table::create(dir / "DIARY.DBF", {{"DATE", 'C', 8, 0, 0}, {"ENTRY", 'M', 10, 0, 0}}, 64);
        auto t = Table::open(dir / "diary.dbf", Table::Access::Exclusive, settings);
        for (const std::string &d : dates) {
            t->appendBlank();
            t->replaceText(0, d);
            t->replaceMemo(1, "entry of " + d);
        }
        t->commit();
        return t;
    }

    std::vector<uint32_t> walk(Table &t)
    {
        std::vector<uint32_t> r;
        for (t.goTop(); !t.eof(); t.skip(1))
            r.push_back(t.recno());
        return r;
    }

    std::vector<uint32_t> walkBack(Table &t)
    {
        std::vector<uint32_t> r;
        for (t.goBottom(); !t.bof() && !t.eof(); t.skip(-1))
            r.push_back(t.recno());
        return r;
    }

    TempDir dir;
    EngineSettings settings;
};

} // namespace

TEST_F(TableTest, NaturalOrderMovesAndTheEnds)
{
    auto t = diary({"20261207", "20261205", "20261206"});
    EXPECT_EQ(walk(*t), (std::vector<uint32_t>{1, 2, 3}));
    EXPECT_EQ(walkBack(*t), (std::vector<uint32_t>{3, 2, 1}));
    t->goBottom();
    t->skip(1);
    EXPECT_TRUE(t->eof());
    EXPECT_EQ(t->recno(), 4u);
    EXPECT_EQ(t->record(), std::string(t->recordLength(), ' ')); // the blank record past the end
    t->skip(-1);
    EXPECT_EQ(t->recno(), 3u);
    t->goTop();
    t->skip(-1);
    EXPECT_TRUE(t->bof());
    EXPECT_EQ(t->recno(), 1u);
    t->go(99);
    EXPECT_TRUE(t->eof());
    t->go(2);
    EXPECT_EQ(t->text(0), "20261205");
    EXPECT_EQ(t->memo(1), "entry of 20261205");
}

TEST_F(TableTest, EmptyTableIsBothBofAndEof)
{
    auto t = diary({});
    t->goTop();
    EXPECT_TRUE(t->eof());
    EXPECT_TRUE(t->bof());
    EXPECT_EQ(t->recno(), 1u);
    t->goBottom();
    EXPECT_TRUE(t->eof());
    EXPECT_THROW(t->deleteRecord(), XbaseError);
}

TEST_F(TableTest, DeletedRecordsAreHiddenOnlyWhenTheSettingSaysSo)
{
    auto t = diary({"20261201", "20261202", "20261203", "20261204"});
    t->go(1);
    t->deleteRecord();
    t->go(3);
    t->deleteRecord();
    EXPECT_TRUE(t->deleted());
    EXPECT_EQ(walk(*t), (std::vector<uint32_t>{1, 2, 3, 4}));
    settings.deleted = true;
    EXPECT_EQ(walk(*t), (std::vector<uint32_t>{2, 4}));
    EXPECT_EQ(walkBack(*t), (std::vector<uint32_t>{4, 2}));
    t->go(3); // a direct move reaches a deleted record
    EXPECT_TRUE(t->deleted());
    t->skip(1);
    EXPECT_EQ(t->recno(), 4u);
    t->recallRecord();
    EXPECT_EQ(t->countVisible(), 2u);
    t->go(3);
    t->recallRecord();
    EXPECT_EQ(t->countVisible(), 3u);
}

TEST_F(TableTest, FiltersAndTheirErrors)
{
    auto t = diary({"20261201", "20261115", "20261202", "20251231"});
    t->setFilter("date >= '202612'");
    EXPECT_EQ(walk(*t), (std::vector<uint32_t>{1, 3}));
    EXPECT_EQ(t->countVisible(), 2u);
    t->setFilter("'2025' $ date .OR. 'of 20261115' $ entry");
    EXPECT_EQ(walk(*t), (std::vector<uint32_t>{2, 4}));
    EXPECT_THROW(t->setFilter("date"), XbaseError);    // not a condition
    EXPECT_THROW(t->setFilter("date = "), XbaseError); // syntax
    EXPECT_EQ(t->filter(),
              "'2025' $ date .OR. 'of 20261115' $ entry"); // a bad filter leaves the old one
    t->setFilter("");
    EXPECT_EQ(walk(*t), (std::vector<uint32_t>{1, 2, 3, 4}));
}

TEST_F(TableTest, IndexOrderSeekAndScope)
{
    auto t = diary({"20261207", "20261205", "20261206", "20261205"});
    int order = t->indexTag({}, "date", "date", false, false, {});
    EXPECT_EQ(order, 1);
    EXPECT_EQ(t->tagName(1), "DATE");
    EXPECT_EQ(t->tagOrder("Date"), 1);
    EXPECT_EQ(t->tagName(2), "");
    EXPECT_EQ(walk(*t), (std::vector<uint32_t>{2, 4, 3, 1}));
    EXPECT_EQ(walkBack(*t), (std::vector<uint32_t>{1, 3, 4, 2}));
    EXPECT_TRUE(t->seek("20261205"));
    EXPECT_EQ(t->recno(), 2u); // the first equal key
    t->skip(1);
    EXPECT_EQ(t->recno(), 4u);
    EXPECT_TRUE(t->seek("2026120")); // a shorter key seeks a prefix
    EXPECT_EQ(t->recno(), 2u);
    EXPECT_FALSE(t->seek("20261204x"));
    EXPECT_TRUE(t->eof());
    EXPECT_FALSE(t->seek("20261204"));
    EXPECT_TRUE(t->eof());
    settings.softSeek = true;
    EXPECT_FALSE(t->seek("20261204"));
    EXPECT_EQ(t->recno(), 2u); // the next greater key
    EXPECT_FALSE(t->seek("20261208"));
    EXPECT_TRUE(t->eof());
    settings.softSeek = false;
    settings.exact = true;
    EXPECT_FALSE(t->seek("2026120"));
    EXPECT_TRUE(t->seek("20261206"));
    settings.exact = false;

    settings.deleted = true;
    t->seek("20261205");
    t->deleteRecord();
    EXPECT_TRUE(t->seek("20261205"));
    EXPECT_EQ(t->recno(), 4u); // the first visible equal key

    t->setScope("20261206", "20261207");
    EXPECT_EQ(walk(*t), (std::vector<uint32_t>{3, 1}));
    EXPECT_EQ(walkBack(*t), (std::vector<uint32_t>{1, 3}));
    t->setScope("", "");
    t->setOrder(0);
    EXPECT_EQ(walk(*t), (std::vector<uint32_t>{1, 3, 4}));
    EXPECT_THROW(t->seek("x"), XbaseError);
    t->setOrder(1);
    EXPECT_EQ(walk(*t), (std::vector<uint32_t>{4, 3, 1}));
}

TEST_F(TableTest, EveryWriteKeepsEveryTagInStep)
{
    auto t = diary({"20261207", "20261205"});
    t->indexTag({}, "DATE", "date", false, false, {});
    t->indexTag({}, "REV", "UPPER(entry)", false, true, {});
    t->indexTag({}, "DEC", "date", false, false, "date >= '202612'");
    t->setOrder(1);
    t->appendBlank();
    t->replaceText(0, "20261206");
    t->replaceMemo(1, "x");
    t->go(1);
    t->replaceText(0, "20251111"); // a key change, written when the pointer moves
    t->go(2);
    std::string image = t->record();
    image.replace(1, 8, "20240101");
    t->putRecord(image.data());
    t->commit();
    for (const std::string &fault : t->checkIndexes())
        ADD_FAILURE() << fault;
    t->setOrder(1);
    EXPECT_EQ(walk(*t), (std::vector<uint32_t>{2, 1, 3}));
    t->setOrder(t->tagOrder("DEC"));
    EXPECT_EQ(walk(*t), (std::vector<uint32_t>{3}));
    EXPECT_EQ(t->indexCondition(), "date >= '202612'");
    t->setOrder(t->tagOrder("REV")); // descending by memo text
    EXPECT_EQ(walk(*t), (std::vector<uint32_t>{3, 1, 2}));
    t->close();

    // The tags come back with the table.
    auto again = Table::open(dir / "DIARY.DBF", Table::Access::Exclusive, settings);
    EXPECT_EQ(again->tagCount(), 3);
    EXPECT_TRUE(again->checkIndexes().empty());
    again->setOrder(again->tagOrder("DATE"));
    EXPECT_TRUE(again->seek("20251111"));
    EXPECT_EQ(again->recno(), 1u);
    EXPECT_EQ(again->keyData(), "20251111");
    EXPECT_EQ(again->indexExpression(), "date");
    again->closeIndexes();
    EXPECT_EQ(again->order(), 0);
    EXPECT_EQ(again->tagCount(), 0);
    EXPECT_EQ(again->openIndex("diary"), 1);
    EXPECT_EQ(again->tagCount(), 3);
}

TEST_F(TableTest, NumericDateAndLogicalKeys)
{
    Table::create(dir / "T.DBF", {{"N", 'N', 6, 1, 0}, {"D", 'D', 8, 0, 0}, {"L", 'L', 1, 0, 0}},
                  64);
    auto t = Table::open(dir / "T.DBF", Table::Access::Exclusive, settings);
    const char *rows[][3] = {{"12.5", "20260102", "T"}, {"-3", "20251231", "F"}, {"100", "", "T"}};
    for (auto &row : rows) {
        t->appendBlank();
        for (int i = 0; i < 3; ++i)
            t->replaceText(i, row[i]);
    }
    t->indexTag({}, "N", "n", false, false, {});
    EXPECT_EQ(walk(*t), (std::vector<uint32_t>{2, 1, 3}));
    EXPECT_TRUE(t->seek("12.5"));
    EXPECT_EQ(t->recno(), 1u);
    t->indexTag({}, "D", "d", false, false, {});
    EXPECT_EQ(walk(*t), (std::vector<uint32_t>{3, 2, 1}));
    EXPECT_TRUE(t->seek("20251231"));
    EXPECT_EQ(t->recno(), 2u);
    t->indexTag({}, "S", "STR(n, 6, 1) + DTOS(d)", false, false, {});
    EXPECT_TRUE(t->seek("  12.520260102"));
    EXPECT_EQ(t->recno(), 1u);
    EXPECT_TRUE(t->checkIndexes().empty());
    EXPECT_THROW(t->replaceText(0, "1234567"), XbaseError); // does not fit N(6,1)
    t->go(1);
    t->replaceNumber(0, 12345.6); // fits with fewer decimals
    EXPECT_EQ(t->text(0), " 12346");
}

TEST_F(TableTest, MemosKeepEveryByteButZeroUpTo16MB)
{
    auto t = diary({"20261207"});
    std::string all;
    for (int c = 1; c < 256; ++c)
        all += char(c);
    std::mt19937 rng(7);
    std::string big(16 * 1024 * 1024 + 13, 'x');
    for (char &c : big)
        c = char(1 + rng() % 255);
    t->go(1);
    t->replaceMemo(1, all);
    t->commit();
    EXPECT_EQ(t->memo(1), all);
    t->replaceMemo(1, big);
    t->commit();
    t->close();
    auto again = Table::open(dir / "DIARY.DBF", Table::Access::ReadOnly, settings);
    again->go(1);
    EXPECT_EQ(again->memo(1), big);
    EXPECT_THROW(again->replaceMemo(1, "x"), XbaseError); // read-only
    again->close();
    auto writable = Table::open(dir / "DIARY.DBF", Table::Access::Exclusive, settings);
    writable->go(1);
    EXPECT_THROW(writable->replaceMemo(1, std::string("a\0b", 3)), XbaseError);
    writable->replaceMemo(1, "");
    EXPECT_EQ(writable->text(1), "");
    EXPECT_EQ(std::string(writable->buffer() + 9, 10), std::string(10, ' '));
}

TEST_F(TableTest, ExclusiveOpenShutsOutEveryOtherOpener)
{
    auto t = diary({"20261207"});
    EXPECT_THROW(Table::open(dir / "DIARY.DBF", Table::Access::Exclusive, settings), XbaseError);
    EXPECT_THROW(Table::open(dir / "DIARY.DBF", Table::Access::Shared, settings), XbaseError);
    std::string path = (dir / "DIARY.DBF").string();
    pid_t child = fork();
    if (child == 0) {
        int code = 0;
        try {
            EngineSettings s;
            Table::open(path, Table::Access::Exclusive, s);
        } catch (const XbaseError &e) {
            code = std::string(e.what()).find("in use") != std::string::npos ? 7 : 8;
        }
        _exit(code);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 7);
    t->close();
    EXPECT_NO_THROW(Table::open(dir / "DIARY.DBF", Table::Access::Exclusive, settings));
}

TEST_F(TableTest, SharedModeRecordLocks)
{
    diary({"20261207", "20261208"})->close();
    auto a = Table::open(dir / "DIARY.DBF", Table::Access::Shared, settings);
    auto b = Table::open(dir / "DIARY.DBF", Table::Access::Shared, settings);
    settings.lockTimeoutSeconds = 0;
    EXPECT_TRUE(a->lockRecord(1));
    EXPECT_FALSE(b->lockRecord(1));
    EXPECT_TRUE(b->lockRecord(2));
    b->go(1);
    b->replaceText(0, "20990101");
    EXPECT_THROW(b->go(2), XbaseError); // the write of record 1 needs its lock
    a->unlockAll();
    b->go(1);
    b->replaceText(0, "20990101");
    b->go(2);
    a->go(1);
    EXPECT_EQ(a->text(0), "20990101");
    b->appendBlank(); // seen by the other opener
    EXPECT_EQ(a->recordCount(), 3u);
}

TEST_F(TableTest, CreateRefusesBadStructuresAndExistingTables)
{
    EXPECT_THROW(Table::create(dir / "A.DBF", {}, 64), XbaseError);
    EXPECT_THROW(Table::create(dir / "A.DBF", {{"1BAD", 'C', 5, 0, 0}}, 64), XbaseError);
    EXPECT_THROW(Table::create(dir / "A.DBF", {{"TOOLONGNAME", 'C', 5, 0, 0}}, 64), XbaseError);
    EXPECT_THROW(Table::create(dir / "A.DBF", {{"X", 'C', 0, 0, 0}}, 64), XbaseError);
    EXPECT_THROW(Table::create(dir / "A.DBF", {{"X", 'Q', 4, 0, 0}}, 64), XbaseError);
    EXPECT_THROW(Table::create(dir / "A.DBF", {{"X", 'C', 4, 0, 0}, {"x", 'N', 4, 0, 0}}, 64),
                 XbaseError);
    EXPECT_FALSE(std::filesystem::exists(dir / "A.DBF"));
    diary({"20261207"})->close();
    EXPECT_THROW(Table::create(dir / "diary.DBF", {{"X", 'C', 4, 0, 0}}, 64), XbaseError);
    auto t = Table::open(dir / "DIARY.DBF", Table::Access::ReadOnly, settings);
    EXPECT_EQ(t->recordCount(), 1u);
}

TEST_F(TableTest, DiaryTableBytesAreTheFoxProLayout)
{
    auto t = diary({"20261207"});
    t->indexTag({}, "DATE", "date", false, false, {});
    t->close();
    std::string dbf = qn::test::readFile(dir / "DIARY.DBF");
    ASSERT_EQ(dbf.size(), 97u + 19u + 1u);
    EXPECT_EQ(uint8_t(dbf[0]), 0xF5);
    EXPECT_EQ(dbf.substr(4, 8), std::string("\x01\0\0\0\x61\0\x13\0", 8));
    EXPECT_EQ(uint8_t(dbf[28]), 0x01); // production index
    EXPECT_EQ(uint8_t(dbf[29]), 0x03);
    EXPECT_EQ(dbf.substr(32, 12), std::string("DATE\0\0\0\0\0\0\0C", 12));
    EXPECT_EQ(dbf.substr(96, 21), std::string("\x0D 20261207         8\x1A", 22).substr(0, 21));
    EXPECT_EQ(uint8_t(dbf.back()), 0x1A);
    std::string fpt = qn::test::readFile(dir / "DIARY.FPT");
    EXPECT_EQ(fpt.substr(0, 8), std::string("\0\0\0\x09\0\0\0\x40", 8));
    EXPECT_EQ(fpt.substr(512, 8 + 17),
              std::string("\0\0\0\x01\0\0\0\x11", 8) + "entry of 20261207");
}

TEST_F(TableTest, NamedIndexFilesBesideTheProductionIndex)
{
    auto t = diary({"20261207", "20261205"});
    EXPECT_EQ(t->indexTag({}, "DATE", "date", false, false, {}), 1);
    EXPECT_EQ(t->indexTag("extra", "BYTEXT", "UPPER(entry)", false, false, {}), 2);
    EXPECT_TRUE(std::filesystem::exists(dir / "extra.CDX"));
    EXPECT_NE(t->indexFileName().find("extra.CDX"), std::string::npos);
    t->appendBlank(); // kept up to date in both files
    t->replaceText(0, "20261206");
    t->replaceMemo(1, "aaa");
    t->commit();
    EXPECT_TRUE(t->checkIndexes().empty());
    EXPECT_EQ(walk(*t), (std::vector<uint32_t>{3, 2, 1}));
    t->close();

    // Only the production index opens with the table; others on request.
    auto again = Table::open(dir / "DIARY.DBF", Table::Access::Exclusive, settings);
    EXPECT_EQ(again->tagCount(), 1);
    EXPECT_EQ(again->openIndex("EXTRA.cdx"), 2);
    EXPECT_EQ(again->openIndex(dir / "extra.cdx"), 2); // already open
    EXPECT_EQ(again->tagName(2), "BYTEXT");
    EXPECT_EQ(walk(*again), (std::vector<uint32_t>{3, 2, 1}));
    EXPECT_TRUE(again->checkIndexes().empty());
    EXPECT_THROW(again->openIndex("missing"), XbaseError);
    EXPECT_THROW(again->indexTag({}, "BAD", "nosuch", false, false, {}), XbaseError);
    EXPECT_THROW(again->indexTag({}, "BAD", "date", false, false, "date"), XbaseError);
    EXPECT_THROW(again->indexTag({}, "WAYTOOLONGNAME", "date", false, false, {}), XbaseError);
    EXPECT_EQ(again->tagCount(), 2);
}

TEST_F(TableTest, UniqueTagsKeepTheFirstRecordOfEachKey)
{
    auto t = diary({"20261207", "20261205", "20261207"});
    t->indexTag({}, "U", "date", true, false, {});
    EXPECT_EQ(walk(*t), (std::vector<uint32_t>{2, 1}));
    t->appendBlank();
    t->replaceText(0, "20261205");
    t->commit();
    EXPECT_EQ(walk(*t), (std::vector<uint32_t>{2, 1}));
    EXPECT_TRUE(t->checkIndexes().empty());
}

TEST_F(TableTest, DescendingTagsWalkAndSeekInTheirOrder)
{
    auto t = diary({"20261205", "20261207", "20261206", "20261207"});
    t->indexTag({}, "DOWN", "date", false, true, {});
    std::vector<uint32_t> order = walk(*t);
    EXPECT_EQ(order, (std::vector<uint32_t>{4, 2, 3, 1}));
    EXPECT_TRUE(t->seek("20261206"));
    EXPECT_EQ(t->recno(), 3u);
    EXPECT_TRUE(t->seek("20261207"));
    EXPECT_EQ(t->recno(), 4u); // the first equal key in index order
    EXPECT_FALSE(t->seek("20261204"));
    EXPECT_TRUE(t->eof());
}

TEST_F(TableTest, SharedOpenersKeepMemosAndIndexesWhole)
{
    // Two openers of one table, each with its own view of the memo file and
    // the index, writing in turns: neither may overwrite the other's memos
    // or index entries.
    auto first = diary({"20260101"});
    first->indexTag({}, "DATE", "date", false, false, {});
    first->close();
    auto a = Table::open(dir / "DIARY.DBF", Table::Access::Shared, settings);
    auto b = Table::open(dir / "DIARY.DBF", Table::Access::Shared, settings);
    a->setOrder(1);
    b->setOrder(1);
    for (int i = 0; i < 6; ++i) {
        Table &t = i % 2 ? *b : *a;
        t.appendBlank();
        ASSERT_TRUE(t.lockRecord(t.recno()));
        t.replaceText(0, "2026020" + std::to_string(i));
        t.replaceMemo(1, "text " + std::to_string(i));
        t.commit();
        t.unlockAll();
    }
    EXPECT_TRUE(b->seek("20260200")); // written by the other opener
    EXPECT_EQ(b->memo(1), "text 0");
    EXPECT_EQ(walk(*a).size(), 7u);
    a->close();
    b->close();
    auto check = Table::open(dir / "DIARY.DBF", Table::Access::Exclusive, settings);
    for (const std::string &fault : check->checkIndexes())
        ADD_FAILURE() << fault;
    check->setOrder(1);
    for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(check->seek("2026020" + std::to_string(i)));
        EXPECT_EQ(check->memo(1), "text " + std::to_string(i));
    }
}
