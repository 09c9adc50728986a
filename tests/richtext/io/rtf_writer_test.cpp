#include <gtest/gtest.h>

#include "richtext/io/text_writer.h"
#include "tests/richtext/io/io_test_util.h"
#include "tests/support/text32.h"

using namespace qn;
using namespace qn::test;

namespace {

const std::string kRun = "\\plain\\f0\\fs20\\cf0 ";

// Character i of paragraph p gets attribute a.
void setAttr(TParagraph *p, int i, const TCharAttr &a)
{
    TLine *l = p->Lines;
    while (i >= l->Length) {
        i -= l->Length;
        l = l->Next;
    }
    l->Attrs[i] = a;
}

class FailingStream : public TQnStream {
public:
    int64_t Read(void *, int64_t) override { return 0; }
    int64_t Write(const void *, int64_t count) override { return count > 1 ? count - 1 : 0; }
    int64_t Position() const override { return 0; }
    bool Seek(int64_t) override { return false; }
    int64_t Size() const override { return 0; }
};

} // namespace

TEST(RtfWriter, EmptyDocumentIsHeaderBodyBraceAndFooter)
{
    TQnRTFText doc;
    EXPECT_EQ(writeRtf(doc), defaultHeader() + "{}\r\n}");
}

TEST(RtfWriter, EscapesBracesBackslashesAndCodes)
{
    TQnRTFText doc;
    setText(doc, 0, "a{b}");
    EXPECT_EQ(bodyOf(writeRtf(doc)), "{" + kRun + "a\\{b\\}}");

    setText(doc, 0, std::string("\\x\xe9\x02\t\n\x7f~", 8));
    EXPECT_EQ(bodyOf(writeRtf(doc)), "{" + kRun + "\\\\x\\'e9\\tab \\line \\'7f~}");
}

TEST(RtfWriter, RunAttributesInTheirOrder)
{
    TQnRTFText doc;
    setText(doc, 0, "ab");
    const uint16_t all = kStyleBold | kStyleUnderline | kStyleDoubleUnderline | kStyleSuperscript |
                         kStyleSubscript | kStyleItalic | kStyleStrikeout | kStyleShadow;
    setAttr(doc.FirstParagraph, 0, makeAttr(all, 12, 0x21));
    setAttr(doc.FirstParagraph, 1, makeAttr(0, 0, 0x0F, 0));
    EXPECT_EQ(bodyOf(writeRtf(doc)),
              "{\\plain\\f0\\fs24\\cf1\\cb2\\b\\ul\\uldb\\super\\sub\\i\\strike\\shad a"
              "\\plain\\f0\\fs20\\cf15 b}");
}

TEST(RtfWriter, InsertPointsAutoTextAndTheSkipOptions)
{
    TQnRTFText doc;
    setText(doc, 0, "xyAB");
    setAttr(doc.FirstParagraph, 0, makeAttr(kStyleInsertPoint, 10, 0, 0, 5));
    setAttr(doc.FirstParagraph, 1, makeAttr(kStyleInsertPoint, 10, 0, 0, 5));
    setAttr(doc.FirstParagraph, 2, makeAttr(kStyleAutoText));
    setAttr(doc.FirstParagraph, 3, makeAttr(kStyleAutoText));
    // Insert points go one character a run; automatic text runs on.
    EXPECT_EQ(bodyOf(writeRtf(doc)), "{\\plain\\f0\\fs20\\cf0\\inspnt5 x\\plain\\f0\\fs20\\cf0"
                                     "\\inspnt5 y\\plain\\f0\\fs20\\cf0\\inaut AB}");
    EXPECT_EQ(bodyOf(writeRtf(doc,
                              [](TQnRTFWriter &w) {
                                  w.SkipFieldText = true;
                                  w.SkipAutoText = true;
                              })),
              "{" + kRun + kRun + kRun + "}");
}

TEST(RtfWriter, HiddenRunAtParagraphEndWritesPlainPar)
{
    TQnRTFText doc;
    setText(doc, 0, "ab");
    setText(doc, 1, "c");
    setAttr(doc.FirstParagraph, 1, makeAttr(kStyleHidden));
    EXPECT_EQ(bodyOf(writeRtf(doc)),
              "{" + kRun + "a\\plain\\f0\\fs20\\cf0\\v b\\plain\\par\n\r" + kRun + "c}");
}

