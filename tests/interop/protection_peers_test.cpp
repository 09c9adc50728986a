#include "tests/xbase/peer_format.h"

#include "xbase/table.h"
#include "xbase/table_cipher.h"

#include "tests/support/command.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

using namespace qn::xbase;
using namespace qn::test;

// Encrypting and decrypting again (with a pack between) gives files the
// independent readers read as before: the table and memo through the Python
// reader, the tag keys through the Perl reader.
TEST(Interop, TableEncryptedThenDecryptedReadsAsBefore)
{
    bool havePython = havePythonReader();
    bool havePerl = havePerlReader();
    if (!havePython && !havePerl)
        GTEST_SKIP() << "neither python3-dbfread nor libdbd-xbase-perl is installed";
    TableCipher::setIterationsForNewKeys(64);
    TempDir dir;
    EngineSettings settings;
    Table::create(dir / "QUILLNK.DBF", {{"DATE", 'C', 8, 0, 0}, {"ENTRY", 'M', 10, 0, 0}, {"DONE", 'L', 1, 0, 0}},
                  64);
    auto t = Table::open(dir / "QUILLNK.DBF", Table::Access::Exclusive, settings);
    for (int i = 1; i <= 30; ++i) {
        t->appendBlank();
        t->replaceText(0, "202611" + std::string(i < 10 ? "0" : "") + std::to_string(i));
        t->replaceMemo(1, i % 7 == 0 ? std::string() : "{\\rtf1 caf\xE9 " + std::string(size_t(i * 53), 'a') + "}");
        t->replaceText(2, i % 2 ? "T" : "F");
    }
    t->indexTag({}, "DATE", "date", false, false, {});
    t->go(5);
    t->deleteRecord();
    t->commit();
    std::string before = qn::test::peerDump(*t);

    settings.password = "pw";
    t->encrypt();
    t->decrypt();
    t->close();
    if (havePython) {
        auto theirs = commandOutput(peerPython() + " " + shellQuote(peerScript("dbf_dump.py").string()) + " " +
                          shellQuote((dir / "QUILLNK.DBF").string()));
        ASSERT_TRUE(theirs.has_value());
        EXPECT_EQ(*theirs, before);
    }
    t = Table::open(dir / "QUILLNK.DBF", Table::Access::Exclusive, settings);
    t->encrypt();
    t->pack();
    t->decrypt();
    t->close();
    t = Table::open(dir / "QUILLNK.DBF", Table::Access::ReadOnly, settings);
    std::string after = qn::test::peerDump(*t);
    EXPECT_EQ(t->recordCount(), 29u);
    t.reset();
    TableCipher::setIterationsForNewKeys(TableCipher::DefaultIterations);

    if (havePython) {
        auto theirs = commandOutput(peerPython() + " " + shellQuote(peerScript("dbf_dump.py").string()) + " " +
                          shellQuote((dir / "QUILLNK.DBF").string()));
        ASSERT_TRUE(theirs.has_value());
        EXPECT_EQ(*theirs, after);
    }
    if (havePerl) {
        auto keys = commandOutput("perl " + shellQuote(peerScript("cdx_keys.pl").string()) + " " +
                        shellQuote((dir / "QUILLNK.CDX").string()) + " DATE");
        ASSERT_TRUE(keys.has_value());
        std::string expected;
        for (int i = 1, r = 1; i <= 30; ++i)
            if (i != 5)
                expected += "202611" + std::string(i < 10 ? "0" : "") + std::to_string(i) + "|" + std::to_string(r++) + "\n";
        EXPECT_EQ(*keys, expected);
    }
}
