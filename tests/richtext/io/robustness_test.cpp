// Damaged and hostile input: nothing may crash, hang or grow without bound,
// and whatever was read must be a sound document that can be stored.

#include <gtest/gtest.h>

#include <random>

#include "tests/richtext/io/io_test_util.h"
#include "tests/support/temp_dir.h"
#include "tests/support/text32.h"

using namespace qn;
using namespace qn::test;

namespace {

// The records of a document hang together.
void checkSound(const TQnRTFText &doc)
{
    int paragraphs = 0;
    for (TParagraph *p = doc.FirstParagraph; p; p = p->Next, ++paragraphs) {
        ASSERT_NE(p->Lines, nullptr);
        ASSERT_TRUE(!p->Next || p->Next->Prev == p);
        for (TLine *l = p->Lines; l; l = l->Next) {
            ASSERT_LT(l->Length, l->Capacity);
            ASSERT_EQ(l->Text[l->Length], 0);
            for (int i = 0; i < l->Length; ++i)
                ASSERT_LT(l->Attrs[i].FontIndex, kFontSlots);
        }
    }
    ASSERT_EQ(paragraphs, doc.ParagraphCount());
}

// Reads rtf into a new document; what was read must be sound, must store,
// and its stored form must read back soundly.
void readSoundly(const std::string &rtf, int *result = nullptr)
{
    TQnRTFText doc;
    const int r = readRtf(doc, rtf);
    if (result)
        *result = r;
    checkSound(doc);
    TQnMemoryStream out;
    TQnRTFWriter writer(doc);
    ASSERT_EQ(writer.Write(out), 0);
    TQnRTFText again;
    ASSERT_EQ(readRtf(again, out.Bytes()), 0);
    checkSound(again);
    ASSERT_EQ(again.ParagraphCount() > 0, true);
}

std::vector<std::string> seeds()
{
    std::vector<std::string> out;
    const auto dir = sourceDir() / "tests/richtext/io/fixtures";
    for (const char *name : {"pandoc.rtf", "libreoffice.rtf", "libreoffice-formatting.rtf"})
        out.push_back(readFile(dir / name));
    // The writer's own output, with a table, borders, tabs, pictures.
    out.push_back(
        "{\\rtf1\\ansi{\\fonttbl{\\f0\\fnil\\charset0 Arial;}}{\\colortbl\\red0\\green0\\blue0;}"
        "{\\title T}{{\\box\\brdrs\\brdrw20\\brsp113\\brdrcf3 {\\tx720\\tqr\\tx2880 \\qc \\li720"
        "\\fi-360\\ri0 \\plain\\f0\\fs20\\cf0 a\\{b\\}\\tab c\\par\n\r}}{\\pard\\trowd\\trgaph57"
        "\\trleft0\\clbrdrt\\brdrs\\cellx4223\\cellx8480\\intbl\\tqc\\tx300 \\sb40\\sl\\sa40 "
        "\\plain\\f0\\fs20\\cf0 A\\cell\n\r\\intbl \\plain B\\cell\\row\n\r}\\plain\\f0\\fs20 "
        "{\\pict\\wmetafile8\\picw10\\pich20\\picwgoal150\\pichgoal300\r\n01ab}"
        "{\\pict\\dibitmap0 28000000010000000100000001001800000000000400000000000000000000000000"
        "000000000000ff000000}\\qnobjtag7\\qnobjw100\\qnobjh200 \\'01\\qnrtf1 {\\b x}\\qnrtf0"
        "{\\cs16\\super *{\\*\\footnote \\qnfnnr3 \\pard\\plain {\\cs16\\super\t*} Note.}}"
        "caf\\u233?\\bin3 abc}\r\n}");
    return out;
}

} // namespace

