#pragma once

// The few things the readers and writers need to know about bitmaps: whether
// device-independent bitmap bytes hang together, loading a bitmap file, and
// turning a device-dependent bitmap into a device-independent one.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "richtext/model/graphic.h"

namespace qn {

// Checks g.Data as a device-independent bitmap (information header, colour
// table, bits) and fills the size and bit fields from its header. False when
// the bytes are too short or the header makes no sense.
bool DescribeDib(TQnGraphic &g);

// A device-independent bitmap from a bitmap file ("BM" and a 14-byte file
// header in front); nullptr when the file cannot be read or is no bitmap.
std::shared_ptr<TQnGraphic> LoadBitmapFile(const std::filesystem::path &path);

// The device-independent form of a device-dependent bitmap of 1, 24 or 32
// bits per pixel (one plane); nothing for other kinds.
std::optional<std::vector<uint8_t>> DdbToDib(const TQnGraphic &ddb);

} // namespace qn
