#pragma once

// TQnRtfStrings: a document seen as a list of strings, one per paragraph.
// Edits through the list drop the document's cursor and block, since the
// lines they pointed at may be gone.

#include <string>
#include <string_view>

#include "richtext/io/rtf_text_io.h"

namespace qn {

class TQnRtfStrings {
public:
    explicit TQnRtfStrings(TQnRTFTextIo &document) : doc_(document) {}

    // Paragraphs; 0 for an empty document.
    int Count() const;
    // The paragraph's text, its lines joined. Throws std::out_of_range.
    std::u32string Get(int index) const;
    // Replaces the paragraph's text (CurrentAttr). Throws std::out_of_range.
    void Put(int index, std::u32string_view text);
    // Puts a paragraph so that it gets that index (an empty document's
    // single paragraph takes the text; beyond the end it is added last).
    void Insert(int index, std::u32string_view text);
    void Add(std::u32string_view text) { Insert(Count(), text); }
    // Throws std::out_of_range.
    void Delete(int index);
    void Clear();
    // Ends a run of edits: the document reports its change.
    void EndUpdate();
    // Replaces the document by the stream's, recognising its format.
    void LoadFromStream(TQnStream &stream);
    // Paragraphs separated by CR LF, followed by one zero byte; the writer's result.
    int SaveToStream(TQnStream &output);

private:
    void indexError(int index) const;
    TQnRTFTextIo &doc_;
};

} // namespace qn
