#include "tests/xbase/peer_format.h"

#include "xbase/table.h"
#include "xbase/table_cipher.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>

using namespace qn::xbase;
using qn::test::TempDir;

namespace {

std::string python()
{
    const char *p = std::getenv("QN_PEER_PYTHON");
    return p ? p : "/usr/bin/python3";
}

std::filesystem::path peers() { return qn::test::sourceDir() / "tests/interop/peers"; }
std::string quote(const std::string &s) { return "'" + s + "'"; }

std::optional<std::string> run(const std::string &command)
{
    FILE *p = popen((command + " 2>/dev/null").c_str(), "r");
    if (!p)
        return std::nullopt;
    std::string out;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0)
        out.append(buf.data(), n);
    int status = pclose(p);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return out;
}

} // namespace

// Encrypting and decrypting again (with a pack between) gives files the
// independent readers read as before: the table and memo through the Python
// reader, the tag keys through the Perl reader.
TEST(Interop, TableEncryptedThenDecryptedReadsAsBefore)
{
    bool havePython = run(python() + " -c 'import dbfread'").has_value();
    bool havePerl = run("perl -MXBase::Index -e 1").has_value();
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
        auto theirs = run(python() + " " + quote((peers() / "dbf_dump.py").string()) + " " +
                          quote((dir / "QUILLNK.DBF").string()));
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
        auto theirs = run(python() + " " + quote((peers() / "dbf_dump.py").string()) + " " +
                          quote((dir / "QUILLNK.DBF").string()));
        ASSERT_TRUE(theirs.has_value());
        EXPECT_EQ(*theirs, after);
    }
    if (havePerl) {
        auto keys = run("perl " + quote((peers() / "cdx_keys.pl").string()) + " " +
                        quote((dir / "QUILLNK.CDX").string()) + " DATE");
        ASSERT_TRUE(keys.has_value());
        std::string expected;
        for (int i = 1, r = 1; i <= 30; ++i)
            if (i != 5)
                expected += "202611" + std::string(i < 10 ? "0" : "") + std::to_string(i) + "|" + std::to_string(r++) + "\n";
        EXPECT_EQ(*keys, expected);
    }
}
