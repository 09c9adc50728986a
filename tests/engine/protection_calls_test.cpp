#include "engine/xt.h"
#include "table_shell.h"
#include "xbase/table_cipher.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <sstream>

using qn::test::TempDir;

namespace {

std::string errorText()
{
    char buf[512];
    xt_ErrorText(buf, sizeof buf);
    return buf;
}

std::string memoOf(const char *field)
{
    char *m = xt_GetMemo(field, 0);
    std::string s = m ? m : "<null>";
    xt_MemDealloc(m);
    return s;
}

class ProtectionCallsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(xt_SetKeyCost(64, 1, 1), 0);
        xt_SetStringType(1);
        xt_ErrorLevel(1);
        xt_SetDeleted(0);
        xt_SetPassword("");
        path = (dir / "QUILLNK.DBF").string();
    }
    void TearDown() override
    {
        xt_CloseAll();
        xt_SetPassword("");
        xt_SetGaugeHook(nullptr, nullptr);
        xt_SetKeyCost(0, 0, 0);
    }

    // The diary as the program makes it, with n entries, every fourth deleted.
    void createDiary(int n)
    {
        ASSERT_NE(xt_CreateNew(path.c_str(), "QUILLNK", 2, 2), 0) << errorText();
        xt_CreateField("DATE", "C", 8, 0);
        xt_CreateField("ENTRY", "M", 10, 0);
        ASSERT_NE(xt_CreateExec(), 0) << errorText();
        for (int i = 1; i <= n; ++i) {
            char date[16], text[64];
            std::snprintf(date, sizeof date, "202612%02d", i);
            std::snprintf(text, sizeof text, "{\\rtf1 day %d}", i);
            xt_AppendBlank();
            xt_Replace("DATE", XT_REPLACE_TEXT, date);
            xt_Replace("ENTRY", XT_REPLACE_MEMO, text);
            if (i % 4 == 0)
                xt_Delete();
        }
        ASSERT_NE(xt_IndexTag("", "DATE", "date", 0, 0, ""), 0) << errorText();
        xt_Commit();
    }

    TempDir dir;
    std::string path;
};

struct Gauge {
    std::vector<int32_t> values;
    static void hook(void *context, int32_t value)
    {
        static_cast<Gauge *>(context)->values.push_back(value);
    }
    // As the maintenance dialogs show it: each rise over the last value adds to a sum.
    int32_t sumOfRises() const
    {
        int32_t sum = 0, last = 0;
        for (int32_t v : values) {
            if (v > last)
                sum += v - last;
            last = v;
        }
        return sum;
    }
};

} // namespace

// The password change of the preferences dialog: decrypt under the old
// password, encrypt under the new one, with the index closed meanwhile.
TEST_F(ProtectionCallsTest, PasswordChangeAndWrongPasswords)
{
    createDiary(8);
    xt_SetOrder(0);
    xt_CloseIndexes();
    Gauge gauge;
    xt_SetGaugeHook(&Gauge::hook, &gauge);
    EXPECT_EQ(xt_DbfEncrypt(), XT_ERR_ENGINE); // no password yet
    EXPECT_NE(errorText().find("no password"), std::string::npos) << errorText();
    xt_SetPassword("old pw");
    ASSERT_EQ(xt_DbfEncrypt(), 0) << errorText();
    EXPECT_EQ(gauge.values.back(), 100);
    xt_SetPassword("new pw");
    EXPECT_EQ(xt_DbfDecrypt(), XT_ERR_PASSWORD) << errorText();
    EXPECT_NE(xt_Go(2), 0);
    EXPECT_EQ(xt_Error(), XT_ERR_PASSWORD);
    EXPECT_NE(errorText().find("password"), std::string::npos);
    EXPECT_EQ(xt_GetMemo("ENTRY", 0), nullptr);
    xt_SetPassword("old pw");
    ASSERT_EQ(xt_DbfDecrypt(), 0) << errorText();
    xt_SetPassword("new pw");
    ASSERT_EQ(xt_DbfEncrypt(), 0) << errorText();
    xt_SetGaugeHook(nullptr, nullptr);
    ASSERT_NE(xt_IndexOpen((dir / "quillnk.cdx").string().c_str()), 0) << errorText();
    xt_SetOrder(1);
    EXPECT_NE(xt_Seek("20261203"), 0);
    EXPECT_EQ(memoOf("ENTRY"), "{\\rtf1 day 3}");
    xt_CloseAll();

    // The next start with a stale password opens, but reads nothing.
    xt_SetPassword("old pw");
    ASSERT_NE(xt_Use(path.c_str(), "QUILLNK", 2, 2), 0) << errorText();
    EXPECT_NE(xt_GoTop(), 0);
    EXPECT_EQ(xt_Error(), XT_ERR_PASSWORD);
    EXPECT_NE(xt_AppendBlank(), 0);
    EXPECT_EQ(xt_Error(), XT_ERR_PASSWORD);
    xt_SetPassword("new pw");
    EXPECT_EQ(xt_GoTop(), 0) << errorText();
    EXPECT_EQ(xt_RecCount(), 8);
}

