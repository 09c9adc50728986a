#pragma once

// Document operations of the rich text control that need no window: the
// character at the cursor and stepping over it, absolute positions and
// selections, and paragraphs made from a properties record.

#include <cstdint>

#include "richtext/io/rtf_text_io.h"

namespace qn {

// The character at the cursor: 13 at a paragraph's end, 0 at the end of the text.
char32_t CharAtCursor(const TQnRTFTextIo &document);
// Moves the cursor one character on, across lines and paragraphs; false at the end.
bool StepCursor(TQnRTFTextIo &document);
// The attribute of the character at the cursor (over line ends), else CurrentAttr.
TCharAttr AttrAtCursor(TQnRTFTextIo &document);

// Absolute positions: one per character and one per paragraph end.
int AbsolutePosition(const TQnRTFTextIo &document, const TTextPos &place);
TTextPos PlaceOfPosition(TQnRTFTextIo &document, int position);
// The position after the last character.
int TextEndPosition(const TQnRTFTextIo &document);
// Cursor at start + length, block from start to there (none for length 0).
void SelectRange(TQnRTFTextIo &document, int start, int length);
// Whether a block is marked (both ends set and apart).
bool HasBlock(const TQnRTFTextIo &document);
// The marked block as start and length (0, 0 without one).
void BlockRange(const TQnRTFTextIo &document, int &start, int &length);

// Unless the document is empty, puts a new paragraph after the cursor's
// paragraph and moves the cursor to its start; that paragraph takes the
// record's paragraph properties (its page break as ParFlags 0x01) and its
// text in the record's character attribute. An empty document's single
// paragraph takes them without the page break.
void ApplyParagraphProps(TQnRTFTextIo &document, const TParProps &props);

} // namespace qn
