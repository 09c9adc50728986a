// The control's window-free parts: following the cursor into the tool bar
// and ruler, the status texts, reading characters at the cursor, selections
// by position, and paragraphs made from a properties record.
#include <gtest/gtest.h>

#include "richtext/controls/rich_text_document.h"
#include "richtext/controls/rich_text_set_mode.h"
#include "richtext/controls/rich_text_texts.h"
#include "tests/richtext/controls/rich_text_links_test.h"
#include "tests/support/text32.h"

using qn::test::Ansi;
using qn::test::U32;

using namespace qn;
using qn::test::RecordingRuler;
using qn::test::RecordingToolBar;

namespace {

TCharAttr attrWith(uint16_t style, uint8_t font = 0, uint8_t size = 12, uint8_t colors = 0x21)
{
    TCharAttr a;
    a.Style = style;
    a.FontIndex = font;
    a.Size = size;
    a.Colors = colors;
    return a;
}

void fill(TQnRTFTextIo &doc, const std::vector<std::string> &paragraphs)
{
    doc.Clear();
    for (size_t i = 0; i < paragraphs.size(); ++i) {
        if (i == 0)
            doc.SetParagraphText(0, U32(paragraphs[0]), nullptr);
        else
            doc.AddParagraphWithText(int(i), U32(paragraphs[i]), nullptr);
    }
    doc.ResetCursor();
}

} // namespace

TEST(RichTextSetMode, AttributeStateReachesTheStyleIconsAndLists)
{
    TTextHeader header;
    header.FontNames[3] = "Courier New";
    RecordingToolBar bar;
    TQnRichTextSetMode mode;
    mode.ToolBar = &bar;

    mode.AttrUpdate(attrWith(kStyleBold | kStyleSubscript | kStyleRtfCode, 3, 14, 0x52), false,
                    header);
    EXPECT_TRUE(bar.IsDown(1, 2));
    EXPECT_FALSE(bar.IsDown(1, 3));
    EXPECT_TRUE(bar.IsDown(1, 8));
    EXPECT_TRUE(bar.IsDown(1, 19));
    EXPECT_FALSE(bar.IsDown(1, 1));
    EXPECT_EQ(bar.FontName, "Courier New");
    EXPECT_EQ(bar.Values[snFontSize], 14);
    EXPECT_EQ(bar.Values[snTextColor], 2);
    EXPECT_EQ(bar.Values[snBackColor], 5);

    // Nothing set and no block: Normal is pressed, everything else released.
    mode.AttrUpdate(attrWith(0), false, header);
    EXPECT_TRUE(bar.IsDown(1, 1));
    for (int icon : {2, 3, 4, 5, 6, 7, 8, 9, 19})
        EXPECT_FALSE(bar.IsDown(1, icon)) << icon;
    // A marked block releases Normal.
    mode.AttrUpdate(attrWith(0), true, header);
    EXPECT_FALSE(bar.IsDown(1, 1));

    // Hidden shows only while a block is marked, and sets the toggle.
    mode.AttrUpdate(attrWith(kStyleHidden), false, header);
    EXPECT_FALSE(bar.IsDown(1, 9));
    EXPECT_FALSE(mode.HiddenToggle);
    mode.AttrUpdate(attrWith(kStyleHidden), true, header);
    EXPECT_TRUE(bar.IsDown(1, 9));
    EXPECT_TRUE(mode.HiddenToggle);

    // A font index past the table gives an empty name.
    mode.AttrUpdate(attrWith(0, 99), false, header);
    EXPECT_EQ(bar.FontName, "");
}