TEST_F(ProtectionCallsTest, KeyCostIsCheckedAndTheKeyDerivedOncePerOpen)
{
    EXPECT_NE(xt_SetKeyCost(2u << 20, 1, 1), 0); // 2 GiB
    EXPECT_NE(xt_SetKeyCost(64, 101, 1), 0);
    EXPECT_NE(xt_SetKeyCost(64, 1, 0), 0);
    ASSERT_EQ(xt_SetKeyCost(256, 2, 1), 0) << errorText();
    createDiary(8);
    xt_SetPassword("pw");
    ASSERT_EQ(xt_DbfEncrypt(), 0) << errorText();
    xt_CloseAll();
    uint64_t before = qn::xbase::TableCipher::derivationCount();
    ASSERT_NE(xt_Use(path.c_str(), "QUILLNK", 2, 2), 0) << errorText();
    for (int i = 1; i <= 8; ++i) {
        ASSERT_EQ(xt_Go(i), 0) << errorText();
        EXPECT_EQ(memoOf("ENTRY"), "{\\rtf1 day " + std::to_string(i) + "}");
    }
    xt_Replace("ENTRY", XT_REPLACE_MEMO, "changed");
    EXPECT_EQ(xt_Go(1), 0) << errorText();
    EXPECT_EQ(qn::xbase::TableCipher::derivationCount(), before + 1);
}

// An index changed without the password, as the window and the command line
// meet it: the diary opens, the index check names the index (the text they
// show the user), and the date tag built again finds every entry.
TEST_F(ProtectionCallsTest, ChangedIndexIsNamedByTheCheckAndBuiltAgain)
{
    createDiary(12);
    xt_SetPassword("pw");
    ASSERT_EQ(xt_DbfEncrypt(), 0) << errorText();
    xt_CloseAll();
    const auto cdx = dir / "QUILLNK.CDX";
    std::string index = qn::test::readFile(cdx);
    index[index.size() - 7] ^= 0x20;
    qn::test::writeFile(cdx, index);
    ASSERT_NE(xt_Use(path.c_str(), "QUILLNK", 2, 2), 0) << errorText();
    char text[512] = "";
    EXPECT_EQ(xt_CheckIndexes(text, sizeof text), 1);
    EXPECT_EQ(std::string(text), "Index QUILLNK.CDX was changed by someone without the password");
    ASSERT_NE(xt_IndexTag("", "DATE", "date", 0, 0, ""), 0) << errorText();
    EXPECT_EQ(xt_CheckIndexes(text, sizeof text), 0) << text;
    EXPECT_NE(xt_Seek("20261211"), 0);
    EXPECT_EQ(memoOf("ENTRY"), "{\\rtf1 day 11}");
}

