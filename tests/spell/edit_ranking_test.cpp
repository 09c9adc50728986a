#include "spell/dictionary_file.h"
#include "spell/dictionary_section.h"
#include "spell/edit_cost.h"
#include "spell/qnspell.h"
#include "spell/spell_letters.h"
#include "spell/trie_walk.h"
#include "spell/word_frequency.h"
#include "tests/spell/spell_fixtures.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

using namespace qn;
using namespace qn::spell;
using namespace qn::test;

namespace {

bool contains(const std::vector<std::string> &list, const std::string &s)
{
    return std::find(list.begin(), list.end(), s) != list.end();
}

} // namespace

TEST(EditCost, CommonSlipsCostLessThanPlainEdits)
{
    EXPECT_EQ(EditCost("CAT", "CAT"), 0);
    EXPECT_EQ(EditCost("CAT", "CUT"), kPlainEdit);    // U is nowhere near A
    EXPECT_EQ(EditCost("CAT", "CST"), kNeighbourKey); // S sits beside A
    EXPECT_EQ(EditCost("RECEIVE", "RECIEVE"), kSwappedLetters);
    EXPECT_EQ(EditCost("CAT", "CT"), kMissingLetter);
    EXPECT_EQ(EditCost("LETTER", "LETER"), kDoubledLetter); // a doubled letter typed once
    EXPECT_EQ(EditCost("CAT", "CAAT"), kDoubledLetter);     // a letter typed twice
    EXPECT_EQ(EditCost("CAT", "CAPT"), kPlainEdit);         // a stray key far from both
    EXPECT_EQ(EditCost("CAT", "CAST"), kStrayNeighbour);    // a stray key beside A
    EXPECT_EQ(EditCost("A LOT", "ALOT"), kMissingLetter);   // the space is a letter like any
    EXPECT_EQ(EditCost("KITTEN", "SITTING"), 3 * kPlainEdit);
    EXPECT_EQ(EditCost("KITTEN", "JITTEN"), kNeighbourKey);
    EXPECT_EQ(EditCost("", "ABC"), 3 * kPlainEdit);
    EXPECT_EQ(EditCost("ABC", ""), 3 * kMissingLetter);

    EXPECT_TRUE(KeyboardNeighbours('Q', 'W'));
    EXPECT_TRUE(KeyboardNeighbours('A', 'Z'));
    EXPECT_TRUE(KeyboardNeighbours('G', 'B'));
    EXPECT_TRUE(KeyboardNeighbours('B', 'G'));
    EXPECT_TRUE(KeyboardNeighbours('P', 'L'));
    EXPECT_FALSE(KeyboardNeighbours('Q', 'P'));
    EXPECT_FALSE(KeyboardNeighbours('A', 'A'));
    EXPECT_FALSE(KeyboardNeighbours('Z', 'Q'));
    EXPECT_FALSE(KeyboardNeighbours('A', '\''));
}

TEST(EditCost, RowsGiveTheSameCostsAndLongWordsAreCut)
{
    EditRows rows("RECIEVE");
    for (char c : std::string("RECEIVE"))
        rows.Push(static_cast<uint8_t>(c));
    EXPECT_EQ(rows.Cost(), kSwappedLetters);
    EXPECT_EQ(rows.Candidate(), "RECEIVE");
    rows.Pop();
    rows.Pop();
    EXPECT_EQ(rows.Candidate(), "RECEI");
    EXPECT_EQ(rows.Cost(), EditCost("RECEI", "RECIEVE"));

    // Letters past the longest candidate are not taken; popping them is safe.
    EditRows full("A");
    for (int i = 0; i < 40; ++i)
        full.Push('A');
    EXPECT_EQ(full.Candidate().size(), EditRows::kMaxCandidate);
    for (int i = 0; i < 10; ++i)
        full.Pop();
    EXPECT_EQ(full.Candidate().size(), EditRows::kMaxCandidate);
    full.Pop();
    EXPECT_EQ(full.Candidate().size(), EditRows::kMaxCandidate - 1);
    EXPECT_GE(EditCost(std::string(60, 'A'), std::string(60, 'A')), 0);
}

// The walk leaves branches out early; it must still find exactly the words a
// cost check of every word finds.
TEST(EditWalk, FindsEveryWordWithinTheBudgetAndNoOther)
{
    TempDir dir;
    const std::vector<std::string> words = {
        "a",       "an",       "and",     "ant",   "ante",  "cat",    "cast",    "caste",
        "cart",    "cater",    "crate",   "react", "trace", "recent", "receive", "relieve",
        "deceive", "receiver", "believe", "sieve", "eve",   "tacet",  "act",     "acts"};
    const auto path = WriteMainDictionary(dir / "main.dct", words);
    auto file = DictionaryFile::Open(path.string(), DictionaryFile::Mode::ReadOnly);
    ASSERT_TRUE(file);
    auto sections = DictionarySection::ReadSections(file, false);
    ASSERT_FALSE(sections.empty());

    for (const std::string typed : {"CAT", "RECIEVE", "TCA", "ACTS", "X", "CRATER"}) {
        for (int budget : {0, kPlainEdit, kTwoEdits, 3 * kPlainEdit}) {
            std::map<std::string, int> walked;
            EditRows rows(typed);
            for (auto &s : sections)
                WalkWithinEdits(*s, rows, budget,
                                [&](const std::string &w, int cost) { walked[w] = cost; });
            std::map<std::string, int> expected;
            for (const std::string &w : words) {
                const std::string upper = SpellUpperCase(w);
                if (const int cost = EditCost(upper, typed); cost <= budget)
                    expected[upper] = cost;
            }
            EXPECT_EQ(walked, expected) << typed << " within " << budget;
        }
    }
}

