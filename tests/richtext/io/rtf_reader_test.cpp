#include <gtest/gtest.h>

#include "richtext/io/rtf_control_words.h"
#include "richtext/io/text_reader.h"
#include "tests/richtext/io/io_test_util.h"
#include "tests/support/temp_dir.h"
#include "tests/support/text32.h"

using namespace qn;
using namespace qn::test;

namespace {
const std::string kHead = "{\\rtf1{\\fonttbl{\\f0\\fnil\\charset0 Arial;}}\\plain\\f0\\fs20 ";
std::string doc1(const std::string &body)
{
    return kHead + body + "}";
}
} // namespace

TEST(RtfReader, ControlWordTableHasItsWordsInOrder)
{
    int count = 0;
    const rtf::ControlWord *table = rtf::ClassicTable(count);
    EXPECT_EQ(count, 145);
    EXPECT_EQ(table[0].Name, "plain");
    EXPECT_EQ(table[count - 1].Name, "\\");
    // The second \pict row is never reached: lookup finds the first.
    auto firstIndex = [&](std::string_view name) {
        for (int i = 0; i < count; ++i)
            if (table[i].Name == name)
                return i;
        return -1;
    };
    EXPECT_EQ(rtf::FindControlWord("pict"), &table[firstIndex("pict")]);
    EXPECT_EQ(rtf::FindControlWord("tab"), &table[firstIndex("tab")]);
    EXPECT_LT(firstIndex("pict"), firstIndex("printim"));
    EXPECT_EQ(rtf::FindControlWord("PAR"), nullptr); // case matters
}

TEST(RtfReader, HelloParagraphInTheFontOfArial)
{
    TQnRTFText doc;
    doc.Header->FontNames[0] = "Courier New";
    ASSERT_EQ(readRtf(doc, "{\\rtf1{\\fonttbl{\\f0\\fnil\\charset0 Arial;}}\\plain\\f0\\fs20 "
                           "Hello\\par }"),
              0);
    ASSERT_EQ(doc.ParagraphCount(), 2);
    EXPECT_EQ(Ansi(doc.ParagraphText(0)), "Hello");
    EXPECT_EQ(Ansi(doc.ParagraphText(1)), "");
    const TCharAttr &a = attrAt(doc, 0, 0);
    EXPECT_EQ(doc.Header->FontNames[a.FontIndex], "Arial");
    EXPECT_EQ(a.FontIndex, 1);
    EXPECT_EQ(a.Size, 10);
    EXPECT_EQ(doc.FirstParagraph->State & 3, 3);
}

TEST(RtfReader, FontSizeColourAndStyleWords)
{
    TQnRTFText doc;
    ASSERT_EQ(readRtf(doc, doc1("\\fs21 a\\fs0 b\\fs9999 c\\cf15 d\\cf16 e\\cb3 f\\plain g"
                                "\\b\\i\\ul\\strike\\uldb\\shad\\v\\super h\\b0\\nosupersub i"
                                "\\ul\\ulnone j\\sub\\inspnt7 k\\inaut l")),
              0);
    EXPECT_EQ(Ansi(doc.ParagraphText(0)), "abcdefghijkl");
    EXPECT_EQ(attrAt(doc, 0, 0).Size, 10);
    EXPECT_EQ(attrAt(doc, 0, 1).Size, 10);
    EXPECT_EQ(attrAt(doc, 0, 2).Size, 255);
    EXPECT_EQ(attrAt(doc, 0, 3).Colors, 15);
    EXPECT_EQ(attrAt(doc, 0, 4).Colors, 15); // \cf16 ignored
    EXPECT_EQ(attrAt(doc, 0, 5).Colors, 0x3F);
    const TCharAttr &g = attrAt(doc, 0, 6);
    EXPECT_EQ(g.Colors, 0);
    EXPECT_EQ(g.Size, 0); // \plain zeroes everything; the writer puts \fs20 for it
    EXPECT_EQ(attrAt(doc, 0, 7).Style, kStyleBold | kStyleItalic | kStyleUnderline |
                                           kStyleStrikeout | kStyleDoubleUnderline | kStyleShadow |
                                           kStyleHidden | kStyleSuperscript);
    EXPECT_EQ(attrAt(doc, 0, 8).Style & (kStyleBold | kStyleSuperscript), 0);
    EXPECT_EQ(attrAt(doc, 0, 9).Style & kStyleUnderline, 0);
    const TCharAttr &k = attrAt(doc, 0, 10);
    EXPECT_EQ(k.Style & (kStyleSubscript | kStyleInsertPoint), kStyleSubscript | kStyleInsertPoint);
    EXPECT_EQ(k.Tag, 7);
    EXPECT_EQ(attrAt(doc, 0, 11).Style & (kStyleInsertPoint | kStyleAutoText), kStyleAutoText);
}

