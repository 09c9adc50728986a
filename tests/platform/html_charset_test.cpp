#include "platform/html_charset.h"

#include "platform/code_pages.h"

#include <gtest/gtest.h>

using namespace qn;

TEST(HtmlCharset, LabelsAsBrowsersReadThem)
{
    EXPECT_EQ(CodePageOfEncodingLabel("utf-8"), kCodePageUtf8);
    EXPECT_EQ(CodePageOfEncodingLabel("  UTF8\t"), kCodePageUtf8);
    EXPECT_EQ(CodePageOfEncodingLabel("ISO-8859-1"), 1252);
    EXPECT_EQ(CodePageOfEncodingLabel("latin1"), 1252);
    EXPECT_EQ(CodePageOfEncodingLabel("us-ascii"), 1252);
    EXPECT_EQ(CodePageOfEncodingLabel("iso-8859-9"), 1254);
    EXPECT_EQ(CodePageOfEncodingLabel("iso-8859-2"), 28592);
    EXPECT_EQ(CodePageOfEncodingLabel("windows-1250"), 1250);
    EXPECT_EQ(CodePageOfEncodingLabel("koi8-r"), 20866);
    EXPECT_EQ(CodePageOfEncodingLabel("Shift_JIS"), 932);
    EXPECT_EQ(CodePageOfEncodingLabel("gb2312"), 936);
    EXPECT_EQ(CodePageOfEncodingLabel("euc-kr"), 949);
    EXPECT_EQ(CodePageOfEncodingLabel("big5"), 950);
    EXPECT_FALSE(CodePageOfEncodingLabel("klingon").has_value());
    EXPECT_FALSE(CodePageOfEncodingLabel("").has_value());
    // Every label leads to a code page the decoders can read.
    for (const char *label : {"euc-jp", "iso-2022-jp", "gb18030", "x-mac-cyrillic", "ibm866",
                              "iso-8859-8-i", "iso-8859-15", "koi8-u", "windows-874", "utf-16be"})
        EXPECT_TRUE(IsSupportedCodePage(CodePageOfEncodingLabel(label).value_or(0))) << label;
}

