#include "richtext/controls/rich_text_set_mode.h"

namespace qn {

namespace {

// Style bits and the group-1 icons that show them.
struct StyleIcon {
    uint16_t Bit;
    int Icon;
};
const StyleIcon kStyleIcons[] = {
    {kStyleBold, 2},      {kStyleItalic, 3},      {kStyleUnderline, 4}, {kStyleDoubleUnderline, 5},
    {kStyleStrikeout, 6}, {kStyleSuperscript, 7}, {kStyleSubscript, 8}, {kStyleRtfCode, 19},
};
constexpr int kHiddenIcon = 9;
constexpr int kNormalIcon = 1;

} // namespace

uint32_t TQnRichTextSetMode::TabMaskOf(const TParagraph &paragraph)
{
    if (!paragraph.IsTableCell())
        return paragraph.TabMask;
    const int slot = paragraph.CellTab() & 0x0F;
    return slot ? (1u << (slot - 1)) : 0;
}

int TQnRichTextSetMode::AlignmentIcon(uint8_t alignment)
{
    switch (alignment) {
    case kAlignRight:
        return 2;
    case kAlignCenter:
        return 4;
    case kAlignJustify:
        return 3;
    default:
        return 1;
    }
}

void TQnRichTextSetMode::ParagraphUpdate(const TParagraph &paragraph, TTextHeader &header)
{
    const uint32_t mask = TabMaskOf(paragraph);
    const bool tabsChanged = header.RulerTabMask != mask;
    header.RulerTabMask = mask;
    header.RulerFirstIndent = paragraph.FirstIndent;
    header.RulerLeftIndent = paragraph.LeftIndent;
    header.RulerRightIndent = paragraph.RightIndent;
    if (ToolBar) {
        const int pressed = AlignmentIcon(paragraph.Alignment);
        for (int icon = 1; icon <= 4; ++icon)
            ToolBar->SetIconDown(kIconGroupAlign, icon, icon == pressed);
    }
    if (Ruler) {
        Ruler->SetIndents(paragraph.FirstIndent, paragraph.LeftIndent, paragraph.RightIndent);
        if (tabsChanged)
            Ruler->RepaintRuler();
    }
}

void TQnRichTextSetMode::AttrUpdate(const TCharAttr &attr, bool blockMarked,
                                    const TTextHeader &header)
{
    HiddenToggle = blockMarked && (attr.Style & kStyleHidden);
    if (!ToolBar)
        return;
    bool any = false;
    for (const StyleIcon &icon : kStyleIcons) {
        const bool on = attr.Style & icon.Bit;
        any = any || on;
        ToolBar->SetIconDown(kIconGroupStyle, icon.Icon, on);
    }
    ToolBar->SetIconDown(kIconGroupStyle, kHiddenIcon, HiddenToggle);
    ToolBar->SetIconDown(kIconGroupStyle, kNormalIcon, !any && !HiddenToggle && !blockMarked);
    const std::string name = attr.FontIndex < kFontSlots ? header.FontNames[attr.FontIndex] : "";
    ToolBar->SetListValue(snFontName, name, attr.FontIndex);
    ToolBar->SetListValue(snFontSize, std::string(), attr.Size);
    ToolBar->SetListValue(snTextColor, std::string(), attr.TextColor());
    ToolBar->SetListValue(snBackColor, std::string(), attr.BackColor());
}

void TQnRichTextSetMode::ScrollUpdate(int scrollX, int editorOffset)
{
    if (!Ruler)
        return;
    Ruler->SetEditorOffset(editorOffset);
    Ruler->SetScrollOffset(scrollX);
}

void TQnRichTextSetMode::EditStateUpdate(bool blockMarked, bool clipboardHasText, bool wholeText)
{
    if (!ToolBar)
        return;
    ToolBar->EnableIcon(kIconGroupEdit, 1, blockMarked);
    ToolBar->EnableIcon(kIconGroupEdit, 2, blockMarked);
    ToolBar->EnableIcon(kIconGroupEdit, 5, blockMarked);
    ToolBar->EnableIcon(kIconGroupEdit, 3, clipboardHasText);
    ToolBar->SetIconDown(kIconGroupEdit, 4, blockMarked && wholeText);
}

} // namespace qn