TEST(RtfReader, IndentsAreSnappedToTheTabGrid)
{
    TQnRTFText doc;
    doc.Header->PixelsPerInchX = doc.Header->PixelsPerInchY = 96;
    ASSERT_EQ(readRtf(doc, doc1("\\li720\\fi-360 a\\par\\li100\\fi0\\ri50 b")), 0);
    TParagraph *a = doc.FirstParagraph;
    EXPECT_EQ(a->LeftIndent, 720);
    EXPECT_EQ(a->FirstIndent, 432);
    TParagraph *b = a->Next;
    EXPECT_EQ(b->LeftIndent, 144);
    EXPECT_EQ(b->FirstIndent, 144);
    EXPECT_EQ(b->RightIndent, 50);

    // Centimetres: a grid of 141 twips.
    TQnRTFText cm;
    cm.Header->UseInch = 0;
    ASSERT_EQ(readRtf(cm, doc1("\\li720 a")), 0);
    EXPECT_EQ(cm.FirstParagraph->LeftIndent, 705);
}

TEST(RtfReader, StarGroupsOfUnknownWordsAreSkipped)
{
    TQnRTFText doc;
    ASSERT_EQ(readRtf(doc, doc1("a{\\*\\unknownword skipped {\\b nested}}b{\\unknownword kept}"
                                "{\\*\\title T}{\\*\\bkmkstart x}c")),
              0);
    EXPECT_EQ(Ansi(doc.ParagraphText(0)), "abkeptc");
    EXPECT_EQ(doc.Header->Title, "T"); // a known word after \* is read
}

TEST(RtfReader, TitleSubjectCommentOnlyWhenEmpty)
{
    TQnRTFText doc;
    ASSERT_EQ(readRtf(doc, "{\\rtf1{\\title A\\{b\\}\\\\}{\\title B}{\\subject\tS}{\\comment "
                           "C}x}"),
              0);
    EXPECT_EQ(doc.Header->Title, "A{b}\\");
    EXPECT_EQ(doc.Header->Subject, "S");
    EXPECT_EQ(doc.Header->Comment, "C");
    EXPECT_EQ(Ansi(doc.ParagraphText(0)), "x");
}

TEST(RtfReader, RawRtfKeepsBracesAndBackslashes)
{
    TQnRTFText doc;
    ASSERT_EQ(readRtf(doc, doc1("a\\qnrtf1 {\\b x}\\qnr\\qnrtf0\\plain b")), 0);
    EXPECT_EQ(Ansi(doc.ParagraphText(0)), "a{\\b x}\\qnrb");
    for (int i = 1; i <= 10; ++i)
        EXPECT_TRUE(attrAt(doc, 0, i).Style & kStyleRtfCode) << i;
    EXPECT_FALSE(attrAt(doc, 0, 0).Style & kStyleRtfCode);
    EXPECT_FALSE(attrAt(doc, 0, 11).Style & kStyleRtfCode);
}

TEST(RtfReader, NulEndsReadingAndTheStreamStopsAfterTheLastByte)
{
    TQnRTFText doc;
    const std::string rtf = doc1("ab") + std::string("\0cd", 3);
    ASSERT_EQ(readRtf(doc, doc1(std::string("ab\0cd", 5))), 0);
    EXPECT_EQ(Ansi(doc.ParagraphText(0)), "ab");

    TQnRTFText doc2;
    TQnMemoryStream in("{\\rtf1 x}trailing");
    TQnRtfReader reader;
    reader.Header = doc2.Header.get();
    reader.Document = &doc2;
    TParagraph *first = nullptr;
    ASSERT_EQ(reader.Read(in, first), 0);
    EXPECT_EQ(in.Position(), 9);
    TQnRTFText::FreeParagraphChain(first);
}

