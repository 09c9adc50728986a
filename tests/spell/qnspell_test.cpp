#include "spell/dictionary_format.h"
#include "spell/qnspell.h"
#include "spell/spell_letters.h"
#include "spell/trie_image.h"
#include "tests/spell/spell_fixtures.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace qn;
using namespace qn::test;

namespace {

bool contains(const std::vector<std::string> &list, const std::string &s)
{
    return std::find(list.begin(), list.end(), s) != list.end();
}

class SpellTest : public ::testing::Test {
protected:
    void openMain(const std::vector<std::string> &words)
    {
        ASSERT_TRUE(spell.OpenDictionary(WriteMainDictionary(dir / "main.dct", words).string()));
    }

    TempDir dir;
    TQnSpell spell;
};

} // namespace

TEST_F(SpellTest, LookupIgnoresCaseAndKnowsSingleLettersAndPossessives)
{
    openMain({"cat", "Paris", "l'eau",
              "\xE9"
              "clair"});
    EXPECT_TRUE(spell.IsCorrect("cat"));
    EXPECT_TRUE(spell.IsCorrect("CAT"));
    EXPECT_TRUE(spell.IsCorrect("paris"));
    EXPECT_TRUE(spell.IsCorrect("L'EAU"));
    EXPECT_TRUE(spell.IsCorrect("\xC9"
                                "CLAIR"));
    EXPECT_FALSE(spell.IsCorrect("ca"));
    EXPECT_FALSE(spell.IsCorrect("cats"));
    EXPECT_FALSE(spell.IsCorrect("catx"));

    // Single letters and the empty word are always correct, even unknown ones.
    EXPECT_TRUE(spell.IsCorrect("q"));
    EXPECT_TRUE(spell.IsCorrect("\xF7"));
    EXPECT_TRUE(spell.IsCorrect(""));

    // 's after a known word (or a single letter), repeatedly.
    EXPECT_TRUE(spell.IsCorrect("cat's"));
    EXPECT_TRUE(spell.IsCorrect("CAT'S"));
    EXPECT_TRUE(spell.IsCorrect("Paris's"));
    EXPECT_TRUE(spell.IsCorrect("x's"));
    EXPECT_FALSE(spell.IsCorrect("dog's"));
    EXPECT_FALSE(spell.IsCorrect("cat'"));
    EXPECT_FALSE(spell.IsCorrect("cats'"));
}

TEST_F(SpellTest, NoDictionaryMeansEveryLongerWordIsWrong)
{
    spell.SetDictionaryName((dir / "missing.dct").string());
    EXPECT_FALSE(spell.IsCorrect("cat"));
    EXPECT_TRUE(spell.IsCorrect("a"));
    EXPECT_TRUE(spell.Suggest("cat").empty());
    EXPECT_FALSE(spell.MainDictionaryOpen());
    EXPECT_FALSE(spell.OpenDictionary((dir / "missing.dct").string()));
}

TEST_F(SpellTest, MainDictionaryOpensOnDemandAndOnlyOnce)
{
    const auto first = WriteMainDictionary(dir / "first.dct", {"cat"});
    const auto second = WriteMainDictionary(dir / "second.dct", {"dog"});
    spell.SetDictionaryName(first.string());
    EXPECT_TRUE(spell.IsCorrect("cat"));
    EXPECT_TRUE(spell.MainDictionaryOpen());
    EXPECT_FALSE(spell.OpenDictionary(second.string()));
    EXPECT_FALSE(spell.IsCorrect("dog"));
    spell.CloseDictionaries();
    EXPECT_TRUE(spell.OpenDictionary(second.string()));
    EXPECT_EQ(spell.DictionaryName(), second.string());
    EXPECT_TRUE(spell.IsCorrect("dog"));
    EXPECT_FALSE(spell.IsCorrect("cat"));
}