TEST(Robustness, MutatedRealFilesReadSoundly)
{
    std::mt19937 rng(7);
    const std::string pieces[] = {"{",
                                  "}",
                                  "\\",
                                  "\\bin",
                                  "\\bin99999999",
                                  "\\'",
                                  "\\'zz",
                                  "\\u",
                                  "\\u-5",
                                  "\\uc9",
                                  "\\*",
                                  "\\pict",
                                  "\\picfile \"",
                                  "\\qnrtf1 ",
                                  "\\trowd",
                                  "\\cellx-5",
                                  "\\cell",
                                  "\\row",
                                  "\\intbl",
                                  "\\par",
                                  "\\footnote",
                                  "\\fonttbl",
                                  "\\colortbl",
                                  ";",
                                  "\\f98",
                                  "\\f99",
                                  "\\fs-3",
                                  "\\cf255",
                                  "\\li-99999999999999999999",
                                  "\\tx1",
                                  "\\trgaph99999",
                                  "\\brdrw-1",
                                  "\\pard",
                                  std::string(1, '\0'),
                                  "\\wmetafile8",
                                  "\\dibitmap0",
                                  "\\wbitmap0",
                                  "\x01"};
    int runs = 0;
    for (const std::string &seed : seeds()) {
        for (int round = 0; round < 250; ++round, ++runs) {
            std::string s = seed;
            const int edits = 1 + static_cast<int>(rng() % 8);
            for (int e = 0; e < edits && !s.empty(); ++e) {
                const size_t at = rng() % s.size();
                switch (rng() % 5) {
                case 0: // flip a byte
                    s[at] = static_cast<char>(rng());
                    break;
                case 1: // insert a piece
                    s.insert(at, pieces[rng() % std::size(pieces)]);
                    break;
                case 2: // cut
                    s.erase(at, rng() % 64);
                    break;
                case 3: // repeat a stretch
                    s.insert(at, s.substr(at, rng() % 200));
                    break;
                case 4: // truncate
                    s.resize(at);
                    break;
                }
            }
            SCOPED_TRACE(runs);
            readSoundly(s);
            if (HasFatalFailure())
                return;
        }
    }
}

TEST(Robustness, DeepNestingKeepsTheTextAndDropsTheFormatting)
{
    const int depth = TQnRtfReader::kMaxGroupDepth + 100;
    const std::string open(depth, '{'), close(depth, '}');
    std::string rtf = "{\\rtf1 a";
    // Beyond the bound: text and paragraph ends stay, a destination is
    // skipped to the end of its group, formatting words change nothing.
    rtf += open + "\\b kept{\\*\\unknown gone{deeper}}{\\footnote gone}\\par more\\u233?" + close +
           "b";
    rtf += std::string(200000, '{') + "tail"; // never closed
    TQnRTFText doc;
    EXPECT_EQ(readRtf(doc, rtf), 0);
    ASSERT_EQ(doc.ParagraphCount(), 2);
    EXPECT_EQ(Ansi(doc.ParagraphText(0)), "akept");
    EXPECT_EQ(Ansi(doc.ParagraphText(1)), "more\xe9"
                                          "btail");
    for (int i = 0; i < 5; ++i)
        EXPECT_FALSE(attrAt(doc, 0, i).Style & kStyleBold) << i;
    EXPECT_TRUE(doc.Footnotes.empty());

    // Just below the bound the groups keep their own formatting.
    const int inside = TQnRtfReader::kMaxGroupDepth - 2;
    TQnRTFText ok;
    EXPECT_EQ(readRtf(ok, "{\\rtf1 a" + std::string(inside, '{') + "\\b kept" +
                              std::string(inside, '}') + "b}"),
              0);
    EXPECT_EQ(Ansi(ok.ParagraphText(0)), "akeptb");
    EXPECT_TRUE(attrAt(ok, 0, 1).Style & kStyleBold);
    EXPECT_FALSE(attrAt(ok, 0, 5).Style & kStyleBold);
}

TEST(Robustness, BinaryHexBracesAndNulAtTheEdges)
{
    int result = -1;
    // \bin longer than what follows.
    TQnRTFText bin;
    EXPECT_EQ(readRtf(bin, "{\\rtf1 a{\\*\\x\\bin1000000000 {}}}b"), 0);
    EXPECT_EQ(Ansi(bin.ParagraphText(0)), "a");
    // Binary data in a skipped group may hold braces.
    TQnRTFText skipped;
    EXPECT_EQ(readRtf(skipped, "{\\rtf1 a{\\*\\x\\bin2 }{}b}"), 0);
    EXPECT_EQ(Ansi(skipped.ParagraphText(0)), "ab");
    // Long picture data stays one picture.
    TQnRTFText hex;
    std::string pict = "{\\rtf1{\\pict\\wmetafile8\\picw1\\pich1 ";
    for (int i = 0; i < 300000; ++i)
        pict += "0a1B";
    EXPECT_EQ(readRtf(hex, pict), 0); // never closed
    // Unbalanced braces.
    readSoundly("}}}{\\rtf1 x", &result);
    EXPECT_EQ(result, 0);
    readSoundly("{\\rtf1 x}}}}", &result);
    readSoundly(std::string("{\\rtf1 x\0y}", 11), &result);
    readSoundly("", &result);
    readSoundly("{", &result);
    readSoundly("\\", &result);
    EXPECT_EQ(result, kReadFailed);
    readSoundly("{\\rtf1 " + std::string(100000, 'x') + "}", &result);
    readSoundly("{\\rtf1 \\" + std::string(100000, 'x') + " y}", &result);
    readSoundly("{\\rtf1 \\li" + std::string(100000, '9') + " y}", &result);
    readSoundly("{\\rtf1 " + std::string(100000, '\x01') + "}", &result);
}
