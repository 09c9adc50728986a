#pragma once

// The mark of a day that holds an entry: a small red tag, 16 x 16 pixels,
// on a white ground that counts as transparent.

#include "platform/canvas.h"

namespace qn {

constexpr ColorRef kEntryGlyphGround = 0x00FFFFFF;

const CanvasBitmap &EntryGlyph();

} // namespace qn
