#include "engine/xt.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <vector>

using qn::test::TempDir;

namespace {

std::string errorText()
{
    char buf[512];
    xt_ErrorText(buf, sizeof buf);
    return buf;
}

std::string fieldString(const char *field)
{
    char buf[300];
    EXPECT_GE(xt_GetString(field, buf, sizeof buf), 0) << errorText();
    return buf;
}

class XtTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        xt_SetStringType(1);
        xt_ErrorLevel(1);
        xt_SetDeleted(0);
        xt_SetSoftSeek(0);
        xt_SetExact(0);
        path = (dir / "QUILLNK.DBF").string();
    }
    void TearDown() override { xt_CloseAll(); }

    // The diary's table as the program creates it, left open in its area.
    int16_t createDiary()
    {
        int16_t area = xt_CreateNew(path.c_str(), "XXXXXXXXXX", 2, 2);
        EXPECT_NE(area, 0) << errorText();
        EXPECT_EQ(xt_CreateField("DATE", "C", 8, 0), 0);
        EXPECT_EQ(xt_CreateField("ENTRY", "M", 10, 0), 0);
        EXPECT_NE(xt_CreateExec(), 0) << errorText();
        xt_Close();
        area = xt_Use(path.c_str(), "QUILLNK", 2, 2);
        EXPECT_NE(area, 0) << errorText();
        return area;
    }

    void addEntry(const char *date, const char *text)
    {
        ASSERT_EQ(xt_AppendBlank(), 0) << errorText();
        ASSERT_EQ(xt_Replace("DATE", XT_REPLACE_TEXT, date), 0) << errorText();
        ASSERT_EQ(xt_Replace("entry", XT_REPLACE_MEMO, text), 0) << errorText();
        ASSERT_EQ(xt_Commit(), 0) << errorText();
    }

    TempDir dir;
    std::string path;
};

} // namespace

TEST_F(XtTest, StartCreateStructureAndAreas)
{
    char version[255];
    EXPECT_GT(xt_Version(version, 255), 0);
    EXPECT_STREQ(version, "2.40.00");
    int16_t area = createDiary();
    EXPECT_EQ(xt_WorkArea("quillnk"), area);
    EXPECT_EQ(xt_WorkArea(nullptr), area);
    EXPECT_EQ(xt_WorkArea("other"), 0);
    EXPECT_EQ(xt_FieldCount(), 2);
    char name[20];
    xt_FieldName(2, name, sizeof name);
    EXPECT_STREQ(name, "ENTRY");
    EXPECT_EQ(xt_FieldName(3, name, sizeof name), 0);
    EXPECT_EQ(xt_FieldNum("entry"), 2);
    EXPECT_EQ(xt_FieldType(1), 'C');
    EXPECT_EQ(xt_FieldWidth(2), 10);
    EXPECT_EQ(xt_FieldDecimals(1), 0);
    EXPECT_EQ(xt_FieldOffset(2), 9);
    EXPECT_EQ(xt_RecSize(), 19);
    // A second table in another area; selection answers the previous area.

    std::string other = (dir / "other.dbf").string();
    int16_t a2 = xt_CreateNew(other.c_str(), "", 2, 1);
    xt_CreateField("N", "N", 5, 0);
    ASSERT_NE(xt_CreateExec(), 0) << errorText();
    EXPECT_NE(a2, area);
    EXPECT_EQ(xt_WorkArea("OTHER"), a2);
    EXPECT_EQ(xt_Select(area), a2);
    EXPECT_EQ(xt_FieldCount(), 2);
    EXPECT_EQ(xt_Select(a2), area);
    EXPECT_EQ(xt_FieldCount(), 1);
    xt_Close();
    EXPECT_EQ(xt_FieldCount(), 0);
    EXPECT_EQ(xt_Error(), XT_ERR_NOT_IN_USE);
    EXPECT_EQ(xt_SysProp(65002, 0), 0);
    xt_Select(area);
    EXPECT_EQ(xt_SysProp(65002, 0), 1);
}

