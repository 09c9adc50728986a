// Web pages of every script: the encoding a page declares (or none), every
// character reference as browsers read it, and our pages read back whole.

#include <gtest/gtest.h>

#include "html_test_util.h"
#include "io_test_util.h"
#include "unicode_samples.h"

namespace qn::test {
namespace {

std::u32string htmlText(const std::string &html)
{
    TQnRTFText doc;
    readHtml(doc, html);
    return doc.ParagraphText(0);
}

TEST(HtmlUnicode, TheDeclaredEncodingOrUtf8OrWindows1252)
{
    // <meta charset>, and the older http-equiv form.
    EXPECT_EQ(htmlText("<html><head><meta charset=\"windows-1251\"></head><body><p>\xcf\xf0\xe8"
                       "\xe2\xe5\xf2</p></body></html>"),
              U"\u041F\u0440\u0438\u0432\u0435\u0442");
    EXPECT_EQ(htmlText("<meta http-equiv=\"Content-Type\" content=\"text/html; "
                       "charset=iso-8859-2\"><p>\xa3\xf3\x64\xbc"),
              U"\u0141\u00F3d\u017A");
    // A UTF-8 page that declares nothing, with a mark and without.
    EXPECT_EQ(htmlText("<p>\xc5\x81\xc3\xb3\x64\xc5\xba \xe6\x97\xa5\xe6\x9c\xac "
                       "\xf0\x9f\x91\x8d\xf0\x9f\x8f\xbd"),
              U"\u0141\u00F3d\u017A \u65E5\u672C \U0001F44D\U0001F3FD");
    EXPECT_EQ(htmlText("\xef\xbb\xbf<p>\xce\xb1\xce\xb8"), U"\u03B1\u03B8");
    // Bytes that are not UTF-8 and no declaration: an old Windows page.
    EXPECT_EQ(htmlText("<p>caf\xe9 \x80 5"), U"caf\u00E9 \u20AC 5");
    // Shift-JIS declared.
    EXPECT_EQ(htmlText("<meta charset=shift_jis><p>\x82\xa0\x93\xfa"), U"\u3042\u65E5");
}

TEST(HtmlUnicode, ReferencesAsBrowsersReadThem)
{
    // Numbers in 128..159 are Windows-1252 codes; hexadecimal numbers;
    // numbers beyond Unicode are U+FFFD.
    EXPECT_EQ(htmlText("&#147;q&#148; &#8364;&#x1F600; &#x110000;"),
              U"\u201Cq\u201D \u20AC\U0001F600 \uFFFD");
    // Every name of the table, one that gives two characters, and the
    // longest name that starts the text.
    EXPECT_EQ(htmlText("&Ccaron;&alpha;&hellip;&NotNestedLessLess;"),
              U"\u010C\u03B1\u2026\u2AA1\u0338");
    EXPECT_EQ(htmlText("&notit; &copy2019 &amp"), U"\u00ACit; \u00A92019 &");
    // Unknown names stay text.
    EXPECT_EQ(htmlText("&nosuchname; & x"), U"&nosuchname; & x");
    // In an attribute a legacy name before '=' stays text (an address).
    TQnRTFText doc;
    readHtml(doc, "<a href=\"http://x.org/?a=1&copy=2&amp;b=&eacute;\">t</a>");
    EXPECT_EQ(doc.ParagraphText(0), U"thttp://x.org/?a=1&copy=2&b=\u00E9");
}

TEST(HtmlUnicode, EveryScriptRoundTripsThroughBothWriterForms)
{
    for (const std::u32string &sample : kSamples) {
        TQnRTFText doc;
        const TCharAttr a = makeAttr();
        doc.SetParagraphText(0, sample, &a);
        // The classic form (clipboard): seven-bit, references for the rest.
        const std::string classic = writeHtml(doc);
        for (unsigned char c : classic)
            ASSERT_LT(c, 0x80) << classic;
        EXPECT_EQ(htmlText(classic), sample) << classic;
        // A page for browsers (export): UTF-8 declared, characters as they are.
        TQnMemoryStream out;
        TQnHTMLWriter writer(doc);
        writer.CompletePage = true;
        writer.Utf8Text = true;
        writer.Write(out);
        const std::string page = out.Bytes();
        EXPECT_NE(page.find("<meta charset=\"utf-8\">"), std::string::npos);
        EXPECT_EQ(htmlText(page), sample) << page;
    }
}

TEST(HtmlUnicode, LinkAddressesKeepEveryCharacter)
{
    const std::string page = "<p><a href=\"https://pl.wikipedia.org/wiki/\xc5\x81\xc3\xb3"
                             "d\xc5\xba\">\xc5\x81\xc3\xb3"
                             "d"
                             "\xc5\xba</a> caf\xc3\xa9</p>";
    TQnRTFText doc;
    readHtml(doc, page);
    const std::u32string text = doc.ParagraphText(0);
    ASSERT_EQ(text,
              U"\u0141\u00F3d\u017Ahttps://pl.wikipedia.org/wiki/\u0141\u00F3d\u017A caf\u00E9");
    // Both writer forms give the address back as it was.
    TQnRTFText classic;
    readHtml(classic, writeHtml(doc));
    EXPECT_EQ(classic.ParagraphText(0), text);
    TQnMemoryStream out;
    TQnHTMLWriter writer(doc);
    writer.CompletePage = true;
    writer.Utf8Text = true;
    writer.Write(out);
    EXPECT_NE(out.Bytes().find("HREF=\"https://pl.wikipedia.org/wiki/\xc5\x81\xc3\xb3"
                               "d\xc5\xba\""),
              std::string::npos)
        << out.Bytes();
    TQnRTFText page2;
    readHtml(page2, out.Bytes());
    EXPECT_EQ(page2.ParagraphText(0), text);
}

} // namespace
} // namespace qn::test
