#include <gtest/gtest.h>

#include <random>

#include "tests/richtext/io/io_test_util.h"
#include "tests/support/temp_dir.h"
#include "tests/support/text32.h"

using namespace qn;
using namespace qn::test;

namespace {

// Appends text with one attribute to paragraph p.
void add(TQnRTFText &doc, TParagraph *p, std::string_view text, const TCharAttr &a)
{
    doc.InsertText(p, p->TextLength(), &a, U32(text));
}

TParagraph *newPar(TQnRTFText &doc)
{
    TParagraph *last = doc.LastParagraph();
    TParagraph *p = last;
    doc.NewParagraph(p, 8);
    p->ParFlags = 0;
    p->Alignment = 0;
    p->FirstIndent = p->LeftIndent = p->RightIndent = 0;
    p->SpaceBefore = p->SpaceAfter = p->LineSpacing = 0;
    p->BorderFlags = p->BorderStyle = p->BorderWidth = p->BorderSpaceColor = 0;
    p->TabMask = 0;
    return p;
}

// write -> read into a new document -> write: the same bytes. Returns the
// document read back for further checks.
std::unique_ptr<TQnRTFText> roundTrip(TQnRTFText &doc, std::string *firstBytes = nullptr)
{
    const std::string once = writeRtf(doc);
    auto back = std::make_unique<TQnRTFText>();
    EXPECT_EQ(readRtf(*back, once), 0);
    const std::string twice = writeRtf(*back);
    if (once != twice) {
        size_t at = 0;
        while (at < once.size() && at < twice.size() && once[at] == twice[at])
            ++at;
        const size_t from = at > 120 ? at - 120 : 0;
        ADD_FAILURE() << "bytes differ at " << at << "\nfirst:  " << once.substr(from, 200)
                      << "\nsecond: " << twice.substr(from, 200);
    }
    if (firstBytes)
        *firstBytes = once;
    return back;
}

std::shared_ptr<TQnGraphic> dib1x1()
{
    auto g = std::make_shared<TQnGraphic>();
    g->Data = {0x28, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0, 4,    0,
               0,    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0, 0, 0xFF, 0};
    g->Kind = gkDib;
    g->WidthPixels = g->HeightPixels = 1;
    g->BitsPerPixel = 24;
    g->Planes = 1;
    return g;
}

} // namespace

