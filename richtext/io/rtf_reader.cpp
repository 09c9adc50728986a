#include "richtext/io/rtf_reader.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/ansi.h"
#include "platform/winmath.h"
#include "richtext/io/bitmap.h"
#include "richtext/io/progress.h"
#include "richtext/io/rtf_control_words.h"

namespace qn {

using namespace rtf;

namespace {

int hexValue(uint8_t c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

uint8_t clampByte(int64_t v) { return static_cast<uint8_t>(std::clamp<int64_t>(v, 0, 255)); }

// Letters of either case make a control word's name (current writers use
// words such as \mmathPr); the lookup itself stays case-sensitive.
bool isLetter(uint8_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

constexpr char kRawClose[] = "\\qnrtf0";
constexpr int kRawCloseLength = 7;

} // namespace

TQnRtfReader::TQnRtfReader() { stack_.reserve(32); }
TQnRtfReader::~TQnRtfReader() = default;

// ---------------------------------------------------------------------------
// Reading

int TQnRtfReader::Read(TQnStream &stream, TParagraph *&first)
{
    if (!Header || !Document)
        throw EQnRTFText("Wrong Arguments in\tTQnRTFReader");
    SetStream(stream);
    attr_ = TCharAttr{};
    attr_.Size = 10;
    paperWidth_ = Header->PageWidth;
    marginLeft_ = Header->MarginLeft;
    marginRight_ = Header->MarginRight;
    TQnProgress progress(stream.Size() - streamStart_);
    progress_ = &progress;
    ErrorState = 0;
    int result = kReadOk;
    try {
        StartTarget(60);
        first = first_;
        fresh_ = line_->Length == 0 && !line_->Prev;
        // Indents are relative while reading; a given paragraph's are made so.
        if (!ownsChain_)
            par_->FirstIndent -= par_->LeftIndent;
        result = parse();
    } catch (const EQnRTFText &e) {
        ErrorState = std::string_view(e.what()) == kErrorNewParagraphMemory ? 2 : 7;
        pictureData_.clear();
        first = first_;
        if (first_)
            MarkParagraphsRead(true);
        FinishInput();
        progress_ = nullptr;
        throw;
    } catch (...) {
        ErrorState = 7;
        pictureData_.clear();
        first = first_;
        if (first_)
            MarkParagraphsRead(true);
        FinishInput();
        progress_ = nullptr;
        throw;
    }
    first = first_;
    MarkParagraphsRead(true);
    FinishInput();
    progress_ = nullptr;
    if (result != kReadOk)
        ErrorState = 7;
    return result;
}

int TQnRtfReader::parse()
{
    uint8_t c;
    while (!stop_ && NextByte(c)) {
        if (input_ == kBinary) {
            dispatch(c);
            if (--binaryLeft_ <= 0)
                input_ = kNormal;
            continue;
        }
        if (c == 0)
            break;
        if (dest_ == kPictureData && input_ == kNormal) {
            const int v = hexValue(c);
            if (v >= 0) {
                if (hexHigh_ < 0) {
                    hexHigh_ = v;
                } else {
                    if (pictureData_.size() < kMaxPictureBytes)
                        pictureData_.push_back(static_cast<uint8_t>(hexHigh_ << 4 | v));
                    else
                        pictureTooLarge_ = true;
                    hexHigh_ = -1;
                }
                continue;
            }
        }
        if (input_ == kQuoted) {
            dispatch(c);
            continue;
        }
        if (raw_) {
            rawByte(c);
            continue;
        }
        switch (c) {
        case 9:
            // A literal tab in the text is a tab (some writers put no \tab);
            // elsewhere it only separates words.
            if (dest_ == kText)
                dispatch(9);
            break;
        case 10:
        case 13:
            break;
        case '\\':
            if (int r = controlWord())
                return r;
            break;
        case '{':
            pushGroup();
            break;
        case '}':
            popGroup();
            break;
        default:
            dispatch(c);
        }
    }
    if (raw_)
        for (int i = 0; i < rawMatch_; ++i)
            character(static_cast<uint8_t>(kRawClose[i]), false);
    return kReadOk;
}

void TQnRtfReader::rawByte(uint8_t c)
{
    if (c == static_cast<uint8_t>(kRawClose[rawMatch_])) {
        if (++rawMatch_ == kRawCloseLength) {
            raw_ = false;
            rawMatch_ = 0;
            attr_.Style &= ~kStyleRtfCode;
        }
        return;
    }
    for (int i = 0; i < rawMatch_; ++i)
        character(static_cast<uint8_t>(kRawClose[i]), false);
    rawMatch_ = 0;
    if (c == static_cast<uint8_t>(kRawClose[0]))
        rawMatch_ = 1;
    else
        character(c, false);
}

// ---------------------------------------------------------------------------
// Control words

int TQnRtfReader::hexByte(bool lenient)
{
    // A byte that is not a hex digit: where the text is skipped anyway it is
    // read again as ordinary input, elsewhere it ends the reading.
    const auto notHex = [&] {
        if (lenient)
            PushBack();
        else
            stop_ = true;
        return kReadOk;
    };
    uint8_t a, b;
    if (!NextByte(a))
        return kReadFailed;
    const int hi = hexValue(a);
    if (hi < 0)
        return notHex();
    if (!NextByte(b))
        return kReadFailed;
    const int lo = hexValue(b);
    if (lo < 0)
        return notHex();
    dispatch(static_cast<uint8_t>(hi << 4 | lo));
    return kReadOk;
}

int TQnRtfReader::controlWord()
{
    uint8_t c;
    if (!NextByte(c))
        return kReadFailed;
    if (!isLetter(c)) {
        // A control symbol.
        if (c == '\'')
            return hexByte(dest_ == kSkip);
        if (c == '\r') {
            // A backslash before CR LF is one paragraph end, not two.
            uint8_t next;
            if (NextByte(next) && next != '\n')
                PushBack();
        }
        if (dest_ == kSkip && c != '*')
            return kReadOk;
        if (c == '\n' || c == '\r') {
            // A backslash before a line end is \par (how some writers end
            // every paragraph).
            skipIfUnknown_ = false;
            act(*FindControlWord("par"), false, 0);
            return kReadOk;
        }
        const ControlWord *w = FindControlSymbol(c);
        if (!w)
            return kReadOk;
        if (w->Class == WordClass::Special) {
            if (w->Action == sStar)
                skipIfUnknown_ = true;
            return kReadOk;
        }
        skipIfUnknown_ = false;
        if (w->Class == WordClass::Character && w->Action != 0)
            dispatch(w->Action);
        return kReadOk;
    }
    char name[32];
    int length = 0;
    do {
        if (length < 31)
            name[length] = static_cast<char>(c);
        ++length;
        if (!NextByte(c))
            return kReadFailed;
    } while (isLetter(c));
    bool negative = false, hasParam = false;
    int64_t value = 0;
    if (c == '-') {
        negative = true;
        if (!NextByte(c))
            return kReadFailed;
    }
    int digits = 0;
    while (c >= '0' && c <= '9') {
        hasParam = true;
        if (digits++ < 19 && value < (int64_t(1) << 40))
            value = value * 10 + (c - '0');
        if (!NextByte(c))
            return kReadFailed;
    }
    if (c != ' ')
        PushBack();
    if (negative)
        value = -value;
    const auto param = static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));