// The rebuild dialog's run: index file removed, pack with the hook showing
// the value as it is, then the tag built with the hook adding up rises.
TEST_F(ProtectionCallsTest, RebuildRunPacksAndReportsAsTheDialogAdds)
{
    createDiary(12);
    xt_CloseIndexes();
    std::filesystem::remove(dir / "QUILLNK.CDX");
    Gauge pack;
    xt_SetGaugeHook(&Gauge::hook, &pack);
    ASSERT_EQ(xt_Pack(), 0) << errorText();
    EXPECT_EQ(xt_RecCount(), 9);
    EXPECT_EQ(pack.values.back(), 100);
    for (int32_t v : pack.values)
        EXPECT_LE(v, 100);
    Gauge index;
    xt_SetGaugeHook(&Gauge::hook, &index);
    ASSERT_NE(xt_IndexTag("", "DATE", "date", 0, 0, ""), 0) << errorText();
    xt_SetGaugeHook(nullptr, nullptr);
    EXPECT_EQ(index.sumOfRises(), 400); // the dialog shows a quarter: 100
    EXPECT_NE(xt_Seek("20261211"), 0);
    EXPECT_EQ(xt_RecNo(), 9);
    EXPECT_EQ(xt_Seek("20261212"), 0);
}

TEST(QntableProtection, EncryptDecryptAndPackAskForPasswords)
{
    const auto cheap = qn::xbase::KeyDerivation::argon2id(64, 1, 1);
    TempDir dir;
    std::string t = (dir / "DIARY.DBF").string();
    std::vector<std::string> answers;
    std::vector<std::string> asked;
    qn::tools::PasswordPrompt prompt = [&](const std::string &text, bool) {
        asked.push_back(text);
        std::string a = answers.empty() ? std::string() : answers.front();
        if (!answers.empty())
            answers.erase(answers.begin());
        return a;
    };
    auto run = [&](std::vector<std::string> args) {
        std::ostringstream out, err;
        int status = qn::tools::runTableShell(args, out, err, prompt, cheap);
        return std::make_pair(status, out.str() + err.str());
    };
    ASSERT_EQ(run({"create", t, "DATE C(8), ENTRY M"}).first, 0);
    run({"append", t, "DATE=20261201", "ENTRY=first"});
    run({"append", t, "DATE=20261202", "ENTRY=second"});
    run({"index", t, "DATE", "date"});
    EXPECT_EQ(run({"encrypt", t}).first, 2); // an empty password encrypts nothing
    answers = {"pw 1"};
    EXPECT_EQ(run({"encrypt", t}), std::make_pair(0, std::string("encrypted\n")));
    EXPECT_EQ(asked.back(), "New password: ");

    asked.clear();
    auto info = run({"info", t});
    EXPECT_NE(info.second.find(
                  "encrypted (key from the password by Argon2id, 64 KiB memory, 1 pass, 1 lane)\n"),
              std::string::npos)
        << info.second;
    // The index is encrypted with the table: its tags are not listed without the password.
    EXPECT_NE(info.second.find("\nindex encrypted"), std::string::npos) << info.second;
    EXPECT_EQ(info.second.find("tag DATE"), std::string::npos) << info.second;
    EXPECT_EQ(info.second.find("unreadable"), std::string::npos) << info.second;
    EXPECT_TRUE(asked.empty());
    answers = {"wrong"};
    auto listed = run({"list", t});
    EXPECT_EQ(listed.first, 2);
    EXPECT_NE(listed.second.find("wrong"), std::string::npos) << listed.second;
    answers = {"pw 1"};
    EXPECT_EQ(run({"list", t}).second, "20261201\tfirst\n20261202\tsecond\n");
    answers = {"pw 1"};
    EXPECT_EQ(run({"delete", t, "1"}).first, 0);
    answers = {"pw 1"};
    EXPECT_EQ(run({"pack", t}), std::make_pair(0, std::string("1 records kept, 1 removed\n")));
    answers = {"pw 1"};
    EXPECT_EQ(run({"check", t}), std::make_pair(0, std::string("ok: 1 records, 1 tags\n")));
    answers = {"pw 1"};
    EXPECT_EQ(run({"decrypt", t}).first, 0);
    asked.clear();
    EXPECT_EQ(run({"seek", t, "DATE", "20261202"}).second, "20261202\tsecond\n");
    EXPECT_TRUE(asked.empty()); // a clear table asks nothing
}