TEST(RichTextSetMode, ParagraphStateReachesTheAlignmentIconsAndTheRuler)
{
    TTextHeader header;
    RecordingToolBar bar;
    RecordingRuler ruler;
    TQnRichTextSetMode mode;
    mode.ToolBar = &bar;
    mode.Ruler = &ruler;

    TParagraph p;
    p.FirstIndent = 360;
    p.LeftIndent = 720;
    p.RightIndent = 144;
    p.TabMask = 0x5;
    const std::pair<uint8_t, int> alignments[] = {
        {kAlignLeft, 1}, {kAlignRight, 2}, {kAlignCenter, 4}, {kAlignJustify, 3}};
    for (auto [alignment, icon] : alignments) {
        p.Alignment = alignment;
        mode.ParagraphUpdate(p, header);
        for (int i = 1; i <= 4; ++i)
            EXPECT_EQ(bar.IsDown(2, i), i == icon) << int(alignment) << " icon " << i;
    }
    EXPECT_EQ(header.RulerTabMask, 0x5u);
    EXPECT_EQ(header.RulerFirstIndent, 360);
    EXPECT_EQ(header.RulerLeftIndent, 720);
    EXPECT_EQ(header.RulerRightIndent, 144);
    EXPECT_EQ(ruler.First, 360);
    EXPECT_EQ(ruler.Left, 720);
    EXPECT_EQ(ruler.Right, 144);
    // The ruler repaints when the tab mask changed only.
    EXPECT_EQ(ruler.Repaints, 1);

    // A table cell shows its single tab slot.
    TParagraph cell;
    cell.ParFlags = kParTableCell;
    cell.SetCellTab(4); // slot 3
    mode.ParagraphUpdate(cell, header);
    EXPECT_EQ(header.RulerTabMask, 0x8u);
    EXPECT_EQ(ruler.Repaints, 2);
    cell.SetCellTab(0);
    mode.ParagraphUpdate(cell, header);
    EXPECT_EQ(header.RulerTabMask, 0u);

    mode.ScrollUpdate(-40, 12);
    EXPECT_EQ(ruler.ScrollX, -40);
    EXPECT_EQ(ruler.EditorOffset, 12);
}

TEST(RichTextSetMode, EditStateEnablesTheEditIcons)
{
    RecordingToolBar bar;
    TQnRichTextSetMode mode;
    mode.ToolBar = &bar;
    mode.EditStateUpdate(false, true, false);
    EXPECT_FALSE(bar.IsEnabled(3, 1));
    EXPECT_FALSE(bar.IsEnabled(3, 2));
    EXPECT_FALSE(bar.IsEnabled(3, 5));
    EXPECT_TRUE(bar.IsEnabled(3, 3));
    EXPECT_FALSE(bar.IsDown(3, 4));
    mode.EditStateUpdate(true, false, true);
    EXPECT_TRUE(bar.IsEnabled(3, 1));
    EXPECT_TRUE(bar.IsEnabled(3, 2));
    EXPECT_TRUE(bar.IsEnabled(3, 5));
    EXPECT_FALSE(bar.IsEnabled(3, 3));
    EXPECT_TRUE(bar.IsDown(3, 4));
    mode.EditStateUpdate(true, false, false);
    EXPECT_FALSE(bar.IsDown(3, 4));
}

TEST(RichTextTexts, BothLanguagesAndTheEngineSetting)
{
    EXPECT_EQ(RichTextString(tqnEnglish, rtsReady), "Ready");
    EXPECT_EQ(RichTextString(tqnGerman, rtsReady), "Bereit");
    EXPECT_EQ(RichTextString(tqnGerman, rtsDeleteTabs), QString::fromUtf8("Tabulatoren löschen"));
    EXPECT_EQ(RichTextString(tqnEnglish, rtsPlain), "PLAIN");
    EXPECT_EQ(RichTextString(tqnGerman, rtsRich), "FMT");
    EXPECT_EQ(LoadRichTextString(56009), "no text selected");
    EXPECT_EQ(LoadRichTextString(56109), "keine Auswahl markiert");
    EXPECT_EQ(LoadRichTextString(56014), "");
    EXPECT_EQ(LoadRichTextString(56000), "");
    // The filters are kept as they stand, the trailing characters included.
    EXPECT_TRUE(RichTextString(tqnEnglish, rtsFileFilter).endsWith("|*.*')"));
    EXPECT_TRUE(RichTextString(tqnGerman, rtsFileFilter).startsWith("Formatierte Texte|*.RTF"));
    EXPECT_EQ(FileDialogFilter("RTF files|*.RTF|all|*.*"), "RTF files (*.RTF);;all (*.*)");
}

