#include "table_shell.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <sstream>

using qn::test::TempDir;

namespace {

struct Result {
    int status;
    std::string out, err;
};

Result qntable(std::vector<std::string> args)
{
    std::ostringstream out, err;
    int status = qn::tools::runTableShell(args, out, err);
    return {status, out.str(), err.str()};
}

} // namespace

TEST(Qntable, CreateAppendListSeekAndInfo)
{
    TempDir dir;
    std::string t = (dir / "DIARY.DBF").string();
    ASSERT_EQ(qntable({"create", t, "DATE C(8), ENTRY M, AMOUNT N(8,2), DONE L, DAY D"}).status, 0);
    qn::test::writeFile(dir / "text.rtf", "{\\rtf1 line\r\n\ttab \\par}");
    EXPECT_EQ(qntable({"append", t, "DATE=20261207", "ENTRY=@" + (dir / "text.rtf").string(),
                       "AMOUNT=-2.5", "DONE=T", "DAY=20261207"})
                  .status,
              0);
    EXPECT_EQ(qntable({"append", t, "DATE=20261205", "ENTRY=plain"}).status, 0);
    EXPECT_EQ(qntable({"index", t, "DATE", "date"}).status, 0);
    Result list = qntable({"list", t});
    EXPECT_EQ(list.out, "20261207\t{\\\\rtf1 line\\r\\n\\ttab \\\\par}\t-2.50\tT\t20261207\n"
                        "20261205\tplain\t\t\t\n");
    EXPECT_EQ(qntable({"list", t, "--tag", "date"}).out.substr(0, 9), "20261205\t");
    Result seek = qntable({"seek", t, "DATE", "20261205"});
    EXPECT_EQ(seek.status, 0);
    EXPECT_EQ(seek.out, "20261205\tplain\t\t\t\n");
    EXPECT_EQ(qntable({"seek", t, "DATE", "20261206"}).status, 1);
    Result info = qntable({"info", t});
    EXPECT_NE(info.out.find("records 2\n"), std::string::npos);
    EXPECT_NE(info.out.find("field AMOUNT N 8,2\n"), std::string::npos);
    EXPECT_NE(info.out.find("tag DATE \"date\"\n"), std::string::npos);
    EXPECT_EQ(qntable({"check", t}).status, 0);
}

TEST(Qntable, ReplaceDeleteAndTheirErrors)
{
    TempDir dir;
    std::string t = (dir / "T.DBF").string();
    qntable({"create", t, "NAME C(5), ENTRY M"});
    qntable({"append", t, "NAME=ab"});
    qntable({"append", t, "NAME=cd"});
    qntable({"index", t, "NAME", "UPPER(name)"});
    EXPECT_EQ(qntable({"replace", t, "1", "NAME=zz", "ENTRY=memo"}).status, 0);
    EXPECT_EQ(qntable({"delete", t, "2"}).status, 0);
    EXPECT_EQ(qntable({"list", t}).out, "zz\tmemo\n");
    EXPECT_EQ(qntable({"list", t, "--deleted"}).out, "\tzz\tmemo\n*\tcd\t\n");
    EXPECT_EQ(qntable({"seek", t, "NAME", "CD"}).status, 1); // deleted records are not found
    EXPECT_EQ(qntable({"check", t}).status, 0);

    Result bad = qntable({"replace", t, "9", "NAME=x"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("Record 9 does not exist"), std::string::npos);
    bad = qntable({"append", t, "NOPE=x"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("no field NOPE"), std::string::npos);
    EXPECT_EQ(qntable({"list", t}).out, "zz\tmemo\n") << "a refused append adds nothing";
    EXPECT_EQ(qntable({"create", t, "X C(2)"}).status, 2);
    EXPECT_EQ(qntable({"create", (dir / "u.dbf").string(), "X Q(2)"}).status, 2);
    EXPECT_EQ(qntable({"create", (dir / "u.dbf").string(), "X C"}).status, 2);
    EXPECT_EQ(qntable({"index", t, "BAD", "name ="}).status, 2);
    EXPECT_EQ(qntable({"append", t, "ENTRY=@" + (dir / "missing").string()}).status, 2);
    EXPECT_EQ(qntable({"frobnicate", t}).status, 2);
    EXPECT_EQ(qntable({}).status, 2);
    bad = qntable({"list", (dir / "none.dbf").string()});
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("does not exist"), std::string::npos);
}

TEST(Qntable, CheckFindsDamage)
{
    TempDir dir;
    std::string t = (dir / "T.DBF").string();
    qntable({"create", t, "NAME C(5), ENTRY M"});
    qntable({"append", t, "NAME=ab", "ENTRY=hello"});
    qntable({"append", t, "NAME=cd", "ENTRY=world"});
    ASSERT_EQ(qntable({"check", t}).status, 0);
    std::string bytes = qn::test::readFile(dir / "T.DBF");
    std::string good = bytes;
    size_t rec2 = 32 * 3 + 1 + 16;
    bytes.replace(rec2 + 6, 10, "      9999");
    qn::test::writeFile(dir / "T.DBF", bytes);
    Result r = qntable({"check", t});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("record 2: Memo pointer 9999 lies past the end"), std::string::npos)
        << r.out;
    qn::test::writeFile(dir / "T.DBF", good + std::string(40, ' '));
    r = qntable({"check", t});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("beyond its last record"), std::string::npos) << r.out;
}