TEST(WordFrequency, ReadsClassesAndSkipsWhatItCannotRead)
{
    WordFrequency frequency;
    frequency.Parse("0\tthe\r\n1\tcat\n2\tThe\nx\tdog\n9\tfish\n1 bird\n\n3\t\n2\tcaf\xE9\n");
    EXPECT_EQ(frequency.ClassOf("THE"), 0); // the first, best class stays
    EXPECT_EQ(frequency.ClassOf("CAT"), 1);
    EXPECT_EQ(frequency.ClassOf("CAF\xC9"), 2);
    EXPECT_EQ(frequency.ClassOf("DOG"), WordFrequency::kUnlisted);
    EXPECT_EQ(frequency.ClassOf("FISH"), WordFrequency::kUnlisted);
    EXPECT_EQ(frequency.ClassOf("BIRD"), WordFrequency::kUnlisted);

    TempDir dir;
    EXPECT_FALSE(frequency.Load((dir / "none.frq").string()));
    EXPECT_TRUE(frequency.Empty());
    writeFile(dir / "list.frq", "0\tdog\n");
    EXPECT_TRUE(frequency.Load((dir / "list.frq").string()));
    EXPECT_EQ(frequency.ClassOf("DOG"), 0);
    EXPECT_EQ(FrequencyPathFor("/x/quillnk.dct"), "/x/quillnk.frq");
}

namespace {

class EditRankingTest : public ::testing::Test {
protected:
    void openMain(const std::vector<std::string> &words)
    {
        spell.SetSuggestionRanking(TQnSpell::Ranking::ByEdits);
        ASSERT_TRUE(spell.OpenDictionary(WriteMainDictionary(dir / "main.dct", words).string()));
    }

    TempDir dir;
    TQnSpell spell;
};

} // namespace

TEST_F(EditRankingTest, TheCheapestSlipComesFirstInTheCaseAsTyped)
{
    EXPECT_EQ(spell.SuggestionRanking(), TQnSpell::Ranking::Classic);
    openMain({"receive", "relieve", "deceive", "received", "plainly", "paste", "rewards",
              "equities", "the", "ten", "tea", "teeth", "letter", "later"});
    EXPECT_EQ(spell.Suggest("recieve").at(0), "receive");
    EXPECT_EQ(spell.Suggest("Recieve").at(0), "Receive");
    EXPECT_EQ(spell.Suggest("RECIEVE").at(0), "RECEIVE");
    EXPECT_EQ(spell.Suggest("plaily").at(0), "plainly");
    EXPECT_EQ(spell.Suggest("rewtrds").at(0), "rewards");
    EXPECT_EQ(spell.Suggest("euities").at(0), "equities");
    EXPECT_EQ(spell.Suggest("teh").at(0), "the");
    EXPECT_EQ(spell.Suggest("leter").at(0), "letter"); // a doubled letter typed once
    EXPECT_EQ(spell.Suggestions().at(0), "letter");
    // Words more than two edits away come only from the sound-alike search.
    EXPECT_FALSE(contains(spell.Suggest("qqqqq"), "paste"));
}

TEST_F(EditRankingTest, ListLengthSplitsAndCommonWordsFirst)
{
    openMain({"cab", "cad", "cag", "caj", "cal", "cam", "can", "cap", "car", "cat", "cay", "caw",
              "lot", "a", "of"});
    EXPECT_EQ(spell.Suggest("cax").size(), 10u);
    spell.SetMaxSuggestions(3);
    EXPECT_EQ(spell.Suggest("cax").size(), 3u);
    spell.SetMaxSuggestions(0);
    EXPECT_TRUE(spell.Suggest("cax").empty());
    spell.SetMaxSuggestions(10);
    EXPECT_TRUE(contains(spell.Suggest("lotof"), "lot of"));

    // Equal costs and similarity: the more common word first, once there is
    // a frequency list beside the dictionary.
    // Z touches none of the last letters: all cost the same.
    const auto plain = spell.Suggest("caz");
    writeFile(dir / "main.frq", "0\tcay\n1\tcaw\n");
    spell.CloseDictionaries();
    openMain({"cab", "cad", "cag", "caj", "cal", "cam", "can", "cap", "car", "cat", "cay", "caw"});
    const auto ranked = spell.Suggest("caz");
    ASSERT_GE(ranked.size(), 2u);
    EXPECT_EQ(ranked[0], "cay");
    EXPECT_EQ(ranked[1], "caw");
    EXPECT_FALSE(plain.empty());
    EXPECT_NE(plain[0], "cay");
}

TEST_F(EditRankingTest, DamagedFilesEndTheSearch)
{
    // A truncated main dictionary at every length: every search ends.
    const std::string bytes = MainDictionaryBytes({"apple", "apply", "banana", "cane", "canoe"});
    const auto path = dir / "cut.dct";
    for (size_t length = 0; length <= bytes.size(); length += 7) {
        std::filesystem::remove(path);
        writeFile(path, bytes.substr(0, length));
        TQnSpell cut;
        cut.SetSuggestionRanking(TQnSpell::Ranking::ByEdits);
        cut.OpenDictionary(path.string());
        for (const char *w : {"aple", "banan", "x", "canoee"})
            EXPECT_LE(cut.Suggest(w).size(), 10u);
    }
}
