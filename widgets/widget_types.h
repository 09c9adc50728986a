#pragma once

// Small types the widgets share.

namespace qn {

// Horizontal placement of a caption.
enum TAlignment { taLeftJustify, taRightJustify, taCenter };

// A one-pixel frame around a panel, or none.
enum TBorderStyle { bsNone, bsSingle };

} // namespace qn
