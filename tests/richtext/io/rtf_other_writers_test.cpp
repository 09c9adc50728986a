// RTF as current word processors write it: control words with capital
// letters, a backslash before each line end as the paragraph end, literal
// tabs and \u list bullets under \uc0. The fixtures are described in
// fixtures/README.md.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/richtext/io/io_test_util.h"
#include "tests/support/temp_dir.h"
#include "tests/support/text32.h"

using namespace qn;
using namespace qn::test;

namespace {

std::vector<std::string> paragraphs(const TQnRTFText &doc)
{
    std::vector<std::string> texts;
    for (int i = 0; i < doc.ParagraphCount(); ++i)
        texts.push_back(Ansi(doc.ParagraphText(i)));
    return texts;
}

std::vector<std::string> readParagraphs(const std::string &rtf)
{
    TQnRTFText doc;
    EXPECT_EQ(readRtf(doc, rtf), 0);
    return paragraphs(doc);
}

std::string fixture(const std::string &name)
{
    const std::string rtf = readFile(sourceDir() / "tests/richtext/io/fixtures" / name);
    EXPECT_FALSE(rtf.empty()) << name;
    return rtf;
}

using Texts = std::vector<std::string>;

} // namespace

TEST(RtfOtherWriters, ControlWordsWithCapitalLettersAreUnknownWords)
{
    // The whole name is one word: nothing of it becomes text.
    EXPECT_EQ(readParagraphs("{\\rtf1{\\mmathPr\\mmathFont34\\mbrkBin0\\mbrkBinSub0\\msmallFrac0"
                             "\\mdispDef1\\mlMargin0\\mrMargin0\\mdefJc1\\mwrapIndent1440\\mintLim0"
                             "\\mnaryLim1}Text}"),
              Texts{"Text"});
    // Lookup stays case-sensitive: \Par and \B are unknown, not \par and \b.
    TQnRTFText doc;
    ASSERT_EQ(readRtf(doc, "{\\rtf1 a\\Par b\\B c\\b d}"), 0);
    EXPECT_EQ(paragraphs(doc), Texts{"abcd"});
    EXPECT_FALSE(attrAt(doc, 0, 2).Style & kStyleBold);
    EXPECT_TRUE(attrAt(doc, 0, 3).Style & kStyleBold);
    // A starred group of such a word is skipped; its parameter and the
    // delimiting blank are the word's.
    EXPECT_EQ(readParagraphs("{\\rtf1 x{\\*\\mUnknownWord12 hidden}y\\mwrapIndent-1440 z}"),
              Texts{"xyz"});
}

TEST(RtfOtherWriters, BackslashBeforeALineEndIsAParagraphEnd)
{
    // LF, CR and CR LF each end one paragraph.
    EXPECT_EQ(readParagraphs("{\\rtf1 One\\\r\nTwo\\\rThree\\\n\\\r\n\\\rFour}"),
              (Texts{"One", "Two", "Three", "", "", "Four"}));
    // A CR LF pair split by the end of the input buffer is still one end; a
    // CR followed by text there keeps the text.
    for (const char *tail : {"\\\r\nX}", "\\\rX}"}) {
        std::string rtf = "{\\rtf1 ";
        rtf += std::string(1023 - rtf.size() - 1, 'a'); // the CR is the buffer's last byte
        rtf += tail;
        ASSERT_EQ(rtf[1023], '\r');
        const Texts texts = readParagraphs(rtf);
        ASSERT_EQ(texts.size(), 2u) << tail;
        EXPECT_EQ(texts[1], "X");
    }
    // Inside a skipped group it is nothing; in a table cell a line break.
    EXPECT_EQ(readParagraphs("{\\rtf1 A{\\*\\unknownword x\\\ny}B}"), Texts{"AB"});
    TQnRTFText cell;
    ASSERT_EQ(readRtf(cell, "{\\rtf1\\trowd\\cellx2000\\intbl A\\\nB\\cell\\row\\pard C}"), 0);
    EXPECT_EQ(Ansi(cell.ParagraphText(0)), "A\nB");
    EXPECT_TRUE(cell.FirstParagraph->IsTableCell());
    // Line ends without a backslash stay nothing, a literal tab in the text
    // is a tab, and a tab in the font table is no part of a name.
    TQnRTFText tabs;
    ASSERT_EQ(readRtf(tabs, "{\\rtf1{\\fonttbl{\\f0\\fswiss\tArial;}}\\f0 Na\r\nme\tValue}"), 0);
    EXPECT_EQ(paragraphs(tabs), Texts{"Name\tValue"});
    EXPECT_EQ(tabs.Header->FontNames[attrAt(tabs, 0, 0).FontIndex], "Arial");
}

