#pragma once

// The 16 x 16 pictures of the action bar's buttons.

#include "platform/canvas.h"

#include <string_view>

namespace qn {

// By name: "first", "prev", "date", "next", "last", "save", "cancel",
// "hide", "exit"; an empty bitmap for any other name.
CanvasBitmap ActionBarGlyph(std::string_view name);

} // namespace qn
