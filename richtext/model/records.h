#pragma once

// The records a document is made of: character attributes, lines and
// paragraphs, with the meaning of every flag bit. Lengths are twips (1440 to
// the inch) unless a field says pixels.
//
// A character is one Unicode code point (char32_t). Every offset in the
// engine (caret, the attribute of each character, undo records, line
// breaking, selection) counts characters, and a fixed-width code point keeps
// that meaning for every script: UTF-16 would split a character outside the
// basic plane in two, UTF-8 would make indexing by character walk the bytes.
// What people see as one character (a letter with combining accents, an emoji
// with its modifier) may still be several code points; the editing layer
// moves over those as one.

#include <cstdint>

namespace qn {

// ---------------------------------------------------------------------------
// Character attributes

// Style bits of TCharAttr::Style.
enum : uint16_t {
    kStyleBold = 0x0001,
    kStyleItalic = 0x0002,
    kStyleUnderline = 0x0004,
    kStyleStrikeout = 0x0008,
    kStyleDoubleUnderline = 0x0010, // also the editor's hyperlink mark
    kStyleSelected = 0x0020,        // set only while painting a selection
    kStyleSuperscript = 0x0040,
    kStyleSubscript = 0x0080,
    kStyleHidden = 0x0100,
    kStyleShadow = 0x0200,      // also what protection option 0x01 guards
    kStyleRtfCode = 0x0400,     // raw RTF, written out unescaped
    kStyleRaised = 0x0800,      // drawn like superscript; footnote marks
    kStyleInsertPoint = 0x1000, // named field, Tag = field number
    kStyleAutoText = 0x2000,    // text that fills an insert point
    kStyleObject = 0x4000,      // the character stands for an object, Tag = its tag/id
    kStyleListNumber = 0x8000,  // generated list number text
};

// One per character, and the shape of the document's current attribute.
// Width, Height and Ascent are pixel caches filled by measuring.
struct TCharAttr {
    int16_t Width = 0;
    int16_t Height = 0;
    int16_t Ascent = 0;
    uint8_t FontIndex = 0; // slot in the header font table
    uint8_t Colors = 0;    // low nibble text colour, high nibble background colour
    uint16_t Style = 0;
    uint8_t Size = 0; // points; 0 counts as 10
    uint8_t Spare = 0;
    int16_t Tag = 0; // field number of an insert point, or the object's tag/id

    uint8_t TextColor() const { return Colors & 0x0F; }
    uint8_t BackColor() const { return Colors >> 4; }
    bool operator==(const TCharAttr &) const = default;
};

// ---------------------------------------------------------------------------
// Lines

enum : uint8_t {
    kLineChanged = 0x01,   // changed since the last layout
    kLinePageStart = 0x02, // the line begins a new page (layout)
};

// Largest capacity of one line buffer, in characters.
constexpr int kMaxLineCapacity = 10000;

// One line of a paragraph. Both buffers hold Capacity entries (Capacity is
// always even); Text stays NUL-terminated after Length, so Length is at most
// Capacity - 1. Attrs is absent in plain-text mode. Lines are created and freed
// by the document's primitives only; a line frees its own buffers.
struct TLine {
    uint16_t Height = 0; // pixels
    uint16_t Ascent = 0; // base line distance from the top, pixels
    int32_t Top = 0;     // layout: top in document coordinates
    uint8_t LineFlags = 0;
    uint8_t MarkState = 0; // layout: selection state for painting
    char32_t *Text = nullptr;
    TCharAttr *Attrs = nullptr;
    uint16_t Capacity = 0;
    uint16_t Length = 0;
    uint16_t LineWidth = 0;        // layout cache
    uint16_t JustifyExtra = 0;     // layout cache
    uint16_t JustifyRemainder = 0; // layout cache
    TLine *Next = nullptr;
    TLine *Prev = nullptr;

