// Bytes of RTF from other writers in the code pages they name: a font's
// \fcharset, the document's \ansicpg, double-byte pages whose two bytes come
// as escapes or plain characters. The reader and the one-pass text reader
// must give the same characters; our own files read as they always did.

#include <gtest/gtest.h>

#include "io_test_util.h"
#include "richtext/io/rtf_plain_text.h"

namespace qn::test {
namespace {

struct Case {
    const char *rtf;
    std::u32string text;
};

std::u32string onePassText(const std::string &rtf)
{
    std::u32string text;
    EXPECT_EQ(AppendRtfPlainText(rtf, false, text), PlainTextResult::Done) << rtf;
    while (!text.empty() && text.back() == U'\0')
        text.pop_back();
    return text;
}

void expectBothReaders(const Case &c)
{
    TQnRTFText doc;
    ASSERT_EQ(readRtf(doc, c.rtf), 0) << c.rtf;
    EXPECT_EQ(doc.ParagraphText(0), c.text) << c.rtf;
    EXPECT_EQ(onePassText(c.rtf), c.text) << c.rtf;
}

TEST(RtfCodePages, SingleBytePagesOfFontsAndDocument)
{
    const Case cases[] = {
        // Central European font: 1250.
        {"{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss\\fcharset238 Arial;}}\\f0 \\'a3\\'f3d\\'9f}",
         U"\u0141\u00F3d\u017A"},
        // Cyrillic font beside a Western one; a group gives the font back.
        {"{\\rtf1\\ansi{\\fonttbl{\\f0\\froman\\fcharset0 Times;}{\\f1\\fswiss\\fcharset204 "
         "Arial;}}\\f0 {\\f1 \\'c0\\'e1}\\'c0}",
         U"\u0410\u0431\u00C0"},
        // The default font's page applies before any \f, and after \plain.
        {"{\\rtf1\\ansi\\deff1{\\fonttbl{\\f0\\fcharset0 Times;}{\\f1\\fcharset161 Arial;}}\\'e1"
         "\\f0\\'e1\\plain\\'e1}",
         U"\u03B1\u00E1\u03B1"},
        // No font says: the document's code page.
        {"{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8 \\'e2\\'e5\\'f2}",
         U"\u041F\u0440\u0438 \u0432\u0435\u0442"},
        // Plain bytes above 127 are bytes of the page too.
        {"{\\rtf1\\ansi\\ansicpg1253 \xe1\xe2}", U"\u03B1\u03B2"},
        // Character words keep their own character whatever the page.
        {"{\\rtf1\\ansi\\ansicpg1251 \\emdash\\lquote\\~}", U"\u2014\u2018\u00A0"},
        // A symbol font's bytes stay as they were, under any document page.
        {"{\\rtf1\\ansi\\ansicpg1251{\\fonttbl{\\f0\\ftech\\fcharset2 Symbol;}}\\f0 \\'61\\'e1}",
         U"a\u00E1"},
        // The classic \charset word only records the font's set: files we
        // wrote before read exactly as they did.
        {"{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss\\charset238 Arial;}}\\f0 \\'a3\\'e9\\'80}",
         U"\u00A3\u00E9\u20AC"},
        // A page we cannot decode leaves the document's.
        {"{\\rtf1\\ansi\\ansicpg77777 \\'e9}", U"\u00E9"},
        // So does a page whose text is not bytes.
        {"{\\rtf1\\ansi\\ansicpg1200 ab\\'e9}", U"ab\u00E9"},
        {"{\\rtf1\\ansi\\ansicpg50220 ab\\'e9}", U"ab\u00E9"},
    };
    for (const Case &c : cases)
        expectBothReaders(c);
}

TEST(RtfCodePages, DoubleBytePagesJoinLeadAndTrail)
{
    const Case cases[] = {
        // 932: a pair split over two escapes.
        {"{\\rtf1\\ansi\\ansicpg932 \\'82\\'a0\\'82\\'a2}", U"\u3042\u3044"},
        // The trail as a plain character, and as an escaped brace.
        {"{\\rtf1\\ansi\\ansicpg932 \\'83A\\'93\\'fa\\'96\\'7b}", U"\u30A2\u65E5\u672C"},
        // A Japanese font in a Western document.
        {"{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0\\fcharset0 Arial;}{\\f1\\fnil\\fcharset128 "
         "MS Mincho;}}\\f0 a\\f1 \\'93\\'fa\\f0 b}",
         U"a\u65E5b"},
        // Chinese (936), Korean (949), Traditional Chinese (950).
        {"{\\rtf1\\ansi\\ansicpg936 \\'c4\\'e3\\'ba\\'c3}", U"\u4F60\u597D"},
        {"{\\rtf1\\ansi\\ansicpg949 \\'c7\\'d1}", U"\uD55C"},
        {"{\\rtf1\\ansi\\ansicpg950 \\'a4\\'a4}", U"\u4E2D"},
        // \uN with \uc2 skips both bytes of its fallback.
        {"{\\rtf1\\ansi\\ansicpg932\\uc2 \\u12354\\'82\\'a0x}", U"\u3042x"},
        // \upr gives its Unicode part; its code page part is dropped.
        {"{\\rtf1\\ansi\\ansicpg932 {\\upr{\\'82\\'a0}{\\*\\ud{\\u12354?}}}z}", U"\u3042z"},
        // A lead byte whose trail never comes is one replacement character,
        // and the text after it is not lost.
        {"{\\rtf1\\ansi\\ansicpg932 {\\'82}ok}", U"\uFFFDok"},
    };
    for (const Case &c : cases)
        expectBothReaders(c);
}

TEST(RtfCodePages, OurFilesWithRecordedCharsetsReadAsBefore)
{
    // An entry whose font came from a Central European document keeps its
    // character set; its Windows-1252 text must still read back the same.
    TQnRTFText doc;
    doc.Header->FontCharset[0] = 238;
    const TCharAttr a = makeAttr();
    const std::u32string text = U"\u00A3 caf\u00E9 \u20AC \u0141\u00F3d\u017A \u03B1";
    doc.SetParagraphText(0, text, &a);
    const std::string rtf = writeRtf(doc);
    EXPECT_EQ(rtf.find("\\fcharset"), std::string::npos) << rtf;
    TQnRTFText back;
    ASSERT_EQ(readRtf(back, rtf), 0);
    EXPECT_EQ(back.ParagraphText(0), text) << rtf;
    EXPECT_EQ(onePassText(rtf), text) << rtf;
}

} // namespace
} // namespace qn::test
