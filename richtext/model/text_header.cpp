#include "richtext/model/text_header.h"

#include "platform/winmath.h"
#include "richtext/model/language.h"

namespace qn {

namespace {
constexpr uint32_t rgb(uint32_t r, uint32_t g, uint32_t b)
{
    return r | (g << 8) | (b << 16);
}
} // namespace

const uint32_t kDefaultColors[kColorSlots] = {
    rgb(0, 0, 0),       rgb(255, 0, 0),     rgb(0, 128, 0),     rgb(0, 0, 255),
    rgb(255, 255, 0),   rgb(255, 0, 255),   rgb(128, 0, 128),   rgb(128, 0, 0),
    rgb(0, 255, 0),     rgb(0, 255, 255),   rgb(0, 128, 128),   rgb(0, 0, 128),
    rgb(255, 255, 255), rgb(192, 192, 192), rgb(128, 128, 128), rgb(0, 0, 0),
};

TTextHeader::TTextHeader()
{
    Reset();
}

void TTextHeader::Reset()
{
    for (int i = 1; i < kFontSlots; ++i) {
        FontNames[i].clear();
        FontPitchFamily[i] = 0;
        FontCharset[i] = 0;
    }
    PageWidth = kDefaultPageWidth;
    PageHeight = kDefaultPageHeight;
    PageOption1 = 1;
    MarginLeft = kDefaultMarginLeft;
    MarginRight = kDefaultMarginRight;
    MarginTop = kDefaultMarginTop;
    MarginBottom = kDefaultMarginBottom;
    FacingPages = 0;
    Landscape = 0;
    PageOption2 = 0;
    for (int i = 0; i < kColorSlots; ++i)
        Colors[i] = kDefaultColors[i];
    RecomputePixelSizes();
    DefaultTabKind = 0;
    DecimalChar = EngineDecimalChar();
}

void TTextHeader::RecomputePixelSizes()
{
    LayoutWidthTwips = PageWidth - MarginLeft - MarginRight;
    TextAreaWidthPixels = MulDiv(PageWidth - MarginLeft - MarginRight, PixelsPerInchX, 1440);
    TextAreaHeightPixels = MulDiv(PageHeight - MarginTop - MarginBottom, PixelsPerInchY, 1440);
    RulerStepPixels = MulDiv(PixelsPerInchX, 100, UseInch ? 300 : 254);
}

int32_t TTextHeader::SnapTwips(int32_t position) const
{
    const int32_t step = TabSnapStep();
    const int32_t v = position + step / 2 + 1;
    return v - v % step;
}

int TTextHeader::UsedFontCount() const
{
    int n = 0;
    while (n < kFontSlots && !FontNames[n].empty())
        ++n;
    return n;
}

} // namespace qn
