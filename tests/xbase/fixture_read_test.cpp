#include "peer_format.h"

#include "xbase/table.h"
#include "xbase/xbase_error.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <array>
#include <sstream>

using namespace qn::xbase;
using qn::test::TempDir;

namespace {

std::filesystem::path fixtures()
{
    return qn::test::sourceDir() / "tests/xbase/fixtures";
}

// Copies a fixture table with its memo file into a scratch folder, without
// its index (the index is read by the index tests).
std::filesystem::path copyTable(const TempDir &dir, const std::string &dbf,
                                const std::string &fpt = {})
{
    std::filesystem::copy_file(fixtures() / dbf, dir / dbf);
    std::filesystem::permissions(dir / dbf, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
    if (!fpt.empty()) {
        std::filesystem::copy_file(fixtures() / fpt, dir / fpt);
        std::filesystem::permissions(dir / fpt, std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add);
    }
    return dir / dbf;
}

} // namespace

class FixtureTables : public ::testing::TestWithParam<std::pair<const char *, const char *>> {};

TEST_P(FixtureTables, ReadAsTheIndependentReaderReadsThem)
{
    TempDir dir;
    auto [dbf, fpt] = GetParam();
    EngineSettings settings;
    auto table =
        Table::open(copyTable(dir, dbf, fpt ? fpt : ""), Table::Access::ReadOnly, settings);
    std::string expected =
        qn::test::readFile(fixtures() / "expected" / (std::string(dbf) + ".txt"));
    std::string ours = qn::test::peerDump(*table);
    // The year byte is printed as stored by both.
    EXPECT_EQ(ours, qn::test::withoutDateTimes(expected));
}

INSTANTIATE_TEST_SUITE_P(All, FixtureTables,
                         ::testing::Values(std::make_pair("rooms.dbf", nullptr),
                                           std::make_pair("setup.dbf", nullptr),
                                           std::make_pair("calls.dbf", "calls.FPT"),
                                           std::make_pair("pr90.dbf", "pr90.fpt")));

TEST(FixtureTables, WideCharacterFieldTakesItsLengthFromTwoBytes)
{
    TempDir dir;
    EngineSettings settings;
    auto t = Table::open(copyTable(dir, "pr90.dbf", "pr90.fpt"), Table::Access::ReadOnly, settings);
    int note = t->fieldIndex("note");
    ASSERT_GE(note, 0);
    EXPECT_EQ(t->field(note).length, 300);
    EXPECT_EQ(t->recordLength(), 505);
    t->go(2);
    EXPECT_EQ(t->text(note).substr(0, 12), "000000000011");
    EXPECT_EQ(t->memo(t->fieldIndex("NOTEMEMO")), "He will pay-off the loan next month");
}

TEST(FixtureTables, PythonDbfQuirksAreRead)
{
    // Backlink area in a FoxPro table, no end mark, flags 0 and a zero-length
    // memo block for an empty text: all as python3-dbf writes them.
    TempDir dir;
    std::string header(32, '\0');
    const int fields = 2, headerLength = 32 + 32 * fields + 1 + 263, recordLength = 19;
    header[0] = char(0xF5);
    header[4] = 2;
    header[8] = char(headerLength & 0xFF);
    header[9] = char(headerLength >> 8);
    header[10] = recordLength;
    std::string d1(32, '\0'), d2(32, '\0');
    d1.replace(0, 4, "DATE");
    d1[11] = 'C';
    d1[16] = 8;
    d2.replace(0, 5, "ENTRY");
    d2[11] = 'M';
    d2[16] = 10;
    std::string bytes = header + d1 + d2 + "\x0D" + std::string(263, '\0');
    bytes += " 20261207         8";
    bytes += " 20261208         9";
    qn::test::writeFile(dir / "py.dbf", bytes);
    std::string fpt(512, '\0');
    fpt[3] = 10;
    fpt[7] = 64;
    std::string block8(64, '\0'), block9(64, '\0');
    block8[3] = 1;
    block8[7] = 5;
    block8.replace(8, 5, "hello");
    block9[3] = 1; // zero-length text
    qn::test::writeFile(dir / "py.fpt", fpt + block8 + block9);
    EngineSettings settings;
    auto t = Table::open(dir / "PY.DBF", Table::Access::Exclusive, settings);
    EXPECT_EQ(t->recordCount(), 2u);
    t->go(1);
    EXPECT_EQ(t->memo(1), "hello");
    t->go(2);
    EXPECT_EQ(t->memo(1), "");
    // Appending keeps the header length and writes after the last record.
    t->appendBlank();
    t->replaceText(0, "20261209");
    t->replaceMemo(1, "third");
    t->commit();
    t->go(3);
    EXPECT_EQ(t->text(0), "20261209");
    EXPECT_EQ(t->memo(1), "third");
}

class FixtureIndexes : public ::testing::TestWithParam<std::array<const char *, 3>> {};

TEST_P(FixtureIndexes, TagsWalkAsTheIndependentReaderListsThem)
{
    TempDir dir;
    auto [dbf, fpt, cdx] = GetParam();
    std::filesystem::path table = copyTable(dir, dbf, fpt ? fpt : "");
    std::filesystem::copy_file(fixtures() / cdx, dir / cdx);
    EngineSettings settings;
    auto t = Table::open(table, Table::Access::ReadOnly, settings);
    std::istringstream tags(
        qn::test::readFile(fixtures() / "expected" / (std::string(cdx) + ".tags.txt")));
    std::string tag;
    int seen = 0;
    while (std::getline(tags, tag)) {
        int order = t->tagOrder(tag);
        ASSERT_GT(order, 0) << tag;
        t->setOrder(order);
        std::string ours;
        for (t->goTop(); !t->eof(); t->skip(1)) {
            std::string key = t->keyData();
            while (!key.empty() && key.back() == ' ')
                key.pop_back();
            ours += key + "|" + std::to_string(t->recno()) + "\n";
        }
        EXPECT_EQ(ours, qn::test::readFile(fixtures() / "expected" /
                                           (std::string(cdx) + "." + tag + ".txt")))
            << tag;
        ++seen;
    }
    EXPECT_EQ(seen, t->tagCount());
    // Our key expressions give exactly the keys the other program stored.
    for (const std::string &fault : t->checkIndexes())
        ADD_FAILURE() << fault;
}

INSTANTIATE_TEST_SUITE_P(
    All, FixtureIndexes,
    ::testing::Values(std::array<const char *, 3>{"rooms.dbf", nullptr, "rooms.cdx"},
                      std::array<const char *, 3>{"setup.dbf", nullptr, "setup.CDX"},
                      std::array<const char *, 3>{"calls.dbf", "calls.FPT", "calls.CDX"}));