TEST_F(SpellTest, SuggestionsTakeTheCaseOfTheTypedWord)
{
    openMain({"the", "tea", "ten", "cat"});
    const auto lower = spell.Suggest("teh");
    ASSERT_FALSE(lower.empty());
    EXPECT_TRUE(contains(lower, "the"));
    for (const auto &s : lower)
        EXPECT_EQ(s.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ"), std::string::npos) << s;

    const auto capital = spell.Suggest("Teh");
    ASSERT_EQ(capital.size(), lower.size());
    for (size_t i = 0; i < capital.size(); ++i) {
        std::string expected = lower[i];
        expected[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(expected[0])));
        EXPECT_EQ(capital[i], expected);
    }

    const auto capitals = spell.Suggest("TEH");
    ASSERT_EQ(capitals.size(), lower.size());
    for (size_t i = 0; i < capitals.size(); ++i)
        EXPECT_EQ(capitals[i], spell::SpellUpperCase(lower[i]));
    EXPECT_EQ(spell.Suggestions(), capitals);
}

TEST_F(SpellTest, RunTogetherWordsAreSplit)
{
    openMain({"lot", "of", "cake"});
    EXPECT_TRUE(contains(spell.Suggest("alot"), "a lot"));
    EXPECT_TRUE(contains(spell.Suggest("Alot"), "A lot"));
    EXPECT_TRUE(contains(spell.Suggest("lotof"), "lot of"));
    // The second part may be a single letter only when the word ends in A or I.
    spell.CloseDictionaries();
    openMain({"cake"});
    EXPECT_FALSE(contains(spell.Suggest("cakex"), "cake x"));
    EXPECT_TRUE(contains(spell.Suggest("cakea"), "cake a"));
}

TEST_F(SpellTest, AtMostMaxSuggestionsWithEqualScoresInDiscoveryOrder)
{
    // Every CA? word scores 66 against CAX; runs hold letters in alphabet order.
    openMain({"cay", "caw", "cat", "car", "cap", "can", "cam", "cal", "caj", "cag", "cad", "cab"});
    EXPECT_EQ(spell.MaxSuggestions(), 10);
    const std::vector<std::string> expected = {"cab", "cad", "cag", "caj", "cal",
                                               "cam", "can", "cap", "car", "cat"};
    EXPECT_EQ(spell.Suggest("cax"), expected);

    spell.SetMaxSuggestions(3);
    EXPECT_EQ(spell.Suggest("cax"),
              std::vector<std::string>(expected.begin(), expected.begin() + 3));
    spell.SetMaxSuggestions(500);
    EXPECT_EQ(spell.MaxSuggestions(), 220);
    EXPECT_EQ(spell.Suggest("cax").size(), 12u);
    spell.SetMaxSuggestions(0);
    EXPECT_TRUE(spell.Suggest("cax").empty());
}

TEST_F(SpellTest, BetterCandidatesRankFirstAndFirstLettersMayChange)
{
    openMain({"spelling", "sapling", "spell", "cat", "bat", "vat"});
    const auto s = spell.Suggest("speling");
    ASSERT_FALSE(s.empty());
    EXPECT_EQ(s[0], "spelling");
    // A mistyped first letter: P is tried as B, O and P.
    EXPECT_EQ(spell.Suggest("pat").at(0), "bat");
    // Candidates are words only: no prefixes of words.
    EXPECT_FALSE(contains(s, "spel"));
}

TEST_F(SpellTest, CandidatesWithNothingInCommonAreNotListed)
{
    // Every user dictionary holds the word A, met once per alternative of G.
    const int handle = spell.CreateUserDictionary((dir / "user.dct").string(), {"gnu", "x"});
    ASSERT_EQ(handle, 2);
    EXPECT_EQ(spell.Suggest("gnuu"), std::vector<std::string>{"gnu"});
    EXPECT_TRUE(spell.Suggest("qq").empty());
}

TEST_F(SpellTest, LongWordsAreCutBeforeTheSearch)
{
    openMain({"internationalization"});
    const std::string typed = "internationalizationxxxxxxxxxxxx"; // 32 letters
    const auto s = spell.Suggest(typed);
    ASSERT_FALSE(s.empty());
    EXPECT_EQ(s[0], "internationalization");
}

