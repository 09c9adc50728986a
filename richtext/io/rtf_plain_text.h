#pragma once

// The text of an RTF document in one streaming pass, without building the
// document: the characters its paragraphs would hold, each paragraph ended
// by a zero (no character of a paragraph is ever zero).
//
// The pass reads what the RTF reader reads, with the same control word
// table, the same groups and destinations, the same Unicode fallbacks and
// the same end of input; the text it gives is the text the reader would
// store, character for character. Whatever would make the reader build
// more than characters and paragraph ends (tables, pictures and objects,
// raw RTF, binary data, groups nested past the reader's limit, malformed
// hex or an input cut inside a control word) makes the pass give up: the
// caller reads such a document with the reader instead.

#include <cstdint>
#include <string>
#include <string_view>

namespace qn {

enum class PlainTextResult : uint8_t {
    Done,          // text holds the whole document's text
    NeedsDocument, // read the document with the reader instead
};

// Appends the text of the RTF in `rtf` (blanks before its opening brace are
// skipped, as the reader does) to `text`, every character case folded
// (unicode::FoldCase) when `fold` is set. Input that is not RTF needs the
// document.
PlainTextResult AppendRtfPlainText(std::string_view rtf, bool fold, std::u32string &text);

} // namespace qn