TEST(RtfReader, ParInsideATableRowIsALineBreak)
{
    TQnRTFText doc;
    ASSERT_EQ(readRtf(doc, doc1("\\trowd\\cellx4000\\cellx8000\\intbl one\\par two\\cell three"
                                "\\cell\\row\\pard after")),
              0);
    ASSERT_EQ(doc.ParagraphCount(), 3);
    EXPECT_EQ(Ansi(doc.ParagraphText(0)), "one\ntwo");
    EXPECT_EQ(Ansi(doc.ParagraphText(1)), "three");
    EXPECT_EQ(Ansi(doc.ParagraphText(2)), "after");
    TParagraph *a = doc.FirstParagraph, *b = a->Next, *c = b->Next;
    EXPECT_EQ(a->ParFlags, kParTableCell | kParCellRowOpen);
    EXPECT_EQ(b->ParFlags, kParTableCell | kParCellNotFirst);
    EXPECT_EQ(c->ParFlags, 0);
    EXPECT_EQ(a->CellWidth(), 128);
    EXPECT_EQ(a->CellLeft(), 0);
    EXPECT_EQ(b->CellWidth(), 127);
    EXPECT_EQ(b->CellLeft(), 128);
    EXPECT_EQ(a->RightIndent, 12240 - 3760 - 8000);
    EXPECT_EQ(a->SpaceBefore, 40);
}

TEST(RtfReader, UnicodeCharactersAndTheirFallbacks)
{
    TQnRTFText doc;
    ASSERT_EQ(readRtf(doc, doc1("caf\\u233?s \\u8364\\'80 \\uc2\\u8212--x \\uc1\\u20013?"
                                "\\u-3913?{\\uc0\\u233}y")),
              0);
    // A character without a Windows-1252 form keeps its fallback.
    EXPECT_EQ(Ansi(doc.ParagraphText(0)), "caf\xe9s \x80 \x97x ??\xe9y");
}

TEST(RtfReader, TabsBordersAndGroupsThatEndThem)
{
    TQnRTFText doc;
    ASSERT_EQ(readRtf(doc, doc1("{\\box\\brdrdb\\brdrw40\\brsp113\\brdrcf3 {\\tqr\\tx720\\tx1440 "
                                "a\\par b\\par}}c\\par\\brdrt\\brdrdot\\brdrhair\\brdrbar d")),
              0);
    ASSERT_EQ(doc.ParagraphCount(), 4);
    TParagraph *a = doc.FirstParagraph, *b = a->Next, *c = b->Next, *d = c->Next;
    EXPECT_EQ(a->BorderFlags, kBorderOn | kBorderBox | kBorderDouble);
    EXPECT_EQ(a->BorderWidth, 2);
    EXPECT_EQ(a->BorderSpaceColor, 0x23);
    EXPECT_EQ(b->BorderFlags, kBorderOn | kBorderBox | kBorderDouble | kBorderNotInherited);
    EXPECT_EQ(c->BorderFlags, 0);
    EXPECT_EQ(d->BorderFlags & ~kBorderNotInherited, kBorderOn | kBorderTop);
    EXPECT_EQ(d->BorderStyle, kBorderDotted | kBorderHairline | kBorderBar);
    ASSERT_EQ(a->TabMask, 3u);
    EXPECT_EQ(b->TabMask, 3u);
    EXPECT_EQ(c->TabMask, 0u);
    EXPECT_EQ(doc.Header->TabPosTwips[0], 720);
    EXPECT_EQ(doc.Header->TabKind[0], tkRight);
    EXPECT_EQ(doc.Header->TabKind[1], tkLeft);
}

