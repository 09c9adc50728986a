#include "spell/qnspell.h"
#include "tests/support/temp_dir.h"
#include "tools/qndict/cp1252.h"
#include "tools/qndict/qndict.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace qn;
using namespace qn::test;

namespace {

struct Output {
    int code;
    std::string out;
    std::string err;
};

Output run(const std::vector<std::string> &args)
{
    std::ostringstream out, err;
    const int code = qndict::Run(args, out, err);
    return {code, out.str(), err.str()};
}

} // namespace

TEST(Cp1252, ConvertsBothWays)
{
    EXPECT_EQ(qndict::ToUtf8("caf\xE9 \x80 \x9F \x81"),
              "caf\xC3\xA9 \xE2\x82\xAC \xC5\xB8 \xC2\x81");
    EXPECT_EQ(qndict::FromUtf8("\xC3\xA9t\xC3\xA9 \xE2\x80\x94"), "\xE9t\xE9 \x97");
    EXPECT_FALSE(qndict::FromUtf8("\xE6\x97\xA5"));           // not in Windows-1252
    EXPECT_FALSE(qndict::FromUtf8("\xC3"));                   // cut short
    EXPECT_FALSE(qndict::FromUtf8("\xC0\xAF"));               // overlong
    EXPECT_EQ(qndict::InputToAnsi("\xE9t\xE9"), "\xE9t\xE9"); // not UTF-8: taken as it is
}

TEST(Qndict, BuildsListsChecksAndSuggests)
{
    TempDir dir;
    const auto list = dir / "words.txt";
    writeFile(list, "cat\r\nCat\ncats\n\ncaf\xC3\xA9\n\xE9t\xE9\nabc1\n\xE6\x97\xA5\xE6\x9C\xAC\n"
                    "dog\nhot dog\n" +
                        std::string(26, 'x') + "\nlot\n");
    const auto dict = (dir / "out.dct").string();

    const Output built = run({"build", list.string(), dict});
    EXPECT_EQ(built.code, 0) << built.err;
    EXPECT_EQ(built.out, "stored 6 words (1 sections, 15 nodes); skipped 4 (3 with letters outside "
                         "the alphabet, 1 longer than 25 letters); 1 duplicates\n");

    const Output words = run({"words", dict});
    EXPECT_EQ(words.code, 0);
    EXPECT_EQ(words.out, "CAF\xC3\x89\nCAT\nCATS\nDOG\nLOT\n\xC3\x89T\xC3\x89\n");

    const Output checked = run({"check", dict, "cat", "Caf\xC3\xA9", "cta", "\xE6\x97\xA5"});
    EXPECT_EQ(checked.code, 1);
    EXPECT_EQ(checked.out, "cat ok\nCaf\xC3\xA9 ok\ncta wrong\n\xE6\x97\xA5 wrong\n");
    EXPECT_EQ(run({"check", dict, "cat", "dogs"}).code, 1);
    EXPECT_EQ(run({"check", dict, "cat", "dog's"}).code, 0);

    const Output suggested = run({"suggest", "--classic", dict, "Cst", "alot"});
    EXPECT_EQ(suggested.code, 0);
    // CATS has a longer phonetic key than CST: its branch is never entered.
    EXPECT_EQ(suggested.out.substr(0, suggested.out.find('\n')), "Cst: Cat");
    EXPECT_NE(suggested.out.find("\nalot: "), std::string::npos);
    EXPECT_NE(suggested.out.find("a lot"), std::string::npos);

    // Ranked by edits (the default), CATS is one letter off and listed.
    const Output edits = run({"suggest", dict, "Cst"});
    EXPECT_EQ(edits.code, 0);
    EXPECT_EQ(edits.out.substr(0, edits.out.find('|')), "Cst: Cat");
    EXPECT_NE(edits.out.find("|Cats"), std::string::npos);
}

TEST(Qndict, UserDictionaryAndErrors)
{
    TempDir dir;
    writeFile(dir / "words.txt", "cat\n");
    const auto dict = (dir / "main.dct").string();
    ASSERT_EQ(run({"build", (dir / "words.txt").string(), dict}).code, 0);
    const auto user = (dir / "user.dct").string();
    {
        TQnSpell spell;
        ASSERT_EQ(spell.CreateUserDictionary(user, {"gnu"}), 2);
    }
    EXPECT_EQ(run({"check", "--user", user, dict, "gnu", "cat"}).code, 0);
    EXPECT_EQ(run({"check", dict, "gnu"}).code, 1);
    EXPECT_EQ(run({"suggest", dict, "--user", user, "gnuu"}).out, "gnuu: gnu\n");

    // A main dictionary is no user dictionary; missing files and bad usage.
    EXPECT_EQ(run({"check", "--user", dict, dict, "cat"}).code, 2);
    EXPECT_EQ(run({"check", (dir / "none.dct").string(), "cat"}).code, 2);
    EXPECT_EQ(run({"words", (dir / "none.dct").string()}).code, 2);
    EXPECT_EQ(run({"build", (dir / "none.txt").string(), (dir / "x.dct").string()}).code, 2);
    EXPECT_FALSE(std::filesystem::exists(dir / "x.dct"));
    EXPECT_EQ(run({"build", (dir / "words.txt").string(), (dir / "no" / "x.dct").string()}).code,
              2);
    EXPECT_EQ(run({"check", dict}).code, 2);
    EXPECT_EQ(run({}).code, 2);
    EXPECT_EQ(run({"frobnicate"}).code, 2);
}

// The dictionary the build makes from the system word list, when it was made.
TEST(MainDictionary, GeneratedFromTheWordList)
{
    const auto path = binaryDir() / "bin" / "quillnk.dct";
    if (!std::filesystem::exists(path))
        GTEST_SKIP() << "no generated dictionary at " << path;
    TQnSpell spell;
    ASSERT_TRUE(spell.OpenDictionary(path.string()));
    for (const char *w : {"hello", "Paris", "dictionary", "zebra", "aardvark", "dog's", "zygote"})
        EXPECT_TRUE(spell.IsCorrect(w)) << w;
    for (const char *w : {"helo", "dictionry", "qzxv"})
        EXPECT_FALSE(spell.IsCorrect(w)) << w;
    const auto alot = spell.Suggest("alot");
    EXPECT_NE(std::find(alot.begin(), alot.end(), "a lot"), alot.end());
    EXPECT_EQ(spell.Suggest("recieve").at(0), "receive");
    EXPECT_EQ(spell.Suggest("Speling").at(0), "Spelling");
}
