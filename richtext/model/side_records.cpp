#include "richtext/model/side_records.h"

namespace qn {

void TParProps::ApplyTo(TParagraph &p) const
{
    p.Alignment = Alignment;
    p.FirstIndent = FirstIndent;
    p.LeftIndent = LeftIndent;
    p.RightIndent = RightIndent;
    p.SpaceBefore = SpaceBefore;
    p.SpaceAfter = SpaceAfter;
    p.LineSpacing = LineSpacing;
    p.ParFlags = ParFlags | (PageBreak == 1 ? kParPageBreak : 0);
    p.BorderFlags = BorderFlags;
    p.BorderStyle = BorderStyle;
    p.BorderWidth = BorderWidth;
    p.BorderSpaceColor = BorderSpaceColor;
    p.Numbering = Numbering;
    p.TabMask = TabMask;
    p.State |= kStateRebreak | kStateRepaint;
}

void TParProps::TakeFrom(const TParagraph &p)
{
    Alignment = p.Alignment;
    FirstIndent = p.FirstIndent;
    LeftIndent = p.LeftIndent;
    RightIndent = p.RightIndent;
    SpaceBefore = p.SpaceBefore;
    SpaceAfter = p.SpaceAfter;
    LineSpacing = p.LineSpacing;
    ParFlags = p.ParFlags;
    BorderFlags = p.BorderFlags;
    BorderStyle = p.BorderStyle;
    BorderWidth = p.BorderWidth;
    BorderSpaceColor = p.BorderSpaceColor;
    Numbering = p.Numbering;
    TabMask = p.TabMask;
    PageBreak = (p.ParFlags & kParPageBreak) ? 1 : 0;
}

} // namespace qn