TEST(RtfWriter, RawRtfRunsAreUnescapedAndClosed)
{
    TQnRTFText doc;
    setText(doc, 0, "x{\\b y}z");
    for (int i = 1; i <= 6; ++i)
        setAttr(doc.FirstParagraph, i, makeAttr(kStyleRtfCode));
    EXPECT_EQ(bodyOf(writeRtf(doc)),
              "{" + kRun + "x\\plain\\f0\\fs20\\cf0\\qnrtf1 {\\b y}" + "\\qnrtf0" + kRun + "z}");

    // Raw text that ends a paragraph is closed before the paragraph end, and
    // before the footer, so that neither is read as raw text.
    setText(doc, 0, "x{}");
    setAttr(doc.FirstParagraph, 1, makeAttr(kStyleRtfCode));
    setAttr(doc.FirstParagraph, 2, makeAttr(kStyleRtfCode));
    setText(doc, 1, "{}");
    setAttr(doc.FirstParagraph->Next, 0, makeAttr(kStyleRtfCode));
    setAttr(doc.FirstParagraph->Next, 1, makeAttr(kStyleRtfCode));
    EXPECT_EQ(bodyOf(writeRtf(doc)), "{" + kRun + "x\\plain\\f0\\fs20\\cf0\\qnrtf1 {}\\qnrtf0" +
                                         "\\par\n\r\\plain\\f0\\fs20\\cf0\\qnrtf1 {}\\qnrtf0}");
}

TEST(RtfWriter, IndentsAlignmentAndSpacingOnlyWhenTheyChange)
{
    TQnRTFText doc;
    setText(doc, 0, "a");
    setText(doc, 1, "b");
    setText(doc, 2, "c");
    for (TParagraph *p = doc.FirstParagraph; p->Next; p = p->Next) {
        p->LeftIndent = 720;
        p->FirstIndent = 360;
    }
    TParagraph *c = doc.LastParagraph();
    c->Alignment = kAlignCenter;
    c->SpaceBefore = 120;
    c->LineSpacing = 240;
    EXPECT_EQ(bodyOf(writeRtf(doc)), "{\\li720\\fi-360\\ri0 " + kRun + "a\\par\n\r" + kRun +
                                         "b\\par\n\r\\qc \\li0\\fi0\\ri0 \\sb120\\sl240\\sa0 " +
                                         kRun + "c}");
}

TEST(RtfWriter, PageBreakBordersAndTabGroups)
{
    TQnRTFText doc;
    setText(doc, 0, "x");
    setText(doc, 1, "y");
    setText(doc, 2, "z");
    const uint32_t tabs = doc.AddTab(720, tkLeft) | doc.AddTab(2880, tkRight);
    for (TParagraph *p = doc.FirstParagraph; p->Next; p = p->Next) {
        p->BorderFlags = kBorderOn | kBorderBox;
        p->BorderWidth = 1;
        p->BorderSpaceColor = 0x23;
        p->TabMask = tabs;
    }
    doc.LastParagraph()->ParFlags = kParPageBreak;
    EXPECT_EQ(bodyOf(writeRtf(doc)),
              "{{\\box\\brdrs\\brdrw20\\brsp113\\brdrcf3 {\\tx720\\tqr\\tx2880 " + kRun +
                  "x\\par\n\r" + kRun + "y\\par\n\r}}\\page " + kRun + "z}");

    // A border that ended, then a different one: each gets its own group.
    TParagraph *x = doc.FirstParagraph, *y = x->Next;
    x->TabMask = y->TabMask = 0;
    x->BorderFlags |= kBorderNotInherited;
    y->BorderFlags = kBorderOn | kBorderTop | kBorderDouble;
    y->BorderStyle = kBorderDotted | kBorderBar;
    y->BorderSpaceColor = 0;
    EXPECT_EQ(bodyOf(writeRtf(doc)), "{{\\box\\brdrs\\brdrw20\\brsp113\\brdrcf3 " + kRun +
                                         "x\\par\n\r}" +
                                         "{\\brdrt\\brdrdb\\brdrbar\\brdrw20\\brdrdot " + kRun +
                                         "y\\par\n\r}\\page " + kRun + "z}");
}

