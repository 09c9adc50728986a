#pragma once

// The frame of a control or panel: one pixel wide, or none. Shared by the
// editor and the widgets, which the forms place side by side.

#include <cstdint>

namespace qn {

enum TBorderStyle : uint8_t { bsNone, bsSingle };

} // namespace qn
