#pragma once

// A picture or control embedded in a document, without any window system:
// what it is, how big it is in pixels, and its bytes exactly as read, so that
// a picture goes out byte for byte as it came in. Drawing is the business of
// the layout layer.

#include <cstdint>
#include <string>
#include <vector>

namespace qn {

enum TQnGraphicKind : uint8_t {
    gkMetafile = 0, // Data: the metafile with its 22-byte placeable header in front
    gkDib = 1,      // Data: the device-independent bitmap (info header, colours, bits)
    gkDdb = 2,      // Data: the bits of a device-dependent bitmap, rows of WidthBytes
    gkControl = 3,  // a control; no data, only its size
};

struct TQnGraphic {
    TQnGraphicKind Kind = gkDib;
    int32_t WidthPixels = 0;
    int32_t HeightPixels = 0;
    // Bitmap description (DDB as read; DIB as found in its header).
    int32_t BitsPerPixel = 0;
    int32_t Planes = 1;
    int32_t WidthBytes = 0;
    // Metafile mapping mode (8 for the anisotropic metafiles the writer emits).
    int32_t MapMode = 8;
    std::vector<uint8_t> Data;

    bool IsPicture() const { return Kind != gkControl; }
};

} // namespace qn
