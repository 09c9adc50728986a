#include "tests/xbase/peer_format.h"

#include "xbase/table.h"
#include "xbase/table_cipher.h"

#include "tests/support/command.h"
#include "tests/support/fault_file_system.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <map>

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
    TempDir dir;
    EngineSettings settings;
    settings.newKeyDerivation = KeyDerivation::argon2id(64, 1, 1);
    Table::create(dir / "QUILLNK.DBF",
                  {{"DATE", 'C', 8, 0, 0}, {"ENTRY", 'M', 10, 0, 0}, {"DONE", 'L', 1, 0, 0}}, 64);
    auto t = Table::open(dir / "QUILLNK.DBF", Table::Access::Exclusive, settings);
    for (int i = 1; i <= 30; ++i) {
        t->appendBlank();
        t->replaceText(0, "202611" + std::string(i < 10 ? "0" : "") + std::to_string(i));
        t->replaceMemo(1, i % 7 == 0 ? std::string()
                                     : "{\\rtf1 caf\xE9 " + std::string(size_t(i * 53), 'a') + "}");
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
        auto theirs =
            commandOutput(peerPython() + " " + shellQuote(peerScript("dbf_dump.py").string()) +
                          " " + shellQuote((dir / "QUILLNK.DBF").string()));
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

    if (havePython) {
        auto theirs =
            commandOutput(peerPython() + " " + shellQuote(peerScript("dbf_dump.py").string()) +
                          " " + shellQuote((dir / "QUILLNK.DBF").string()));
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
                expected += "202611" + std::string(i < 10 ? "0" : "") + std::to_string(i) + "|" +
                            std::to_string(r++) + "\n";
        EXPECT_EQ(*keys, expected);
    }
}

// A commit stopped at any point leaves files the independent readers read
// as we do: the table and memo through the Python reader, the date tag's
// keys through the Perl reader (every third stop, to keep the test short).
TEST(Interop, InterruptedCommitsLeaveFilesTheReadersAgreeOn)
{
    bool havePython = havePythonReader();
    bool havePerl = havePerlReader();
    if (!havePython && !havePerl)
        GTEST_SKIP() << "neither python3-dbfread nor libdbd-xbase-perl is installed";
    TempDir dir;
    qn::test::FaultFileSystem faults;
    EngineSettings settings;
    settings.fileSystem = &faults;
    const auto table = dir / "QUILLNK.DBF";
    Table::create(table, {{"DATE", 'C', 8, 0, 0}, {"ENTRY", 'M', 10, 0, 0}}, 64);
    {
        auto t = Table::open(table, Table::Access::Exclusive, settings);
        for (int i = 1; i <= 60; ++i) {
            t->appendBlank();
            t->replaceText(0, "2026" + std::string(i / 28 + 1 < 10 ? "0" : "") +
                                  std::to_string(i / 28 + 1) + (i % 28 + 1 < 10 ? "0" : "") +
                                  std::to_string(i % 28 + 1));
            t->replaceMemo(1, "{\\rtf1 entry " + std::to_string(i) +
                                  std::string(size_t(i * 13), 'e') + "}");
        }
        t->indexTag({}, "DATE", "date", false, false, {});
    }
    std::map<std::string, std::string> start;
    for (const auto &e : std::filesystem::directory_iterator(dir.path()))
        start[e.path().filename().string()] = readFile(e.path());
    bool completed = false;
    for (long n = 0; !completed && n < 400; ++n) {
        SCOPED_TRACE(n);
        for (const auto &e : std::filesystem::directory_iterator(dir.path()))
            std::filesystem::remove(e.path());
        for (const auto &[name, bytes] : start)
            writeFile(dir / name, bytes);
        {
            auto t = Table::open(table, Table::Access::Exclusive, settings);
            faults.crashAfter(n);
            try {
                for (int i = 0; i < 12; ++i) {
                    t->appendBlank();
                    t->replaceText(0, "2025" + std::string(i < 9 ? "0" : "") +
                                          std::to_string(i + 1) + "15");
                    t->replaceMemo(1, "{\\rtf1 appended " + std::to_string(i) + "}");
                }
                t->go(7);
                t->deleteRecord();
                t->commit();
                completed = true;
            } catch (const qn::test::SimulatedCrash &) {
            }
            t.reset();
            faults.crashAfter(-1);
        }
        if (n % 3 != 0 && !completed)
            continue;
        auto t = Table::open(table, Table::Access::Exclusive, settings);
        ASSERT_TRUE(t->checkIndexes().empty());
        std::string ours = qn::test::peerDump(*t);
        t->setOrder(t->tagOrder("DATE"));
        std::string keys;
        for (t->goTop(); !t->eof(); t->skip(1))
            keys += t->keyData() + "|" + std::to_string(t->recno()) + "\n";
        t->close();
        if (havePython) {
            auto theirs =
                commandOutput(peerPython() + " " + shellQuote(peerScript("dbf_dump.py").string()) +
                              " " + shellQuote(table.string()));
            ASSERT_TRUE(theirs.has_value());
            EXPECT_EQ(*theirs, ours);
        }
        if (havePerl) {
            auto theirs = commandOutput("perl " + shellQuote(peerScript("cdx_keys.pl").string()) +
                                        " " + shellQuote((dir / "QUILLNK.CDX").string()) + " DATE");
            ASSERT_TRUE(theirs.has_value());
            EXPECT_EQ(*theirs, keys);
        }
    }
    EXPECT_TRUE(completed);
}
