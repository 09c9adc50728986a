#pragma once

// Following the cursor: the control hands the state at its cursor (paragraph,
// attribute, scroll offset, edit state) to a set-mode object, which pushes
// it into the linked tool bar and ruler.

#include <cstdint>

#include "richtext/controls/rich_text_links.h"
#include "richtext/model/records.h"
#include "richtext/model/text_header.h"

namespace qn {

class TQnSetModeControl {
public:
    virtual ~TQnSetModeControl() = default;
    // The cursor's paragraph may have changed.
    virtual void ParagraphUpdate(const TParagraph &paragraph, TTextHeader &header) = 0;
    // The current attribute may have changed.
    virtual void AttrUpdate(const TCharAttr &attr, bool blockMarked, const TTextHeader &header) = 0;
    // The view scrolled horizontally (scrollX <= 0).
    virtual void ScrollUpdate(int scrollX, int editorOffset) = 0;
    // Selection marked, clipboard holding text, the block spanning the whole text.
    virtual void EditStateUpdate(bool blockMarked, bool clipboardHasText, bool wholeText) = 0;
};

class TQnRichTextSetMode : public TQnSetModeControl {
public:
    TQnToolBarLink *ToolBar = nullptr;
    TQnRulerControlLink *Ruler = nullptr;
    // State of the hidden-text icon, as the last attribute update left it.
    bool HiddenToggle = false;

    void ParagraphUpdate(const TParagraph &paragraph, TTextHeader &header) override;
    void AttrUpdate(const TCharAttr &attr, bool blockMarked, const TTextHeader &header) override;
    void ScrollUpdate(int scrollX, int editorOffset) override;
    void EditStateUpdate(bool blockMarked, bool clipboardHasText, bool wholeText) override;

    // The ruler's tab mask of a paragraph: its TabMask, or in a table cell
    // the bit of the cell's one tab slot.
    static uint32_t TabMaskOf(const TParagraph &paragraph);
    // The alignment icon (group 2) of an alignment.
    static int AlignmentIcon(uint8_t alignment);
};

} // namespace qn