TEST_F(SpellTest, UserDictionaryStartsWithExactBytes)
{
    const auto path = dir / "quillnku.dct";
    const int handle = spell.CreateUserDictionary(path.string(), {});
    EXPECT_EQ(handle, 2);
    const std::string bytes = readFile(path);

    const size_t end = bytes.find('\x1A');
    ASSERT_NE(end, std::string::npos);
    const std::string text = bytes.substr(0, end);
    EXPECT_EQ(text.rfind("USER DICTIONARY\r\n", 0), 0u);
    EXPECT_EQ(text.size() - text.rfind("\r\n"), 2u); // the notice line ends the text
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);

    const int32_t headerPos = static_cast<int32_t>(end + 1);
    std::string expected = text + '\x1A' + Int32Bytes(1) + Int32Bytes(500) + Int32Bytes(1) +
                           std::string(1, '\0') + Int32Bytes(headerPos);
    expected += std::string("\x00\x00\xC0", 3); // node 1: the word A
    for (int n = 2; n <= 500; ++n)
        expected += "\xE8\xFD\xC0"; // free: Child 65000
    EXPECT_EQ(bytes, expected);
}

TEST_F(SpellTest, AddedWordsAreFoundAtOnceAndAfterReopening)
{
    openMain({"cat"});
    const auto path = dir / "user.dct";
    const int handle = spell.CreateUserDictionary(path.string(), {"zebra", "Quillnook"});
    ASSERT_EQ(handle, 2);
    EXPECT_TRUE(spell.IsCorrect("zebra"));
    EXPECT_TRUE(spell.IsCorrect("quillnook"));
    EXPECT_FALSE(spell.IsCorrect("zebras"));
    EXPECT_TRUE(spell.AddWord("zebras", handle));
    EXPECT_TRUE(spell.IsCorrect("Zebras"));
    EXPECT_TRUE(spell.AddWord("zeb", handle)); // a prefix of words already there
    EXPECT_TRUE(spell.IsCorrect("zeb"));
    EXPECT_TRUE(spell.AddWord("\xE9"
                              "t\xE9",
                              handle));
    EXPECT_TRUE(contains(spell.Suggest("zebrs"), "zebras"));

    // Adding a word that is there changes nothing.
    const std::string before = readFile(path);
    EXPECT_TRUE(spell.AddWord("ZEBRA", handle));
    EXPECT_EQ(readFile(path), before);

    // Refused: unknown or negative handles, the main dictionary, long words.
    EXPECT_FALSE(spell.AddWord("horse", -1));
    EXPECT_FALSE(spell.AddWord("horse", 0));
    EXPECT_FALSE(spell.AddWord("horse", 3));
    EXPECT_FALSE(spell.AddWord(std::string(26, 'h'), handle));
    EXPECT_TRUE(spell.AddWord(std::string(25, 'h'), handle));
    EXPECT_FALSE(spell.AddWord("", handle));
    spell.CloseDictionaries();

    TQnSpell later;
    EXPECT_EQ(later.OpenUserDictionary(path.string()), 2);
    for (const char *w : {"zebra", "quillnook", "zebras", "zeb", "\xC9T\xC9", "a"})
        EXPECT_TRUE(later.IsCorrect(w)) << w;
    EXPECT_TRUE(later.IsCorrect(std::string(25, 'H')));
    EXPECT_FALSE(later.IsCorrect("zebr"));
    EXPECT_FALSE(later.IsCorrect("horse"));
}

TEST_F(SpellTest, AWordAddedByAnotherCheckerIsSeenAtOnce)
{
    const auto path = dir / "user.dct";
    TQnSpell writer;
    const int handle = writer.CreateUserDictionary(path.string(), {});
    ASSERT_EQ(spell.OpenUserDictionary(path.string()), 2);
    EXPECT_FALSE(spell.IsCorrect("walrus"));
    ASSERT_TRUE(writer.AddWord("walrus", handle));
    EXPECT_TRUE(spell.IsCorrect("walrus"));
    EXPECT_TRUE(contains(spell.Suggest("walrs"), "walrus"));
}

