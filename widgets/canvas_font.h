#pragma once

// Qt fonts and colours as the canvas takes them.

#include "platform/canvas.h"

#include <QColor>
#include <QFont>

namespace qn {

// The em height in pixels when the font has one, else its size in points.
FontSpec FontSpecOf(const QFont &font, ColorRef color = 0);

inline ColorRef ColorRefOf(const QColor &color)
{
    return Rgb(color.red(), color.green(), color.blue());
}

} // namespace qn
