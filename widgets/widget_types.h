#pragma once

// Small types the widgets share.

#include "platform/border_style.h"

namespace qn {

// Horizontal placement of a caption.
enum TAlignment { taLeftJustify, taRightJustify, taCenter };

} // namespace qn