    TLine() = default;
    TLine(const TLine &) = delete;
    TLine &operator=(const TLine &) = delete;
    ~TLine();
};

// ---------------------------------------------------------------------------
// Paragraphs

enum : uint8_t { kAlignLeft = 0, kAlignRight = 1, kAlignCenter = 2, kAlignJustify = 3 };

// TParagraph::ParFlags
enum : uint8_t {
    kParPageBreak = 0x01,    // page break before this paragraph
    kParCellNotFirst = 0x02, // table row mark: the cell is not the first of its row
    kParCellRowOpen = 0x04,  // table row mark: the row goes on after this cell
    kParTableCell = 0x08,
    kParProtected = 0x10,
};

// TParagraph::State
enum : uint8_t {
    kStateRebreak = 0x01, // lines must be broken again
    kStateRepaint = 0x02, // must be measured and repainted
};

// TParagraph::BorderFlags
enum : uint8_t {
    kBorderOn = 0x01,
    kBorderNotInherited = 0x02, // not passed on to the next new paragraph
    kBorderTop = 0x04,
    kBorderBottom = 0x08,
    kBorderLeft = 0x10,
    kBorderRight = 0x20,
    kBorderBox = 0x40,
    kBorderDouble = 0x80,
};

// TParagraph::BorderStyle
enum : uint8_t {
    kBorderDotted = 0x01,
    kBorderHairline = 0x02,
    kBorderBar = 0x04,
    kBorderTabLine = 0x40,
};

// A CellSpan of this value or more marks a cell covered by a row span from above.
constexpr uint8_t kCellCovered = 240;

// One paragraph. It always has at least one line. Paragraph records are
// created and freed by the document's primitives; a paragraph frees its lines.
struct TParagraph {
    int32_t FirstIndent = 0; // first line start, from the left margin
    int32_t LeftIndent = 0;
    int32_t RightIndent = 0;
    int32_t SpaceBefore = 0;
    int32_t SpaceAfter = 0;
    int32_t LineSpacing = 0; // 0 = single
    uint8_t Alignment = kAlignLeft;
    uint8_t ParFlags = 0;
    uint8_t State = 0;
    uint8_t BorderFlags = 0;
    uint8_t BorderStyle = 0;
    uint8_t BorderWidth = 0;      // points
    uint8_t BorderSpaceColor = 0; // high nibble gap in mm (row: cell gap), low nibble colour
    uint8_t Numbering = 0;        // high nibble NumberText kind, low three bits level
    uint8_t StyleId = 0;
    TLine *Lines = nullptr;
    TParagraph *Next = nullptr;
    TParagraph *Prev = nullptr;
    // Bit i = header tab slot i applies. A table cell reuses the four bytes,
    // see the Cell accessors.
    uint32_t TabMask = 0;

    TParagraph() = default;
    TParagraph(const TParagraph &) = delete;
    TParagraph &operator=(const TParagraph &) = delete;
    ~TParagraph();

    bool IsTableCell() const { return (ParFlags & kParTableCell) != 0; }

    // Table cell view of TabMask (bytes in memory order).
    uint8_t CellWidth() const { return TabMask & 0xFF; }        // 1/255 of the row
    uint8_t CellLeft() const { return (TabMask >> 8) & 0xFF; }  // 1/255 of the row
    uint8_t CellSpan() const { return (TabMask >> 16) & 0xFF; } // low: cols-1, high: rows-1
    uint8_t CellTab() const { return TabMask >> 24; }           // low nibble: 1 + tab slot, 0 none
    void SetCellWidth(uint8_t v) { setByte(0, v); }
    void SetCellLeft(uint8_t v) { setByte(1, v); }
    void SetCellSpan(uint8_t v) { setByte(2, v); }
    void SetCellTab(uint8_t v) { setByte(3, v); }
    bool IsCoveredCell() const { return IsTableCell() && CellSpan() >= kCellCovered; }

    TLine *LastLine() const;
    // Characters in all lines.
    int TextLength() const;

private:
    void setByte(int i, uint8_t v)
    {
        TabMask = (TabMask & ~(0xFFu << (8 * i))) | (uint32_t(v) << (8 * i));
    }
};

// Kinds of tab stops. tkAll: in a search any kind, in an insertion the
// header's DefaultTabKind.
enum TTabKind : uint8_t { tkLeft = 0, tkRight = 1, tkCenter = 2, tkDecimal = 3, tkAll = 4 };

// The document's memory format: rich text keeps one attribute per character,
// plain text keeps the characters only.
enum TQnMemoryFormat : uint8_t { fmRichText = 0, fmPlainText = 1 };

} // namespace qn