TEST_F(XtTest, OpeningFailuresAreClear)
{
    createDiary();
    EXPECT_EQ(xt_Use(path.c_str(), "SECOND", 2, 2), 0);
    EXPECT_EQ(xt_Error(), XT_ERR_OPEN);
    EXPECT_NE(errorText().find("in use"), std::string::npos);
    EXPECT_EQ(xt_Use(path.c_str(), "QUILLNK", 0, 2), 0); // alias taken
    EXPECT_NE(errorText().find("Alias QUILLNK"), std::string::npos);
    EXPECT_EQ(xt_Use(path.c_str(), "X", 2, 1), 0);
    EXPECT_NE(errorText().find("Driver 1"), std::string::npos);
    EXPECT_EQ(xt_Use(path.c_str(), "X", 2, 3), 0);
    EXPECT_EQ(xt_Use(path.c_str(), "X", 2, 9), 0);
    EXPECT_NE(errorText().find("Unknown table driver 9"), std::string::npos);
    EXPECT_EQ(xt_Use((dir / "missing.dbf").c_str(), "X", 2, 2), 0);
    EXPECT_NE(errorText().find("does not exist"), std::string::npos);
    xt_CloseAll();
    int16_t a = xt_CreateNew(path.c_str(), "Y", 2, 1);
    xt_CreateField("X", "C", 3, 0);
    EXPECT_EQ(xt_CreateExec(), 0); // an existing table is never overwritten
    EXPECT_NE(errorText().find("already exists"), std::string::npos);
    (void)a;
}

TEST_F(XtTest, DiaryWorkflowThroughTheCalls)
{
    createDiary();
    addEntry("20261207", "{\\rtf1 first}");
    addEntry("20261205", "{\\rtf1 second}");
    addEntry("20261206", "{\\rtf1 third}");
    EXPECT_EQ(xt_IndexTag("", "DATE", "date", 0, 0, ""), 1) << errorText();
    EXPECT_TRUE(std::filesystem::exists(dir / "QUILLNK.CDX"));
    EXPECT_EQ(xt_TagArea("DATE"), 1);
    EXPECT_EQ(xt_SetOrder(1), 1);
    EXPECT_EQ(xt_IndexOrd(), 1);
    char text[300];
    xt_TagName(1, text, sizeof text);
    EXPECT_STREQ(text, "DATE");
    EXPECT_EQ(xt_TagName(2, text, sizeof text), 0);
    xt_IndexKey(text, sizeof text);
    EXPECT_STREQ(text, "date");
    xt_IndexKeyField(text, sizeof text);
    EXPECT_STREQ(text, "DATE");
    xt_SetDeleted(1);

    EXPECT_NE(xt_Seek("20261206"), 0);
    EXPECT_EQ(xt_RecNo(), 3);
    xt_KeyData(text, sizeof text);
    EXPECT_STREQ(text, "20261206");
    char *memo = xt_GetMemo("ENTRY", 0);
    ASSERT_NE(memo, nullptr);
    EXPECT_STREQ(memo, "{\\rtf1 third}");
    xt_MemDealloc(memo);
    EXPECT_EQ(xt_Seek("20261201"), 0);
    EXPECT_NE(xt_Eof(), 0);

    xt_GoTop();
    EXPECT_EQ(fieldString("DATE"), "20261205");
    xt_Skip(1);
    EXPECT_EQ(fieldString("date"), "20261206");
    xt_GoBottom();
    EXPECT_EQ(xt_RecNo(), 1);
    xt_Skip(1);
    EXPECT_NE(xt_Eof(), 0);
    xt_GoTop();
    xt_Skip(-1);
    EXPECT_NE(xt_Bof(), 0);
    EXPECT_EQ(xt_RecNo(), 2);

    // Record images: what the table cursor reads and writes.
    int32_t size = xt_RecSize();
    std::string image(size_t(size), '\0');
    xt_Seek("20261207");
    EXPECT_EQ(xt_GetRecord(image.data()), 0);
    EXPECT_EQ(image.substr(0, 9), " 20261207");
    image.replace(1, 8, "20261208");
    EXPECT_EQ(xt_PutRecord(image.data()), 0);
    EXPECT_EQ(xt_Seek("20261207"), 0);
    EXPECT_NE(xt_Seek("20261208"), 0);

    // Deleting hides the record; the index keeps it for when deleted records show.
    xt_Delete();
    EXPECT_NE(xt_Deleted(), 0);
    EXPECT_EQ(xt_Seek("20261208"), 0);
    xt_SetDeleted(0);
    EXPECT_NE(xt_Seek("20261208"), 0);
    xt_SetDeleted(1);

    // Appending through a blank record, as the cursor does.
    ASSERT_EQ(xt_AppendBlank(), 0);
    xt_GetRecord(image.data());
    EXPECT_EQ(image, std::string(size_t(size), ' '));
    image.replace(1, 8, "20261201");
    xt_PutRecord(image.data());
    EXPECT_NE(xt_Seek("20261201"), 0);
    EXPECT_EQ(xt_RecCount(), 4);

    // The cursor's memo read: its image into the engine buffer, read, restore.
    char *buffer = reinterpret_cast<char *>(xt_SysProp(65000, 0));
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(xt_SysProp(65010, 0), size);
    xt_Seek("20261205");
    std::string saved(buffer, size_t(size));
    xt_Seek("20261206");
    std::string other(buffer, size_t(size));
    std::memcpy(buffer, saved.data(), size_t(size));
    memo = xt_GetMemo("ENTRY", 0);
    EXPECT_STREQ(memo, "{\\rtf1 second}");
    xt_MemDealloc(memo);
    std::memcpy(buffer, other.data(), size_t(size));
    xt_Skip(1);
    xt_Skip(-1);
    xt_GetRecord(image.data());
    EXPECT_EQ(image, other) << "restoring the buffer writes nothing";

    EXPECT_EQ(xt_CloseIndexes(), 0);
    EXPECT_EQ(xt_IndexOrd(), 0);
    EXPECT_EQ(xt_IndexOpen((dir / "quillnk.cdx").c_str()), 1) << errorText();
}

