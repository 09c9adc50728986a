#include "platform/ansi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

using namespace qn;

TEST(Ansi, EveryCodeSurvivesUtf8AndUtf16RoundTrips)
{
    std::string all;
    for (int c = 0; c < 256; ++c)
        all += static_cast<char>(c);
    auto back8 = Utf8ToAnsi(AnsiToUtf8(all));
    ASSERT_TRUE(back8.has_value());
    EXPECT_EQ(*back8, all);
    auto back16 = Utf16ToAnsi(AnsiToUtf16(all));
    ASSERT_TRUE(back16.has_value());
    EXPECT_EQ(*back16, all);

    // No two codes share a character, or the round trip above could not hold
    // for texts built differently.
    std::set<char32_t> seen;
    for (int c = 0; c < 256; ++c)
        EXPECT_TRUE(seen.insert(AnsiToUnicode(static_cast<unsigned char>(c))).second) << c;
}

TEST(Ansi, HighCodesMapToTheirTypographicCharacters)
{
    EXPECT_EQ(AnsiToUnicode(0x80), U'€');
    EXPECT_EQ(AnsiToUnicode(0x85), U'…');
    EXPECT_EQ(AnsiToUnicode(0x93), U'“');
    EXPECT_EQ(AnsiToUnicode(0x9F), U'Ÿ');
    EXPECT_EQ(AnsiToUnicode(0xE9), U'é');
    EXPECT_EQ(AnsiToUtf8("caf\xE9 \x80"), "café €");
    for (unsigned char undefined : {0x81, 0x8D, 0x8F, 0x90, 0x9D})
        EXPECT_EQ(AnsiToUnicode(undefined), static_cast<char32_t>(undefined));
}

TEST(Ansi, CharactersOutsideTheCodePageAreRefused)
{
    EXPECT_FALSE(UnicodeToAnsi(U'Ω').has_value());
    EXPECT_FALSE(Utf8ToAnsi("snow ☃").has_value());
    EXPECT_FALSE(Utf8ToAnsi("emoji \xF0\x9F\x98\x80").has_value());
    EXPECT_FALSE(Utf16ToAnsi(u"\xD83D\xDE00").has_value());
    // Malformed UTF-8: a lone continuation byte, an overlong slash, a cut sequence.
    EXPECT_FALSE(Utf8ToAnsi("\x80").has_value());
    EXPECT_FALSE(Utf8ToAnsi("\xC0\xAF").has_value());
    EXPECT_FALSE(Utf8ToAnsi("caf\xC3").has_value());
    EXPECT_EQ(Utf8ToAnsi("Stra\xC3\x9F"
                         "e")
                  .value(),
              "Stra\xDF"
              "e");
}

TEST(Ansi, CaseMappingPairsTheCodePageLetters)
{
    EXPECT_EQ(AnsiUpperCase("abc xyz \xE0\xE9\xFE"), "ABC XYZ \xC0\xC9\xDE");
    EXPECT_EQ(AnsiLowerCase("ABC \xC0\xC9\xDE"), "abc \xE0\xE9\xFE");
    EXPECT_EQ(AnsiUpperChar(0x9A), 0x8A); // š Š
    EXPECT_EQ(AnsiUpperChar(0x9C), 0x8C); // œ Œ
    EXPECT_EQ(AnsiUpperChar(0x9E), 0x8E); // ž Ž
    EXPECT_EQ(AnsiUpperChar(0xFF), 0x9F); // ÿ Ÿ
    EXPECT_EQ(AnsiLowerChar(0x9F), 0xFF);
    // No partner: ß, ÷, ×, µ.
    for (unsigned char c : {0xDF, 0xF7, 0xD7, 0xB5}) {
        EXPECT_EQ(AnsiUpperChar(c), c);
        EXPECT_EQ(AnsiLowerChar(c), c);
    }
    // Every pair maps back.
    for (int c = 0; c < 256; ++c) {
        auto code = static_cast<unsigned char>(c);
        unsigned char upper = AnsiUpperChar(code);
        if (upper != code) {
            EXPECT_EQ(AnsiLowerChar(upper), code) << c;
        }
    }
    std::string buffer = "Gr\xFC\xDF"
                         "e";
    CharUpperBuff(buffer);
    EXPECT_EQ(buffer, "GR\xDC\xDF"
                      "E");
    EXPECT_TRUE(AnsiSameText("\xE9t\xE9", "\xC9T\xC9"));
    EXPECT_FALSE(AnsiSameText("a", "ab"));
}

TEST(Ansi, LettersAndDigitsOfTheCodePage)
{
    std::string expected = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                           "\x83\x8A\x8C\x8E\x9A\x9C\x9E\x9F\xAA\xB2\xB3\xB5\xB9\xBA";
    for (int c = 0xC0; c <= 0xFF; ++c)
        if (c != 0xD7 && c != 0xF7)
            expected += static_cast<char>(c);
    std::string actual;
    for (int c = 0; c < 256; ++c)
        if (IsCharAlphaNumeric(static_cast<unsigned char>(c)))
            actual += static_cast<char>(c);
    std::sort(expected.begin(), expected.end(), [](char a, char b) {
        return static_cast<unsigned char>(a) < static_cast<unsigned char>(b);
    });
    EXPECT_EQ(actual, expected);
    EXPECT_FALSE(IsCharAlpha('5'));
    EXPECT_FALSE(IsCharAlpha(0xB2));
    EXPECT_TRUE(IsCharAlpha(0xDF));
}
