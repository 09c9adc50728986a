#include <gtest/gtest.h>

#include "richtext/model/rtf_text.h"
#include "tests/richtext/model/model_test_util.h"

using namespace qn;
using namespace qn::test;

TEST(TabSlots, AddFindAndSnap)
{
    TQnRTFText doc;
    doc.Header->DefaultTabKind = tkRight;
    EXPECT_EQ(doc.AddTab(0, tkLeft), 0u);
    EXPECT_EQ(doc.AddTab(-5, tkLeft), 0u);
    EXPECT_EQ(doc.AddTab(720, tkLeft), 1u);
    EXPECT_EQ(doc.AddTab(720, tkLeft), 1u);   // the same slot again
    EXPECT_EQ(doc.AddTab(720, tkCenter), 2u); // another kind takes another slot
    EXPECT_EQ(doc.AddTab(1440, tkAll), 4u);   // tkAll stores the default kind
    EXPECT_EQ(doc.Header->TabKind[2], tkRight);
    EXPECT_EQ(doc.FindTab(720, tkCenter), 1);
    EXPECT_EQ(doc.FindTab(720, tkAll), 0);
    EXPECT_EQ(doc.FindTab(720, tkDecimal), -1);
    EXPECT_EQ(doc.FindTabInMask(720, tkAll, 2u), 1);
    EXPECT_EQ(doc.FindTabInMask(1440, tkAll, 3u), -1);

    // Snapping to 144 twips only once a resolution is known.
    EXPECT_EQ(doc.FindTab(1400, tkAll), -1);
    doc.Header->PixelsPerInchX = 96;
    EXPECT_EQ(doc.FindTab(1400, tkAll), 2); // (1400 + 73) - (1473 mod 144) = 1440
    EXPECT_EQ(doc.AddTab(2880, tkLeft), 8u);
    EXPECT_EQ(doc.Header->TabPosPixels[3], 192);
    doc.Header->UseInch = 0;
    EXPECT_EQ(doc.Header->SnapTwips(1400), 1410); // centimetres: steps of 141
    EXPECT_EQ(doc.Header->SnapTwips(70), 141);
}

TEST(TabSlots, FullSlotsAreReclaimedWhenNoLongerReferenced)
{
    TQnRTFText doc;
    TParagraph *p = doc.FirstParagraph;
    for (int i = 1; i <= kTabSlots; ++i) {
        uint32_t bit = doc.AddTab(i * 100, tkLeft);
        ASSERT_EQ(bit, 1u << (i - 1));
        p->TabMask |= bit;
    }
    // Every slot taken and referenced: the 32nd position gets no tab.
    EXPECT_EQ(doc.AddTab(5000, tkLeft), 0u);
    EXPECT_EQ(doc.Header->TabPosTwips[4], 500);

    // Slot 4 is let go by the paragraph; a cell's tab slot still counts.
    p->TabMask &= ~(1u << 4) & ~(1u << 6);
    TParagraph *cell = p;
    doc.NewParagraph(cell, 8);
    cell->ParFlags = kParTableCell;
    cell->TabMask = 0x07003280; // CellTab 7 → slot 6
    EXPECT_EQ(doc.AddTab(5000, tkLeft), 1u << 4);
    EXPECT_EQ(doc.Header->TabPosTwips[4], 5000);
    EXPECT_EQ(doc.Header->TabPosTwips[6], 700);
    EXPECT_EQ(doc.Header->TabPosTwips[5], 600);

    // A chain being read keeps its slots too.
    p->TabMask = 0;
    cell->TabMask = 0;
    TParagraph *reading = nullptr;
    doc.NewParagraph(reading, 8);
    reading->TabMask = 0xFFFFFFFF >> 1;
    doc.ReadingChain = reading;
    EXPECT_EQ(doc.AddTab(6000, tkLeft), 0u);
    doc.ReadingChain = nullptr;
    TQnRTFText::FreeParagraphChain(reading);
    EXPECT_NE(doc.AddTab(6000, tkLeft), 0u);
}

TEST(TabSlots, ClearTabsDropsEveryReference)
{
    TQnRTFText doc;
    TParagraph *p = doc.FirstParagraph;
    p->TabMask = doc.AddTab(720, tkLeft) | doc.AddTab(1440, tkDecimal);
    TParagraph *cell = p;
    doc.NewParagraph(cell, 8);
    cell->ParFlags = kParTableCell;
    cell->TabMask = 0x12345678;
    doc.ClearTabs();
    EXPECT_EQ(doc.Header->TabPosTwips[0], 0);
    EXPECT_EQ(doc.Header->TabPosTwips[1], 0);
    EXPECT_EQ(p->TabMask, 0u);
    EXPECT_EQ(cell->TabMask, 0x10345678u); // geometry kept, tab slot dropped
}

TEST(FontTable, FindOrAddAndTheHundredthFont)
{
    TQnRTFText doc;
    EXPECT_EQ(doc.FindOrAddFont("arial"), 0); // case-insensitive
    EXPECT_EQ(doc.FindOrAddFont("Times New Roman"), 1);
    EXPECT_EQ(doc.FindOrAddFont("TIMES NEW ROMAN"), 1);
    const std::string longName(40, 'F');
    EXPECT_EQ(doc.FindOrAddFont(longName), 2);
    EXPECT_EQ(doc.Header->FontNames[2], std::string(31, 'F'));
    EXPECT_EQ(doc.FindOrAddFont(std::string(35, 'F')), 2); // cut before comparing
    EXPECT_EQ(doc.FindOrAddFont("\xC4hre"), 3);
    EXPECT_EQ(doc.FindOrAddFont("\xE4HRE"), 3); // Windows-1252 case pairs

    for (int i = 4; i < kFontSlots; ++i)
        ASSERT_EQ(doc.FindOrAddFont("Font" + std::to_string(i)), i);
    EXPECT_EQ(doc.Header->UsedFontCount(), 99);
    EXPECT_EQ(doc.FindOrAddFont("One Too Many"), 99);
    for (int i = 0; i < kFontSlots; ++i)
        EXPECT_NE(doc.Header->FontNames[i], "One Too Many");
    EXPECT_EQ(doc.FindOrAddFont("font50"), 50); // existing ones are still found
}
