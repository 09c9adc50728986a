#include "spell/first_letters.h"
#include "spell/phonetic_key.h"
#include "spell/ranked_suggestions.h"
#include "spell/similarity.h"
#include "spell/spell_letters.h"

#include <gtest/gtest.h>

using namespace qn::spell;

namespace {

PhoneticKey key(const char (&bytes)[5])
{
    return {static_cast<uint8_t>(bytes[0]), static_cast<uint8_t>(bytes[1]),
            static_cast<uint8_t>(bytes[2]), static_cast<uint8_t>(bytes[3])};
}

} // namespace

TEST(SpellLetters, CodesFollowTheAlphabet)
{
    EXPECT_EQ(LetterCode('A'), 0);
    EXPECT_EQ(LetterCode('z'), 25);
    EXPECT_EQ(LetterCode('\''), 26);
    EXPECT_EQ(LetterCode('-'), 27);
    EXPECT_EQ(LetterCode(0x8A), 28); // S caron
    EXPECT_EQ(LetterCode(0x8C), 29); // OE
    EXPECT_EQ(LetterCode(0xFF), 30); // y diaeresis takes the code of its capital
    EXPECT_EQ(LetterCode(0xC0), 31);
    EXPECT_EQ(LetterCode(0xD6), 53);
    EXPECT_EQ(LetterCode(0xD8), 54);
    EXPECT_EQ(LetterCode(0xDF), 61);
    EXPECT_EQ(LetterCode(0xF0), 62); // eth
    EXPECT_EQ(LetterCode('`'), 63);
    EXPECT_EQ(LetterCode(0xE9), LetterCode(0xC9));
    // Digits and other characters read as A.
    EXPECT_EQ(LetterCode('7'), 0);
    EXPECT_EQ(LetterCode(0xD7), 0);
    EXPECT_EQ(LetterCode(0xF8), 0); // o slash lower case has no code of its own
    for (int code = 0; code < kAlphabetSize; ++code)
        EXPECT_EQ(LetterCode(kAlphabet[code]), code);
}

TEST(SpellLetters, UpperCasingIsTheSpellCheckersOwn)
{
    EXPECT_EQ(SpellUpperCase("abc xyz"), "ABC XYZ");
    EXPECT_EQ(SpellUpper(0xE0), 0xC0);
    EXPECT_EQ(SpellUpper(0xFE), 0xDE);
    EXPECT_EQ(SpellUpper(0xF8), 0xD8);
    EXPECT_EQ(SpellUpper(0xF0), 0xF0); // eth stays
    EXPECT_EQ(SpellUpper(0xF7), 0xF7); // division sign stays
    EXPECT_EQ(SpellUpper(0x9A), 0x8A);
    EXPECT_EQ(SpellUpper(0x9C), 0x8C);
    EXPECT_EQ(SpellUpper(0xFF), 0x9F);
    EXPECT_EQ(SpellUpper(0x9E), 0x9E); // z caron has no pair here
    EXPECT_EQ(SpellUpper(0xDF), 0xDF);
    EXPECT_TRUE(InAlphabet(0xE9));
    EXPECT_TRUE(InAlphabet(0xF0));
    EXPECT_FALSE(InAlphabet('1'));
    EXPECT_FALSE(InAlphabet(0x9E));
    EXPECT_FALSE(InAlphabet(' '));
}

TEST(PhoneticKey, ConsonantClassesEachOnceWithPadding)
{
    EXPECT_EQ(TargetKey("SPELLING"), key("S145"));
    EXPECT_EQ(TargetKey("CAT"), key("C3\0\0"));
    EXPECT_EQ(TargetKey("A"), key("A\0\0\0"));
    // Repetitions go even when they are not adjacent.
    EXPECT_EQ(TargetKey("BANANA"), key("B5\0\0"));
    EXPECT_EQ(TargetKey("TEXTS"), key("T23\0"));
    // The first character stays as it is; apostrophes have a class.
    EXPECT_EQ(TargetKey("\xC9"
                        "CLAIR"),
              key("\xC9"
                  "246"));
    EXPECT_EQ(TargetKey("CAT'S"), key("C372"));
    // Digits: classes, or letters that are then never dropped as vowels.
    EXPECT_EQ(TargetKey("R2D2"), key("R43\0"));
    EXPECT_EQ(TargetKey("X10"), key("XIO\0"));
    EXPECT_EQ(TargetKey("O0"), key("O\0\0\0"));
}

TEST(PhoneticKey, PrefixKeysBorrowMissingPlacesFromTheReference)
{
    const PhoneticKey target = TargetKey("CAT"); // C3 and padding
    EXPECT_EQ(PrefixKey("C", target), target);
    EXPECT_EQ(PrefixKey("CA", target), target);
    EXPECT_EQ(PrefixKey("CAT", target), target);
    EXPECT_NE(PrefixKey("CATS", target), target); // C32 is longer than the target's key
    EXPECT_NE(PrefixKey("CAB", target), target);
    EXPECT_EQ(PrefixKey("BOB", key("B1XY")), key("B1XY"));
    EXPECT_EQ(PrefixKey("BOD", key("B1XY")), key("B3XY"));
}

