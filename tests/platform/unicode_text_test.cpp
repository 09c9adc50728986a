#include "platform/unicode_text.h"

#include "platform/ansi.h"

#include <gtest/gtest.h>

#include <vector>

using namespace qn;
using namespace qn::unicode;

namespace {

std::u32string folded(std::u32string_view text)
{
    std::u32string out;
    for (char32_t c : text)
        out += FoldCase(c);
    return out;
}

std::vector<size_t> boundaries(std::u32string_view text)
{
    std::vector<size_t> out;
    for (size_t pos = 0; pos <= text.size(); ++pos)
        if (IsGraphemeBoundary(text, pos))
            out.push_back(pos);
    return out;
}

std::vector<size_t> forwardWalk(std::u32string_view text)
{
    std::vector<size_t> out{0};
    for (size_t pos = 0; pos < text.size();)
        out.push_back(pos = NextGraphemeBoundary(text, pos));
    return out;
}

std::vector<size_t> backwardWalk(std::u32string_view text)
{
    std::vector<size_t> out{text.size()};
    for (size_t pos = text.size(); pos > 0;)
        out.insert(out.begin(), pos = PreviousGraphemeBoundary(text, pos));
    return out;
}

} // namespace

TEST(UnicodeText, CodePageCharactersKeepTheirOldRules)
{
    for (int b = 0; b < 256; ++b) {
        const auto code = static_cast<unsigned char>(b);
        const char32_t c = AnsiToUnicode(code);
        EXPECT_EQ(IsWordChar(c), IsCharAlphaNumeric(code)) << b;
        EXPECT_EQ(IsLetter(c), IsCharAlpha(code)) << b;
        EXPECT_EQ(ToLower(c), AnsiToUnicode(AnsiLowerChar(code))) << b;
        EXPECT_EQ(ToUpper(c), AnsiToUnicode(AnsiUpperChar(code))) << b;
        // The finders compare the lower case partners.
        EXPECT_EQ(FoldCase(c), AnsiToUnicode(AnsiLowerChar(code))) << b;
    }
}

TEST(UnicodeText, OtherCharactersFollowUnicodeClassesAndCase)
{
    EXPECT_TRUE(IsWordChar(U'Ł'));
    EXPECT_TRUE(IsWordChar(U'日'));
    EXPECT_TRUE(IsWordChar(0x0301));  // combining acute
    EXPECT_TRUE(IsWordChar(0x0663));  // Arabic-Indic three
    EXPECT_FALSE(IsWordChar(0x2160)); // Roman numeral one: a number, not a digit
    EXPECT_FALSE(IsWordChar(U'—'));   // in the code page: punctuation
    EXPECT_FALSE(IsWordChar(0x3002)); // ideographic full stop
    EXPECT_FALSE(IsWordChar(0x1F600));
    EXPECT_FALSE(IsWordChar(0x110000));
    EXPECT_TRUE(IsLetter(U'Ω'));
    EXPECT_FALSE(IsLetter(0x0301));
    EXPECT_FALSE(IsLetter(0x0663));

    EXPECT_EQ(ToLower(U'Ł'), U'ł');
    EXPECT_EQ(ToUpper(U'ź'), U'Ź');
    EXPECT_EQ(ToUpper(U'ж'), U'Ж');
    EXPECT_EQ(ToLower(0x10400), char32_t(0x10428)); // Deseret, outside the basic plane
    // The code page keeps µ and ß without partners, as it always did.
    EXPECT_EQ(ToUpper(U'µ'), U'µ');
    EXPECT_EQ(ToUpper(U'ß'), U'ß');
}

