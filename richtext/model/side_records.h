#pragma once

// The document's side lists: embedded objects, footnotes, paragraph styles,
// and the paragraph-properties record that styles and callers fill.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "richtext/model/graphic.h"
#include "richtext/model/records.h"

namespace qn {

// One embedded picture or control.
struct TQnObject {
    std::shared_ptr<TQnGraphic> Graphic; // may be empty until supplied
    uint16_t Tag = 0;                    // number given by the creator (0 none)
    uint16_t Id = 0;                     // number given by the document
    uint8_t InUse = 0;                   // mark while collecting unused objects
    int32_t Width = 0;                   // twips; 0 = take from the graphic
    int32_t Height = 0;                  // twips; 0 = take from the graphic
    int32_t Reserved1 = 0;
    int32_t Reserved2 = 0; // e.g. the vertical alignment of an HTML image
    uint8_t IsLinked = 0;  // written as a tag reference instead of picture data
    std::string FileName;  // empty = not held by file name
    uint8_t OwnsGraphic = 0;
};

// One footnote.
struct TQnFootnote {
    uint8_t MarkChar = 0; // used when Number is 0 or UseMarkChar is set
    int32_t Number = 0;
    uint16_t Id = 0;                    // unique, highest + 1 from 1
    std::string Text;                   // the footnote's RTF body
    std::optional<std::string> AltText; // preferred over Text when present
    uint8_t UseMarkChar = 0;
};

// Paragraph and character properties applied as a whole: the heading of a
// printed entry, a page break, a named style.
struct TParProps {
    uint8_t Alignment = kAlignLeft;
    int32_t FirstIndent = 0;
    int32_t LeftIndent = 0;
    int32_t RightIndent = 0;
    int32_t SpaceBefore = 0;
    int32_t SpaceAfter = 0;
    int32_t LineSpacing = 0;
    uint8_t ParFlags = 0;
    uint8_t BorderFlags = 0;
    uint8_t BorderStyle = 0;
    uint8_t BorderWidth = 0;
    uint8_t BorderSpaceColor = 0;
    uint8_t Numbering = 0;
    uint32_t TabMask = 0;
    uint8_t PageBreak = 0; // 1 becomes ParFlags 0x01
    TCharAttr CharAttr;
    int16_t Tag = 0;
    std::string Text;

    // Copies the paragraph fields into a paragraph (PageBreak 1 adds 0x01).
    void ApplyTo(TParagraph &paragraph) const;
    // Takes the paragraph fields of a paragraph.
    void TakeFrom(const TParagraph &paragraph);
};

// One named paragraph style; paragraphs refer to it by Id.
struct TQnParStyle {
    TParProps Props;
    std::string Name; // up to 8 characters, upper-case
    uint8_t Id = 0;   // 1, 2, ... as highest + 1
};

} // namespace qn
