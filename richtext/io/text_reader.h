#pragma once

// TQnTextReader turns a byte stream into paragraphs of a document. It
// buffers the input (one byte can be pushed back), builds lines and
// paragraphs, and on its own reads plain text: CR ends a paragraph, LF is
// ignored. TQnRtfReader derives from it.
//
// The caller sets Header and Document (both required), optionally the
// Paragraph to read into, InsertInto and AutoText, and calls Read. Without a
// paragraph to read into, the paragraphs read form an unlinked chain that
// the caller receives and links into the document (InsertParagraphs) or
// frees (TQnRTFText::FreeParagraphChain).

#include <cstdint>

#include "richtext/io/stream.h"
#include "richtext/model/rtf_text.h"

namespace qn {

// Result codes of Read.
enum : int {
    kReadOk = 0,
    kReadWrongSpecial = 5, // a special word of another kind
    kReadNoAction = 6,     // a property action that does not exist
    kReadFailed = 7,       // end of input inside a control word, or input/memory failure
};

// ErrorState values, of the readers and of the storage layer.
enum : uint8_t {
    kIoOk = 0,
    kIoParagraphFailed = 2, // a paragraph could not be built (out of memory)
    kIoFailed = 7,          // a read or write failed
    kIoReading = 8,         // a read runs, or the last one was cut short
};

class TQnTextReader {
public:
    TQnTextReader();
    virtual ~TQnTextReader();
    TQnTextReader(const TQnTextReader &) = delete;
    TQnTextReader &operator=(const TQnTextReader &) = delete;

    TTextHeader *Header = nullptr;
    TQnRTFText *Document = nullptr;
    TParagraph *Paragraph = nullptr; // read into this one (optional)
    bool InsertInto = false;         // reading into an existing document: page and colours stay
    bool AutoText = false;           // every character read is also automatic text
    bool Utf8 = false;               // the bytes are UTF-8, not Windows-1252

    // kIoOk, kIoParagraphFailed, or kIoFailed (input or memory failure).
    uint8_t ErrorState = kIoOk;

    virtual int SpecialChar(uint8_t c);
    // Non-zero stops reading.
    virtual int ParseChar(uint8_t c);
    // One character of the text (bytes are Windows-1252 characters).
    virtual void AddChar(char32_t c);
    virtual void SetStream(TQnStream &stream);
    // Reads the whole stream; first receives the first paragraph read (also
    // when an exception is passed on). Throws EQnRTFText "Wrong Arguments"
    // without header or document.
    virtual int Read(TQnStream &stream, TParagraph *&first);

protected:
    // The next input byte; false at the end of the input.
    bool NextByte(uint8_t &c)
    {
        if (pos_ < fill_) {
            c = buffer_[pos_++];
            return true;
        }
        return Refill() && (c = buffer_[pos_++], true);
    }
    // Gives back the byte NextByte returned last.
    void PushBack()
    {
        if (pos_ > 0)
            --pos_;
    }
    bool Refill();
    // Leaves the stream just after the last byte consumed.
    void FinishInput();

    // Starts the target: the given paragraph, or a new one of this capacity.
    void StartTarget(int capacity);
    // Shrinks the lines of the current paragraph and starts a new one.
    void NextParagraph(int capacity);
    // Stores one character with attr at the end of the current line, adding
    // a line of `capacity` when fewer than 4 places are free.
    void StoreChar(char32_t c, const TCharAttr &attr, int capacity)
    {
        if (line_->Capacity - line_->Length < 4)
            Document->AddLine(line_, capacity); // line_ is the paragraph's last line
        const int n = line_->Length;
        line_->Text[n] = c;
        line_->Text[n + 1] = 0;
        if (line_->Attrs) {
            TCharAttr &a = line_->Attrs[n];
            a = attr;
            if (!(attr.Style & kStyleObject))
                Document->FillPlainMetrics(a, c);
        }
        line_->Length = static_cast<uint16_t>(n + 1);
    }
    // State 0x01|0x02 for every paragraph read, indents snapped (RTF).
    void MarkParagraphsRead(bool snapIndents);

    TQnStream *stream_ = nullptr;
    TParagraph *first_ = nullptr;
    TParagraph *par_ = nullptr;
    TLine *line_ = nullptr;
    TCharAttr attr_; // given to every character read
    // A UTF-8 sequence being read: its character so far and the bytes to come.
    char32_t utf8Char_ = 0;
    int utf8Left_ = 0;
    bool ownsChain_ = false;

private:
    static constexpr int kBufferSize = 1024;
    uint8_t buffer_[kBufferSize];
    int fill_ = 0;
    int pos_ = 0;
    int64_t bufferStart_ = 0; // stream position of buffer_[0]
    int64_t streamStart_ = 0;
    void *progress_ = nullptr;
    friend class TQnRtfReader;
};

} // namespace qn