TEST(UnicodeText, CaseFoldingMatchesAcrossScripts)
{
    EXPECT_EQ(folded(U"ΑΘΉΝΑ"), folded(U"αθήνα"));
    EXPECT_EQ(folded(U"ŁÓDŹ"), folded(U"łódź"));
    EXPECT_EQ(folded(U"МОСКВА"), folded(U"москва"));
    EXPECT_EQ(FoldCase(U'ς'), FoldCase(U'σ'));
    EXPECT_EQ(FoldCase(U'Σ'), FoldCase(U'ς'));
    EXPECT_EQ(FoldCase(0x10400), FoldCase(0x10428));
    EXPECT_NE(FoldCase(U'a'), FoldCase(U'α'));
    EXPECT_NE(folded(U"łódź"), folded(U"lodz"));

    // A character outside the code page that folds like one inside meets
    // the code page's fold: Greek capital mu and the micro sign, the Kelvin
    // sign and k, the angstrom sign and å.
    EXPECT_EQ(FoldCase(U'Μ'), FoldCase(U'µ'));
    EXPECT_EQ(FoldCase(U'μ'), FoldCase(U'µ'));
    EXPECT_EQ(FoldCase(0x212A), U'k');
    EXPECT_EQ(FoldCase(0x212B), U'å');
}

TEST(UnicodeText, FoldTableAgreesWithTheRule)
{
    // Equal folds must be an equivalence that keeps lower case partners
    // together in the whole basic plane. Simple folding leaves the dotted
    // capital I alone (its lower case partner is Turkish).
    std::vector<char32_t> apart;
    for (char32_t c = 0; c < 0x10000; ++c) {
        const char32_t f = FoldCase(c);
        ASSERT_EQ(FoldCase(f), f) << std::hex << uint32_t(c);
        if (FoldCase(ToLower(c)) != f)
            apart.push_back(c);
    }
    EXPECT_EQ(apart, std::vector<char32_t>{0x0130});
}

TEST(UnicodeText, GraphemeClustersStayWhole)
{
    struct Case {
        const char *name;
        std::u32string text;
        std::vector<size_t> expected;
    };
    const std::vector<Case> cases = {
        {"plain", U"abc", {0, 1, 2, 3}},
        {"e with combining acute", U"ae\u0301b", {0, 1, 3, 4}},
        {"two marks", U"x\u0323\u0302y", {0, 3, 4}},
        {"thumbs up with skin tone", U"a\U0001F44D\U0001F3FDb", {0, 1, 3, 4}},
        {"family joined by ZWJ", U"\U0001F468\u200D\U0001F469\u200D\U0001F467x", {0, 5, 6}},
        {"two flags", U"\U0001F1F5\U0001F1F1\U0001F1EF\U0001F1F5", {0, 2, 4}},
        {"three regional indicators", U"\U0001F1F5\U0001F1F1\U0001F1EF", {0, 2, 3}},
        {"Hangul jamo", U"\u1100\u1161\u11A8\u1100", {0, 3, 4}},
        {"Hangul syllables", U"한국", {0, 1, 2}},
        {"CR LF", U"a\r\nb", {0, 1, 3, 4}},
        {"LF CR", U"a\n\rb", {0, 1, 2, 3, 4}},
        {"mark after CR", U"\r\u0301", {0, 1, 2}},
        {"copyright sign joined", U"\u00A9\u200D\U0001F600", {0, 3}},
        {"lone surrogate value", std::u32string{U'a', char32_t(0xD800), U'\u0301'}, {0, 1, 3}},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(boundaries(c.text), c.expected) << c.name;
        EXPECT_EQ(forwardWalk(c.text), c.expected) << c.name;
        EXPECT_EQ(backwardWalk(c.text), c.expected) << c.name;
    }
}

