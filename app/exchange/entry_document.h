#pragma once

// Entries as documents: reading an entry's stored text or an outside file
// into a document, writing documents out, the stored form of an entry, and
// joining documents one after another (under dated headings, or after a
// page break).

#include "platform/datetime.h"
#include "richtext/model/rtf_text.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qn::exchange {

// The formats a file brought in can hold.
enum class SourceFormat { Rtf, Html, Text };

// Reads bytes of the given format into a new document. Nothing when they
// cannot be read as that format (`error` then says why): RTF that does not
// start as RTF or that the reader gives up on, text holding zero bytes.
// Text and HTML are taken as UTF-8 when they are well-formed UTF-8 and as
// Windows-1252 otherwise; a character Windows-1252 cannot hold is refused.
std::unique_ptr<TQnRTFText> ReadDocument(std::string_view bytes, SourceFormat format,
                                         std::string &error);

// Whether every group of the RTF text is closed again: a file cut short
// reads without complaint otherwise.
bool RtfGroupsClosed(std::string_view rtf);

// The document as RTF, as HTML, and as plain text (UTF-8, paragraphs ending
// with CR LF).
std::string DocumentRtf(TQnRTFText &document);
std::string DocumentHtml(TQnRTFText &document);
std::string DocumentText(TQnRTFText &document);

// The texts of the paragraphs, as the user reads them (UTF-8: two texts are
// equal only when every character is).
std::vector<std::string> ParagraphTexts(const TQnRTFText &document);
// Whether every character is a blank, tab, line end or other control.
bool IsBlankDocument(const TQnRTFText &document);

// The stored form of an entry's RTF: lines ending with CR LF, and one blank
// after the last line's text when the text's length is a multiple of 4.
std::string StoredEntryText(std::string_view rtf);

// Links the paragraphs of `addition` (RTF) after the last paragraph of
// `document`; with `pageBreak` the first of them starts a new page. Fonts and
// colours are entered into the document's tables. `error` says why nothing
// was added when the answer is false. `tail`, when given, keeps the last
// paragraph between calls (start it at null) so that building a long
// document does not walk it again for every addition.
bool AppendRtf(TQnRTFText &document, std::string_view addition, bool pageBreak, std::string &error,
               TParagraph **tail = nullptr);

// A heading paragraph at the end of the document (a date as "dddd, mmmm d,
// yyyy"), in Arial 10 points, bold, italic and underlined, with 90 twips of
// space after it and `spaceBefore` twips above it.
void AppendHeading(TQnRTFText &document, std::string_view text, int spaceBefore,
                   TParagraph **tail = nullptr);

} // namespace qn::exchange
