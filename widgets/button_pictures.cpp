#include "widgets/button_pictures.h"

namespace qn {

namespace {

struct Thresholds {
    int White, Highlight, Shadow;
};

Thresholds thresholdsOf(TShadingType shading)
{
    switch (shading) {
    case stLight:
        return {205, 127, 68};
    case stDark:
        return {335, 274, 175};
    case stMedium:
    default:
        return {553, 231, 57};
    }
}

constexpr ColorRef kWhite = 0x00FFFFFF;

} // namespace

CanvasBitmap MakeGreyBitmap(const CanvasBitmap &bitmap, TShadingType shading, ColorRef highlight,
                            ColorRef shadow)
{
    CanvasBitmap grey = bitmap;
    if (grey.IsEmpty())
        return grey;
    const Thresholds t = thresholdsOf(shading);
    const ColorRef transparent = grey.At(0, 0);
    for (ColorRef &pixel : grey.Pixels) {
        if (pixel == transparent)
            continue;
        const int sum = RedOf(pixel) + GreenOf(pixel) + BlueOf(pixel);
        if (sum > t.White)
            pixel = kWhite;
        else if (sum > t.Highlight)
            pixel = highlight;
        else if (sum > t.Shadow)
            pixel = shadow;
        else
            pixel = 0;
    }
    return grey;
}

CanvasBitmap MakeMonoBitmap(const CanvasBitmap &bitmap)
{
    CanvasBitmap mono(bitmap.Width, bitmap.Height, kWhite);
    if (bitmap.IsEmpty())
        return mono;
    const ColorRef transparent = bitmap.At(0, 0);
    for (size_t i = 0; i < bitmap.Pixels.size(); ++i) {
        const ColorRef pixel = bitmap.Pixels[i] & kWhite;
        if (pixel != transparent && pixel != kWhite)
            mono.Pixels[i] = 0;
    }
    return mono;
}

CanvasBitmap MakeDitherPattern(ColorRef highlight, ColorRef face)
{
    CanvasBitmap pattern(8, 8, face);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            if (x % 2 == y % 2)
                pattern.Set(x, y, highlight);
    return pattern;
}

std::string StripAccelerators(std::string_view caption)
{
    std::string text;
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&') {
            if (i + 1 < caption.size() && caption[i + 1] == '&')
                text += '&', ++i;
            continue;
        }
        text += caption[i];
    }
    return text;
}

int AcceleratorIndex(std::string_view caption)
{
    int stripped = 0;
    int found = -1;
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&') {
            if (i + 1 < caption.size() && caption[i + 1] == '&') {
                ++i, ++stripped;
                continue;
            }
            // The last single mark counts, as Windows underlines it.
            if (i + 1 < caption.size())
                found = stripped;
            continue;
        }
        ++stripped;
    }
    return found;
}

} // namespace qn