TEST(FirstLetters, AlternativesInTheirOrder)
{
    EXPECT_EQ(FirstLetterAlternatives('A'), "EDA\xC0\xC1\xC2\xC3\xC4\xC5\xC6");
    EXPECT_EQ(FirstLetterAlternatives(0xC4), FirstLetterAlternatives('A'));
    EXPECT_EQ(FirstLetterAlternatives('S'), "ACDS\x8A\x8C");
    EXPECT_EQ(FirstLetterAlternatives(0x8C), FirstLetterAlternatives('C'));
    EXPECT_EQ(FirstLetterAlternatives(0xDF), FirstLetterAlternatives('B'));
    EXPECT_EQ(FirstLetterAlternatives(0xDD), "TUY\x9F\xDD");
    EXPECT_EQ(FirstLetterAlternatives(0x8A), "\x8A"); // S caron: itself only
    EXPECT_EQ(FirstLetterAlternatives('\''), "'");
}

TEST(Similarity, WorkedExamples)
{
    EXPECT_EQ(SimilarityScore("CAT", "CAT"), 100);
    // T, then E to the right; H is beyond the shrunken bounds: 4 * 100 div 6.
    EXPECT_EQ(SimilarityScore("TEH", "THE"), 66);
    EXPECT_EQ(SimilarityScore("THE", "TEH"), 66);
    // A found first; LOT only in the part to its right: 8 * 100 div 9.
    EXPECT_EQ(SimilarityScore("A LOT", "ALOT"), 88);
    EXPECT_EQ(SimilarityScore("ALLOT", "ALOT"), 88);
    // After the first A the bounds exclude B: only one character counts.
    EXPECT_EQ(SimilarityScore("AB", "AAB"), 40);
    EXPECT_EQ(SimilarityScore("ABCD", "XABCD"), 88);
    // Single characters add nothing; apostrophes of the candidate do not count.
    EXPECT_EQ(SimilarityScore("A", "A"), 0);
    EXPECT_EQ(SimilarityScore("CAT'S", "CATS"), 100);
    EXPECT_EQ(SimilarityScore("XYZ", "ABC"), 0);
    EXPECT_EQ(SimilarityScore("", ""), 0);
}

TEST(RankedSuggestions, EqualScoresKeepTheirOrderAndTheTableIsBounded)
{
    RankedSuggestions table(3);
    table.Offer("B", 50);
    table.Offer("C", 50);
    table.Offer("A", 70);
    table.Offer("D", 50); // below a full table of equal scores: dropped
    table.Offer("E", 60); // pushes the last 50 out
    table.Offer("A", 70); // duplicates stay
    ASSERT_EQ(table.Entries().size(), 3u);
    EXPECT_EQ(table.Entries()[0].Text, "A");
    EXPECT_EQ(table.Entries()[1].Text, "A");
    EXPECT_EQ(table.Entries()[2].Text, "E");

    RankedSuggestions none(0);
    none.Offer("A", 100);
    EXPECT_TRUE(none.Entries().empty());

    RankedSuggestions wide(2);
    wide.Offer(std::string(40, 'X'), 1);
    EXPECT_EQ(wide.Entries()[0].Text.size(), RankedSuggestions::kMaxText);
}

TEST(CasePattern, FollowsTheTypedWordLetterByLetter)
{
    EXPECT_EQ(ApplyCasePattern("THE", "teh"), "the");
    EXPECT_EQ(ApplyCasePattern("THE", "Teh"), "The");
    EXPECT_EQ(ApplyCasePattern("THE", "TEH"), "THE");
    EXPECT_EQ(ApplyCasePattern("THE", "tEh"), "tHe");
    // Non-letters are skipped on both sides.
    EXPECT_EQ(ApplyCasePattern("A LOT", "Alot"), "A lot");
    EXPECT_EQ(ApplyCasePattern("CAT'S", "CaTs"), "CaT's");
    EXPECT_EQ(ApplyCasePattern("O'NEIL", "oNeil"), "o'Neil");
    // A longer candidate continues in lower case.
    EXPECT_EQ(ApplyCasePattern("SPELLING", "Speling"), "Spelling");
    // Accented capitals have their small letters.
    EXPECT_EQ(ApplyCasePattern("\xC9"
                               "CLAIR",
                               "eclair"),
              "\xE9"
              "clair");
    // A typed word without lower-case letters (digits only) keeps capitals.
    EXPECT_EQ(ApplyCasePattern("AB", "12"), "AB");
}
