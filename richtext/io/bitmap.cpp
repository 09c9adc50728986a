#include "richtext/io/bitmap.h"

#include <cstring>
#include <fstream>

namespace qn {

namespace {

uint32_t le32(const uint8_t *p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
}
uint16_t le16(const uint8_t *p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
void put32(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void put16(uint8_t *p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

// Pictures larger than this many pixels a side are taken for damage.
constexpr int32_t kMaxSide = 1 << 15;
// Bitmap files larger than this are not loaded.
constexpr std::uintmax_t kMaxBitmapFile = 256u << 20;

} // namespace

bool DescribeDib(TQnGraphic &g)
{
    const std::vector<uint8_t> &d = g.Data;
    if (d.size() < 40)
        return false;
    const uint32_t headerSize = le32(&d[0]);
    const int32_t width = static_cast<int32_t>(le32(&d[4]));
    const int32_t height = static_cast<int32_t>(le32(&d[8]));
    const int planes = le16(&d[12]);
    const int bits = le16(&d[14]);
    const uint32_t compression = le32(&d[16]);
    const uint32_t imageSize = le32(&d[20]);
    const uint32_t coloursUsed = le32(&d[32]);
    if (headerSize < 40 || headerSize > d.size() || width <= 0 || width > kMaxSide || height == 0 ||
        height > kMaxSide || height < -kMaxSide || planes != 1)
        return false;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return false;
    int64_t colours = bits <= 8 ? (1 << bits) : 0;
    if (coloursUsed != 0 && coloursUsed < static_cast<uint32_t>(colours))
        colours = coloursUsed;
    int64_t extra = compression == 3 && headerSize == 40 ? 12 : 0; // bit-field masks
    const int64_t rows = height < 0 ? -int64_t(height) : height;
    int64_t bitsSize = (int64_t(width) * bits + 31) / 32 * 4 * rows;
    if (compression == 1 || compression == 2) // run-length encoded
        bitsSize = imageSize;
    else if (compression != 0 && compression != 3)
        return false;
    if (int64_t(headerSize) + extra + colours * 4 + bitsSize > static_cast<int64_t>(d.size()))
        return false;
    g.Kind = gkDib;
    g.WidthPixels = width;
    g.HeightPixels = static_cast<int32_t>(rows);
    g.BitsPerPixel = bits;
    g.Planes = planes;
    g.WidthBytes = static_cast<int32_t>((int64_t(width) * bits + 7) / 8);
    return true;
}

std::shared_ptr<TQnGraphic> LoadBitmapFile(const std::filesystem::path &path)
{
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec || size < 14 + 40 || size > kMaxBitmapFile)
        return nullptr;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return nullptr;
    std::vector<uint8_t> bytes(size);
    if (!in.read(reinterpret_cast<char *>(bytes.data()), static_cast<std::streamsize>(size)))
        return nullptr;
    if (bytes[0] != 'B' || bytes[1] != 'M')
        return nullptr;
    auto g = std::make_shared<TQnGraphic>();
    g->Data.assign(bytes.begin() + 14, bytes.end());
    if (!DescribeDib(*g))
        return nullptr;
    return g;
}

std::optional<std::vector<uint8_t>> DdbToDib(const TQnGraphic &ddb)
{
    const int bits = ddb.BitsPerPixel;
    const int32_t w = ddb.WidthPixels, h = ddb.HeightPixels;
    if (ddb.Planes != 1 || (bits != 1 && bits != 24 && bits != 32) || w <= 0 || h <= 0 ||
        w > kMaxSide || h > kMaxSide)
        return std::nullopt;
    const int64_t srcStride = ddb.WidthBytes;
    const int64_t rowBytes = (int64_t(w) * bits + 7) / 8;
    if (srcStride < rowBytes || int64_t(ddb.Data.size()) < srcStride * h)
        return std::nullopt;
    const int64_t dstStride = (int64_t(w) * bits + 31) / 32 * 4;
    const int colours = bits == 1 ? 2 : 0;
    std::vector<uint8_t> dib(40 + colours * 4 + dstStride * h, 0);
    put32(&dib[0], 40);
    put32(&dib[4], static_cast<uint32_t>(w));
    put32(&dib[8], static_cast<uint32_t>(h));
    put16(&dib[12], 1);
    put16(&dib[14], static_cast<uint16_t>(bits));
    put32(&dib[20], static_cast<uint32_t>(dstStride * h));
    if (colours) // black, white
        put32(&dib[44], 0x00FFFFFF);
    uint8_t *bitsOut = dib.data() + 40 + colours * 4;
    // Device-dependent rows run top down, independent ones bottom up.
    for (int32_t y = 0; y < h; ++y)
        std::memcpy(bitsOut + (h - 1 - y) * dstStride, ddb.Data.data() + y * srcStride,
                    static_cast<size_t>(rowBytes));
    return dib;
}

} // namespace qn