TEST(UnicodeText, GraphemeCallsOnPositionsInsideAndBeyondTheText)
{
    const std::u32string text = U"e\u0301\u0302z";
    EXPECT_EQ(NextGraphemeBoundary(text, 1), 3u); // from inside a cluster
    EXPECT_EQ(PreviousGraphemeBoundary(text, 2), 0u);
    EXPECT_EQ(NextGraphemeBoundary(text, 4), 4u);
    EXPECT_EQ(NextGraphemeBoundary(text, 99), 4u);
    EXPECT_EQ(PreviousGraphemeBoundary(text, 99), 3u);
    EXPECT_EQ(PreviousGraphemeBoundary(text, 0), 0u);
    EXPECT_TRUE(IsGraphemeBoundary(text, 99));
    EXPECT_TRUE(IsGraphemeBoundary(U"", 0));
    EXPECT_EQ(NextGraphemeBoundary(U"", 0), 0u);

    // A long run of flags: the pairing is counted from the run's start.
    std::u32string flags(1000, char32_t(0x1F1E6));
    EXPECT_TRUE(IsGraphemeBoundary(flags, 500));
    EXPECT_FALSE(IsGraphemeBoundary(flags, 501));
    EXPECT_EQ(PreviousGraphemeBoundary(flags, 999), 998u);

    // Thousands of marks on one letter: every call returns a position on the
    // right side, and a walk over the text ends.
    std::u32string marks = U"a" + std::u32string(20000, char32_t(0x0301)) + U"b";
    size_t steps = 0;
    for (size_t pos = 0; pos < marks.size(); pos = NextGraphemeBoundary(marks, pos))
        ++steps;
    EXPECT_LT(steps, 100u);
    EXPECT_GT(NextGraphemeBoundary(marks, 10000), 10000u);
    EXPECT_LT(PreviousGraphemeBoundary(marks, 10000), 10000u);
    EXPECT_EQ(PreviousGraphemeBoundary(marks, marks.size()), marks.size() - 1);
}

TEST(UnicodeText, Utf8RoundTripsAndIllFormedInput)
{
    const std::u32string text = U"Łódź € 日本 😀 e\u0301 \U0010FFFF";
    bool good = false;
    EXPECT_EQ(FromUtf8(ToUtf8(text), &good), text);
    EXPECT_TRUE(good);

    struct Case {
        std::string bytes;
        std::u32string expected;
    };
    const std::vector<Case> cases = {
        {"a\x80z", U"a\uFFFDz"},                           // lone trail byte
        {"\xC3", U"\uFFFD"},                               // truncated at the end
        {"\xE6\x97z", U"\uFFFDz"},                         // one maximal part
        {"\xC0\xAF", U"\uFFFD\uFFFD"},                     // overlong: never a start
        {"\xED\xA0\x80", U"\uFFFD\uFFFD\uFFFD"},           // encoded surrogate
        {"\xF4\x90\x80\x80", U"\uFFFD\uFFFD\uFFFD\uFFFD"}, // above U+10FFFF
        {"\xF0\x9F\x98", U"\uFFFD"},                       // truncated emoji
        {"\xF0\x9F\x98"
         "a",
         U"\uFFFDa"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(FromUtf8(c.bytes, &good), c.expected) << c.bytes;
        EXPECT_FALSE(good) << c.bytes;
    }
    // A replacement character that was in the text is no error.
    EXPECT_EQ(FromUtf8("\xEF\xBF\xBD", &good), U"\uFFFD");
    EXPECT_TRUE(good);

    // Values that are no characters are written as U+FFFD, never as bytes
    // that other readers would refuse.
    const std::u32string bad{U'a', char32_t(0xDC00), char32_t(0x110000)};
    EXPECT_EQ(ToUtf8(bad), "a\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(UnicodeText, Utf16RoundTripsAndIllFormedInput)
{
    const std::u32string text = U"αθήνα 👍🏽 \U00010000";
    const std::u16string units = ToUtf16(text);
    EXPECT_EQ(units.size(), text.size() + 3); // three characters outside the basic plane
    bool good = false;
    EXPECT_EQ(FromUtf16(units, &good), text);
    EXPECT_TRUE(good);

    const std::u16string broken{u'a', char16_t(0xD83D), u'b', char16_t(0xDE00), char16_t(0xD83D)};
    EXPECT_EQ(FromUtf16(broken, &good), U"a\uFFFDb\uFFFD\uFFFD");
    EXPECT_FALSE(good);
    EXPECT_EQ(ToUtf16(std::u32string{char32_t(0xD800)}), u"\uFFFD");
}

TEST(UnicodeText, CodePageConversions)
{
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    const std::u32string text = FromAnsi(all);
    ASSERT_EQ(text.size(), 256u);
    EXPECT_EQ(text[0x80], U'€');
    EXPECT_EQ(text[0x81], char32_t(0x81));
    EXPECT_EQ(ToAnsi(text), all);
    EXPECT_FALSE(ToAnsi(U"café Ł").has_value());
    EXPECT_FALSE(ToAnsi(std::u32string{char32_t(0x80)}).has_value()); // C1 control of €'s byte
}