TEST_F(XtTest, FiltersEvaluationAndReplaceKinds)
{
    std::string t = (dir / "kinds.dbf").string();
    xt_CreateNew(t.c_str(), "", 2, 5);
    xt_CreateField("NAME", "C", 10, 0);
    xt_CreateField("AMOUNT", "N", 8, 2);
    xt_CreateField("DAY", "D", 8, 0);
    xt_CreateField("DONE", "L", 1, 0);
    xt_CreateField("NOTE", "M", 10, 0);
    ASSERT_NE(xt_CreateExec(), 0) << errorText();
    xt_AppendBlank();
    double amount = 12.5;
    int32_t yes = 1;
    EXPECT_EQ(xt_Replace("NAME", XT_REPLACE_TEXT, "smith"), 0);
    EXPECT_EQ(xt_Replace("AMOUNT", XT_REPLACE_DOUBLE, &amount), 0);
    EXPECT_EQ(xt_Replace("DAY", XT_REPLACE_DATE, "12/07/26"), 0);
    EXPECT_EQ(xt_Replace("DONE", XT_REPLACE_LOGICAL, &yes), 0);
    EXPECT_EQ(xt_Replace("NOTE", XT_REPLACE_MEMO, "a note"), 0);
    EXPECT_EQ(xt_Replace("NOTE", 77, "x"), XT_ERR_ENGINE);
    EXPECT_EQ(xt_Replace("NOPE", XT_REPLACE_TEXT, "x"), XT_ERR_ENGINE);
    EXPECT_EQ(xt_Replace("DAY", XT_REPLACE_DATE, "13/45/26"), XT_ERR_ENGINE);
    xt_Commit();
    xt_AppendBlank();
    xt_Replace("NAME", XT_REPLACE_TEXT, "jones");
    xt_Replace("AMOUNT", XT_REPLACE_TEXT, "3");
    xt_Commit();

    xt_Go(1);
    EXPECT_EQ(fieldString("AMOUNT"), "   12.50");
    EXPECT_EQ(fieldString("DAY"), "20261207");
    char text[100];
    xt_GetTrimString("NAME", text, sizeof text);
    EXPECT_STREQ(text, "smith");
    xt_GetTrimString("AMOUNT", text, sizeof text);
    EXPECT_STREQ(text, "12.50");
    EXPECT_EQ(xt_GetLogical("DONE"), 1);
    xt_GetDateString("DAY", text, sizeof text);
    EXPECT_STREQ(text, "12/07/26");
    xt_SetCentury(1);
    xt_SetDateFormat(4);
    xt_GetDateString("DAY", text, sizeof text);
    EXPECT_STREQ(text, "07.12.2026");
    xt_SetCentury(0);
    xt_SetDateFormat(0);

    EXPECT_EQ(xt_EvalLogical("'mit' $ name .AND. amount > 12"), 1);
    EXPECT_EQ(xt_EvalString("UPPER(TRIM(name)) + STR(amount, 6, 1)", text, sizeof text), 11);
    EXPECT_STREQ(text, "SMITH  12.5");
    EXPECT_EQ(xt_EvalTest("DTOS(day)"), 'C');
    EXPECT_EQ(xt_EvalTest("name = "), 0);
    EXPECT_EQ(xt_Error(), XT_ERR_EXPRESSION);
    EXPECT_NE(errorText().find("ends too early"), std::string::npos);
    EXPECT_EQ(xt_EvalLogical("name"), 0);
    EXPECT_NE(xt_Error(), 0);

    EXPECT_EQ(xt_Query("name = 'jo'"), 1);
    EXPECT_EQ(xt_RecNo(), 2);
    xt_DBFilter(text, sizeof text);
    EXPECT_STREQ(text, "name = 'jo'");
    EXPECT_EQ(xt_Query("nonsense("), -1);
    EXPECT_EQ(xt_Query(""), 2);
    EXPECT_EQ(xt_DBFilter(text, sizeof text), 0);

    xt_IndexTag("", "NAME", "UPPER(name)", 0, 0, "");
    EXPECT_EQ(xt_SetScope("JONES", "JONES"), 0);
    xt_GoTop();
    EXPECT_EQ(xt_RecNo(), 2);
    xt_Skip(1);
    EXPECT_NE(xt_Eof(), 0);
    xt_SetScope("", "");

    EXPECT_EQ(xt_SysProp(65012, 1), 0);
    EXPECT_EQ(xt_SysProp(65012, 5), 1); // memo goes through xt_Replace
    EXPECT_EQ(xt_SysProp(1006, 1), 1);
    EXPECT_EQ(xt_SysProp(1006, -1), 1);
    EXPECT_EQ(xt_SysProp(1009, 0), 0);
    EXPECT_EQ(xt_SysProp(3000, 42), 42);
    EXPECT_EQ(xt_Rlock(0), 1); // exclusive: always
    EXPECT_EQ(xt_Unlock(0), 0);
}