TEST(RtfWriter, TableRowGroupIsReusedByRowsOfTheSameShape)
{
    TQnRTFText doc;
    const char *texts[] = {"A", "B", "C", "D", "after"};
    for (int i = 0; i < 5; ++i)
        setText(doc, i, texts[i]);
    TParagraph *p = doc.FirstParagraph;
    for (int row = 0; row < 2; ++row) {
        for (int cell = 0; cell < 2; ++cell, p = p->Next) {
            p->ParFlags = kParTableCell | (cell == 0 ? kParCellRowOpen : kParCellNotFirst);
            p->BorderSpaceColor = 0x10;
            p->SpaceBefore = 40;
            p->TabMask = 0;
            p->SetCellWidth(cell == 0 ? 127 : 128);
            p->SetCellLeft(cell == 0 ? 0 : 127);
        }
    }
    p->ParFlags = 0;
    p->BorderSpaceColor = 0;
    p->SpaceBefore = 0;
    p->TabMask = 0;
    const std::string cellProps = "\\sb40\\sl\\sa40 ";
    EXPECT_EQ(bodyOf(writeRtf(doc)),
              "{{\\pard\\trowd\\trgaph57\\trleft0\\cellx4223\\cellx8480\\intbl " + cellProps +
                  kRun + "A\\cell\n\r\\intbl " + cellProps + kRun + "B\\cell\\row\n\r\\intbl " +
                  cellProps + kRun + "C\\cell\n\r\\intbl " + cellProps + kRun +
                  "D\\cell\\row\n\r}" + kRun + "after}");

    // A second row of another shape opens a new row group; cell borders and
    // a tab inside a cell are part of the row definition.
    TParagraph *c = doc.ParagraphAt(2), *d = c->Next;
    c->BorderFlags = kBorderOn | kBorderBox | kBorderNotInherited;
    c->BorderWidth = 2;
    c->BorderStyle = kBorderHairline;
    d->SetCellWidth(100);
    const uint32_t bit = doc.AddTab(5000, tkCenter);
    ASSERT_EQ(bit, 1u);
    d->SetCellTab(1);
    EXPECT_EQ(bodyOf(writeRtf(doc)),
              "{{\\pard\\trowd\\trgaph57\\trleft0\\cellx4223\\cellx8480\\intbl " + cellProps +
                  kRun + "A\\cell\n\r\\intbl " + cellProps + kRun + "B\\cell\\row\n\r}" +
                  "{\\pard\\trowd\\trgaph57\\trleft0\\clbrdrt\\brdrs\\clbrdrb\\brdrs\\clbrdrl"
                  "\\brdrs\\clbrdrr\\brdrs\\brdrw40\\brdrcf0\\brdrhair\\cellx4223\\cellx7548"
                  "\\intbl " +
                  cellProps + kRun + "C\\cell\n\r\\intbl\\tqc\\tx777 " + cellProps + kRun +
                  "D\\cell\\row\n\r}" + kRun + "after}");
}

TEST(RtfWriter, TitleSubjectAndCommentAreEscaped)
{
    TQnRTFText doc;
    doc.Header->Title = "a{b}\\c";
    doc.Header->Subject = "s";
    doc.Header->Comment = "}";
    const std::string rtf = writeRtf(doc);
    const std::string page = "\\margb1440";
    EXPECT_EQ(rtf.substr(rtf.find(page) + page.size()),
              "{\\title a\\{b\\}\\\\c}{\\subject\ts}{\\comment\t\\}}{}\r\n}");
}