TEST(RtfReader, PardResetsParagraphPropertiesOfOrdinaryRtf)
{
    TQnRTFText doc;
    ASSERT_EQ(readRtf(doc, doc1("\\pard\\qc\\sb240\\li720 Title\\par\\pard Body\\par")), 0);
    TParagraph *t = doc.FirstParagraph, *b = t->Next;
    EXPECT_EQ(t->Alignment, kAlignCenter);
    EXPECT_EQ(t->SpaceBefore, 240);
    EXPECT_EQ(b->Alignment, kAlignLeft);
    EXPECT_EQ(b->SpaceBefore, 0);
    EXPECT_EQ(b->LeftIndent, 0);
}

TEST(RtfReader, PageSetupColoursAndInsertInto)
{
    TQnRTFText doc;
    const std::string rtf =
        "{\\rtf1{\\colortbl;\\red1\\green2\\blue3;}\\paperw10000\\paperh9000\\margl100"
        "\\margr200\\margt300\\margb400\\landscape\\facingp x}";
    ASSERT_EQ(readRtf(doc, rtf), 0);
    const TTextHeader &h = *doc.Header;
    EXPECT_EQ(h.PageWidth, 10000);
    EXPECT_EQ(h.PageHeight, 9000);
    EXPECT_EQ(h.MarginLeft, 100);
    EXPECT_EQ(h.MarginRight, 200);
    EXPECT_EQ(h.MarginTop, 300);
    EXPECT_EQ(h.MarginBottom, 400);
    EXPECT_EQ(h.Landscape, 1);
    EXPECT_EQ(h.FacingPages, 1);
    EXPECT_EQ(h.Colors[0], 0u);
    EXPECT_EQ(h.Colors[1], 0x030201u);
    EXPECT_EQ(h.Colors[2], 0u); // set to black at the last ';'
    EXPECT_EQ(h.Colors[3], kDefaultColors[3]);

    TQnRTFText keep;
    ASSERT_EQ(readRtf(keep, rtf,
                      [](TQnRtfReader &r) {
                          r.InsertInto = true;
                          r.AutoText = true;
                      }),
              0);
    EXPECT_EQ(keep.Header->PageWidth, 12240);
    EXPECT_EQ(keep.Header->MarginLeft, 1880);
    EXPECT_EQ(keep.Header->Landscape, 0);
    EXPECT_EQ(keep.Header->Colors[1], kDefaultColors[1]);
    EXPECT_TRUE(attrAt(keep, 0, 0).Style & kStyleAutoText);
}

TEST(RtfReader, FootnotesTakeTheLastCharacterAsMark)
{
    TQnRTFText doc;
    ASSERT_EQ(readRtf(doc, doc1("Note{\\super 1}{\\*\\footnote \\qnfnnr4 \\pard\\plain {\\super 1} "
                                "Text of it.\\par More.}\\par after")),
              0);
    ASSERT_EQ(doc.Footnotes.size(), 1u);
    const TQnFootnote &f = *doc.Footnotes[0];
    EXPECT_EQ(f.MarkChar, '1');
    EXPECT_EQ(f.Number, 4);
    EXPECT_EQ(f.Text, "Text of it.More.");
    EXPECT_EQ(Ansi(doc.ParagraphText(0)), "Note1");
    const TCharAttr &mark = attrAt(doc, 0, 4);
    EXPECT_EQ(mark.Style & (kStyleRaised | kStyleSuperscript), kStyleRaised);
    EXPECT_EQ(mark.Tag, f.Id);
    // The footnote's own \pard did not touch the paragraph around it.
    EXPECT_EQ(doc.ParagraphCount(), 2);
}

