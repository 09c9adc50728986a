#pragma once

// Qt fonts as the canvas selects them.

#include "platform/canvas.h"

#include <QFont>

namespace qn {

// The em height in pixels when the font has one, else its size in points.
FontSpec FontSpecOf(const QFont &font, ColorRef color = 0);

} // namespace qn
