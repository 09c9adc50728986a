#pragma once

// What the user sees as one character inside a line: a letter with its
// combining marks, an emoji with its modifiers and joined parts. The caret,
// Backspace and Delete step over such a cluster whole. Only characters from
// U+0300 on continue a cluster, so text below that is stepped one by one
// without asking the Unicode rules.

#include <string_view>

#include "platform/unicode_text.h"
#include "richtext/model/records.h"

namespace qn {

// The end of the cluster that begins at offset (offset < Length).
inline int ClusterEnd(const TLine *line, int offset)
{
    if (offset + 1 >= line->Length || line->Text[offset + 1] < 0x300)
        return offset + 1;
    const std::u32string_view text(line->Text, line->Length);
    return static_cast<int>(unicode::NextGraphemeBoundary(text, size_t(offset)));
}

// The start of the cluster that ends at offset (0 < offset <= Length).
inline int ClusterStart(const TLine *line, int offset)
{
    if (line->Text[offset - 1] < 0x300)
        return offset - 1;
    const std::u32string_view text(line->Text, line->Length);
    return static_cast<int>(unicode::PreviousGraphemeBoundary(text, size_t(offset)));
}

// The nearest cluster boundary at or before offset.
inline int ClusterFloor(const TLine *line, int offset)
{
    if (offset <= 0 || offset >= line->Length || line->Text[offset] < 0x300)
        return offset;
    const std::u32string_view text(line->Text, line->Length);
    if (unicode::IsGraphemeBoundary(text, size_t(offset)))
        return offset;
    return static_cast<int>(unicode::PreviousGraphemeBoundary(text, size_t(offset)));
}

// The nearest cluster boundary at or after offset.
inline int ClusterCeiling(const TLine *line, int offset)
{
    const int floor = ClusterFloor(line, offset);
    return floor == offset ? offset : ClusterEnd(line, floor);
}

} // namespace qn