TEST(RtfReader, PicturesOfEveryKind)
{
    TQnRTFText doc;
    // 1x1 independent bitmap, 24 bits: header, no colour table, one padded row.
    const std::string dib = "28000000010000000100000001001800000000000400000000000000000000000000"
                            "000000000000ff000000";
    ASSERT_EQ(readRtf(doc, doc1("{\\pict\\wmetafile8\\picw100\\pich50\\picwgoal1500\\pichgoal750 "
                                "0102AbcD}"
                                "{\\pict\\dibitmap0\\picwgoal20\\pichgoal30\\picscalex50 " +
                                dib +
                                "}"
                                "{\\pict\\wbitmap0\\wbmbitspixel1\\wbmplanes1\\wbmwidthbytes2"
                                "\\picw2\\pich2 80004000}"
                                "{\\pict\\pngblip 89504e47}"
                                "{\\pict\\dibitmap0 2800}")),
              0);
    ASSERT_EQ(doc.Objects.size(), 5u);
    const std::string text = Ansi(doc.ParagraphText(0));
    EXPECT_EQ(text, std::string("\x02\x02\x02\x02\x02"));
    const TQnGraphic &m = *doc.Objects[0]->Graphic;
    EXPECT_EQ(m.Kind, gkMetafile);
    EXPECT_EQ(m.WidthPixels, 100);
    ASSERT_EQ(m.Data.size(), 26u);
    const std::vector<uint8_t> header(m.Data.begin(), m.Data.begin() + 22);
    const std::vector<uint8_t> expected = {0xD7, 0xCD, 0xC6, 0x9A, 0,    0, 0, 0, 0, 0,
                                           100,  0,    50,   0,    0xEC, 9, 0, 0, 0, 0};
    EXPECT_EQ(std::vector<uint8_t>(header.begin(), header.begin() + 20), expected);
    uint16_t sum = 0;
    for (int i = 0; i < 10; ++i)
        sum ^= static_cast<uint16_t>(header[2 * i] | header[2 * i + 1] << 8);
    EXPECT_EQ(header[20] | header[21] << 8, sum);
    EXPECT_EQ(m.Data[25], 0xCD);
    EXPECT_EQ(doc.Objects[0]->Width, 1500);
    EXPECT_EQ(attrAt(doc, 0, 0).Tag, doc.Objects[0]->Id);
    EXPECT_TRUE(attrAt(doc, 0, 0).Style & kStyleObject);

    ASSERT_TRUE(doc.Objects[1]->Graphic);
    EXPECT_EQ(doc.Objects[1]->Graphic->Kind, gkDib);
    EXPECT_EQ(doc.Objects[1]->Graphic->BitsPerPixel, 24);
    EXPECT_EQ(doc.Objects[1]->Width, 10); // scaled by half
    ASSERT_TRUE(doc.Objects[2]->Graphic);
    EXPECT_EQ(doc.Objects[2]->Graphic->Kind, gkDdb);
    EXPECT_EQ(doc.Objects[2]->Graphic->Data, (std::vector<uint8_t>{0x80, 0, 0x40, 0}));
    // Pictures that cannot be built leave an object without a graphic.
    EXPECT_FALSE(doc.Objects[3]->Graphic);
    EXPECT_FALSE(doc.Objects[4]->Graphic);
}

TEST(RtfReader, PictureFilesAndLinkedObjects)
{
    TempDir dir;
    // A 1x1 bitmap file.
    std::string bmp = "BM";
    bmp += std::string("\x3a\0\0\0\0\0\0\0\x36\0\0\0", 12);
    bmp += std::string("\x28\0\0\0\x01\0\0\0\x01\0\0\0\x01\0\x18\0", 16);
    bmp += std::string(24, '\0');
    bmp += std::string("\0\0\xff\0", 4);
    writeFile(dir / "pic.bmp", bmp);

    TQnRTFText doc;
    int asked = 0;
    doc.OnNeedObject = [&](int, TQnObject &) { ++asked; };
    const std::string rtf = doc1("{\\*\\picfile\\picwgoal30\\pichgoal40\\picscaley50 \"pic.bmp\"}"
                                 "{\\*\\picfile \"C:\\\\old\\\\pic.bmp\"}"
                                 "{\\*\\picfile \"missing.bmp\"}"
                                 "\\qnobjtag7\\qnobjw100\\qnobjh200 \\'01");
    ASSERT_EQ(readRtf(doc, rtf, [&](TQnRtfReader &r) { r.PictureDirectory = dir.path().string(); }),
              0);
    ASSERT_EQ(doc.Objects.size(), 4u);
    const TQnObject &a = *doc.Objects[0];
    EXPECT_EQ(a.FileName, "pic.bmp");
    ASSERT_TRUE(a.Graphic);
    EXPECT_EQ(a.Graphic->WidthPixels, 1);
    EXPECT_EQ(a.Width, 30);
    EXPECT_EQ(a.Height, 20);
    EXPECT_GE(a.Tag, 2000);
    EXPECT_TRUE(doc.Objects[1]->Graphic); // found by its last name part
    EXPECT_FALSE(doc.Objects[2]->Graphic);
    const TQnObject &linked = *doc.Objects[3];
    EXPECT_EQ(linked.Tag, 7);
    EXPECT_TRUE(linked.IsLinked);
    EXPECT_EQ(linked.Width, 100);
    EXPECT_EQ(linked.Height, 200);
    EXPECT_EQ(asked, 2); // the missing file and the linked object
    EXPECT_EQ(Ansi(doc.ParagraphText(0)), std::string("\x01\x01\x01\x01"));
    EXPECT_EQ(attrAt(doc, 0, 3).Tag, 7);
}

