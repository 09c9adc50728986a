#pragma once

// TQnTextWriter walks a range of a document paragraph by paragraph, line by
// line and run by run and calls an overridable step for each; on its own it
// writes plain text (paragraphs end with CR LF). TQnRTFWriter derives from it.
//
// A save is WriteHeader, then WriteBody when the header gave 0, then
// WriteFooter when the body gave 0, on one output; the first non-zero result
// is the result of the save (Write does exactly that).

#include <cstdint>
#include <string>
#include <string_view>

#include "richtext/io/stream.h"
#include "richtext/model/rtf_text.h"

namespace qn {

// Result codes of the writers.
enum : int {
    kWriteOk = 0,
    kWriteNoMemory = 2, // a group record could not be allocated
    kWriteShort = 7,    // the output stored fewer bytes than asked
    kWriteNothing = 8,  // no start paragraph
};

class TQnTextWriter {
public:
    explicit TQnTextWriter(TQnRTFText &document);
    virtual ~TQnTextWriter();
    TQnTextWriter(const TQnTextWriter &) = delete;
    TQnTextWriter &operator=(const TQnTextWriter &) = delete;

    // The range: from (StartParagraph, StartLine, StartOffset) to
    // (EndParagraph, EndLine, EndOffset); no EndParagraph = to the end.
    TParagraph *StartParagraph = nullptr;
    TLine *StartLine = nullptr;
    int StartOffset = 0;
    TParagraph *EndParagraph = nullptr;
    TLine *EndLine = nullptr;
    int EndOffset = 0;
    // The whole document (the default).
    void SetWholeDocument();

    // Options.
    bool SkipFieldText = false;          // insert-point text is not written
    bool SkipAutoText = false;           // automatic text is not written
    bool DibOnly = false;                // bitmaps always as device-independent bitmaps
    bool PictureFileAsReference = false; // named pictures as a bitmap reference

    // Steps, in the order derived writers override them.
    virtual int WriteCharAttr();
    virtual int WriteText(int count);
    bool Utf8 = false; // plain text as UTF-8 rather than Windows-1252
    int WriteLinePart(int from, int to);
    virtual int LineEnd();
    virtual int ParagraphEnd();
    virtual int ParagraphStart();
    virtual int WriteObject(int tag, int id);
    virtual int WriteFootnote(int id);
    virtual int WriteHeader(TQnStream &output);
    int WriteBody(TQnStream &output);
    virtual int WriteFooter(TQnStream &output);

    // Header, body and footer; the first non-zero result.
    int Write(TQnStream &output);

    int Result() const { return result_; }

protected:
    // Output buffer. Put appends; Flush hands the bytes to the output and
    // records a short write as kWriteShort.
    void Put(std::string_view bytes) { buffer_.append(bytes); }
    void Put(char c) { buffer_.push_back(c); }
    void PutNumber(int64_t value);
    int Flush();
    int FlushIfFull() { return buffer_.size() >= kFlushAt ? Flush() : result_; }

    TQnRTFText &doc_;
    TQnStream *out_ = nullptr;
    int result_ = kWriteOk;

    // Walk position.
    TParagraph *par_ = nullptr;     // current paragraph
    TParagraph *prevPar_ = nullptr; // previous paragraph written
    TLine *line_ = nullptr;
    int pos_ = 0;                     // current character in line_
    const TCharAttr *attr_ = nullptr; // attribute of the current run
    // The last run of the previous line of this paragraph, when a run may go
    // on across the line end: where the layout happens to cut lines must
    // not change what is written.
    TCharAttr lineEndAttr_;
    bool runOpen_ = false;

private:
    static constexpr size_t kFlushAt = 16384;
    std::string buffer_;
};

} // namespace qn
