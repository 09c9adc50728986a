#include "tests/xbase/peer_format.h"

#include "xbase/cdx_index.h"
#include "xbase/table.h"

#include "tests/support/command.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

using namespace qn::xbase;
using namespace qn::test;

namespace {

// A diary-like table with awkward contents.
std::unique_ptr<Table> writeSample(const TempDir &dir, EngineSettings &settings)
{
    Table::create(dir / "QUILLNK.DBF",
                  {{"DATE", 'C', 8, 0, 0},
                   {"ENTRY", 'M', 10, 0, 0},
                   {"AMOUNT", 'N', 9, 2, 0},
                   {"COUNT", 'N', 5, 0, 0},
                   {"DAY", 'D', 8, 0, 0},
                   {"DONE", 'L', 1, 0, 0},
                   {"NOTE", 'C', 20, 0, 0}},
                  64);
    auto t = Table::open(dir / "QUILLNK.DBF", Table::Access::Exclusive, settings);
    struct Row {
        const char *date;
        std::string entry;
        const char *amount, *count, *day, *done, *note;
    };
    std::string big(5000, 'x');
    for (size_t i = 0; i < big.size(); i += 97)
        big[i] = '\n';
    const Row rows[] = {
        {"20261207", "{\\rtf1 first}", "12.5", "3", "20261207", "T", "plain"},
        {"20261205", "line\r\nnext\ttab 'quoted' \"double\"", "-0.75", "-12", "", "F", "it's"},
        {"20261206", "", "", "", "19991231", "", ""},
        {"20261201", "caf\xE9 \x80 na\xEFve \x93quotes\x94", "100", "0", "20000229", "T",
         "\xC0 la carte"},
        {"20261130", big, "999999.99", "99999", "20261130", "F", "last"},
    };
    for (const Row &r : rows) {
        t->appendBlank();
        t->replaceText(0, r.date);
        t->replaceMemo(1, r.entry);
        t->replaceText(2, r.amount);
        t->replaceText(3, r.count);
        t->replaceText(4, r.day);
        t->replaceText(5, r.done);
        t->replaceText(6, r.note);
    }
    t->go(3);
    t->deleteRecord();
    t->indexTag({}, "DATE", "date", false, false, {});
    t->indexTag({}, "NOTE", "UPPER(note)", false, false, {});
    t->commit();
    return t;
}

} // namespace

TEST(Interop, PythonReaderReadsOurTableAsWeDo)
{
    if (!havePythonReader())
        GTEST_SKIP() << "python3-dbfread is not installed";
    TempDir dir;
    EngineSettings settings;
    auto t = writeSample(dir, settings);
    std::string ours = qn::test::peerDump(*t);
    t->close();
    auto theirs =
        commandOutput(peerPython() + " " + shellQuote(peerScript("dbf_dump.py").string()) + " " +
                      shellQuote((dir / "QUILLNK.DBF").string()));
    ASSERT_TRUE(theirs.has_value());
    EXPECT_EQ(*theirs, ours);
    // And the same file read again by us after closing gives the same.
    auto again = Table::open(dir / "QUILLNK.DBF", Table::Access::ReadOnly, settings);
    EXPECT_EQ(qn::test::peerDump(*again), ours);
}

TEST(Interop, PerlReaderListsOurTagKeysInOurOrder)
{
    if (!havePerlReader())
        GTEST_SKIP() << "libdbd-xbase-perl is not installed";
    TempDir dir;
    EngineSettings settings;
    auto t = writeSample(dir, settings);
    t->close();
    auto again = Table::open(dir / "QUILLNK.DBF", Table::Access::ReadOnly, settings);
    for (const char *tag : {"DATE", "NOTE"}) {
        again->setOrder(again->tagOrder(tag));
        std::string ours;
        for (again->goTop(); !again->eof(); again->skip(1)) {
            std::string key = again->keyData();
            while (!key.empty() && key.back() == ' ')
                key.pop_back();
            ours += key + "|" + std::to_string(again->recno()) + "\n";
        }
        auto theirs = commandOutput("perl " + shellQuote(peerScript("cdx_keys.pl").string()) + " " +
                                    shellQuote((dir / "QUILLNK.CDX").string()) + " " + tag);
        ASSERT_TRUE(theirs.has_value()) << tag;
        EXPECT_EQ(*theirs, ours) << tag;
    }
}

TEST(Interop, TablesWrittenByPythonDbfAreReadAndExtended)
{
    if (!havePythonReader() || !commandOutput(peerPython() + " -c 'import dbf'").has_value())
        GTEST_SKIP() << "python3-dbf or python3-dbfread is not installed";
    TempDir dir;
    // python3-dbf writes the backlink area, no end mark, and blocks for empty memos.
    std::string script =
        "import dbf\n"
        "t = dbf.Table('" +
        (dir / "PY.DBF").string() +
        "', 'DATE C(8); ENTRY M; N N(6,2); D D; L L', dbf_type='fp')\n"
        "t.open(dbf.READ_WRITE)\n"
        "t.append(('20261207', 'first\\r\\nline', 1.5, dbf.Date(2026, 12, 7), True))\n"
        "t.append(('20261205', '', None, None, False))\n"
        "t.close()\n";
    qn::test::writeFile(dir / "make.py", script);
    ASSERT_TRUE(
        commandOutput(peerPython() + " " + shellQuote((dir / "make.py").string())).has_value());
    auto dump = [&] {
        return commandOutput(peerPython() + " " + shellQuote(peerScript("dbf_dump.py").string()) +
                             " " + shellQuote((dir / "PY.DBF").string()));
    };
    EngineSettings settings;
    {
        auto t = Table::open(dir / "PY.DBF", Table::Access::Exclusive, settings);
        EXPECT_EQ(t->dbf().headerLength(), 32 + 5 * 32 + 1 + 263);
        auto theirs = dump();
        ASSERT_TRUE(theirs.has_value());
        EXPECT_EQ(qn::test::peerDump(*t), *theirs);
        t->go(1);
        EXPECT_EQ(t->memo(1), "first\r\nline");
        t->appendBlank();
        t->replaceText(0, "20261206");
        t->replaceMemo(1, "ours");
        t->replaceText(2, "-2.25");
        t->commit();
    }
    auto t = Table::open(dir / "PY.DBF", Table::Access::ReadOnly, settings);
    auto theirs = dump();
    ASSERT_TRUE(theirs.has_value());
    EXPECT_EQ(qn::test::peerDump(*t), *theirs);
    EXPECT_NE(theirs->find("3   DATE='20261206' ENTRY=(4 chars) 'ours' N=-2.25"), std::string::npos)
        << *theirs;
}