TEST(RtfOtherWriters, HeadingDocumentWithTheMathPropertiesGroup)
{
    TQnRTFText doc;
    ASSERT_EQ(readRtf(doc, fixture("heading-math.rtf")), 0);
    EXPECT_EQ(paragraphs(doc),
              (Texts{"A Week by the Sea",
                     "We left early on Monday and reached the coast before noon. The caf\xe9 by "
                     "the harbour was already open.",
                     "On Tuesday it rained, so we read in the old library and walked home at "
                     "dusk \x96 tired but happy.",
                     "Going Home", "The train was late, but nobody minded.", ""}));
    EXPECT_EQ(attrAt(doc, 0, 0).Size, 16);
    EXPECT_EQ(attrAt(doc, 1, 0).Size, 11);
    const size_t bold = Ansi(doc.ParagraphText(2)).find("old library");
    EXPECT_TRUE(attrAt(doc, 2, static_cast<int>(bold)).Style & kStyleBold);
    EXPECT_FALSE(attrAt(doc, 2, static_cast<int>(bold) - 1).Style & kStyleBold);
    EXPECT_EQ(doc.Header->PageWidth, 12240);
    EXPECT_EQ(doc.Header->MarginLeft, 1440);
}

TEST(RtfOtherWriters, BulletedListWithBackslashLineEnds)
{
    TQnRTFText doc;
    ASSERT_EQ(readRtf(doc, fixture("list-backslash-ends.rtf")), 0);
    EXPECT_EQ(paragraphs(doc), (Texts{"Shopping for Saturday", "\t\x95\tBread and butter",
                                      "\t\x95\tFresh eggs from the market", "\t\x95\tGreen tea", "",
                                      "Price\t3 euros", "That is all for today."}));
    EXPECT_TRUE(attrAt(doc, 0, 0).Style & kStyleBold);
    EXPECT_FALSE(attrAt(doc, 1, 3).Style & kStyleBold);
    EXPECT_EQ(doc.ParagraphAt(1)->LeftIndent, 720);
}

TEST(RtfOtherWriters, UnicodeListBulletsUnderUc0)
{
    TQnRTFText doc;
    ASSERT_EQ(readRtf(doc, fixture("list-unicode-bullets.rtf")), 0);
    // U+2043 (hyphen bullet) has no Windows-1252 form and \uc0 gives no
    // fallback: it is kept as it is.
    EXPECT_EQ(doc.ParagraphText(3), U"\t\u2043\ttwo jumpers");
    EXPECT_EQ(paragraphs(doc),
              (Texts{"Packing \x96 the short list", "\t\x95\tPassport and tickets",
                     "\t\x95\tWarm clothes for the evenings", "\t?\ttwo jumpers",
                     "\t?\tone rain coat", "\t\x95\tA book for the caf\xe9", "",
                     "We leave at \x84six\x93 sharp and return on Sunday\x85", ""}));
    // \uc0 inside the list text groups leaves the text after them whole.
    EXPECT_EQ(doc.ParagraphAt(3)->LeftIndent, 1440);
}
