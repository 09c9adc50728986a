#include "richtext/controls/clipboard_picture.h"

namespace qn {

namespace {

void put32(std::vector<uint8_t> &v, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        v[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

} // namespace

std::shared_ptr<TQnGraphic> GraphicFromImage(const QImage &image)
{
    if (image.isNull() || image.width() <= 0 || image.height() <= 0)
        return nullptr;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    const int w = rgb.width(), h = rgb.height();
    const size_t stride = (size_t(w) * 3 + 3) & ~size_t(3);
    constexpr size_t kHeader = 40;
    auto graphic = std::make_shared<TQnGraphic>();
    graphic->Kind = gkDib;
    graphic->WidthPixels = w;
    graphic->HeightPixels = h;
    graphic->BitsPerPixel = 24;
    graphic->WidthBytes = static_cast<int32_t>(stride);
    std::vector<uint8_t> &dib = graphic->Data;
    dib.assign(kHeader + stride * size_t(h), 0);
    put32(dib, 0, kHeader);
    put32(dib, 4, static_cast<uint32_t>(w));
    put32(dib, 8, static_cast<uint32_t>(h)); // rows bottom-up
    dib[12] = 1;                             // planes
    dib[14] = 24;                            // bits per pixel
    put32(dib, 20, static_cast<uint32_t>(stride * size_t(h)));
    put32(dib, 24, 3780); // 96 dpi in pixels per metre
    put32(dib, 28, 3780);
    for (int y = 0; y < h; ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(rgb.constScanLine(h - 1 - y));
        uint8_t *out = dib.data() + kHeader + stride * size_t(y);
        for (int x = 0; x < w; ++x) {
            out[3 * x] = static_cast<uint8_t>(qBlue(line[x]));
            out[3 * x + 1] = static_cast<uint8_t>(qGreen(line[x]));
            out[3 * x + 2] = static_cast<uint8_t>(qRed(line[x]));
        }
    }
    return graphic;
}

} // namespace qn
