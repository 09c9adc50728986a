#pragma once

// The pictures a flat button makes from its bitmap, and its caption's
// accelerator marks. Pure functions, so they are checked without a display.

#include "platform/canvas.h"

#include <string>
#include <string_view>

namespace qn {

enum TShadingType { stLight, stMedium, stDark };

// The grey copy of a bitmap shown while the mouse is away: every pixel that
// differs from the transparent colour (the top left pixel) becomes white,
// the button highlight, the button shadow or black after the thresholds of
// the shading on R + G + B. highlight and shadow are RGB values.
CanvasBitmap MakeGreyBitmap(const CanvasBitmap &bitmap, TShadingType shading, ColorRef highlight,
                            ColorRef shadow);

// The one-bit image of a bitmap that its disabled look is drawn from: black
// where a pixel is neither the transparent colour nor white.
CanvasBitmap MakeMonoBitmap(const CanvasBitmap &bitmap);

// The 8 x 8 dither of a down button: highlight where x and y are both even
// or both odd, face elsewhere.
CanvasBitmap MakeDitherPattern(ColorRef highlight, ColorRef face);

// The caption without accelerator marks: each single "&" is dropped, "&&"
// becomes "&".
std::string StripAccelerators(std::string_view caption);
// Where the accelerator character stands in the stripped caption, or -1.
int AcceleratorIndex(std::string_view caption);

} // namespace qn