TEST(RoundTrip, EveryAttributePropertyBorderTabTableAndPicture)
{
    TempDir dir;
    TQnRTFText doc;
    TTextHeader &h = *doc.Header;
    h.PageWidth = 11906;
    h.PageHeight = 16838;
    h.MarginLeft = 1134;
    h.MarginRight = 1000;
    h.MarginTop = 1200;
    h.MarginBottom = 900;
    h.Title = "Entry {1} \\ draft";
    h.Subject = "Subject";
    h.Comment = "A comment";
    ASSERT_EQ(doc.FindOrAddFont("Times New Roman"), 1);
    h.FontPitchFamily[1] = 0x22;
    ASSERT_EQ(doc.FindOrAddFont("Courier New"), 2);
    h.FontPitchFamily[2] = 0x31;
    h.FontCharset[2] = 238;
    for (int i = 0; i < kColorSlots; ++i)
        h.Colors[i] = 0x010203u * static_cast<uint32_t>(i);

    // Runs of every attribute.
    TParagraph *p = doc.FirstParagraph;
    const uint16_t styles[] = {kStyleBold,
                               kStyleItalic,
                               kStyleUnderline,
                               kStyleStrikeout,
                               kStyleDoubleUnderline,
                               kStyleSuperscript,
                               kStyleSubscript,
                               kStyleShadow,
                               kStyleAutoText,
                               kStyleBold | kStyleItalic | kStyleUnderline | kStyleShadow};
    add(doc, p, "plain ", makeAttr(0, 10));
    for (uint16_t s : styles)
        add(doc, p, "styled ", makeAttr(s, 12, 0x21, 1));
    add(doc, p, "big", makeAttr(0, 72, 0x0F, 2));
    add(doc, p, "small", makeAttr(0, 6, 0xF0, 0));
    add(doc, p, "IP", makeAttr(kStyleInsertPoint, 10, 0, 0, 3));
    add(doc, p, "zero size", makeAttr(0, 0));
    add(doc, p, " hidden", makeAttr(kStyleHidden));

    // Paragraph properties; indents on the tab grid that the reader snaps to.
    p = newPar(doc);
    p->ParFlags = kParPageBreak;
    p->Alignment = kAlignCenter;
    p->LeftIndent = 720;
    p->FirstIndent = 1440;
    p->RightIndent = 300;
    p->SpaceBefore = 120;
    p->SpaceAfter = 240;
    p->LineSpacing = 360;
    add(doc, p, std::string("tab\there\nline {braces} \\ back \xe9\x80\xff"), makeAttr());
    p = newPar(doc);
    p->Alignment = kAlignJustify;
    p->LeftIndent = 1440;
    p->FirstIndent = 576;
    add(doc, p, "hanging", makeAttr());
    p = newPar(doc);
    p->Alignment = kAlignRight;
    add(doc, p, "right", makeAttr());

    // Borders and tab stops.
    const uint32_t tabs = doc.AddTab(720, tkLeft) | doc.AddTab(2880, tkRight) |
                          doc.AddTab(4320, tkCenter) | doc.AddTab(5760, tkDecimal);
    for (int i = 0; i < 2; ++i) {
        p = newPar(doc);
        p->BorderFlags = kBorderOn | kBorderBox | (i == 1 ? kBorderNotInherited : 0);
        p->BorderWidth = 1;
        p->BorderSpaceColor = 0x23;
        p->TabMask = tabs;
        add(doc, p, "boxed\twith\ttabs", makeAttr());
    }
    p = newPar(doc);
    p->BorderFlags = kBorderOn | kBorderTop | kBorderBottom | kBorderDouble;
    p->BorderStyle = kBorderDotted | kBorderBar;
    p->BorderWidth = 2;
    p->BorderSpaceColor = 0x15;
    p->TabMask = doc.AddTab(720, tkLeft);
    add(doc, p, "double", makeAttr());
    p = newPar(doc);
    p->BorderFlags = kBorderOn | kBorderLeft | kBorderRight;
    p->BorderStyle = kBorderHairline | kBorderTabLine;
    p->BorderWidth = 3;
    p->BorderSpaceColor = 0x10;
    add(doc, p, "sides", makeAttr());

    // Raw RTF, a footnote, objects of every kind.
    p = newPar(doc);
    add(doc, p, "before ", makeAttr());
    add(doc, p, "{\\b raw}", makeAttr(kStyleRtfCode));
    TQnFootnote *f = doc.AddFootnote('*', 2, "Footnote text.");
    add(doc, p, "*", makeAttr(kStyleRaised, 10, 0, 0, static_cast<int16_t>(f->Id)));
    add(doc, p, " after", makeAttr());

    p = newPar(doc);
    auto meta = std::make_shared<TQnGraphic>();
    meta->Kind = gkMetafile;
    meta->WidthPixels = 40;
    meta->HeightPixels = 30;
    meta->Data.assign(22, 0);
    for (int i = 0; i < 64; ++i)
        meta->Data.push_back(static_cast<uint8_t>(i * 7));
    TQnObject *m = doc.AddObject(meta, 0);
    m->Width = 600;
    m->Height = 450;
    TQnObject *d = doc.AddObject(dib1x1(), 0);
    d->Width = 15;
    d->Height = 15;
    auto ddb = std::make_shared<TQnGraphic>();
    ddb->Kind = gkDdb;
    ddb->WidthPixels = 8;
    ddb->HeightPixels = 2;
    ddb->BitsPerPixel = 1;
    ddb->WidthBytes = 2;
    ddb->Data = {0xF0, 0, 0x0F, 0};
    TQnObject *b = doc.AddObject(ddb, 0);
    TQnObject *linked = doc.AddObject(nullptr, 9);
    linked->IsLinked = 1;
    linked->Width = 500;
    linked->Height = 250;
    TQnObject *file = doc.AddObject(nullptr, -1);
    file->FileName = (dir / "missing.bmp").string();
    file->Width = 100;
    file->Height = 80;
    add(doc, p, "\x02", makeAttr(kStyleObject, 10, 0, 0, static_cast<int16_t>(m->Id)));
    add(doc, p, "\x02", makeAttr(kStyleObject, 10, 0, 0, static_cast<int16_t>(d->Id)));
    add(doc, p, "\x02", makeAttr(kStyleObject, 10, 0, 0, static_cast<int16_t>(b->Id)));
    add(doc, p, "\x01", makeAttr(kStyleObject, 10, 0, 0, 9));
    add(doc, p, "\x01", makeAttr(kStyleObject, 10, 0, 0, static_cast<int16_t>(file->Tag)));
    // A picture file that exists: its pixel size goes out with it.
    std::string bmp = "BM" + std::string(12, '\0');
    const auto pixels = dib1x1();
    bmp.append(pixels->Data.begin(), pixels->Data.end());
    writeFile(dir / "pic.bmp", bmp);
    TQnObject *shown = doc.AddObject(nullptr, -1);
    shown->FileName = (dir / "pic.bmp").string();
    shown->Graphic = dib1x1();
    shown->Width = shown->Height = 15;
    add(doc, p, "\x01", makeAttr(kStyleObject, 10, 0, 0, static_cast<int16_t>(shown->Tag)));

    // A table: two rows of three cells, bordered cells, a tab in a cell.
    const int32_t textWidth = h.PageWidth - h.MarginLeft - h.MarginRight;
    const uint32_t cellTab = doc.AddTab(200 + (textWidth - 500) * 85 / 255, tkRight);
    for (int row = 0; row < 2; ++row)
        for (int cell = 0; cell < 3; ++cell) {
            p = newPar(doc);
            p->ParFlags = kParTableCell | (cell > 0 ? kParCellNotFirst : 0) |
                          (cell < 2 ? kParCellRowOpen : 0);
            p->RightIndent = 500;
            p->SpaceBefore = p->SpaceAfter = 60;
            p->BorderSpaceColor = 0x10;
            p->SetCellWidth(85);
            p->SetCellLeft(static_cast<uint8_t>(85 * cell));
            if (row == 0) {
                p->BorderFlags = kBorderOn | kBorderBox | kBorderNotInherited;
                p->BorderWidth = 1;
                p->BorderStyle = kBorderHairline;
                p->BorderSpaceColor = 0x12;
            }
            if (row == 1 && cell == 1) {
                p->Alignment = kAlignCenter;
                p->SetCellTab(static_cast<uint8_t>(std::countr_zero(cellTab) + 1));
            }
            add(doc, p, "cell " + std::to_string(row) + "." + std::to_string(cell), makeAttr());
        }
    p = newPar(doc);
    add(doc, p, "End", makeAttr(kStyleBold));

    std::string bytes;
    auto back = roundTrip(doc, &bytes);

    // What came back is what went in.
    EXPECT_EQ(back->ParagraphCount(), doc.ParagraphCount());
    for (int i = 0; i < doc.ParagraphCount(); ++i) {
        std::string want = Ansi(doc.ParagraphText(i));
        EXPECT_EQ(Ansi(back->ParagraphText(i)), want) << i;
        TParagraph *a = doc.ParagraphAt(i), *c = back->ParagraphAt(i);
        EXPECT_EQ(c->Alignment, a->Alignment) << i;
        EXPECT_EQ(c->LeftIndent, a->LeftIndent) << i;
        EXPECT_EQ(c->FirstIndent, a->FirstIndent) << i;
        EXPECT_EQ(c->SpaceBefore, a->SpaceBefore) << i;
        EXPECT_EQ(c->BorderFlags & ~kBorderNotInherited, a->BorderFlags & ~kBorderNotInherited)
            << i;
        EXPECT_EQ(c->ParFlags, a->ParFlags) << i;
        if (a->IsTableCell()) {
            EXPECT_EQ(c->TabMask, a->TabMask) << i;
        }
    }
    EXPECT_EQ(back->Header->Title, h.Title);
    EXPECT_EQ(back->Header->PageWidth, 11906);
    EXPECT_EQ(back->Header->Colors[5], h.Colors[5]);
    EXPECT_EQ(back->Header->FontCharset[2], 238);
    ASSERT_EQ(back->Footnotes.size(), 1u);
    EXPECT_EQ(back->Footnotes[0]->Text, "Footnote text.");
    EXPECT_EQ(back->Footnotes[0]->Number, 2);
    ASSERT_EQ(back->Objects.size(), 6u);
    EXPECT_NE(bytes.find("{\\*\\picfile\\picw1\\pich1\\picwgoal15\\pichgoal15 \""),
              std::string::npos);
    ASSERT_TRUE(back->Objects[5]->Graphic);
    EXPECT_EQ(back->Objects[5]->Graphic->Data, dib1x1()->Data);
    EXPECT_EQ(back->Objects[0]->Graphic->Data,
              meta->Data.size() ? back->Objects[0]->Graphic->Data : meta->Data);
    EXPECT_EQ(std::vector<uint8_t>(back->Objects[0]->Graphic->Data.begin() + 22,
                                   back->Objects[0]->Graphic->Data.end()),
              std::vector<uint8_t>(meta->Data.begin() + 22, meta->Data.end()));
    EXPECT_EQ(back->Objects[1]->Graphic->Data, dib1x1()->Data);
    EXPECT_EQ(back->Objects[2]->Graphic->Data, ddb->Data);
}

