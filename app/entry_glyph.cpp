#include "app/entry_glyph.h"

#include <array>

namespace qn {

namespace {

// k black outline, r red, d dark red, s silver stripe, . white ground
// (the hole of the tag is ground too).
constexpr std::array<const char *, 16> kTag = {
    "................", //
    "..........kkkk..", //
    ".........krrrdk.", //
    "........krrrrdk.", //
    ".......ksrrrddk.", //
    "......krrsrrdk..", //
    ".....ksrrrsddk..", //
    "....krrsrrdsk...", //
    "...ksrrrsddk....", //
    "..krrsrrdsk.....", //
    ".krrrrsrdk......", //
    ".kr.rrdsk.......", //
    "..krrddk........", //
    "...kddk.........", //
    "....kk..........", //
    "................", //
};

ColorRef colorOf(char c)
{
    switch (c) {
    case 'k':
        return Rgb(0, 0, 0);
    case 'r':
        return Rgb(255, 0, 0);
    case 'd':
        return Rgb(128, 0, 0);
    case 's':
        return Rgb(192, 192, 192);
    default:
        return kEntryGlyphGround;
    }
}

CanvasBitmap makeGlyph()
{
    CanvasBitmap glyph(16, 16, kEntryGlyphGround);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            glyph.Set(x, y, colorOf(kTag[size_t(y)][x]));
    return glyph;
}

} // namespace

const CanvasBitmap &EntryGlyph()
{
    static const CanvasBitmap glyph = makeGlyph();
    return glyph;
}

} // namespace qn