// A journal that names a file other than the table's own is reported and
// left where it is; nothing of the table or beside it changes.
TEST(Qntable, CheckReportsADamagedJournalAndTouchesNothing)
{
    TempDir dir;
    std::string t = (dir / "T.DBF").string();
    qntable({"create", t, "NAME C(5), ENTRY M"});
    qntable({"append", t, "NAME=ab", "ENTRY=hello"});
    qn::test::writeFile(dir / "victim.txt", "keep me");
    // A complete journal in the first version's layout, naming a file by a
    // way up and back down.
    const std::string name = "../" + dir.path().filename().string() + "/victim.txt";
    std::string journal = {'Q', 'N', 'J', 'R', 'N', 'L', '\x01', '\0'};
    journal += std::string(8, '\x11');               // nonce
    journal += std::string("\x01\0\0\0\0\0\0\0", 8); // one file, no records
    journal += std::string{char(name.size()), '\0'} + name;
    journal += std::string("\x07\0\0\0\0\0\0\0", 8); // its size
    uint32_t crc = ~0u;
    for (unsigned char c : journal) {
        crc ^= c;
        for (int k = 0; k < 8; ++k)
            crc = crc & 1 ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
    }
    crc = ~crc;
    for (int i = 0; i < 4; ++i)
        journal += char(crc >> (8 * i));
    qn::test::writeFile(dir / "T.DBF-journal", journal);
    const std::string table = qn::test::readFile(dir / "T.DBF");
    Result r = qntable({"check", t});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("fault: The journal"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("is damaged (it names a file that is not one of the table's own: \"" +
                         name + "\")"),
              std::string::npos)
        << r.out;
    r = qntable({"list", t});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("damaged"), std::string::npos) << r.err;
    EXPECT_EQ(qn::test::readFile(dir / "T.DBF-journal"), journal);
    EXPECT_EQ(qn::test::readFile(dir / "T.DBF"), table);
    EXPECT_EQ(qn::test::readFile(dir / "victim.txt"), "keep me");
}

// An encrypted table's index is encrypted: info tells so without the
// password, and the commands that read it ask for the password first.
TEST(Qntable, EncryptedIndexIsNamedAndReadUnderThePassword)
{
    TempDir dir;
    std::string t = (dir / "DIARY.DBF").string();
    ASSERT_EQ(qntable({"create", t, "DATE C(8), ENTRY M"}).status, 0);
    for (const char *date : {"20261207", "20261205", "20261206"})
        ASSERT_EQ(qntable({"append", t, std::string("DATE=") + date, "ENTRY=text"}).status, 0);
    ASSERT_EQ(qntable({"index", t, "DATE", "date"}).status, 0);
    auto withPassword = [](std::vector<std::string> args) {
        std::ostringstream out, err;
        int status = qn::tools::runTableShell(
            args, out, err, [](const std::string &, bool) { return std::string("pw"); },
            qn::xbase::KeyDerivation::argon2id(64, 1, 1));
        return Result{status, out.str(), err.str()};
    };
    Result encrypt = withPassword({"encrypt", t});
    ASSERT_EQ(encrypt.status, 0) << encrypt.err;
    Result info = qntable({"info", t});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("\nindex encrypted"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("\nmemos encrypted whole"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("\nrecords and memos authenticated"), std::string::npos) << info.out;
    Result seek = withPassword({"seek", t, "DATE", "20261206"});
    EXPECT_EQ(seek.status, 0) << seek.err;
    EXPECT_EQ(seek.out, "20261206\ttext\n");
    Result list = withPassword({"list", t, "--tag", "date"});
    EXPECT_EQ(list.out.substr(0, 9), "20261205\t") << list.err;
    Result check = withPassword({"check", t});
    EXPECT_EQ(check.status, 0) << check.out;
    EXPECT_EQ(withPassword({"encrypt", t}).out, "already encrypted\n");
    EXPECT_NE(info.out.find("\nindex encrypted and authenticated"), std::string::npos) << info.out;

    // A byte of the index changed without the password: check names the
    // index, info still tells its form, the records read in natural order.
    const std::string index = qn::test::readFile(dir / "DIARY.CDX");
    std::string changed = index;
    changed[changed.size() - 100] ^= 0x10;
    qn::test::writeFile(dir / "DIARY.CDX", changed);
    check = withPassword({"check", t});
    EXPECT_EQ(check.status, 1) << check.err;
    EXPECT_NE(check.out.find("fault: Index DIARY.CDX was changed by someone without the password"),
              std::string::npos)
        << check.out;
    EXPECT_EQ(withPassword({"list", t}).out, "20261207\ttext\n20261205\ttext\n20261206\ttext\n");
    qn::test::writeFile(dir / "DIARY.CDX", index);
    EXPECT_EQ(withPassword({"check", t}).status, 0);

    // A record and the last memo changed without the password: check names
    // both and reads the rest.
    std::string table = qn::test::readFile(t), memo = qn::test::readFile(dir / "DIARY.FPT");
    const size_t header = uint8_t(table[8]) | uint8_t(table[9]) << 8;
    table[header + 3] ^= 0x01;
    memo[memo.size() - 5] ^= 0x01;
    qn::test::writeFile(t, table);
    qn::test::writeFile(dir / "DIARY.FPT", memo);
    check = withPassword({"check", t});
    EXPECT_EQ(check.status, 1) << check.err;
    EXPECT_NE(check.out.find("fault: record 1: changed by someone without the password"),
              std::string::npos)
        << check.out;
    EXPECT_NE(check.out.find("fault: record 3: The memo at block"), std::string::npos) << check.out;
    EXPECT_EQ(check.out.find("fault: record 2"), std::string::npos) << check.out;
}