    const ControlWord *w = length <= 29 ? FindControlWord(std::string_view(name, length)) : nullptr;
    if (dest_ == kSkip) {
        // Nothing in a skipped group counts but the length of binary data.
        if (w && w->Class == WordClass::Special && w->Action == sBinary && hasParam &&
            param > 0) {
            input_ = kBinary;
            binaryLeft_ = param;
        }
        return kReadOk;
    }
    if (!w) {
        if (skipIfUnknown_) {
            skipGroup();
            skipIfUnknown_ = false;
        }
        return kReadOk;
    }
    skipIfUnknown_ = false;
    act(*w, hasParam, param);
    return kReadOk;
}

void TQnRtfReader::act(const ControlWord &w, bool hasParam, int32_t param)
{
    if (overflow_ > 0) {
        // Groups too deep to keep their state: paragraph ends and characters
        // count, destinations are skipped, formatting is dropped.
        if (w.Class == WordClass::Destination) {
            if (w.Action != dField)
                skipGroup();
            return;
        }
        if (w.Class == WordClass::Property && w.Action != aPar && w.Action != xUnicode)
            return;
    }
    switch (w.Class) {
    case WordClass::Character:
        if (w.Action != 0)
            dispatch(w.Action, w.Action == 10);
        break;
    case WordClass::Destination:
        destination(w.Action);
        break;
    case WordClass::Special:
        if (w.Action == sBinary) {
            if (hasParam && param > 0) {
                input_ = kBinary;
                binaryLeft_ = param;
            }
        } else if (w.Action == sStar) {
            skipIfUnknown_ = true;
        }
        break;
    case WordClass::Property: {
        const int32_t value = hasParam && !w.Always ? param : w.Default;
        if (w.Action == aStyle) {
            // The style bit comes from the word itself.
            static constexpr struct {
                std::string_view name;
                uint16_t bit;
            } bits[] = {{"b", kStyleBold},        {"i", kStyleItalic},   {"ul", kStyleUnderline},
                        {"strike", kStyleStrikeout}, {"uldb", kStyleDoubleUnderline},
                        {"shad", kStyleShadow},   {"v", kStyleHidden}};
            uint16_t bit = kStyleUnderline; // the other underline kinds
            for (const auto &b : bits)
                if (b.name == w.Name)
                    bit = b.bit;
            if (value)
                attr_.Style |= bit;
            else
                attr_.Style &= ~bit;
            break;
        }
        property(w.Action, value);
        break;
    }
    }
}

// ---------------------------------------------------------------------------
// Properties

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

void TQnRtfReader::property(uint8_t action, int32_t v)
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
        v = std::clamp(v, -kMaxTwips, kMaxTwips);
        break;
    default:
        break;
    }
    TTextHeader &h = *Header;
    const bool text = dest_ == kText;
    // Paragraph words in a destination (a footnote's own paragraphs, say)
    // must not change the paragraph around it.
    switch (action) {
    case aPlain:
        attr_ = TCharAttr{};
        break;
    case aPar:
        if (!text)
            break;
        if (tableMode_) {
            character(10, true);
            cellBreak_ = true;
        } else
            newParagraph();
        break;
    case aFont:
        if (dest_ == kFonts)
            fontNumber_ = v;
        else if (v >= 0 && v < kFontSlots)
            attr_.FontIndex = fontMap_[v];
        break;
    case aFontSize: {
        const int32_t points = v / 2;
        attr_.Size = points <= 0 ? 10 : clampByte(points);
        break;
    }
    case aSuper:
        if (!text)
            break;
        if (v)
            attr_.Style |= kStyleSuperscript;
        else
            attr_.Style &= ~kStyleSuperscript;
        break;
    case aSub:
        if (v)
            attr_.Style |= kStyleSubscript;
        else
            attr_.Style &= ~kStyleSubscript;
        break;
    case aNoSuperSub:
        attr_.Style &= ~(kStyleSuperscript | kStyleSubscript);
        break;
    case aInsertPoint:
        if (v) {
            attr_.Style = (attr_.Style | kStyleInsertPoint) & ~kStyleAutoText;
            attr_.Tag = static_cast<int16_t>(v);
        } else {
            attr_.Style &= ~kStyleInsertPoint;
            attr_.Tag = 0;
        }
        break;
    case aAutoText:
        if (v)
            attr_.Style = (attr_.Style | kStyleAutoText) & ~kStyleInsertPoint;
        else
            attr_.Style &= ~kStyleAutoText;
        break;
    case aRawRtf:
        if (v) {
            attr_.Style |= kStyleRtfCode;
            raw_ = true;
            rawMatch_ = 0;
        } else {
            attr_.Style &= ~kStyleRtfCode;
        }
        break;
    case aTextColour:
        if (v >= 0 && v < kColorSlots)
            attr_.Colors = static_cast<uint8_t>((attr_.Colors & 0xF0) | v);
        break;
    case aBackColour:
        if (v >= 0 && v < kColorSlots)
            attr_.Colors = static_cast<uint8_t>((attr_.Colors & 0x0F) | v << 4);
        break;
    case aLeftIndent:
        ownProps_ = ownProps_ || text;
        if (text && !tableMode_) {
            image_.LeftIndent = std::max(0, v);
            image_.FirstIndent = pendingFirstIndent_;
            pendingFirstIndent_ = 0;
            par_->LeftIndent = image_.LeftIndent;
            par_->FirstIndent = image_.FirstIndent;
        }
        break;
    case aRightIndent:
        ownProps_ = ownProps_ || text;
        if (text && !tableMode_) {
            image_.RightIndent = v;
            par_->RightIndent = v;
        }
        break;
    case aFirstIndent:
        ownProps_ = ownProps_ || text;
        if (text && !tableMode_) {
            image_.FirstIndent = par_->FirstIndent = v;
            pendingFirstIndent_ = v;
        }
        break;
    case aSpaceBefore:
        ownProps_ = ownProps_ || text;
        if (text)
            image_.SpaceBefore = par_->SpaceBefore = std::max(0, v);
        break;
    case aSpaceAfter:
        ownProps_ = ownProps_ || text;
        if (text)
            image_.SpaceAfter = par_->SpaceAfter = std::max(0, v);
        break;
    case aLineSpacing:
        ownProps_ = ownProps_ || text;
        if (text)
            image_.LineSpacing = par_->LineSpacing = std::max(0, v);
        break;
    case aAlign:
        ownProps_ = ownProps_ || text;
        if (text)
            image_.Alignment = par_->Alignment = static_cast<uint8_t>(v);
        break;
    case aPaperWidth:
        paperWidth_ = v;
        if (!InsertInto)
            h.PageWidth = v;
        break;
    case aPaperHeight:
        if (!InsertInto)
            h.PageHeight = v;
        break;
    case aMarginLeft:
        marginLeft_ = v;
        if (!InsertInto)
            h.MarginLeft = v;
        break;
    case aMarginRight:
        marginRight_ = v;
        if (!InsertInto)
            h.MarginRight = v;
        break;
    case aMarginTop:
        if (!InsertInto)
            h.MarginTop = v;
        break;
    case aMarginBottom:
        if (!InsertInto)
            h.MarginBottom = v;
        break;
    case aFacingPages:
        if (!InsertInto)
            h.FacingPages = 1;
        break;
    case aLandscape:
        if (!InsertInto)
            h.Landscape = 1;
        break;
    case aPage:
        if (text)
            par_->ParFlags |= kParPageBreak;
        break;
    case aFootnoteNumber:
        if (footnote_ && dest_ == kFootnoteText)
            footnote_->Number = v;
        break;
    case aTabKind:
        pendingTabKind_ = static_cast<uint8_t>(v);
        break;
    case aTab: {
        if (!text)
            break;
        const auto kind = static_cast<TTabKind>(pendingTabKind_ & 3);
        pendingTabKind_ = 0;
        if (tableMode_) {
            // The inverse of the writer: positions inside a cell are written
            // from the cell's start.
            const int64_t right = std::max<int64_t>(0, textWidth() - largestEdge_);
            const int64_t inner = int64_t(textWidth()) - right - par_->LeftIndent;
            const int64_t position = v + par_->LeftIndent + inner * std::min(widthSum_, 255) / 255;
            const uint32_t bit =
                Document->AddTab(static_cast<int32_t>(std::clamp<int64_t>(position, 0, INT32_MAX)),
                                 kind);
            if (bit) {
                const int slot = std::countr_zero(bit);
                if (slot < 15)
                    cellTab_ = static_cast<uint8_t>(slot + 1);
            }
        } else {
            ownProps_ = true;
            if (!tabsStarted_) {
                image_.TabMask = par_->TabMask = 0;
                tabsStarted_ = true;
            }
            const uint32_t bit = Document->AddTab(v, kind);
            image_.TabMask |= bit;
            par_->TabMask |= bit;
        }
        break;
    }
    case aRed:
    case aGreen:
    case aBlue:
        if (dest_ == kColours && colourIndex_ < kColorSlots && !InsertInto) {
            const int shift = action == aRed ? 0 : action == aGreen ? 8 : 16;
            uint32_t &c = h.Colors[colourIndex_];
            c = (c & ~(0xFFu << shift)) | uint32_t(v & 0xFF) << shift;
        }
        break;
    case aRowDefaults:
        if (!text)
            break;
        std::memset(cellBorders_, 0, sizeof cellBorders_);
        tableMode_ = true;
        cellEdges_.clear();
        largestEdge_ = 0;
        widthSum_ = 0;
        cellIndex_ = 0;
        break;
    case aRowLeft:
        if (text)
            image_.LeftIndent = par_->LeftIndent = std::max(0, v);
        break;
    case aRowGap: {
        const int32_t gap = v < 1 ? 0 : v <= 55 ? 56 : v;
        const uint8_t mm = clampByte(std::min(gap / 56, 15));
        for (auto &slot : cellBorders_)
            slot[3] = static_cast<uint8_t>((slot[3] & 0x0F) | mm << 4);
        break;
    }
    case aCellEdge:
        if (text && cellEdges_.size() < kMaxCells) {
            const int32_t edge = std::max<int64_t>(0, int64_t(v) - image_.LeftIndent);
            cellEdges_.push_back(edge);
            largestEdge_ = std::max(largestEdge_, edge);
        }
        break;
    case aInTable:
        if (!text)
            break;
        tableMode_ = true;
        {
            const uint8_t *slot = cellBorders_[std::min(cellIndex_, kMaxCells)];
            std::memcpy(image_.Border, slot, 4);
            par_->BorderFlags = slot[0];
            par_->BorderStyle = slot[1];
            par_->BorderWidth = slot[2];
            par_->BorderSpaceColor = slot[3];
            image_.SpaceBefore = par_->SpaceBefore = 40;
        }
        break;
    case aCell: {
        if (!text)
            break;
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
        const uint8_t *slot = cellBorders_[cellIndex_];
        std::memcpy(image_.Border, slot, 4);
        par_->BorderFlags = slot[0];
        par_->BorderStyle = slot[1];
        par_->BorderWidth = slot[2];
        par_->BorderSpaceColor = slot[3];
        break;
    }
    case aRow:
        if (!text || !tableMode_)
            break;
        cellIndex_ = 0;
        widthSum_ = 0;
        if (lastCell_)
            lastCell_->ParFlags &= ~kParCellRowOpen;
        std::memset(image_.Border, 0, 4);
        par_->BorderFlags = par_->BorderStyle = par_->BorderWidth = par_->BorderSpaceColor = 0;
        image_.SpaceBefore = par_->SpaceBefore = 0;
        break;
    case aCellBorder:
        if (text)
            setBorderBits(static_cast<uint8_t>(v), true);
        break;
    case aBorder:
        if (text)
            setBorderBits(static_cast<uint8_t>(v), false);
        break;
    case xBorderStyle:
        if (text) {
            setBorderByte(1, static_cast<uint8_t>(v), static_cast<uint8_t>(v));
            setBorderByte(0, kBorderOn, kBorderOn);
        }
        break;
    case aBorderWidth:
        if (text)
            setBorderByte(2, clampByte(v / 20), 0xFF);
        break;
    case aBorderSpace:
        if (text)
            setBorderByte(3, static_cast<uint8_t>(std::clamp(v / 56, 0, 15) << 4), 0xF0);
        break;
    case aBorderColour:
        if (text)
            setBorderByte(3, static_cast<uint8_t>(v & 15), 0x0F);
        break;
    case aPard:
        if (!text)
            break;
        ownProps_ = true;
        if (par_->Prev && (par_->Prev->BorderFlags & kBorderOn))
            par_->Prev->BorderFlags |= kBorderNotInherited;
        // Everything the paragraph words set goes back to its default.
        image_ = ParImage{};
        applyImage(par_, image_, !par_->IsTableCell());
        pendingFirstIndent_ = 0;
        tableMode_ = false;
        tabsStarted_ = false;
        break;
    case aBitmap:
        pictureKind_ = 2;
        break;
    case aDib:
        pictureKind_ = 1;
        break;
    case aMetafile:
        pictureKind_ = 0;
        metafileMode_ = v;
        if (pictureData_.empty())
            pictureData_.assign(22, 0); // room for the placeable header
        break;
    case aPicWidth:
        picW_ = v;
        break;
    case aPicHeight:
        picH_ = v;
        break;
    case aPicGoalWidth:
        picGoalW_ = v;
        break;
    case aPicGoalHeight:
        picGoalH_ = v;
        break;
    case aPicScaleX:
        picScaleX_ = v;
        break;
    case aPicScaleY:
        picScaleY_ = v;
        break;
    case aBitsPerPixel:
        bitsPerPixel_ = v;
        break;
    case aPlanes:
        planes_ = v;
        break;
    case aWidthBytes:
        widthBytes_ = v;
        break;
    case aObjectTag:
        objectTag_ = v;
        break;
    case aObjectWidth:
        objectW_ = v;
        break;
    case aObjectHeight:
        objectH_ = v;
        break;
    case xUnicode: {
        const int32_t code = v < 0 ? v + 65536 : v;
        const auto ansi = code > 0 ? UnicodeToAnsi(static_cast<char32_t>(code)) : std::nullopt;
        if (ansi) {
            fallbackLeft_ = 0;
            dispatch(*ansi);
            fallbackLeft_ = unicodeSkip_;
        }
        break;
    }
    case xUnicodeSkip:
        unicodeSkip_ = static_cast<uint8_t>(std::clamp(v, 0, 16));
        break;
    case xFontFamily:
        if (dest_ == kFonts)
            fontFamily_ = v;
        break;
    case xCharset:
        if (dest_ == kFonts)
            fontCharset_ = std::clamp(v, 0, 255);
        break;
    case xUnderlineOff:
        attr_.Style &= ~(kStyleUnderline | kStyleDoubleUnderline);
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------------------
// Destinations and groups

void TQnRtfReader::skipGroup()
{
    if (overflow_ > 0 && deepSkipFrom_ == 0 && dest_ != kSkip) {
        deepSkipFrom_ = overflow_;
        deepSkipDest_ = dest_;
    }
    dest_ = kSkip;
}

bool TQnRtfReader::outerIsText() const { return stack_.empty() || stack_.back().Dest == kText; }

void TQnRtfReader::resetPicture()
{
    pictureKind_ = -1;
    metafileMode_ = 8;
    picW_ = picH_ = picGoalW_ = picGoalH_ = 0;
    picScaleX_ = picScaleY_ = 100;
    bitsPerPixel_ = widthBytes_ = 0;
    planes_ = 1;
    fileName_.clear();
    pictureData_.clear();
    pictureTooLarge_ = false;
    hexHigh_ = -1;
}

void TQnRtfReader::destination(uint8_t which)
{
    if (dest_ == kSkip)
        return;
    switch (which) {
    case dSkip:
        dest_ = kSkip;
        break;
    case dField:
        break;
    case dFontTable:
        dest_ = kFonts;
        fontNumber_ = 0;
        fontName_.clear();
        fontFamily_ = fontCharset_ = -1;
        break;
    case dColourTable:
        dest_ = kColours;
        colourIndex_ = 0;
        break;
    case dPicture:
    case dPictureFile:
        if (dest_ != kText) {
            dest_ = kSkip;
            break;
        }
        resetPicture();
        dest_ = which == dPicture ? kPictureData : kPictureFile;
        break;
    case dTitle:
        dest_ = Header->Title.empty() ? kTitleText : kSkip;
        break;
    case dComment:
        dest_ = Header->Comment.empty() ? kCommentText : kSkip;
        break;
    case dSubject:
        dest_ = Header->Subject.empty() ? kSubjectText : kSkip;
        break;
    case dFootnote: {
        if (!Header->RichMode || dest_ != kText || footnotesMade_ >= kMaxFootnotes) {
            dest_ = kSkip;
            break;
        }
        ++footnotesMade_;
        TQnFootnote *f = Document->AddFootnote('#', 1, std::string());
        // The mark is the last character read.
        TLine *l = line_;
        while (l && l->Length == 0)
            l = l->Prev;
        if (l && l->Attrs) {
            TCharAttr &a = l->Attrs[l->Length - 1];
            f->MarkChar = l->Text[l->Length - 1];
            a.Tag = static_cast<int16_t>(f->Id);
            a.Style = (a.Style | kStyleRaised) & ~kStyleSuperscript;
        } else {
            f->MarkChar = '?';
        }
        footnote_ = f;
        dest_ = kFootnoteText;
        break;
    }
    default:
        break;
    }
}

void TQnRtfReader::pushGroup()
{
    fallbackLeft_ = 0;
    skipIfUnknown_ = false;
    if (depth_ >= kMaxGroupDepth) {
        // Too deep to keep the group's state: its text is read in the state
        // around it and its formatting words are dropped.
        ++overflow_;
        return;
    }
    stack_.push_back({attr_, image_, tabsStarted_, tableMode_, dest_, input_, unicodeSkip_});
    ++depth_;
    started_ = true;
    input_ = kNormal;
}

void TQnRtfReader::popGroup()
{
    fallbackLeft_ = 0;
    skipIfUnknown_ = false;
    if (overflow_ > 0) {
        if (overflow_-- == deepSkipFrom_) {
            dest_ = deepSkipDest_;
            deepSkipFrom_ = 0;
        }
        return;
    }
    if (dest_ == kPictureData)
        finishPicture();
    else if (dest_ == kPictureFile)
        finishPictureFile();
    if (stack_.empty()) {
        // A closing brace without its opening one.
        --depth_;
        stop_ = true;
        return;
    }
    const ParImage inner = image_;
    const GroupState &s = stack_.back();
    attr_ = s.Attr;
    image_ = s.Image;
    tabsStarted_ = s.TabsStarted;
    tableMode_ = s.TableMode;
    dest_ = s.Dest;
    input_ = s.Input;
    unicodeSkip_ = s.UnicodeSkip;
    stack_.pop_back();
    --depth_;
    if (raw_ && !(attr_.Style & kStyleRtfCode))
        raw_ = false;

    if (dest_ == kText) {
        const bool outerBorder = image_.Border[0] & kBorderOn;
        const bool innerBorder = inner.Border[0] & kBorderOn;
        if (fresh_ && !ownProps_) {
            // The group closed before the paragraph's text began: the
            // paragraph takes the properties in effect again, and a border
            // that was set inside the group ends with the paragraph before.
            if (!outerBorder && innerBorder && par_->Prev &&
                (par_->Prev->BorderFlags & kBorderOn))
                par_->Prev->BorderFlags |= kBorderNotInherited;
            applyImage(par_, image_, !tableMode_ && !par_->IsTableCell());
        } else if (!outerBorder && innerBorder && (par_->BorderFlags & kBorderOn)) {
            par_->BorderFlags |= kBorderNotInherited;
        }
    }
    if (depth_ == 0 && started_)
        stop_ = true;
}

void TQnRtfReader::dispatch(uint8_t c, bool lineBreak)
{
    if (fallbackLeft_ > 0) {
        --fallbackLeft_;
        return;
    }
    switch (dest_) {
    case kText:
        character(c, lineBreak);
        break;
    case kFonts:
        if (c == ';')
            endFontEntry();
        else if (fontName_.size() < 255)
            fontName_.push_back(static_cast<char>(c));
        break;
    case kColours:
        if (c == ';') {
            ++colourIndex_;
            if (colourIndex_ < kColorSlots && !InsertInto)
                Header->Colors[colourIndex_] = 0;
            colourIndex_ = std::min(colourIndex_, kColorSlots);
        }
        break;
    case kPictureData:
        if (input_ == kBinary) {
            if (pictureData_.size() < kMaxPictureBytes)
                pictureData_.push_back(c);
            else
                pictureTooLarge_ = true;
        }
        break;
    case kPictureFile:
        if (c == '"')
            input_ = input_ == kQuoted ? kNormal : kQuoted;
        else if (input_ == kQuoted && fileName_.size() < 255)
            fileName_.push_back(static_cast<char>(c));
        break;
    case kTitleText:
    case kCommentText:
    case kSubjectText: {
        std::string &t = dest_ == kTitleText     ? Header->Title
                         : dest_ == kCommentText ? Header->Comment
                                                 : Header->Subject;
        if (t.size() < kMaxInfoText && c != 0)
            t.push_back(static_cast<char>(c));
        break;
    }
    case kFootnoteText:
        if (footnote_ && c != 0) {
            std::string &t = footnote_->Text;
            if (t.empty() && (c == footnote_->MarkChar || c == ' '))
                break;
            if (t.size() < kMaxFootnoteText)
                t.push_back(static_cast<char>(c));
        }
        break;
    default:
        break;
    }
}

void TQnRtfReader::endFontEntry()
{
    // Names are compared without their surrounding blanks.
    const size_t b = fontName_.find_first_not_of(' ');
    const size_t e = fontName_.find_last_not_of(' ');
    const std::string name = b == std::string::npos ? std::string() : fontName_.substr(b, e - b + 1);
    if (fontNumber_ >= 0 && fontNumber_ < kFontSlots && !name.empty()) {
        const int used = Header->UsedFontCount();
        int slot = Document->FindOrAddFont(name);
        if (slot >= kFontSlots)
            slot = 0; // table full: the first font stands in
        else if (slot >= used) {
            if (fontFamily_ >= 0)
                Header->FontPitchFamily[slot] = fontFamily_;
            if (fontCharset_ >= 0)
                Header->FontCharset[slot] = fontCharset_;
        }
        fontMap_[fontNumber_] = static_cast<uint8_t>(slot);
        if (fontNumber_ == 0)
            attr_.FontIndex = fontMap_[0];
    }
    fontNumber_ = 0;
    fontName_.clear();
    fontFamily_ = fontCharset_ = -1;
}

// ---------------------------------------------------------------------------
// Characters and paragraphs

void TQnRtfReader::character(uint8_t c, bool lineBreak)
{
    if (c == 0 || ((c == 13 || c == 10) && !lineBreak))
        return;
    if (c == 1) {
        // The placeholder of a linked object follows its tag; a stray code 1
        // is nothing.
        if (!Header->RichMode || objectTag_ <= 0 || objectsMade_ >= kMaxObjects)
            return;
        ++objectsMade_;
        TQnObject *o = Document->AddObject(nullptr, objectTag_);
        o->Width = objectW_;
        o->Height = objectH_;
        o->IsLinked = 1;
        objectTag_ = 0;
        if (o->Tag)
            insertObjectChar(1, static_cast<int16_t>(o->Tag));
        else
            insertObjectChar(2, static_cast<int16_t>(o->Id));
        return;
    }
    TCharAttr a = attr_;
    if (AutoText)
        a.Style |= kStyleAutoText;
    StoreChar(c, a, 60);
    fresh_ = false;
    cellBreak_ = false;
}

void TQnRtfReader::insertObjectChar(uint8_t code, int16_t tag)
{
    TCharAttr a = attr_;
    if (AutoText)
        a.Style |= kStyleAutoText;
    a.Style |= kStyleObject;
    a.Tag = tag;
    StoreChar(code, a, 60);
    fresh_ = false;
    cellBreak_ = false;
}

void TQnRtfReader::newParagraph()
{
    NextParagraph(60);
    par_->ParFlags = 0;
    applyImage(par_, image_, !tableMode_);
    if (tableMode_)
        par_->TabMask = 0;
    fresh_ = true;
    ownProps_ = false;
    tabsStarted_ = false;
    cellTab_ = 0;
}

// ---------------------------------------------------------------------------
// Pictures

void TQnRtfReader::finishPicture()
{
    if (hexHigh_ >= 0)
        hexHigh_ = -1; // an odd digit at the end carries no byte
    if (!outerIsText() || !Header->RichMode) { // plain text holds no pictures
        pictureData_.clear();
        return;
    }
    if (objectsMade_ >= kMaxObjects) {
        pictureData_.clear();
        return;
    }
    ++objectsMade_;
    std::shared_ptr<TQnGraphic> g;
    if (!pictureTooLarge_) {
        switch (pictureKind_) {
        case 2: // device-dependent bitmap
            if (picW_ > 0 && picH_ > 0 && widthBytes_ > 0 &&
                int64_t(widthBytes_) * picH_ <= int64_t(pictureData_.size())) {
                g = std::make_shared<TQnGraphic>();
                g->Kind = gkDdb;
                g->WidthPixels = picW_;
                g->HeightPixels = picH_;
                g->BitsPerPixel = bitsPerPixel_;
                g->Planes = planes_;
                g->WidthBytes = widthBytes_;
                g->Data = std::move(pictureData_);
            }
            break;
        case 1: { // device-independent bitmap
            auto dib = std::make_shared<TQnGraphic>();
            dib->Data = std::move(pictureData_);
            if (DescribeDib(*dib))
                g = std::move(dib);
            break;
        }
        case 0: // metafile
            if (pictureData_.size() >= 22) {
                uint8_t *h = pictureData_.data();
                auto put16 = [](uint8_t *p, uint32_t v) {
                    p[0] = static_cast<uint8_t>(v);
                    p[1] = static_cast<uint8_t>(v >> 8);
                };
                put16(h, 0xCDD7); // key 0x9AC6CDD7
                put16(h + 2, 0x9AC6);
                put16(h + 4, 0);                     // handle
                put16(h + 6, 0);                     // left
                put16(h + 8, 0);                     // top
                put16(h + 10, static_cast<uint16_t>(picW_)); // right
                put16(h + 12, static_cast<uint16_t>(picH_)); // bottom
                put16(h + 14, 2540);                 // units per inch
                put16(h + 16, 0);                    // reserved
                put16(h + 18, 0);
                uint16_t sum = 0;
                for (int i = 0; i < 10; ++i)
                    sum ^= static_cast<uint16_t>(h[2 * i] | h[2 * i + 1] << 8);
                put16(h + 20, sum);
                g = std::make_shared<TQnGraphic>();
                g->Kind = gkMetafile;
                g->WidthPixels = picW_;
                g->HeightPixels = picH_;
                g->MapMode = metafileMode_;
                g->Data = std::move(pictureData_);
            }
            break;
        default:
            break;
        }
    }
    pictureData_.clear();
    pictureData_.shrink_to_fit();
    TQnObject *o = Document->AddObject(g, objectTag_ > 0 ? objectTag_ : 0);
    o->Width = MulDiv(picGoalW_, picScaleX_, 100);
    o->Height = MulDiv(picGoalH_, picScaleY_, 100);
    if (objectTag_ > 0)
        insertObjectChar(1, static_cast<int16_t>(o->Tag));
    else
        insertObjectChar(2, static_cast<int16_t>(o->Id));
    objectTag_ = 0;
}

void TQnRtfReader::finishPictureFile()
{
    input_ = kNormal;
    if (!outerIsText() || fileName_.empty() || !Header->RichMode)
        return;
    TQnObject *o = Document->FindObjectByFileName(fileName_);
    if (!o) {
        if (objectsMade_ >= kMaxObjects)
            return;
        ++objectsMade_;
        o = Document->AddObject(nullptr, -1);
    }
    o->FileName = fileName_;
    o->OwnsGraphic = 1;
    o->Width = MulDiv(picGoalW_, picScaleX_, 100);
    o->Height = MulDiv(picGoalH_, picScaleY_, 100);
    if (!o->Graphic) {
        std::shared_ptr<TQnGraphic> g = LoadBitmapFile(fileName_);
        if (!g && !PictureDirectory.empty()) {
            const std::filesystem::path dir(PictureDirectory);
            g = LoadBitmapFile(dir / fileName_);
            if (!g) {
                const size_t cut = fileName_.find_last_of("\\/");
                if (cut != std::string::npos)
                    g = LoadBitmapFile(dir / fileName_.substr(cut + 1));
            }
        }
        if (g)
            o->Graphic = std::move(g);
        else if (Document->OnNeedObject)
            Document->OnNeedObject(o->Tag, *o);
    }
    insertObjectChar(1, static_cast<int16_t>(o->Tag));
}

} // namespace qn
