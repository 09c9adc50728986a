// The property words of the RTF reader: one small handler per group of
// related words (characters, paragraphs, borders, tables, pictures and
// objects, the document), each taking the actions it knows.

#include "richtext/io/rtf_reader.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/ansi.h"
#include "platform/winmath.h"
#include "richtext/io/rtf_control_words.h"

namespace qn {

using namespace rtf;

namespace {

uint8_t clampByte(int64_t v)
{
    return static_cast<uint8_t>(std::clamp<int64_t>(v, 0, 255));
}

// Lengths are kept within the reader's limit.
bool isLength(uint8_t action)
{
    switch (action) {
    case aLeftIndent:
    case aRightIndent:
    case aFirstIndent:
    case aSpaceBefore:
    case aSpaceAfter:
    case aLineSpacing:
    case aTab:
    case aRowLeft:
    case aCellEdge:
        return true;
    default:
        return false;
    }
}

} // namespace

void TQnRtfReader::property(uint8_t action, int32_t v)
{
    if (isLength(action))
        v = std::clamp(v, -kMaxTwips, kMaxTwips);
    using Handler = bool (TQnRtfReader::*)(uint8_t, int32_t);
    static constexpr Handler handlers[] = {
        &TQnRtfReader::characterWord, &TQnRtfReader::paragraphWord, &TQnRtfReader::borderWord,
        &TQnRtfReader::tableWord,     &TQnRtfReader::pictureWord,   &TQnRtfReader::documentWord};
    for (Handler h : handlers)
        if ((this->*h)(action, v))
            return;
}

// ---------------------------------------------------------------------------
// Characters

void TQnRtfReader::styleWord(std::string_view name, int32_t value)
{
    // The style bit comes from the word itself.
    static constexpr struct {
        std::string_view name;
        uint16_t bit;
    } bits[] = {{"b", kStyleBold},
                {"i", kStyleItalic},
                {"ul", kStyleUnderline},
                {"strike", kStyleStrikeout},
                {"uldb", kStyleDoubleUnderline},
                {"shad", kStyleShadow},
                {"v", kStyleHidden}};
    uint16_t bit = kStyleUnderline; // the other underline kinds
    for (const auto &b : bits)
        if (b.name == name)
            bit = b.bit;
    if (value)
        attr_.Style |= bit;
    else
        attr_.Style &= ~bit;
}

bool TQnRtfReader::characterWord(uint8_t action, int32_t v)
{
    const bool text = dest_ == kText;
    switch (action) {
    case aPlain:
        attr_ = TCharAttr{};
        setFont(rtf::RtfCodePages::kNoFont);
        return true;
    case aFont:
        if (dest_ == kFonts) {
            fontNumber_ = v;
            return true;
        }
        if (v >= 0 && v < kFontSlots)
            attr_.FontIndex = fontMap_[v];
        setFont(v);
        return true;
    case aFontSize: {
        const int32_t points = v / 2;
        attr_.Size = points <= 0 ? 10 : clampByte(points);
        return true;
    }
    case aSuper:
        if (!text)
            return true;
        if (v)
            attr_.Style |= kStyleSuperscript;
        else
            attr_.Style &= ~kStyleSuperscript;
        return true;
    case aSub:
        if (v)
            attr_.Style |= kStyleSubscript;
        else
            attr_.Style &= ~kStyleSubscript;
        return true;
    case aNoSuperSub:
        attr_.Style &= ~(kStyleSuperscript | kStyleSubscript);
        return true;
    case xUnderlineOff:
        attr_.Style &= ~(kStyleUnderline | kStyleDoubleUnderline);
        return true;
    case aInsertPoint:
        if (v) {
            attr_.Style = (attr_.Style | kStyleInsertPoint) & ~kStyleAutoText;
            attr_.Tag = static_cast<int16_t>(v);
        } else {
            attr_.Style &= ~kStyleInsertPoint;
            attr_.Tag = 0;
        }
        return true;
    case aAutoText:
        if (v)
            attr_.Style = (attr_.Style | kStyleAutoText) & ~kStyleInsertPoint;
        else
            attr_.Style &= ~kStyleAutoText;
        return true;
    case aRawRtf:
        if (v) {
            attr_.Style |= kStyleRtfCode;
            raw_ = true;
            rawMatch_ = 0;
        } else {
            attr_.Style &= ~kStyleRtfCode;
        }
        return true;
    case aTextColour:
        if (v >= 0 && v < kColorSlots)
            attr_.Colors = static_cast<uint8_t>((attr_.Colors & 0xF0) | v);
        return true;
    case aBackColour:
        if (v >= 0 && v < kColorSlots)
            attr_.Colors = static_cast<uint8_t>((attr_.Colors & 0x0F) | v << 4);
        return true;
    case xUnicode:
        unicodeChar(v < 0 ? v + 65536 : v);
        return true;
    case xUnicodeSkip:
        unicodeSkip_ = static_cast<uint8_t>(std::clamp(v, 0, 16));
        return true;
    default:
        return false;
    }
}

// ---------------------------------------------------------------------------
// Paragraphs

void TQnRtfReader::applyImage(TParagraph *p, const ParImage &m, bool tabs)
{
    p->FirstIndent = m.FirstIndent;
    p->LeftIndent = m.LeftIndent;
    p->RightIndent = m.RightIndent;
    p->SpaceBefore = m.SpaceBefore;
    p->SpaceAfter = m.SpaceAfter;
    p->LineSpacing = m.LineSpacing;
    p->Alignment = m.Alignment;
    p->BorderFlags = m.Border[0];
    p->BorderStyle = m.Border[1];
    p->BorderWidth = m.Border[2];
    p->BorderSpaceColor = m.Border[3];
    if (tabs)
        p->TabMask = m.TabMask;
}

bool TQnRtfReader::paragraphWord(uint8_t action, int32_t v)
{
    // Paragraph words in a destination (a footnote's own paragraphs, say)
    // must not change the paragraph around it.
    const bool text = dest_ == kText;
    switch (action) {
    case aPar:
        if (!text)
            return true;
        if (tableMode_) {
            character(10, true);
            cellBreak_ = true;
        } else {
            newParagraph();
        }
        return true;
    case aLeftIndent:
        ownProps_ = ownProps_ || text;
        if (text && !tableMode_) {
            image_.LeftIndent = std::max(0, v);
            image_.FirstIndent = pendingFirstIndent_;
            pendingFirstIndent_ = 0;
            par_->LeftIndent = image_.LeftIndent;
            par_->FirstIndent = image_.FirstIndent;
        }
        return true;
    case aRightIndent:
        ownProps_ = ownProps_ || text;
        if (text && !tableMode_) {
            image_.RightIndent = v;
            par_->RightIndent = v;
        }
        return true;
    case aFirstIndent:
        ownProps_ = ownProps_ || text;
        if (text && !tableMode_) {
            image_.FirstIndent = par_->FirstIndent = v;
            pendingFirstIndent_ = v;
        }
        return true;
    case aSpaceBefore:
        ownProps_ = ownProps_ || text;
        if (text)
            image_.SpaceBefore = par_->SpaceBefore = std::max(0, v);
        return true;
    case aSpaceAfter:
        ownProps_ = ownProps_ || text;
        if (text)
            image_.SpaceAfter = par_->SpaceAfter = std::max(0, v);
        return true;
    case aLineSpacing:
        ownProps_ = ownProps_ || text;
        if (text)
            image_.LineSpacing = par_->LineSpacing = std::max(0, v);
        return true;
    case aAlign:
        ownProps_ = ownProps_ || text;
        if (text)
            image_.Alignment = par_->Alignment = static_cast<uint8_t>(v);
        return true;
    case aPage:
        if (text)
            par_->ParFlags |= kParPageBreak;
        return true;
    case aTabKind:
        pendingTabKind_ = static_cast<uint8_t>(v);
        return true;
    case aTab:
        if (text)
            tabStop(v);
        return true;
    case aPard:
        if (!text)
            return true;
        ownProps_ = true;
        if (par_->Prev && (par_->Prev->BorderFlags & kBorderOn))
            par_->Prev->BorderFlags |= kBorderNotInherited;
        // Everything the paragraph words set goes back to its default.
        image_ = ParImage{};
        applyImage(par_, image_, !par_->IsTableCell());
        pendingFirstIndent_ = 0;
        tableMode_ = false;
        tabsStarted_ = false;
        return true;
    default:
        return false;
    }
}

void TQnRtfReader::tabStop(int32_t v)
{
    const auto kind = static_cast<TTabKind>(pendingTabKind_ & 3);
    pendingTabKind_ = 0;
    if (tableMode_) {
        // The inverse of the writer: positions inside a cell are written
        // from the cell's start.
        const int64_t right = std::max<int64_t>(0, textWidth() - largestEdge_);
        const int64_t inner = int64_t(textWidth()) - right - par_->LeftIndent;
        const int64_t position = v + par_->LeftIndent + inner * std::min(widthSum_, 255) / 255;
        const uint32_t bit = Document->AddTab(
            static_cast<int32_t>(std::clamp<int64_t>(position, 0, INT32_MAX)), kind);
        if (bit) {
            const int slot = std::countr_zero(bit);
            if (slot < 15)
                cellTab_ = static_cast<uint8_t>(slot + 1);
        }
        return;
    }
    ownProps_ = true;
    if (!tabsStarted_) {
        image_.TabMask = par_->TabMask = 0;
        tabsStarted_ = true;
    }
    const uint32_t bit = Document->AddTab(v, kind);
    image_.TabMask |= bit;
    par_->TabMask |= bit;
}

// ---------------------------------------------------------------------------
// Borders

uint8_t *TQnRtfReader::borderTarget()
{
    if (!tableMode_)
        return nullptr;
    return cellBorders_[std::min<size_t>(cellEdges_.size(), kMaxCells)];
}

void TQnRtfReader::setBorderByte(int index, uint8_t value, uint8_t mask)
{
    auto set = [&](uint8_t &b) { b = static_cast<uint8_t>((b & ~mask) | (value & mask)); };
    if (uint8_t *slot = borderTarget()) {
        set(slot[index]);
        return;
    }
    ownProps_ = true;
    set(image_.Border[index]);
    uint8_t *bytes[] = {&par_->BorderFlags, &par_->BorderStyle, &par_->BorderWidth,
                        &par_->BorderSpaceColor};
    set(*bytes[index]);
}

void TQnRtfReader::setBorderBits(uint8_t action, bool cellWord)
{
    uint8_t flags = 0, style = 0;
    bool raiseSpace = false;
    switch (action) {
    case 0:
        flags = 0x41;
        raiseSpace = true;
        break;
    case 1:
        flags = 0x05;
        break;
    case 2:
        flags = 0x11;
        raiseSpace = true;
        break;
    case 3:
        flags = 0x09;
        break;
    case 4:
        flags = 0x21;
        raiseSpace = true;
        break;
    case 5:
        flags = 0x81;
        break;
    case 6:
        style = kBorderDotted;
        flags = 0x01;
        break;
    case 9:
        style = kBorderTabLine;
        flags = 0x01;
        break;
    default:
        return;
    }
    uint8_t *slot = borderTarget();
    if (cellWord && !slot)
        return; // a cell border outside a row definition
    if (slot) {
        slot[0] |= flags;
        slot[1] |= style;
        if ((slot[0] & 0x3C) == 0x3C) // four sides make a box
            slot[0] = static_cast<uint8_t>((slot[0] & ~0x3C) | kBorderOn | kBorderBox);
        slot[0] |= kBorderNotInherited;
        return;
    }
    ownProps_ = true;
    image_.Border[0] |= flags;
    image_.Border[1] |= style;
    par_->BorderFlags |= flags;
    par_->BorderStyle |= style;
    if (raiseSpace && (image_.Border[3] & 0xF0) == 0) {
        image_.Border[3] |= 0x10;
        par_->BorderSpaceColor = image_.Border[3] | (par_->BorderSpaceColor & 0x0F);
    }
}

bool TQnRtfReader::borderWord(uint8_t action, int32_t v)
{
    if (dest_ != kText)
        return action == aCellBorder || action == aBorder || action == xBorderStyle ||
               action == aBorderWidth || action == aBorderSpace || action == aBorderColour;
    switch (action) {
    case aCellBorder:
        setBorderBits(static_cast<uint8_t>(v), true);
        return true;
    case aBorder:
        setBorderBits(static_cast<uint8_t>(v), false);
        return true;
    case xBorderStyle:
        setBorderByte(1, static_cast<uint8_t>(v), static_cast<uint8_t>(v));
        setBorderByte(0, kBorderOn, kBorderOn);
        return true;
    case aBorderWidth:
        setBorderByte(2, clampByte(v / 20), 0xFF);
        return true;
    case aBorderSpace:
        setBorderByte(3, static_cast<uint8_t>(std::clamp(v / 56, 0, 15) << 4), 0xF0);
        return true;
    case aBorderColour:
        setBorderByte(3, static_cast<uint8_t>(v & 15), 0x0F);
        return true;
    default:
        return false;
    }
}

// ---------------------------------------------------------------------------
// Tables

void TQnRtfReader::applyCellBorders(int cell)
{
    const uint8_t *slot = cellBorders_[std::min(cell, kMaxCells)];
    std::memcpy(image_.Border, slot, 4);
    par_->BorderFlags = slot[0];
    par_->BorderStyle = slot[1];
    par_->BorderWidth = slot[2];
    par_->BorderSpaceColor = slot[3];
}

bool TQnRtfReader::tableWord(uint8_t action, int32_t v)
{
    const bool text = dest_ == kText;
    switch (action) {
    case aRowDefaults:
        if (!text)
            return true;
        std::memset(cellBorders_, 0, sizeof cellBorders_);
        tableMode_ = true;
        cellEdges_.clear();
        largestEdge_ = 0;
        widthSum_ = 0;
        cellIndex_ = 0;
        return true;
    case aRowLeft:
        if (text)
            image_.LeftIndent = par_->LeftIndent = std::max(0, v);
        return true;
    case aRowGap: {
        const int32_t gap = v < 1 ? 0 : v <= 55 ? 56 : v;
        const uint8_t mm = clampByte(std::min(gap / 56, 15));
        for (auto &slot : cellBorders_)
            slot[3] = static_cast<uint8_t>((slot[3] & 0x0F) | mm << 4);
        return true;
    }
    case aCellEdge:
        if (text && cellEdges_.size() < kMaxCells) {
            const int32_t edge = std::max<int64_t>(0, int64_t(v) - image_.LeftIndent);
            cellEdges_.push_back(edge);
            largestEdge_ = std::max(largestEdge_, edge);
        }
        return true;
    case aInTable:
        if (!text)
            return true;
        tableMode_ = true;
        applyCellBorders(cellIndex_);
        image_.SpaceBefore = par_->SpaceBefore = 40;
        return true;
    case aCell:
        if (text)
            endCell();
        return true;
    case aRow:
        if (!text || !tableMode_)
            return true;
        cellIndex_ = 0;
        widthSum_ = 0;
        if (lastCell_)
            lastCell_->ParFlags &= ~kParCellRowOpen;
        std::memset(image_.Border, 0, 4);
        par_->BorderFlags = par_->BorderStyle = par_->BorderWidth = par_->BorderSpaceColor = 0;
        image_.SpaceBefore = par_->SpaceBefore = 0;
        return true;
    default:
        return false;
    }
}

void TQnRtfReader::endCell()
{
    const int32_t edge =
        cellIndex_ < static_cast<int>(cellEdges_.size()) ? cellEdges_[cellIndex_] : 0;
    int width = edge >= 1 && largestEdge_ > 0 ? MulDiv(255, edge, largestEdge_) - widthSum_ : 10;
    width = std::clamp(width, 1, 255);
    TParagraph *cell = par_;
    // A cell whose last paragraph ended with \par: that end is the cell's.
    if (cellBreak_ && line_->Length > 0 && line_->Text[line_->Length - 1] == 10) {
        line_->Text[--line_->Length] = 0;
        cellBreak_ = false;
    }
    cell->TabMask = 0;
    cell->SetCellWidth(static_cast<uint8_t>(width));
    cell->SetCellLeft(clampByte(widthSum_));
    cell->SetCellTab(cellTab_);
    widthSum_ = std::min(widthSum_ + width, 1 << 20);
    cell->RightIndent = std::max(0, textWidth() - largestEdge_);
    cell->ParFlags |= kParTableCell | kParCellRowOpen | (cellIndex_ > 0 ? kParCellNotFirst : 0);
    lastCell_ = cell;
    if (cellIndex_ < kMaxCells)
        ++cellIndex_;
    newParagraph();
    applyCellBorders(cellIndex_);
}

// ---------------------------------------------------------------------------
// Pictures and objects

bool TQnRtfReader::pictureWord(uint8_t action, int32_t v)
{
    switch (action) {
    case aBitmap:
        pictureKind_ = 2;
        return true;
    case aDib:
        pictureKind_ = 1;
        return true;
    case aMetafile:
        pictureKind_ = 0;
        metafileMode_ = v;
        if (pictureData_.empty())
            pictureData_.assign(22, 0); // room for the placeable header
        return true;
    case aPicWidth:
        picW_ = v;
        return true;
    case aPicHeight:
        picH_ = v;
        return true;
    case aPicGoalWidth:
        picGoalW_ = v;
        return true;
    case aPicGoalHeight:
        picGoalH_ = v;
        return true;
    case aPicScaleX:
        picScaleX_ = v;
        return true;
    case aPicScaleY:
        picScaleY_ = v;
        return true;
    case aBitsPerPixel:
        bitsPerPixel_ = v;
        return true;
    case aPlanes:
        planes_ = v;
        return true;
    case aWidthBytes:
        widthBytes_ = v;
        return true;
    case aObjectTag:
        objectTag_ = v;
        return true;
    case aObjectWidth:
        objectW_ = v;
        return true;
    case aObjectHeight:
        objectH_ = v;
        return true;
    default:
        return false;
    }
}

// ---------------------------------------------------------------------------
// The document: page set-up, colour and font tables, footnote numbers

bool TQnRtfReader::documentWord(uint8_t action, int32_t v)
{
    TTextHeader &h = *Header;
    switch (action) {
    case aPaperWidth:
        paperWidth_ = v;
        if (!InsertInto)
            h.PageWidth = v;
        return true;
    case aPaperHeight:
        if (!InsertInto)
            h.PageHeight = v;
        return true;
    case aMarginLeft:
        marginLeft_ = v;
        if (!InsertInto)
            h.MarginLeft = v;
        return true;
    case aMarginRight:
        marginRight_ = v;
        if (!InsertInto)
            h.MarginRight = v;
        return true;
    case aMarginTop:
        if (!InsertInto)
            h.MarginTop = v;
        return true;
    case aMarginBottom:
        if (!InsertInto)
            h.MarginBottom = v;
        return true;
    case aFacingPages:
        if (!InsertInto)
            h.FacingPages = 1;
        return true;
    case aLandscape:
        if (!InsertInto)
            h.Landscape = 1;
        return true;
    case aRed:
    case aGreen:
    case aBlue:
        if (dest_ == kColours && colourIndex_ < kColorSlots && !InsertInto) {
            const int shift = action == aRed ? 0 : action == aGreen ? 8 : 16;
            uint32_t &c = h.Colors[colourIndex_];
            c = (c & ~(0xFFu << shift)) | uint32_t(v & 0xFF) << shift;
        }
        return true;
    case xFontFamily:
        if (dest_ == kFonts)
            fontFamily_ = v;
        return true;
    case xCharset:
    case xFontCharset:
        if (dest_ == kFonts) {
            fontCharset_ = std::clamp(v, 0, 255);
            if (action == xFontCharset)
                codePages_.SetFontCharset(fontNumber_, fontCharset_);
        }
        return true;
    case xCodePage:
        codePages_.SetDocumentPage(v);
        setFont(font_);
        return true;
    case xDefaultFont:
        codePages_.SetDefaultFont(v);
        setFont(font_);
        return true;
    case aFootnoteNumber:
        if (footnote_ && dest_ == kFootnoteText)
            footnote_->Number = v;
        return true;
    default:
        return false;
    }
}

} // namespace qn
