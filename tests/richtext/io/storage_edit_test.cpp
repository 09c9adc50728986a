// Cursor arithmetic, list numbers, clearing and copying documents.

#include <gtest/gtest.h>

#include "richtext/io/rtf_text_io.h"
#include "storage_test_util.h"

namespace qn {
namespace {

using test::texts;

struct Where {
    int position, line, paragraph, offset;
    bool operator==(const Where &) const = default;
};

Where where(const TQnRTFTextIo &doc)
{
    Where w{};
    doc.GetCursorPosition(w.position, w.line, w.paragraph, w.offset);
    return w;
}

// Paragraph 0: lines "abc" "de"; paragraph 1: "" ; paragraph 2: lines "fg" "hij" "k".
void build(TQnRTFTextIo &doc)
{
    test::buildLines(doc, {{"abc", "de"}, {""}, {"fg", "hij", "k"}});
}

TEST(StorageCursor, PositionsAcrossParagraphsAndLines)
{
    TQnRTFTextIo doc;
    build(doc);
    TParagraph *p0 = doc.FirstParagraph, *p1 = p0->Next, *p2 = p1->Next;

    doc.Cursor = {p0, p0->Lines->Next, 1}; // after "abcd"
    EXPECT_EQ(where(doc), (Where{4, 1, 0, 4}));
    doc.Cursor = {p1, p1->Lines, 0};
    EXPECT_EQ(where(doc), (Where{6, 2, 1, 0}));
    doc.Cursor = {p2, p2->Lines->Next, 2}; // "fghi|j"
    EXPECT_EQ(where(doc), (Where{11, 4, 2, 4}));

    // And back: each way of placing the cursor lands where it reports.
    doc.SetCursorPosition(11, 0, 0, 0);
    EXPECT_EQ(doc.Cursor.Line, p2->Lines->Next);
    EXPECT_EQ(doc.Cursor.Offset, 2);
    for (int pos = 1; pos <= 13; ++pos) {
        doc.SetCursorPosition(pos, 0, 0, 0);
        EXPECT_EQ(where(doc).position, pos) << pos;
    }
    doc.SetCursorPosition(3, 0, 0, 0); // a line border: the start of the next line
    EXPECT_EQ(doc.Cursor.Line, p0->Lines->Next);
    EXPECT_EQ(doc.Cursor.Offset, 0);

    doc.SetCursorPosition(0, 4, 9, 9);
    EXPECT_EQ(where(doc), (Where{9, 4, 2, 2}));
    doc.SetCursorPosition(0, 0, 1, 2);
    EXPECT_EQ(where(doc), (Where{8, 3, 2, 1}));
    doc.SetCursorPosition(0, 0, 99, 2); // offset beyond the paragraph: its end
    EXPECT_EQ(where(doc), (Where{13, 5, 2, 6}));
    doc.SetCursorPosition(0, 0, 0, 0);
    EXPECT_EQ(where(doc), (Where{0, 0, 0, 0}));

    // Beyond the text: the end of the last line.
    for (auto [pos, line, par] : {std::tuple{50, 0, 0}, {0, 50, 0}, {0, 0, 7}}) {
        doc.SetCursorPosition(pos, line, 0, par);
        EXPECT_EQ(doc.Cursor.Paragraph, p2);
        EXPECT_EQ(doc.Cursor.Line, p2->LastLine());
        EXPECT_EQ(doc.Cursor.Offset, 1);
    }
}

// Sets paragraph i to text with numbering.
void numbered(TQnRTFTextIo &doc, int index, uint8_t numbering)
{
    doc.ParagraphAt(index)->Numbering = numbering;
}

TEST(StorageRenumber, NestedListsCountPerLevel)
{
    TQnRTFTextIo doc;
    test::buildLines(doc, {{"one"},
                           {"one a"},
                           {"one b"},
                           {"two"},
                           {"two a"},
                           {"plain"},
                           {"again"},
                           {"dot"},
                           {"none"}});
    numbered(doc, 0, 0x60);
    numbered(doc, 1, 0x31);
    numbered(doc, 2, 0x31);
    numbered(doc, 3, 0x60);
    numbered(doc, 4, 0x31);
    numbered(doc, 6, 0x60);
    numbered(doc, 7, 0x10);
    numbered(doc, 8, 0x80);
    // The cursor stands in "on|e b".
    TParagraph *third = doc.ParagraphAt(2);
    doc.Cursor = {third, third->Lines, 2};
    doc.Renumber();
    const std::string dec1 = TQnRTFText::NumberText(6, 1), dec2 = TQnRTFText::NumberText(6, 2);
    EXPECT_EQ(texts(doc),
              (std::vector<std::string>{dec1 + "\tone", "a)\tone a", "b)\tone b", dec2 + "\ttwo",
                                        "a)\ttwo a", "plain", dec1 + "\tagain", "l\tdot", "none"}));
    int pos, line, par, off;
    doc.GetCursorPosition(pos, line, par, off);
    EXPECT_EQ(par, 2);
    EXPECT_EQ(off, 5); // still before "e b"

    // The bullet is in the symbol font, the numbers in the text's font and
    // marked as generated.
    const int symbol = doc.FindOrAddFont("WingDings");
    TLine *bulletLine = doc.ParagraphAt(7)->Lines;
    EXPECT_EQ(bulletLine->Attrs[0].FontIndex, symbol);
    EXPECT_TRUE(bulletLine->Attrs[0].Style & kStyleListNumber);
    EXPECT_NE(doc.ParagraphAt(0)->Lines->Attrs[0].FontIndex, symbol);

    // Renumbering again replaces the numbers instead of adding more, also
    // after a paragraph left the list.
    numbered(doc, 3, 0);
    doc.Renumber();
    EXPECT_EQ(texts(doc),
              (std::vector<std::string>{dec1 + "\tone", "a)\tone a", "b)\tone b", "two",
                                        "a)\ttwo a", "plain", dec1 + "\tagain", "l\tdot", "none"}));
    doc.GetCursorPosition(pos, line, par, off);
    EXPECT_EQ(off, 5);

    // A cursor inside the old number ends after the new one.
    TParagraph *second = doc.ParagraphAt(1);
    doc.Cursor = {second, second->Lines, 1};
    doc.Renumber();
    doc.GetCursorPosition(pos, line, par, off);
    EXPECT_EQ(par, 1);
    EXPECT_EQ(off, 3);
}

TEST(StorageClear, LeavesOneEmptyParagraphAndAFreshCursor)
{
    TQnRTFTextIo doc;
    build(doc);
    doc.FirstParagraph->SpaceBefore = 100;
    doc.CurrentAttr.Style = kStyleBold;
    doc.BlockStarted = true;
    doc.Clear();
    EXPECT_TRUE(doc.IsEmpty());
    EXPECT_EQ(doc.Cursor.Paragraph, doc.FirstParagraph);
    EXPECT_EQ(doc.Cursor.Line, doc.FirstParagraph->Lines);
    EXPECT_FALSE(doc.BlockStarted);
    EXPECT_EQ(doc.CurrentAttr, TCharAttr{});
    EXPECT_EQ(doc.FirstParagraph->SpaceBefore, 0);
}

TEST(StorageAssign, CopiesHeaderAndParagraphsExactly)
{
    TQnRTFTextIo source;
    build(source);
    TTextHeader &h = *source.Header;
    h.FontNames[1] = "Courier New";
    h.FontPitchFamily[1] = 49;
    h.FontCharset[1] = 2;
    h.Colors[3] = 0x123456;
    h.TabPosTwips[0] = 720;
    h.TabKind[0] = tkDecimal;
    h.DecimalChar = ',';
    h.PageWidth = 11000;
    h.PageHeight = 16000;
    h.MarginLeft = 1000;
    h.MarginRight = 900;
    h.MarginTop = 800;
    h.MarginBottom = 700;
    h.FacingPages = 1;
    h.Landscape = 1;
    TParagraph *p2 = source.ParagraphAt(2);
    p2->Alignment = kAlignRight;
    p2->FirstIndent = 360;
    p2->TabMask = 1;
    p2->BorderFlags = kBorderOn | kBorderBox;
    p2->Lines->Next->Attrs[1].Style = kStyleItalic;
    p2->Lines->Next->Attrs[1].FontIndex = 1;

    TQnRTFTextIo copy;
    test::buildLines(copy, {{"to be replaced"}});
    int changes = 0;
    copy.OnChange = [&] { ++changes; };
    copy.Assign(source);
    EXPECT_GT(changes, 0);

    const TTextHeader &c = *copy.Header;
    EXPECT_EQ(c.FontNames[1], "Courier New");
    EXPECT_EQ(c.FontPitchFamily[1], 49);
    EXPECT_EQ(c.FontCharset[1], 2);
    EXPECT_EQ(c.Colors[3], 0x123456u);
    EXPECT_EQ(c.TabPosTwips[0], 720);
    EXPECT_EQ(c.TabKind[0], tkDecimal);
    EXPECT_EQ(c.DecimalChar, ',');
    EXPECT_EQ(c.PageWidth, 11000);
    EXPECT_EQ(c.PageHeight, 16000);
    EXPECT_EQ(c.MarginLeft, 1000);
    EXPECT_EQ(c.MarginRight, 900);
    EXPECT_EQ(c.MarginTop, 800);
    EXPECT_EQ(c.MarginBottom, 700);
    EXPECT_EQ(c.FacingPages, 1);
    EXPECT_EQ(c.Landscape, 1);

    const TParagraph *a = source.FirstParagraph, *b = copy.FirstParagraph;
    for (; a && b; a = a->Next, b = b->Next) {
        EXPECT_NE(a, b);
        EXPECT_EQ(b->Alignment, a->Alignment);
        EXPECT_EQ(b->FirstIndent, a->FirstIndent);
        EXPECT_EQ(b->TabMask, a->TabMask);
        EXPECT_EQ(b->BorderFlags, a->BorderFlags);
        const TLine *la = a->Lines, *lb = b->Lines;
        for (; la && lb; la = la->Next, lb = lb->Next) {
            ASSERT_EQ(lb->Length, la->Length);
            EXPECT_EQ(std::string(reinterpret_cast<char *>(lb->Text), lb->Length),
                      std::string(reinterpret_cast<char *>(la->Text), la->Length));
            for (int i = 0; i < la->Length; ++i)
                EXPECT_EQ(lb->Attrs[i], la->Attrs[i]);
        }
        EXPECT_EQ(la, nullptr);
        EXPECT_EQ(lb, nullptr);
    }
    EXPECT_EQ(a, nullptr);
    EXPECT_EQ(b, nullptr);
    EXPECT_EQ(copy.Cursor.Paragraph, copy.FirstParagraph);
    EXPECT_EQ(copy.CopySource, nullptr);

    // The copy stands on its own.
    source.Clear();
    EXPECT_EQ(texts(copy), (std::vector<std::string>{"abcde", "", "fghijk"}));
}

TEST(StorageAssign, OtherSourcesAreRefused)
{
    struct Other : TPersistent {};
    TQnRTFTextIo doc;
    EXPECT_THROW(doc.Assign(Other{}), std::invalid_argument);
}

} // namespace
} // namespace qn