TEST(HtmlCharset, PrescanFindsTheDeclaration)
{
    struct Case {
        const char *name;
        std::string bytes;
        std::optional<int> codePage;
    };
    const std::vector<Case> cases = {
        {"none", "<html><body>hi</body></html>", std::nullopt},
        {"meta charset", "<html><head><meta charset=\"windows-1250\">", 1250},
        {"unquoted, upper case", "<HTML><META CHARSET=KOI8-R>", 20866},
        {"single quotes, slash", "<meta charset='iso-8859-7'/>", 28597},
        {"http-equiv",
         "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">", 932},
        {"content before http-equiv",
         "<meta content='text/html;charset=gbk' http-equiv=content-type>", 936},
        {"content without http-equiv", "<meta content=\"text/html; charset=koi8-r\">",
         std::nullopt},
        {"inside a comment", "<!-- <meta charset=koi8-r> --><meta charset=windows-1251>", 1251},
        {"inside an attribute", "<p title='<meta charset=koi8-r>'><meta charset=big5>", 950},
        {"unknown label skipped", "<meta charset=klingon><meta charset=euc-kr>", 949},
        {"first one wins", "<meta charset=windows-1253><meta charset=utf-8>", 1253},
        {"UTF-16 in a meta is UTF-8", "<meta charset=utf-16>", kCodePageUtf8},
        {"x-user-defined", "<meta charset=x-user-defined>", 1252},
        {"no blank after meta", "<metacharset=koi8-r>", std::nullopt},
        {"unclosed comment", "<!-- <meta charset=koi8-r>", std::nullopt},
        {"beyond 1024 bytes", std::string(1100, ' ') + "<meta charset=koi8-r>", std::nullopt},
        {"cut at 1024 bytes", std::string(1010, ' ') + "<meta charset=\"koi8-r\">", std::nullopt},
        {"byte order mark wins", "\xFF\xFE<\0m\0", kCodePageUtf16LE},
        {"UTF-8 mark", "\xEF\xBB\xBF<meta charset=koi8-r>", kCodePageUtf8},
    };
    for (const Case &c : cases)
        EXPECT_EQ(HtmlCodePageOf(c.bytes), c.codePage) << c.name;
}

TEST(HtmlCharset, DecodesByDeclarationOrByTheBytes)
{
    EXPECT_EQ(DecodeHtmlBytes("<meta charset=windows-1250>\xA3\xF3\x64\x9F"),
              U"<meta charset=windows-1250>Łódź");
    EXPECT_EQ(DecodeHtmlBytes("<meta charset=windows-1251>\xC0"), U"<meta charset=windows-1251>А");
    EXPECT_EQ(DecodeHtmlBytes("\xEF\xBB\xBF<p>\xCE\xB1"), U"<p>α");
    EXPECT_EQ(DecodeHtmlBytes(std::string("\xFE\xFF\0<\0p\0>\x03\xB1", 10)), U"<p>α");
    // Nothing declared: UTF-8, or the western page when the bytes are no UTF-8.
    EXPECT_EQ(DecodeHtmlBytes("<p>\xC5\x81\xC3\xB3\x64\xC5\xBA"), U"<p>Łódź");
    EXPECT_EQ(DecodeHtmlBytes("<p>caf\xE9 \x93hi\x94"), U"<p>café “hi”");
    // Declared UTF-8 stays UTF-8 even when broken.
    EXPECT_EQ(DecodeHtmlBytes("<meta charset=utf-8>caf\xE9"), U"<meta charset=utf-8>caf\uFFFD");
}

TEST(HtmlCharset, NamedReferences)
{
    EXPECT_EQ(HtmlNamedReference("amp;"), U"&");
    EXPECT_EQ(HtmlNamedReference("amp"), U"&");
    EXPECT_EQ(HtmlNamedReference("hellip;"), U"…");
    EXPECT_EQ(HtmlNamedReference("hellip"), U"…");
    EXPECT_EQ(HtmlNamedReference("alpha;"), U"α");
    EXPECT_EQ(HtmlNamedReference("Alpha;"), U"Α");
    EXPECT_EQ(HtmlNamedReference("Lstrok;"), U"Ł");
    EXPECT_EQ(HtmlNamedReference("euro;"), U"€");
    EXPECT_EQ(HtmlNamedReference("nbsp"), U"\u00A0");
    EXPECT_EQ(HtmlNamedReference("fjlig;"), U"fj");
    EXPECT_EQ(HtmlNamedReference("NotEqualTilde;"), U"\u2242\u0338");
    EXPECT_EQ(HtmlNamedReference("Afr;"), U"\U0001D504");
    EXPECT_EQ(HtmlNamedReference("CounterClockwiseContourIntegral;"), U"∳");
    EXPECT_FALSE(HtmlNamedReference("AMP;x").has_value());
    EXPECT_FALSE(HtmlNamedReference("Hellip;").has_value());
    EXPECT_FALSE(HtmlNamedReference("").has_value());
    EXPECT_FALSE(HtmlNamedReference(";").has_value());

    size_t length = 0;
    EXPECT_EQ(HtmlLongestNamedReference("notit;", &length), U"¬");
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(HtmlLongestNamedReference("notin; x", &length), U"∉");
    EXPECT_EQ(length, 6u);
    EXPECT_EQ(HtmlLongestNamedReference("copy2019", &length), U"©");
    EXPECT_EQ(length, 4u);
    EXPECT_FALSE(HtmlLongestNamedReference("hellip more", &length).has_value());
    EXPECT_FALSE(HtmlLongestNamedReference("", &length).has_value());
}

TEST(HtmlCharset, NumericReferences)
{
    EXPECT_EQ(HtmlNumericReference(65), U'A');
    EXPECT_EQ(HtmlNumericReference(147), U'“');
    EXPECT_EQ(HtmlNumericReference(0x80), U'€');
    EXPECT_EQ(HtmlNumericReference(0x81), char32_t(0x81)); // no western character there
    EXPECT_EQ(HtmlNumericReference(0xA0), char32_t(0xA0));
    EXPECT_EQ(HtmlNumericReference(945), U'α');
    EXPECT_EQ(HtmlNumericReference(0x1F600), char32_t(0x1F600));
    EXPECT_EQ(HtmlNumericReference(0), char32_t(0xFFFD));
    EXPECT_EQ(HtmlNumericReference(0xD800), char32_t(0xFFFD));
    EXPECT_EQ(HtmlNumericReference(0xDFFF), char32_t(0xFFFD));
    EXPECT_EQ(HtmlNumericReference(0x110000), char32_t(0xFFFD));
    EXPECT_EQ(HtmlNumericReference(0xFFFFFFFF), char32_t(0xFFFD));
}
