// Text of every script through our RTF: what the writer makes of characters
// the code page lacks, and what the reader and the one-pass text reader make
// of \u, \uc and \upr from other writers.

#include <gtest/gtest.h>

#include "io_test_util.h"
#include "richtext/io/rtf_plain_text.h"
#include "unicode_samples.h"

namespace qn::test {
namespace {

std::u32string onePassText(const std::string &rtf)
{
    std::u32string text;
    EXPECT_EQ(AppendRtfPlainText(rtf, false, text), PlainTextResult::Done);
    while (!text.empty() && text.back() == U'\0')
        text.pop_back();
    return text;
}

TEST(UnicodeRtf, EveryScriptRoundTripsThroughTheWriterAndBothReaders)
{
    for (const std::u32string &sample : kSamples) {
        TQnRTFText doc;
        const TCharAttr a = makeAttr();
        doc.SetParagraphText(0, sample, &a);
        const std::string rtf = writeRtf(doc);
        // The file stays seven-bit: every character beyond the code page is
        // a \u word.
        for (unsigned char c : rtf)
            ASSERT_LT(c, 0x80) << rtf;
        TQnRTFText back;
        ASSERT_EQ(readRtf(back, rtf), 0);
        EXPECT_EQ(back.ParagraphText(0), sample) << rtf;
        EXPECT_EQ(onePassText(rtf), sample) << rtf;
    }
}

TEST(UnicodeRtf, WriterUsesSigned16BitNumbersAndSurrogatePairs)
{
    TQnRTFText doc;
    const TCharAttr a = makeAttr();
    doc.SetParagraphText(0, U"\u03B1\uFB01\U0001F600\u00E9", &a);
    const std::string body = bodyOf(writeRtf(doc));
    // α is 945; U+FB01 is 64257, written as 64257 - 65536; the emoji is the
    // pair D83D DE00; é keeps its code page form.
    EXPECT_NE(body.find("\\u945\\'3f\\u-1279\\'3f\\u-10179\\'3f\\u-8704\\'3f\\'e9"),
              std::string::npos)
        << body;
    // No \uc: the default of one fallback character is what is written.
    EXPECT_EQ(body.find("\\uc"), std::string::npos);
}

TEST(UnicodeRtf, FallbackCharactersAreSkippedAsUcSaysWithinTheirGroup)
{
    struct Case {
        const char *rtf;
        std::u32string text;
    } cases[] = {
        // \uc1 by default: the '?' goes.
        {"{\\rtf1 a\\u945?b}", U"a\u03B1b"},
        // \uc2: two fallback characters, a hex byte counting as one.
        {"{\\rtf1\\uc2 a\\u945\\'e1xb}", U"a\u03B1b"},
        // \uc0: nothing to skip.
        {"{\\rtf1\\uc0 a\\u945 b}", U"a\u03B1b"},
        // The count belongs to its group: outside it \uc1 again.
        {"{\\rtf1 {\\uc3 \\u945 abc}\\u946 xy}", U"\u03B1\u03B2y"},
        // Negative numbers count from 65536; a surrogate pair is one character.
        {"{\\rtf1 \\u-1279?\\u-10179?\\u-8704?.}", U"\uFB01\U0001F600."},
        // Half a pair is nothing, its fallback still skipped.
        {"{\\rtf1 a\\u-8704?b}", U"ab"},
        // \upr keeps the Unicode text of its \ud part.
        {"{\\rtf1 x{\\upr{caf\\'e9 ?}{\\*\\ud{caf\\u233? \\u8364?}}}y}", U"xcaf\u00E9 \u20ACy"},
        // A \ud without its \upr is skipped as before.
        {"{\\rtf1 x{\\*\\ud{gone}}y}", U"xy"},
        // Nor inside a destination kept apart from the text.
        {"{\\rtf1 x{\\comment{\\*\\ud Secret}}y}", U"xy"},
        // Outside the text a \u gives its code page character: here the ';'
        // that ends a font's entry, so the next \fcharset is not font 1's.
        {"{\\rtf1{\\fonttbl{\\f1\\fcharset0 A\\u59?\\fcharset204 B;}}\\f1 \\'c0}", U"\u00C0"},
    };
    for (const Case &c : cases) {
        TQnRTFText doc;
        ASSERT_EQ(readRtf(doc, c.rtf), 0) << c.rtf;
        EXPECT_EQ(doc.ParagraphText(0), c.text) << c.rtf;
        EXPECT_EQ(onePassText(c.rtf), c.text) << c.rtf;
    }
}

TEST(UnicodeRtf, CodePageTextIsWrittenAsBefore)
{
    // Every code of the code page from blank up, in one paragraph: the
    // writer's output is what it was when the model held bytes.
    std::string ansi;
    for (int c = 32; c < 256; ++c)
        ansi.push_back(static_cast<char>(c));
    TQnRTFText doc;
    const TCharAttr a = makeAttr();
    doc.SetParagraphText(0, U32(ansi), &a);
    std::string expected = "\\cf0 ";
    for (int c = 32; c < 256; ++c) {
        if (c == '\\' || c == '{' || c == '}') {
            expected += '\\';
            expected += static_cast<char>(c);
        } else if (c < 127) {
            expected += static_cast<char>(c);
        } else {
            static const char hex[] = "0123456789abcdef";
            expected += "\\'";
            expected += hex[c >> 4];
            expected += hex[c & 15];
        }
    }
    const std::string body = bodyOf(writeRtf(doc));
    EXPECT_NE(body.find(expected), std::string::npos) << body;
    EXPECT_EQ(body.find("\\u"), std::string::npos);
}

} // namespace
} // namespace qn::test
