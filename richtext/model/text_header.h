#pragma once

// The document header: page set-up, font and colour tables, the shared tab
// slots and the document information. One per document, owned by it.

#include <cstdint>
#include <functional>
#include <string>

#include "richtext/model/records.h"

namespace qn {

constexpr int kFontSlots = 99;   // slots 0..98
constexpr int kFontNameMax = 31; // a font name is cut to this many characters
constexpr int kTabSlots = 31;    // slots 0..30
constexpr int kColorSlots = 16;

// Defaults of a reset header, in twips.
constexpr int32_t kDefaultPageWidth = 12240;
constexpr int32_t kDefaultPageHeight = 15840;
constexpr int32_t kDefaultMarginLeft = 1880;
constexpr int32_t kDefaultMarginRight = 1880;
constexpr int32_t kDefaultMarginTop = 1440;
constexpr int32_t kDefaultMarginBottom = 1440;

// The default colour table as COLORREF values (0x00BBGGRR).
extern const uint32_t kDefaultColors[kColorSlots];

struct TTextHeader {
    int32_t LayoutWidthPixels = 0;
    int32_t LayoutWidthTwips = 0; // page width - margins
    uint32_t Colors[kColorSlots] = {};
    int32_t PixelsPerInchX = 0; // set by the layout layer
    int32_t PixelsPerInchY = 0;
    int32_t Reserved = 0;
    // Called when every tab slot is taken; the document installs its collector.
    std::function<void()> OnTabsFull;
    uint8_t RichMode = 1; // 1 while attribute arrays exist

    // Font table; an empty name ends the used part.
    std::string FontNames[kFontSlots];
    int32_t FontPitchFamily[kFontSlots] = {}; // Windows pitch-and-family byte
    int32_t FontCharset[kFontSlots] = {};     // Windows character set

    // Tab slots (one spare entry each); a position of 0 marks a free slot.
    int32_t TabPosTwips[kTabSlots + 1] = {};
    int32_t TabPosPixels[kTabSlots + 1] = {};
    uint8_t TabKind[kTabSlots] = {};
    uint8_t DecimalChar = '.';

    std::string Title, Subject, Comment; // empty = absent

    int32_t PageWidth = kDefaultPageWidth;
    int32_t PageHeight = kDefaultPageHeight;
    int32_t PageOption1 = 1; // carried with the page set-up only
    int32_t MarginLeft = kDefaultMarginLeft;
    int32_t MarginRight = kDefaultMarginRight;
    int32_t MarginTop = kDefaultMarginTop;
    int32_t MarginBottom = kDefaultMarginBottom;
    uint8_t FacingPages = 0;
    uint8_t Landscape = 0;
    uint32_t PageOption2 = 0; // carried with the page set-up only

    // Indents and tab mask of the paragraph at the cursor (editor and ruler).
    int32_t RulerFirstIndent = 0;
    int32_t RulerLeftIndent = 0;
    int32_t RulerRightIndent = 0;
    uint32_t RulerTabMask = 0;

    uint8_t UseInch = 1; // 1 inches (tabs snap to 144 twips), 0 centimetres (141)

    // Pixel caches, see RecomputePixelSizes.
    int32_t TextAreaWidthPixels = 0;
    int32_t TextAreaHeightPixels = 0;
    int32_t RulerStepPixels = 0;

    uint8_t LoadedFormat = 0;   // 2 RTF, 3 plain text, 4 HTML; never reset
    uint8_t DefaultTabKind = 0; // kind of a new slot when tkAll is asked

    TTextHeader();

    // Back to a new document's page: font slots 1..98 emptied, page size and
    // margins, colour table, pixel sizes, DefaultTabKind, and DecimalChar from
    // the engine-wide language. Slot 0, tab slots, texts, ruler fields, UseInch
    // and LoadedFormat are kept.
    void Reset();

    // TextArea sizes and ruler step from the page and the resolution; the
    // layout width in twips from the page.
    void RecomputePixelSizes();

    // Tab stops snap to this many twips: 144 in inch mode, else 141.
    int32_t TabSnapStep() const { return UseInch ? 144 : 141; }
    // The snapping rule also used for indents read from files.
    int32_t SnapTwips(int32_t position) const;

    // Slots 0.. up to the first empty name.
    int UsedFontCount() const;
};

} // namespace qn