TEST(RichTextDocument, CharactersAtTheCursorAcrossLinesAndParagraphs)
{
    TQnRTFTextIo doc;
    fill(doc, {"ab", "", "c"});
    // A second line inside the first paragraph.
    TLine *first = doc.FirstParagraph->Lines;
    TLine *second = doc.AppendLine(doc.FirstParagraph, 8);
    doc.AppendToLine(second, U32("d"), doc.CurrentAttr);
    (void)first;
    std::string seen;
    doc.ResetCursor();
    do {
        const uint8_t c = CharAtCursor(doc);
        seen += c == 13 ? '|' : c == 0 ? '$' : char(c);
    } while (StepCursor(doc));
    EXPECT_EQ(seen, "abd||c$");
    EXPECT_FALSE(StepCursor(doc));
}

TEST(RichTextDocument, PositionsAndSelections)
{
    TQnRTFTextIo doc;
    fill(doc, {"hello", "world"});
    EXPECT_EQ(TextEndPosition(doc), 11);
    SelectRange(doc, 3, 5);
    int start, length;
    BlockRange(doc, start, length);
    EXPECT_EQ(start, 3);
    EXPECT_EQ(length, 5);
    EXPECT_EQ(AbsolutePosition(doc, doc.Cursor), 8);
    EXPECT_EQ(doc.Cursor.Paragraph, doc.FirstParagraph->Next);
    EXPECT_TRUE(HasBlock(doc));
    SelectRange(doc, 4, 0);
    EXPECT_FALSE(HasBlock(doc));
    EXPECT_EQ(AbsolutePosition(doc, doc.Cursor), 4);
    // Past the end is clamped.
    SelectRange(doc, 0, 999);
    BlockRange(doc, start, length);
    EXPECT_EQ(length, 11);
}

TEST(RichTextDocument, ParagraphFromPropsIntoEmptyAndNonEmptyDocuments)
{
    TParProps props;
    props.Alignment = kAlignCenter;
    props.SpaceAfter = 90;
    props.LeftIndent = 144;
    props.PageBreak = 1;
    props.CharAttr = attrWith(kStyleBold | kStyleItalic | kStyleUnderline, 0, 10);
    props.Text = "Monday, March 4, 2024";

    TQnRTFTextIo empty;
    empty.Clear();
    ApplyParagraphProps(empty, props);
    ASSERT_EQ(empty.ParagraphCount(), 1);
    TParagraph *p = empty.FirstParagraph;
    EXPECT_EQ(Ansi(empty.ParagraphText(0)), props.Text);
    EXPECT_EQ(p->Alignment, kAlignCenter);
    EXPECT_EQ(p->SpaceAfter, 90);
    EXPECT_EQ(p->LeftIndent, 144);
    EXPECT_EQ(p->ParFlags & kParPageBreak, 0) << "no page break in an empty document";
    EXPECT_EQ(p->Lines->Attrs[0].Style, props.CharAttr.Style);

    TQnRTFTextIo doc;
    fill(doc, {"one", "two", "three"});
    doc.SetCursorPosition(5, 0, 0, 0); // inside "two"
    ApplyParagraphProps(doc, props);
    ASSERT_EQ(doc.ParagraphCount(), 4);
    EXPECT_EQ(Ansi(doc.ParagraphText(1)), "two") << "the cursor's paragraph is not split";
    EXPECT_EQ(Ansi(doc.ParagraphText(2)), props.Text);
    TParagraph *added = doc.ParagraphAt(2);
    EXPECT_EQ(added->ParFlags & kParPageBreak, kParPageBreak);
    EXPECT_EQ(added->Alignment, kAlignCenter);
    EXPECT_EQ(doc.Cursor.Paragraph, added);
    EXPECT_EQ(doc.Cursor.Offset, 0);
    EXPECT_EQ(Ansi(doc.ParagraphText(3)), "three");

    // A page-break record without text: an empty paragraph that breaks.
    TParProps pageBreak;
    pageBreak.PageBreak = 1;
    ApplyParagraphProps(doc, pageBreak);
    EXPECT_EQ(doc.ParagraphCount(), 5);
    EXPECT_EQ(doc.ParagraphLength(3), 0);
    EXPECT_EQ(doc.ParagraphAt(3)->ParFlags, kParPageBreak);
}
