#include "xbase/table.h"
#include "xbase/xbase_error.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <random>

using namespace qn::xbase;
using qn::test::readFile;
using qn::test::TempDir;
using qn::test::writeFile;

namespace {

class DamagedFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        Table::create(dir / "T.DBF",
                      {{"DATE", 'C', 8, 0, 0}, {"ENTRY", 'M', 10, 0, 0}, {"N", 'N', 5, 1, 0}}, 64);
        auto t = Table::open(dir / "T.DBF", Table::Access::Exclusive, settings);
        for (int i = 0; i < 6; ++i) {
            t->appendBlank();
            t->replaceText(0, "2026120" + std::to_string(i));
            t->replaceMemo(1, std::string(size_t(30 + 40 * i), char('a' + i)));
            t->replaceNumber(2, i * 1.5);
        }
        t->indexTag({}, "DATE", "date", false, false, {});
        t->indexTag({}, "TEXT", "UPPER(entry)", false, true, "n > 1");
        t->close();
        dbf = readFile(dir / "T.DBF");
        fpt = readFile(dir / "T.FPT");
        cdx = readFile(dir / "T.CDX");
    }

    // Opens and reads everything; the message of the first failure, or "".
    std::string readAll(Table::Access access = Table::Access::ReadOnly)
    {
        try {
            auto t = Table::open(dir / "T.DBF", access, settings);
            for (int order = 0; order <= t->tagCount(); ++order) {
                t->setOrder(order);
                size_t steps = 0;
                for (t->goTop(); !t->eof() && steps < 100; t->skip(1), ++steps)
                    for (size_t i = 0; i < t->fields().size(); ++i)
                        (void)t->text(int(i));
                if (order > 0)
                    (void)t->seek("20261203");
            }
            t->close();
        } catch (const XbaseError &e) {
            return e.what();
        }
        return "";
    }

    void put(const std::string &name, std::string bytes) { writeFile(dir / name, bytes); }

    TempDir dir;
    EngineSettings settings;
    std::string dbf, fpt, cdx;
};

std::string le32(uint32_t v)
{
    return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}

} // namespace

TEST_F(DamagedFiles, BrokenTableHeadersAreReportedClearly)
{
    EXPECT_EQ(readAll(), "");
    put("T.CDX", cdx.substr(0, 700));
    // The records stay readable without a damaged index, which names itself.
    EXPECT_EQ(readAll(), "");
    {
        auto t = Table::open(dir / "T.DBF", Table::Access::ReadOnly, settings);
        EXPECT_EQ(t->tagCount(), 0);
        std::vector<std::string> faults = t->checkIndexes();
        ASSERT_FALSE(faults.empty());
        EXPECT_NE(faults[0].find("T.CDX"), std::string::npos) << "a damaged index names itself";
    }
    EXPECT_EQ(readFile(dir / "T.CDX"), cdx.substr(0, 700));
    put("T.CDX", cdx);
    auto expectError = [&](std::string bytes, const char *words) {
        put("T.DBF", bytes);
        std::string message = readAll();
        EXPECT_NE(message.find(words), std::string::npos) << "message: " << message;
        EXPECT_EQ(readFile(dir / "T.DBF"), bytes) << "a damaged file must never be rewritten";
    };
    expectError(dbf.substr(0, 20), "shorter than a table header");
    expectError(dbf.substr(0, dbf.size() - 30), "claims 6 records");
    std::string b = dbf;
    b.replace(4, 4, le32(1000000));
    expectError(b, "claims 1000000 records");
    b = dbf;
    b[0] = 'x';
    expectError(b, "unknown version byte");
    b = dbf;
    b[8] = char(0xFF);
    b[9] = char(0xFF);
    expectError(b, "impossible header length");
    b = dbf;
    b[10] = 5;
    expectError(b, "record length does not match");
    b = dbf;
    b[32 + 16] = 0; // a field of width 0
    expectError(b, "field descriptor 1 is invalid");
    b = dbf;
    b[32 + 32 + 16] = 77; // a memo field of odd width
    expectError(b, "memo field ENTRY has width 77");
    put("T.DBF", dbf);
    std::filesystem::remove(dir / "T.FPT");
    EXPECT_NE(readAll().find("memo file"), std::string::npos);
}

TEST_F(DamagedFiles, BrokenMemoPointersAndLengthsAreReportedClearly)
{
    const size_t first = 32 * 4 + 1; // header length; memo field at offset 9
    auto expectError = [&](const std::string &dbfBytes, const std::string &fptBytes,
                           const char *words) {
        put("T.DBF", dbfBytes);
        put("T.FPT", fptBytes);
        std::string message = readAll(Table::Access::Exclusive);
        EXPECT_NE(message.find(words), std::string::npos) << "message: " << message;
        EXPECT_EQ(readFile(dir / "T.DBF"), dbfBytes);
        EXPECT_EQ(readFile(dir / "T.FPT"), fptBytes);
    };
    std::string b = dbf;
    b.replace(first + 9, 10, "    999999");
    expectError(b, fpt, "past the end");
    b.replace(first + 9, 10, "         3");
    expectError(b, fpt, "into the header");
    b.replace(first + 9, 10, "   12x4   ");
    expectError(b, fpt, "damaged pointer");
    b.replace(first + 9, 10, "99999999999");
    expectError(b.substr(0, b.size() - 1), fpt, "past the end");
    std::string f = fpt;
    f.replace(512 + 4, 4, std::string("\x7F\0\0\0", 4)); // first memo's length runs off the file
    expectError(dbf, f, "runs past the end");
    f = fpt;
    f.replace(0, 4, std::string("\0\0\x10\0", 4)); // next free block far beyond the file
    expectError(dbf, f, "next free block");
    f = fpt;
    f[6] = f[7] = 0;
    expectError(dbf, f, "block size 0");
    expectError(dbf, fpt.substr(0, 5), "shorter than its header");
}

TEST_F(DamagedFiles, RandomMutationsNeverCrashHangOrWrite)
{
    std::mt19937 rng(20261207);
    int failures = 0, reads = 0;
    for (int round = 0; round < 400; ++round) {
        std::string d = dbf, f = fpt, x = cdx;
        unsigned pick = rng() % 3;
        std::string &target = pick == 0 ? f : (pick == 1 ? d : x);
        switch (rng() % 4) {
        case 0:
            target.resize(rng() % target.size());
            break;
        case 1:
            for (int i = 0, n = 1 + int(rng() % 8); i < n; ++i)
                target[rng() % target.size()] = char(rng());
            break;
        case 2: // header bytes, where damage matters most
            for (int i = 0, n = 1 + int(rng() % 4); i < n; ++i)
                target[rng() % std::min<size_t>(target.size(), 160)] = char(rng());
            break;
        default:
            target[rng() % target.size()] ^= char(1u << (rng() % 8));
            break;
        }
        put("T.DBF", d);
        put("T.FPT", f);
        put("T.CDX", x);
        std::string message =
            readAll(rng() % 2 ? Table::Access::Exclusive : Table::Access::ReadOnly);
        (message.empty() ? reads : failures)++;
        ASSERT_EQ(readFile(dir / "T.DBF"), d) << "round " << round;
        ASSERT_EQ(readFile(dir / "T.FPT"), f) << "round " << round;
        ASSERT_EQ(readFile(dir / "T.CDX"), x) << "round " << round;
    }
    EXPECT_GT(failures, 0);
    EXPECT_GT(reads, 0);
}