TEST_F(XtTest, NewRecordImagePreparedPastTheEnd)
{
    // The table cursor's way to add an entry after a failed seek: the image
    // and its memo are prepared in the buffer, then appended and written.
    createDiary();
    addEntry("20261207", "old");
    xt_IndexTag("", "DATE", "date", 0, 0, "");
    EXPECT_EQ(xt_Seek("20261208"), 0);
    ASSERT_NE(xt_Eof(), 0);
    int32_t size = xt_RecSize();
    char *buffer = reinterpret_cast<char *>(xt_SysProp(65000, 0));
    std::string image(size_t(size), ' ');
    image.replace(1, 8, "20261208");
    std::memcpy(buffer, image.data(), size_t(size));
    ASSERT_EQ(xt_Replace("ENTRY", XT_REPLACE_MEMO, "{\\rtf1 new}"), 0) << errorText();
    std::memcpy(image.data(), buffer, size_t(size));
    ASSERT_EQ(xt_AppendBlank(), 0);
    ASSERT_EQ(xt_PutRecord(image.data()), 0);
    ASSERT_EQ(xt_Commit(), 0);
    EXPECT_EQ(xt_RecCount(), 2);
    ASSERT_NE(xt_Seek("20261208"), 0);
    char *memo = xt_GetMemo("ENTRY", 0);
    EXPECT_STREQ(memo, "{\\rtf1 new}");
    xt_MemDealloc(memo);
    ASSERT_NE(xt_Seek("20261207"), 0);
    memo = xt_GetMemo("ENTRY", 0);
    EXPECT_STREQ(memo, "old");
    xt_MemDealloc(memo);
}

