#pragma once

// The 16 x 16 pictures of the formatting tool bar's icons, drawn at run time
// in the colours of the 16-colour palette.

#include <QPixmap>
#include <QString>

namespace qn {

constexpr int kToolBarGlyphSize = 16;

// The picture of an icon by its bitmap name ("QNI_BOLD", case ignored); a
// null pixmap for a name that has none.
QPixmap ToolBarGlyph(const QString &name);

} // namespace qn
