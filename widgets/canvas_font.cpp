#include "widgets/canvas_font.h"

#include <algorithm>

namespace qn {

FontSpec FontSpecOf(const QFont &font, ColorRef color)
{
    FontSpec spec;
    spec.Name = font.family().toStdString();
    if (font.pixelSize() > 0)
        spec.PixelHeight = font.pixelSize();
    else
        spec.SizePoints = std::max(1, qRound(font.pointSizeF()));
    spec.Bold = font.bold();
    spec.Italic = font.italic();
    spec.Underline = font.underline();
    spec.Strikeout = font.strikeOut();
    spec.Color = color;
    return spec;
}

} // namespace qn