TEST_F(SpellTest, UserDictionaryHandlesAndRefusals)
{
    const auto main = WriteMainDictionary(dir / "main.dct", {"cat"});
    EXPECT_EQ(spell.OpenUserDictionary((dir / "none.dct").string()), -1);
    EXPECT_EQ(spell.OpenUserDictionary(main.string()), 0); // a main dictionary
    writeFile(dir / "junk.dct", "no end of text here");
    EXPECT_EQ(spell.OpenUserDictionary((dir / "junk.dct").string()), -1);

    EXPECT_EQ(spell.CreateUserDictionary((dir / "u1.dct").string(), {}), 2);
    EXPECT_EQ(spell.CreateUserDictionary((dir / "u2.dct").string(), {}), 3);
    EXPECT_EQ(spell.OpenUserDictionary((dir / "u1.dct").string()), 4);
    // An existing file is never replaced.
    EXPECT_EQ(spell.CreateUserDictionary(main.string(), {"dog"}), -1);
    EXPECT_EQ(readFile(main), MainDictionaryBytes({"cat"}));
    EXPECT_EQ(spell.CreateUserDictionary((dir / "no" / "such" / "dir.dct").string(), {}), -1);
    spell.CloseDictionaries();
    EXPECT_EQ(spell.OpenUserDictionary((dir / "u2.dct").string()), 2);
}

TEST_F(SpellTest, AFullUserDictionaryRefusesWordsWithoutDamage)
{
    // Distinct eight-letter words until the section is close to its node limit.
    spell::TrieImage image;
    image.Add(spell::WordCodes("A"));
    for (int i = 0; image.NodeCount() < spell::kNodeLimit - 24; ++i) {
        std::string w;
        for (int v = i, k = 0; k < 8; ++k, v /= 26)
            w.push_back(static_cast<char>('A' + v % 26));
        ASSERT_EQ(image.Add(spell::WordCodes(w)), spell::TrieImage::AddResult::Added);
    }
    const auto path = dir / "full.dct";
    writeFile(path, UserDictionaryBytes(image));
    const int handle = spell.OpenUserDictionary(path.string());
    ASSERT_EQ(handle, 2);

    const int room = spell::kNodeLimit - image.NodeCount();
    ASSERT_GE(room, 2);
    ASSERT_LT(room, 25);
    const std::string before = readFile(path);
    EXPECT_FALSE(spell.AddWord(std::string(room + 1, '\xC9'), handle));
    EXPECT_EQ(readFile(path), before);
    EXPECT_FALSE(spell.IsCorrect(std::string(room + 1, '\xC9')));

    // A word as long as the room left still fits (all its letters are new
    // nodes); after it nothing does.
    EXPECT_TRUE(spell.AddWord(std::string(room, '\xC9'), handle));
    EXPECT_TRUE(spell.IsCorrect(std::string(room, '\xC9')));
    const std::string full = readFile(path);
    EXPECT_FALSE(spell.AddWord("ZZ", handle));
    EXPECT_EQ(readFile(path), full);

    TQnSpell reopened;
    ASSERT_EQ(reopened.OpenUserDictionary(path.string()), 2);
    EXPECT_TRUE(reopened.IsCorrect(std::string(room, '\xC9')));
    EXPECT_TRUE(reopened.IsCorrect("AAAAAAAA"));
    EXPECT_TRUE(reopened.IsCorrect("BAAAAAAA"));
    EXPECT_FALSE(reopened.IsCorrect("ZZ"));
}

TEST_F(SpellTest, UserDictionaryGrowsPastItsFirstSlots)
{
    const auto path = dir / "user.dct";
    const int handle = spell.CreateUserDictionary(path.string(), {});
    std::vector<std::string> words;
    for (int i = 0; i < 120; ++i)
        words.push_back("word" + std::string(1, static_cast<char>('a' + i % 26)) +
                        std::string(1, static_cast<char>('a' + i / 26)) + "xyz");
    for (const auto &w : words)
        ASSERT_TRUE(spell.AddWord(w, handle)) << w;
    spell.CloseDictionaries();
    TQnSpell reopened;
    ASSERT_EQ(reopened.OpenUserDictionary(path.string()), 2);
    for (const auto &w : words)
        EXPECT_TRUE(reopened.IsCorrect(w)) << w;
    std::vector<std::string> listed;
    reopened.ForEachWord([&](const std::string &w) { listed.push_back(w); });
    EXPECT_EQ(listed.size(), words.size() + 1);
    const auto bytes = readFile(path);
    // More than 500 slots now, each slot still 3 bytes after the header.
    const size_t area = bytes.size() - (bytes.find('\x1A') + 1 + 17);
    EXPECT_EQ(area % 3, 0u);
    EXPECT_GT(area / 3, 500u);
    EXPECT_EQ((area / 3) % 500, 0u);
}
