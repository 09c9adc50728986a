#pragma once

// Pictures from the clipboard as embedded objects: a 24-bit device-independent
// bitmap, the form the document model and the RTF writer keep pictures in.

#include <QImage>

#include <memory>

#include "richtext/model/graphic.h"

namespace qn {

// Nothing for an empty image.
std::shared_ptr<TQnGraphic> GraphicFromImage(const QImage &image);

} // namespace qn
