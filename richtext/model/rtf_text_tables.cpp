// The header's shared tables: tab slots and fonts.

#include "richtext/model/rtf_text.h"

#include "platform/ansi.h"
#include "platform/winmath.h"

namespace qn {

namespace {

constexpr uint32_t kAllSlots = (1u << kTabSlots) - 1;

// Slots a paragraph refers to. A table cell's TabMask holds its geometry;
// its only tab slot is the one named by CellTab.
uint32_t slotsUsedBy(const TParagraph *p)
{
    if (!p->IsTableCell())
        return p->TabMask & kAllSlots;
    const int cellTab = p->CellTab() & 0x0F;
    return cellTab ? 1u << (cellTab - 1) : 0;
}

} // namespace

int TQnRTFText::FindTab(int32_t position, TTabKind kind) const
{
    return FindTabInMask(position, kind, kAllSlots);
}

int TQnRTFText::FindTabInMask(int32_t position, TTabKind kind, uint32_t mask) const
{
    const TTextHeader &h = *Header;
    auto find = [&](int32_t pos) {
        if (pos == 0)
            return -1;
        for (int i = 0; i < kTabSlots; ++i)
            if ((mask & (1u << i)) && h.TabPosTwips[i] == pos &&
                (kind == tkAll || h.TabKind[i] == kind))
                return i;
        return -1;
    };
    int slot = find(position);
    if (slot < 0 && h.PixelsPerInchX > 0)
        slot = find(h.SnapTwips(position));
    return slot;
}

uint32_t TQnRTFText::AddTab(int32_t position, TTabKind kind)
{
    if (position <= 0)
        return 0;
    const int existing = FindTab(position, kind);
    if (existing >= 0)
        return 1u << existing;
    TTextHeader &h = *Header;
    auto freeSlot = [&] {
        for (int i = 0; i < kTabSlots; ++i)
            if (h.TabPosTwips[i] == 0)
                return i;
        return -1;
    };
    int slot = freeSlot();
    if (slot < 0 && h.OnTabsFull) {
        h.OnTabsFull();
        slot = freeSlot();
    }
    if (slot < 0)
        return 0;
    h.TabPosTwips[slot] = position;
    h.TabPosPixels[slot] = h.PixelsPerInchX > 0 ? MulDiv(position, h.PixelsPerInchX, 1440) : 0;
    h.TabKind[slot] = kind == tkAll ? h.DefaultTabKind : static_cast<uint8_t>(kind);
    return 1u << slot;
}

void TQnRTFText::ClearTabs()
{
    TTextHeader &h = *Header;
    for (int i = 0; i <= kTabSlots; ++i) {
        h.TabPosTwips[i] = 0;
        h.TabPosPixels[i] = 0;
    }
    for (int i = 0; i < kTabSlots; ++i)
        h.TabKind[i] = 0;
    h.RulerTabMask = 0;
    // No paragraph may keep a bit of a slot that a later tab will reuse.
    for (TParagraph *chain : {FirstParagraph, ReadingChain})
        for (TParagraph *p = chain; p; p = p->Next) {
            if (p->IsTableCell())
                p->SetCellTab(p->CellTab() & 0xF0);
            else
                p->TabMask = 0;
        }
}

void TQnRTFText::CollectTabSlots()
{
    uint32_t used = 0;
    for (TParagraph *chain : {FirstParagraph, ReadingChain})
        for (TParagraph *p = chain; p; p = p->Next)
            used |= slotsUsedBy(p);
    TTextHeader &h = *Header;
    uint32_t occupied = 0;
    for (int i = 0; i < kTabSlots; ++i)
        if (h.TabPosTwips[i] != 0)
            occupied |= 1u << i;
    if ((occupied & ~used) == 0)
        return;
    for (int i = 0; i < kTabSlots; ++i)
        if ((occupied & (1u << i)) && !(used & (1u << i))) {
            h.TabPosTwips[i] = 0;
            h.TabPosPixels[i] = 0;
            h.TabKind[i] = 0;
        }
}

int TQnRTFText::FindOrAddFont(std::string_view name)
{
    if (name.empty())
        return 0;
    name = name.substr(0, kFontNameMax);
    TTextHeader &h = *Header;
    for (int i = 0; i < kFontSlots; ++i) {
        if (h.FontNames[i].empty()) {
            h.FontNames[i] = std::string(name);
            h.FontPitchFamily[i] = 0;
            h.FontCharset[i] = 0;
            return i;
        }
        if (AnsiSameText(h.FontNames[i], name))
            return i;
    }
    return kFontSlots;
}

} // namespace qn