TEST(RtfWriter, FontTableFamiliesAndPlainMode)
{
    TQnRTFText doc;
    doc.FindOrAddFont("Courier New");
    doc.Header->FontPitchFamily[1] = 0x31;
    doc.Header->FontCharset[1] = 238;
    doc.FindOrAddFont("Symbol");
    doc.Header->FontPitchFamily[2] = 0x52;
    doc.Header->FontCharset[2] = 2;
    const std::string rtf = writeRtf(doc);
    EXPECT_NE(rtf.find("{\\fonttbl{\\f0\\fnil\\charset0 Arial;}{\\f1\\fmodern\\charset238 Courier "
                       "New;}{\\f2\\fdecor\\charset2 Symbol;}}"),
              std::string::npos);

    // A brace in a name is escaped and comes back.
    doc.FindOrAddFont("Odd {Font}");
    TQnRTFText back;
    ASSERT_EQ(readRtf(back, writeRtf(doc)), 0);
    EXPECT_EQ(back.Header->FontNames[3], "Odd {Font}");
    doc.Header->FontNames[3].clear();

    // Plain text: only the current font, as font 0; text without runs.
    setText(doc, 0, "he{llo");
    setText(doc, 1, "world");
    doc.CurrentAttr.FontIndex = 1;
    doc.SetMemoryFormat(fmPlainText);
    const std::string plain = writeRtf(doc);
    EXPECT_NE(plain.find("{\\fonttbl{\\f0\\fmodern\\charset238 Courier New;}}"), std::string::npos);
    EXPECT_EQ(plain.substr(plain.find("\\margb1440") + 10), "{he\\{llo\\par\n\rworld}\r\n}");
}

TEST(RtfWriter, PicturesLinkedObjectsAndPictureFiles)
{
    TQnRTFText doc;
    auto meta = std::make_shared<TQnGraphic>();
    meta->Kind = gkMetafile;
    meta->WidthPixels = 10;
    meta->HeightPixels = 20;
    meta->Data.assign(22, 0);
    meta->Data.push_back(0x01);
    meta->Data.push_back(0xAB);
    TQnObject *m = doc.AddObject(meta, 0);
    m->Width = 150;
    m->Height = 300;
    auto ddb = std::make_shared<TQnGraphic>();
    ddb->Kind = gkDdb;
    ddb->WidthPixels = 2;
    ddb->HeightPixels = 2;
    ddb->BitsPerPixel = 1;
    ddb->WidthBytes = 2;
    ddb->Data = {0x80, 0x00, 0x40, 0x00};
    TQnObject *b = doc.AddObject(ddb, 0);
    TQnObject *linked = doc.AddObject(nullptr, 7);
    linked->IsLinked = 1;
    linked->Width = 100;
    linked->Height = 200;
    TQnObject *file = doc.AddObject(nullptr, -1);
    file->FileName = "pics\\a.bmp";
    file->Width = 30;
    file->Height = 40;

    setText(doc, 0, std::string("\x02\x02\x01\x01", 4));
    setAttr(doc.FirstParagraph, 0, makeAttr(kStyleObject, 10, 0, 0, m->Id));
    setAttr(doc.FirstParagraph, 1, makeAttr(kStyleObject, 10, 0, 0, b->Id));
    setAttr(doc.FirstParagraph, 2, makeAttr(kStyleObject, 10, 0, 0, 7));
    setAttr(doc.FirstParagraph, 3, makeAttr(kStyleObject, 10, 0, 0, file->Tag));
    const std::string pictures =
        "{\\pict\\wmetafile8\\picw10\\pich20\\picwgoal150\\pichgoal300\r\n01ab}" + kRun +
        "{\\pict\\wbitmap0\\wbmbitspixel1\\wbmplanes1\\wbmwidthbytes2\\picw2\\pich2"
        "\\picwgoal0\\pichgoal0\r\n80004000}" +
        kRun + "\\qnobjtag7\\qnobjw100\\qnobjh200 \\'01" + kRun;
    EXPECT_EQ(bodyOf(writeRtf(doc)),
              "{" + kRun + pictures + "{\\*\\picfile\\picwgoal30\\pichgoal40 \"pics\\a.bmp\"}}");
    EXPECT_EQ(bodyOf(writeRtf(doc, [](TQnRTFWriter &w) { w.PictureFileAsReference = true; })),
              "{" + kRun + pictures + "\\{bmc pics\\\\a.bmp\\}}");

    // DibOnly: the bitmap goes out as a device-independent bitmap, rows
    // bottom up, padded to four bytes, with a black and white colour table.
    const std::string dib = bodyOf(writeRtf(doc, [](TQnRTFWriter &w) { w.DibOnly = true; }));
    EXPECT_NE(dib.find("{\\pict\\dibitmap0\\wbmbitspixel1\\wbmplanes1\\wbmwidthbytes1\\picw2"
                       "\\pich2\\picwgoal0\\pichgoal0\r\n28000000020000000200000001000100"
                       "000000000800000000000000000000000000000000000000"
                       "00000000ffffff004000000080000000}"),
              std::string::npos);
}