TEST(RoundTrip, RandomDocumentsKeepTheirBytes)
{
    std::mt19937 rng(20261208);
    auto pick = [&](int n) { return static_cast<int>(rng() % n); };
    for (int round = 0; round < 40; ++round) {
        TQnRTFText doc;
        doc.FindOrAddFont("Georgia");
        const uint32_t tabA = doc.AddTab(1440, tkLeft), tabB = doc.AddTab(2160, tkDecimal);
        const int paragraphs = 1 + pick(12);
        for (int i = 0; i < paragraphs; ++i) {
            TParagraph *p = i == 0 ? doc.FirstParagraph : newPar(doc);
            p->Alignment = static_cast<uint8_t>(pick(4));
            p->LeftIndent = 144 * pick(6);
            p->FirstIndent = 144 * pick(6);
            p->RightIndent = 10 * pick(50);
            p->SpaceBefore = 20 * pick(10);
            p->SpaceAfter = 20 * pick(10);
            p->LineSpacing = 40 * pick(5);
            p->ParFlags = pick(8) == 0 ? kParPageBreak : 0;
            p->TabMask = std::array<uint32_t, 4>{0, tabA, tabB, tabA | tabB}[pick(4)];
            if (pick(3) == 0) {
                p->BorderFlags = static_cast<uint8_t>(kBorderOn | (pick(2) ? kBorderBox : 0x0C) |
                                                      (pick(2) ? kBorderDouble : 0) |
                                                      (pick(3) == 0 ? kBorderNotInherited : 0));
                p->BorderWidth = static_cast<uint8_t>(pick(4));
                p->BorderSpaceColor = static_cast<uint8_t>(0x10 * (1 + pick(4)) + pick(16));
            }
            const int runs = pick(6);
            for (int r = 0; r < runs; ++r) {
                std::string text;
                const int n = 1 + pick(30);
                for (int k = 0; k < n; ++k) {
                    const int c = pick(10) == 0 ? 128 + pick(128) : 32 + pick(95);
                    text.push_back(static_cast<char>(pick(40) == 0 ? '\t' : c));
                }
                const uint16_t bits[] = {kStyleBold,      kStyleItalic,      kStyleUnderline,
                                         kStyleStrikeout, kStyleSuperscript, kStyleSubscript,
                                         kStyleShadow,    kStyleHidden,      kStyleDoubleUnderline};
                uint16_t style = 0;
                for (uint16_t b : bits)
                    if (pick(5) == 0)
                        style |= b;
                add(doc, p, text,
                    makeAttr(style, static_cast<uint8_t>(6 + pick(30)),
                             static_cast<uint8_t>(pick(256)), static_cast<uint8_t>(pick(2))));
            }
        }
        SCOPED_TRACE(round);
        roundTrip(doc);
    }
}
