#include "platform/ansi.h"
#include "platform/unicode_text.h"
#include "spell/spelling_engine.h"
#include "spell/word_marks.h"
#include "tests/spell/spell_fixtures.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <set>

using namespace qn;
using namespace qn::spell;
using namespace qn::test;

namespace {

std::vector<std::string> texts(std::string_view text, const std::vector<WordRange> &ranges)
{
    std::vector<std::string> out;
    for (const WordRange &r : ranges)
        out.emplace_back(text.substr(static_cast<size_t>(r.Start), static_cast<size_t>(r.Length)));
    return out;
}

} // namespace

TEST(WordMarks, WordsLeaveOutNumbersCodesAndEdgePunctuation)
{
    const std::string text = "We didn't -see- R2D2 or x_y at 10am; caf\xE9 well-known 'quoted' a";
    EXPECT_EQ(texts(text, FindWords(text)),
              (std::vector<std::string>{"We", "didn't", "see", "or", "at", "caf\xE9", "well-known",
                                        "quoted", "a"}));
    EXPECT_TRUE(FindWords("").empty());
    EXPECT_TRUE(FindWords("123 -- ''").empty());
}

TEST(WordMarks, TheWordAtTheCaretIsNotMarkedYet)
{
    const std::set<std::string> known = {"we", "did", "the", "parcel"};
    auto isCorrect = [&known](std::string_view w) {
        std::string lower(w);
        for (char &c : lower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return known.count(lower) > 0;
    };
    const std::string text = "We did recieve teh parcel";
    EXPECT_EQ(texts(text, MisspelledWords(text, -1, isCorrect)),
              (std::vector<std::string>{"recieve", "teh"}));
    // The caret just after "teh", or inside it: that word is still being typed.
    EXPECT_EQ(texts(text, MisspelledWords(text, 18, isCorrect)),
              (std::vector<std::string>{"recieve"}));
    EXPECT_EQ(texts(text, MisspelledWords(text, 16, isCorrect)),
              (std::vector<std::string>{"recieve"}));
    EXPECT_EQ(texts(text, MisspelledWords(text, 19, isCorrect)),
              (std::vector<std::string>{"recieve", "teh"}));
    // Single letters and words past 25 letters are never marked.
    EXPECT_TRUE(MisspelledWords("x " + std::string(26, 'q'), -1, isCorrect).empty());
}

// After any edit, marking only the changed stretch gives what marking the
// whole text gives: edits inside, between and across words, joiners and
// digits that make and break words and codes, at both ends of the text.
TEST(WordMarks, MarksAfterAnEditEqualAWholeCheck)
{
    // Words of two or more letters starting with 'b' or 'x' are wrong.
    auto isCorrect = [](std::string_view w) { return w[0] != 'b' && w[0] != 'x'; };
    const std::string alphabet = "abxy   -'1_.\xE9";
    unsigned seed = 12345;
    auto next = [&seed](unsigned n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    auto piece = [&](unsigned most) {
        std::string text;
        for (unsigned n = next(most + 1); n > 0; --n)
            text += alphabet[next(static_cast<unsigned>(alphabet.size()))];
        return text;
    };
    std::string text = piece(40);
    std::vector<WordRange> marks = MisspelledWords(text, -1, isCorrect);
    for (int round = 0; round < 20000; ++round) {
        const size_t at = next(static_cast<unsigned>(text.size() + 1));
        const size_t removed = std::min<size_t>(next(4), text.size() - at);
        std::string edited = text;
        edited.replace(at, removed, piece(3));
        if (edited.size() > 80)
            edited.resize(40);
        const auto updated = UpdateMisspelledWords(text, marks, edited, isCorrect);
        const auto whole = MisspelledWords(edited, -1, isCorrect);
        ASSERT_EQ(updated, whole) << "\"" << text << "\" -> \"" << edited << "\"";
        text = edited;
        marks = updated;
    }
}

// Unicode text: Windows-1252 characters make the same words as the bytes
// did; letters and marks of other scripts make words, their digits codes; a
// word with a letter no Windows-1252 dictionary holds is never marked.
TEST(WordMarks, WordsOfEveryScriptAndTheDictionarysAlphabet)
{
    unsigned seed = 99;
    auto next = [&seed](unsigned n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    for (int round = 0; round < 2000; ++round) {
        std::string bytes;
        for (unsigned n = next(30); n > 0; --n)
            bytes += static_cast<char>(1 + next(255));
        ASSERT_EQ(FindWords(unicode::FromAnsi(bytes)), FindWords(bytes)) << bytes;
    }

    const std::u32string text = U"Łódź e\u0301té 日本 ١٢٣x Ωmega naïve x١ 😀 Москва";
    std::vector<std::u32string> found;
    for (const WordRange &r : FindWords(text))
        found.push_back(text.substr(size_t(r.Start), size_t(r.Length)));
    EXPECT_EQ(found, (std::vector<std::u32string>{U"Łódź", U"e\u0301té", U"日本", U"Ωmega",
                                                  U"naïve", U"Москва"}));

    const std::set<std::string> known = {"we", "wrote"};
    auto isCorrect = [&known](std::u32string_view w) {
        return IsCorrectInAlphabet(
            w, [&known](std::string_view a) { return known.count(AnsiLowerCase(a)) > 0; });
    };
    const std::u32string line = U"We wrote Łódź and Москва, teh caf\u00e9";
    std::vector<std::u32string> wrong;
    for (const WordRange &r : MisspelledWords(line, -1, isCorrect))
        wrong.push_back(line.substr(size_t(r.Start), size_t(r.Length)));
    EXPECT_EQ(wrong, (std::vector<std::u32string>{U"and", U"teh", U"caf\u00e9"}));

    // Marking after an edit agrees with a whole check in Unicode text too.
    const std::u32string before = U"teh Łódź cat";
    const std::u32string after = U"teh Łódźx cat and";
    EXPECT_EQ(
        UpdateMisspelledWords(before, MisspelledWords(before, -1, isCorrect), after, isCorrect),
        MisspelledWords(after, -1, isCorrect));
}

TEST(SpellingEngine, OwnDictionaryKeepsTheUsersWords)
{
    TempDir dir;
    const auto main = WriteMainDictionary(dir / "main.dct", {"we", "did", "receive", "the"});
    const auto user = dir / "quillnku.dct";
    {
        auto engine = MakeOwnDictionaryEngine(main.string(), user.string());
        EXPECT_TRUE(engine->IsCorrect("Receive"));
        EXPECT_FALSE(engine->IsCorrect("recieve"));
        EXPECT_EQ(engine->Suggest("recieve", 8).at(0), "receive");
        EXPECT_FALSE(engine->IsCorrect("Quillnook"));
        EXPECT_TRUE(engine->AddWord("Quillnook"));
        EXPECT_TRUE(engine->IsCorrect("quillnook"));
    }
    auto again = MakeOwnDictionaryEngine(main.string(), user.string());
    EXPECT_TRUE(again->IsCorrect("Quillnook"));
    // Without its main dictionary every word would be unknown: no engine.
    EXPECT_FALSE(MakeOwnDictionaryEngine((dir / "missing.dct").string(), user.string()));
    EXPECT_FALSE(MakeOwnDictionaryEngine("", user.string()));
}

TEST(SpellingEngine, HunspellDictionariesAndTheirOwnUserWords)
{
    const auto installed = InstalledDictionaries();
    const auto german =
        std::find_if(installed.begin(), installed.end(),
                     [](const InstalledDictionary &d) { return d.Code == "de_DE"; });
    if (german == installed.end())
        GTEST_SKIP() << "no German Hunspell dictionary (package hunspell-de-de)";
    TempDir dir;
    const auto words = dir / "de_DE.words";
    {
        auto engine = MakeHunspellEngine(german->Base, words.string());
        ASSERT_TRUE(engine);
        EXPECT_TRUE(engine->IsCorrect("Haus"));
        EXPECT_TRUE(engine->IsCorrect("Stra\xDF"
                                      "e"));
        EXPECT_FALSE(engine->IsCorrect("the"));
        const auto suggestions = engine->Suggest("Hauss", 8);
        EXPECT_LE(suggestions.size(), 8u);
        EXPECT_NE(std::find(suggestions.begin(), suggestions.end(), "Haus"), suggestions.end());
        EXPECT_TRUE(engine->AddWord("Quillnook"));
        EXPECT_TRUE(engine->IsCorrect("Quillnook"));
        EXPECT_FALSE(engine->AddWord("two\nlines"));
    }
    EXPECT_EQ(readFile(words), "Quillnook\n");
    // The list is the user's file: lines that are no words are skipped.
    writeFile(words, "Quillnook\r\n\xFF\xFE\n\nFoobarbaz\n");
    auto again = MakeHunspellEngine(german->Base, words.string());
    EXPECT_TRUE(again->IsCorrect("Quillnook"));
    EXPECT_TRUE(again->IsCorrect("Foobarbaz"));

    EXPECT_FALSE(MakeHunspellEngine((dir / "none").string(), words.string()));

    // Lines the engine cannot use (here a word in letters the entries cannot
    // hold) stay in the file when a word is added.
    writeFile(words, "Quillnook\n\xD0\x9C\xD0\xB8\xD1\x80\n");
    EXPECT_TRUE(MakeHunspellEngine(german->Base, words.string())->AddWord("Flurbo"));
    EXPECT_EQ(readFile(words), "Flurbo\nQuillnook\n\xD0\x9C\xD0\xB8\xD1\x80\n");

    // A list that cannot be read is never written over (its words would be lost).
    const std::string huge(5 << 20, 'x');
    writeFile(words, huge);
    auto refused = MakeHunspellEngine(german->Base, words.string());
    EXPECT_FALSE(refused->AddWord("Flurbo"));
    EXPECT_EQ(readFile(words).size(), huge.size());
}

TEST(SpellingEngine, InstalledDictionariesNeedBothFilesAndPlainNames)
{
    TempDir dir;
    writeFile(dir / "de_DE.aff", "");
    writeFile(dir / "de_DE.dic", "");
    writeFile(dir / "fr_FR.dic", "");
    writeFile(dir / "bad name.aff", "");
    writeFile(dir / "bad name.dic", "");
    const auto found = InstalledDictionaries(dir.path().string());
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].Code, "de_DE");
    EXPECT_EQ(found[0].Base, (dir / "de_DE").string());
    EXPECT_TRUE(InstalledDictionaries((dir / "missing").string()).empty());

    EXPECT_TRUE(IsPlainLanguageCode("en_US"));
    EXPECT_TRUE(IsPlainLanguageCode("sr-Latn"));
    EXPECT_FALSE(IsPlainLanguageCode("../x"));
    EXPECT_FALSE(IsPlainLanguageCode(""));
    EXPECT_FALSE(IsPlainLanguageCode(std::string(33, 'a')));
}