// The code of a failure follows its kind, whatever its message says.
TEST_F(XtTest, FailuresAreCodedByTheirKind)
{
    std::string t = (dir / "kinds.dbf").string();
    xt_CreateNew(t.c_str(), "", 2, 2);
    xt_CreateField("AMOUNT", "N", 8, 2);
    xt_CreateField("NOTE", "M", 10, 0);
    ASSERT_NE(xt_CreateExec(), 0) << errorText();
    ASSERT_EQ(xt_AppendBlank(), 0);
    double amount = 12.5;
    ASSERT_EQ(xt_Replace("AMOUNT", XT_REPLACE_DOUBLE, &amount), 0);
    ASSERT_EQ(xt_Replace("NOTE", XT_REPLACE_MEMO, "a note"), 0);
    ASSERT_EQ(xt_Commit(), 0);

    // Evaluation failures are expression failures, not general ones.
    EXPECT_EQ(xt_EvalLogical("AMOUNT / 0 > 1"), 0);
    EXPECT_EQ(xt_Error(), XT_ERR_EXPRESSION) << errorText();
    EXPECT_EQ(xt_EvalTest("NOSUCH(AMOUNT)"), 0);
    EXPECT_EQ(xt_Error(), XT_ERR_EXPRESSION) << errorText();

    // A memo pointer past the end of the memo file: a damaged file.
    std::vector<char> image(static_cast<size_t>(xt_RecSize()));
    ASSERT_EQ(xt_GetRecord(image.data()), 0);
    std::memcpy(image.data() + xt_FieldOffset(2), "    999999", 10);
    ASSERT_EQ(xt_PutRecord(image.data()), 0);
    EXPECT_EQ(xt_GetMemo("NOTE", 0), nullptr);
    EXPECT_EQ(xt_Error(), XT_ERR_DAMAGED) << errorText();

    // The system refuses: an index file that is not there.
    EXPECT_EQ(xt_IndexOpen((dir / "NONE.CDX").c_str()), 0);
    EXPECT_EQ(xt_Error(), XT_ERR_IO) << errorText();

    // Requests the engine refuses keep the general code.
    EXPECT_EQ(xt_Replace("AMOUNT", 77, &amount), XT_ERR_ENGINE);
    EXPECT_EQ(xt_SetOrder(9), 0);
    EXPECT_EQ(xt_Error(), XT_ERR_ENGINE) << errorText();

    // A record another opener holds is a lock failure.
    xt_Close();
    ASSERT_NE(xt_Use(t.c_str(), "ONE", 0, 2), 0) << errorText();
    ASSERT_NE(xt_Rlock(1), 0);
    ASSERT_NE(xt_Use(t.c_str(), "TWO", 0, 2), 0) << errorText();
    const int16_t previousTimeout = xt_SetLockTimeout(0);
    ASSERT_EQ(xt_Go(1), 0);
    double changed = 99;
    EXPECT_EQ(xt_Replace("AMOUNT", XT_REPLACE_DOUBLE, &changed), 0); // the buffer only
    EXPECT_EQ(xt_Commit(), XT_ERR_LOCK) << errorText();
    xt_SetLockTimeout(previousTimeout);

    // Opening answers the open code whatever the reason.
    xt_CloseAll();
    {
        std::FILE *f = std::fopen(t.c_str(), "r+b");
        ASSERT_NE(f, nullptr);
        std::fputc(0x42, f); // an unknown version byte
        std::fclose(f);
    }
    EXPECT_EQ(xt_Use(t.c_str(), "DAMAGED", 2, 2), 0);
    EXPECT_EQ(xt_Error(), XT_ERR_OPEN) << errorText();
}