TEST(RtfWriter, FootnotesWithNumberOrMarkCharacter)
{
    TQnRTFText doc;
    TQnFootnote *f = doc.AddFootnote('*', 3, "See page 4.");
    setText(doc, 0, "Note*");
    setAttr(doc.FirstParagraph, 4, makeAttr(kStyleRaised, 10, 0, 0, f->Id));
    EXPECT_EQ(bodyOf(writeRtf(doc)),
              "{" + kRun + "Note" + kRun +
                  "{\\cs16\\super *{\\*\\footnote \\qnfnnr3 \\pard\\plain \\s15\\widctlpar "
                  "\\f4\\fs20\\lang1031 {\\cs16\\super\t*} See page 4.}}}");
    f->UseMarkChar = 1;
    f->AltText = "Other.";
    EXPECT_EQ(bodyOf(writeRtf(doc)),
              "{" + kRun + "Note" + kRun +
                  "{\\cs16\\super *{\\*\\footnote \\pard\\plain \\s15\\widctlpar "
                  "\\f4\\fs20\\lang1031 {\\cs16\\super *} Other.}}}");

    // Footnote text with braces, backslashes, line ends and a NUL (an HTML
    // comment, say) reads back as it was, and the text after it survives.
    f->AltText.reset();
    f->Text = std::string("a}b{c\\d\tt\r\ne\0f", 14);
    setText(doc, 1, "after");
    {
        TQnRTFText back;
        ASSERT_EQ(readRtf(back, writeRtf(doc)), 0);
        ASSERT_EQ(back.ParagraphCount(), 2);
        EXPECT_EQ(Ansi(back.ParagraphText(1)), "after");
        ASSERT_EQ(back.Footnotes.size(), 1u);
        EXPECT_EQ(back.Footnotes[0]->Text, "a}b{c\\d\tt\r\nef");
    }
    f->Text = "See page 4.";

    // Marks that would break the groups or end reading are made safe, and
    // the text after them still reads back.
    for (uint8_t mark : {uint8_t('{'), uint8_t(0)}) {
        f->MarkChar = mark;
        setText(doc, 1, "after");
        TQnRTFText back;
        ASSERT_EQ(readRtf(back, writeRtf(doc)), 0);
        ASSERT_EQ(back.ParagraphCount(), 2);
        EXPECT_EQ(Ansi(back.ParagraphText(1)), "after");
        EXPECT_EQ(back.Footnotes.size(), 1u);
    }
}

TEST(RtfWriter, ResultCodes)
{
    TQnRTFText doc;
    setText(doc, 0, "text");
    FailingStream failing;
    TQnRTFWriter writer(doc);
    EXPECT_EQ(writer.Write(failing), kWriteShort);

    TQnMemoryStream out;
    TQnRTFWriter nothing(doc);
    nothing.StartParagraph = nullptr;
    EXPECT_EQ(nothing.Write(out), kWriteNothing);
}

TEST(TextWriter, PlainTextOfARangeEndsWithNul)
{
    TQnRTFText doc;
    setText(doc, 0, "abc");
    setText(doc, 1, "def");
    setText(doc, 2, "ghi");
    TQnMemoryStream out;
    TQnTextWriter whole(doc);
    EXPECT_EQ(whole.Write(out), 0);
    EXPECT_EQ(out.Bytes(), std::string("abc\r\ndef\r\nghi\0", 14));

    TQnMemoryStream part;
    TQnTextWriter range(doc);
    range.StartOffset = 1;
    range.EndParagraph = doc.FirstParagraph->Next;
    range.EndLine = range.EndParagraph->Lines;
    range.EndOffset = 2;
    EXPECT_EQ(range.Write(part), 0);
    EXPECT_EQ(part.Bytes(), std::string("bc\r\nde\0", 7));
}
