#include "platform/code_pages.h"

#include "platform/ansi.h"

#include <gtest/gtest.h>

using namespace qn;

TEST(CodePages, CharsetsNameTheirCodePages)
{
    EXPECT_EQ(CodePageOfCharset(0), 1252);
    EXPECT_EQ(CodePageOfCharset(238), 1250);
    EXPECT_EQ(CodePageOfCharset(204), 1251);
    EXPECT_EQ(CodePageOfCharset(161), 1253);
    EXPECT_EQ(CodePageOfCharset(128), 932);
    EXPECT_EQ(CodePageOfCharset(134), 936);
    EXPECT_EQ(CodePageOfCharset(222), 874);
    EXPECT_EQ(CodePageOfCharset(255), 437);
    EXPECT_EQ(CodePageOfCharset(77), 10000);
    EXPECT_FALSE(CodePageOfCharset(1).has_value());
    EXPECT_FALSE(CodePageOfCharset(2).has_value());
    EXPECT_FALSE(CodePageOfCharset(-5).has_value());

    for (int cp : {874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258, 932, 936, 949, 950,
                   437, 850, 10000, kCodePageUtf8})
        EXPECT_TRUE(IsSupportedCodePage(cp)) << cp;
    EXPECT_FALSE(IsSupportedCodePage(0));
    EXPECT_FALSE(IsSupportedCodePage(12345));
}

TEST(CodePages, WesternPageIsTheOldTable)
{
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    const std::u32string text = DecodeCodePage(1252, all);
    ASSERT_EQ(text.size(), 256u);
    for (int b = 0; b < 256; ++b)
        EXPECT_EQ(text[b], AnsiToUnicode(static_cast<unsigned char>(b))) << b;
    // An unknown code page reads as the western page, never as nothing.
    EXPECT_EQ(DecodeCodePage(12345, all), text);
}

TEST(CodePages, SingleBytePages)
{
    EXPECT_EQ(DecodeCodePage(1250, "\xA3\xF3\x64\x9F \x8C\xB9"), U"Łódź Śą");
    EXPECT_EQ(DecodeCodePage(1251, "\xC0\xE1\xFF"), U"Абя");
    EXPECT_EQ(DecodeCodePage(1253, "\xC1\xE8\xDE"), U"Αθή");
    EXPECT_EQ(DecodeCodePage(874, "\xA1"), U"ก");
    EXPECT_EQ(DecodeCodePage(437, "\x82\xB3"), U"é│");

    // Every byte gives exactly one character: an unmapped one gives U+FFFD.
    for (int cp : {874, 1250, 1251, 1253, 1255, 1256, 1257, 1258, 437}) {
        CodePageDecoder decoder(cp);
        for (int b = 0; b < 256; ++b)
            EXPECT_EQ(decoder.Feed(static_cast<unsigned char>(b)).size(), 1u) << cp << " " << b;
        EXPECT_EQ(decoder.Flush(), U"");
    }
    EXPECT_EQ(DecodeCodePage(1253, "\xD2"), U"\uFFFD"); // a hole in the Greek page
    // Holes in the 0x80..0x9F rows keep their byte as a C1 control, as the
    // western page does.
    EXPECT_EQ(DecodeCodePage(1250, "\x81"), U"\u0081");
}

TEST(CodePages, DoubleBytePagesTakeTheirBytesOneByOne)
{
    CodePageDecoder japanese(932);
    EXPECT_EQ(japanese.Feed(0x82), U"");
    EXPECT_EQ(japanese.Feed(0xA0), U"あ");
    EXPECT_EQ(japanese.Feed('a'), U"a");
    EXPECT_EQ(japanese.Feed(0x81), U"");
    EXPECT_EQ(japanese.Feed(0x40), U"\u3000");
    EXPECT_EQ(japanese.Feed(0xB1), U"ｱ");
    // A lead byte whose trail is no trail: U+FFFD, and the byte that followed
    // is kept.
    EXPECT_EQ(japanese.Feed(0x82), U"");
    EXPECT_EQ(japanese.Feed(' '), U"\uFFFD ");
    // A lead byte left at the end.
    EXPECT_EQ(japanese.Feed(0x93), U"");
    EXPECT_EQ(japanese.Flush(), U"\uFFFD");
    EXPECT_EQ(japanese.Feed("\x93\xFA\x96\x7B"), U"日本"); // decodes again after Flush

    EXPECT_EQ(DecodeCodePage(936, "\xD6\xD0\xCE\xC4"), U"中文");
    EXPECT_EQ(DecodeCodePage(949, "\xC7\xD1\xB1\xB9"), U"한국");
    EXPECT_EQ(DecodeCodePage(950, "\xA4\xA4\xA4\xE5"), U"中文");
    // A lead byte waits for its trail; other bytes stand alone.
    for (const auto &[cp, lead] : {std::pair{936, 0x81}, {949, 0xC7}, {950, 0xA4}}) {
        CodePageDecoder decoder(cp);
        EXPECT_EQ(decoder.Feed(static_cast<unsigned char>(lead)), U"") << cp;
        EXPECT_EQ(decoder.Flush(), U"\uFFFD") << cp;
        EXPECT_EQ(decoder.Feed('A'), U"A") << cp;
    }

    // Every pair of bytes decodes to something, and nothing is lost: a
    // rejected pair gives at least one character.
    for (int cp : {932, 936, 949, 950}) {
        for (int lead = 0x80; lead < 0x100; ++lead) {
            for (int trail = 0; trail < 0x100; ++trail) {
                const char bytes[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                const std::u32string text = DecodeCodePage(cp, std::string_view(bytes, 2));
                ASSERT_GE(text.size(), 1u) << cp << " " << lead << " " << trail;
                ASSERT_LE(text.size(), 2u) << cp << " " << lead << " " << trail;
            }
        }
    }
}

TEST(CodePages, UnicodePagesDecodeAcrossFeeds)
{
    CodePageDecoder utf8(kCodePageUtf8);
    EXPECT_EQ(utf8.Feed(0xC5), U"");
    EXPECT_EQ(utf8.Feed(0x81), U"Ł");
    EXPECT_EQ(utf8.Feed(0xE2), U"");
    EXPECT_EQ(utf8.Flush(), U"\uFFFD");
    EXPECT_EQ(DecodeCodePage(kCodePageUtf16LE, std::string("\x3D\xD8\x00\xDE", 4)), U"😀");
}

TEST(CodePages, DecodersMove)
{
    CodePageDecoder first(932);
    EXPECT_EQ(first.Feed(0x82), U"");
    CodePageDecoder second = std::move(first);
    EXPECT_EQ(second.CodePage(), 932);
    EXPECT_EQ(second.Feed(0xA0), U"あ");
}