TEST(RtfReader, WrongArgumentsAndTruncatedControlWords)
{
    TQnRTFText doc;
    TQnMemoryStream in("{\\rtf1 x}");
    TParagraph *first = nullptr;
    TQnRtfReader rtf;
    try {
        rtf.Read(in, first);
        FAIL();
    } catch (const EQnRTFText &e) {
        EXPECT_STREQ(e.what(), "Wrong Arguments in\tTQnRTFReader");
    }
    TQnTextReader text;
    try {
        text.Read(in, first);
        FAIL();
    } catch (const EQnRTFText &e) {
        EXPECT_STREQ(e.what(), "Wrong Arguments");
    }

    for (const char *cut : {"{\\rtf1 abc\\pa", "{\\rtf1 abc\\li-", "{\\rtf1 abc\\li72",
                            "{\\rtf1 a\\", "{\\rtf1 a\\'4"}) {
        TQnRTFText d;
        EXPECT_EQ(readRtf(d, cut), kReadFailed) << cut;
        EXPECT_EQ(Ansi(d.ParagraphText(0)).substr(0, 1), "a") << cut;
    }
}

TEST(TextReader, PlainTextLinesAndAutoText)
{
    TQnRTFText doc;
    TQnMemoryStream in(std::string("one\r\ntwo\n\rthree\0x", 18));
    TQnTextReader reader;
    reader.Header = doc.Header.get();
    reader.Document = &doc;
    reader.AutoText = true;
    TParagraph *first = nullptr;
    ASSERT_EQ(reader.Read(in, first), 0);
    TParagraph *par = doc.FirstParagraph;
    TLine *line = par->Lines;
    int position = 0;
    doc.InsertParagraphs(par, line, first, position);
    ASSERT_EQ(doc.ParagraphCount(), 3);
    EXPECT_EQ(Ansi(doc.ParagraphText(0)), "one");
    EXPECT_EQ(Ansi(doc.ParagraphText(1)), "two");
    EXPECT_EQ(Ansi(doc.ParagraphText(2)), "threex");
    EXPECT_TRUE(attrAt(doc, 2, 0).Style & kStyleAutoText);

    // A long line is kept in pieces.
    TQnRTFText big;
    TQnMemoryStream long_in(std::string(25000, 'z'));
    TQnTextReader r2;
    r2.Header = big.Header.get();
    r2.Document = &big;
    ASSERT_EQ(r2.Read(long_in, first), 0);
    par = big.FirstParagraph;
    line = par->Lines;
    position = 0;
    big.InsertParagraphs(par, line, first, position);
    EXPECT_EQ(big.ParagraphLength(0), 25000);
}

TEST(RtfReader, PlainModeDocumentsTakeTheTextOnly)
{
    TQnRTFText doc;
    doc.SetMemoryFormat(fmPlainText);
    ASSERT_EQ(readRtf(doc, doc1("a{\\b b}{\\pict\\wmetafile8 0102}{\\*\\picfile \"x.bmp\"}"
                                "\\qnobjtag3 \\'01c{\\*\\footnote d}\\par e")),
              0);
    EXPECT_EQ(Ansi(doc.ParagraphText(0)), "abc");
    EXPECT_EQ(Ansi(doc.ParagraphText(1)), "e");
    EXPECT_TRUE(doc.Objects.empty());
    EXPECT_TRUE(doc.Footnotes.empty());
    EXPECT_EQ(doc.FirstParagraph->Lines->Attrs, nullptr);
}
