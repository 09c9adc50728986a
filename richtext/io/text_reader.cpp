#include "richtext/io/text_reader.h"

#include <algorithm>

#include "platform/ansi.h"
#include "richtext/io/progress.h"

namespace qn {

TQnTextReader::TQnTextReader() = default;
TQnTextReader::~TQnTextReader() = default;

void TQnTextReader::SetStream(TQnStream &stream)
{
    stream_ = &stream;
    fill_ = pos_ = 0;
    bufferStart_ = streamStart_ = stream.Position();
}

bool TQnTextReader::Refill()
{
    if (!stream_)
        return false;
    bufferStart_ += fill_;
    const int64_t n = stream_->Read(buffer_, kBufferSize);
    fill_ = n > 0 ? static_cast<int>(n) : 0;
    pos_ = 0;
    if (progress_)
        static_cast<TQnProgress *>(progress_)->Step(bufferStart_ - streamStart_);
    return fill_ > 0;
}

void TQnTextReader::FinishInput()
{
    if (stream_)
        stream_->Seek(bufferStart_ + pos_);
}

void TQnTextReader::StartTarget(int capacity)
{
    if (Paragraph) {
        first_ = par_ = Paragraph;
        line_ = par_->LastLine();
        ownsChain_ = false;
    } else {
        TParagraph *p = nullptr;
        first_ = par_ = Document->NewParagraph(p, capacity);
        line_ = par_->Lines;
        ownsChain_ = true;
        Document->ReadingChain = first_;
    }
}

void TQnTextReader::NextParagraph(int capacity)
{
    // Lines are shrunk to their text and two; a line that would keep its
    // size is left alone rather than copied.
    for (TLine *l = par_->Lines; l; l = l->Next)
        if (l->Capacity > ((l->Length + 3) & ~1))
            Document->GrowLine(l, l->Length + 2);
    Document->NewParagraph(par_, capacity);
    line_ = par_->Lines;
}

void TQnTextReader::MarkParagraphsRead(bool snapIndents)
{
    for (TParagraph *p = first_; p; p = p->Next) {
        p->State |= kStateRebreak | kStateRepaint;
        if (snapIndents) {
            const int64_t first = int64_t(p->LeftIndent) + p->FirstIndent;
            p->FirstIndent = Header->SnapTwips(
                static_cast<int32_t>(std::clamp<int64_t>(first, -(1 << 24), 1 << 24)));
            p->LeftIndent = Header->SnapTwips(p->LeftIndent);
        }
    }
    if (Document)
        Document->ReadingChain = nullptr;
}

int TQnTextReader::SpecialChar(uint8_t c)
{
    AddChar(AnsiToUnicode(c));
    return 0;
}

int TQnTextReader::ParseChar(uint8_t c)
{
    if (Utf8 && (c >= 0x80 || utf8Left_ > 0)) {
        if (utf8Left_ > 0 && (c & 0xC0) == 0x80) {
            utf8Char_ = (utf8Char_ << 6) | (c & 0x3F);
            if (--utf8Left_ == 0)
                AddChar(utf8Char_ <= 0x10FFFF ? utf8Char_ : 0xFFFD);
            return 0;
        }
        if (utf8Left_ > 0) {
            utf8Left_ = 0;
            AddChar(0xFFFD); // a sequence cut short
            if (c < 0x80)
                return ParseChar(c);
        }
        if ((c & 0xE0) == 0xC0) {
            utf8Char_ = c & 0x1F, utf8Left_ = 1;
        } else if ((c & 0xF0) == 0xE0) {
            utf8Char_ = c & 0x0F, utf8Left_ = 2;
        } else if ((c & 0xF8) == 0xF0) {
            utf8Char_ = c & 0x07, utf8Left_ = 3;
        } else {
            AddChar(0xFFFD);
        }
        return 0;
    }
    if (c == 13)
        NextParagraph(60);
    else if (c != 10)
        AddChar(AnsiToUnicode(c));
    return 0;
}

void TQnTextReader::AddChar(char32_t c)
{
    if (c == 13 || c == 10 || c == 0)
        return;
    StoreChar(c, attr_, 200);
}

int TQnTextReader::Read(TQnStream &stream, TParagraph *&first)
{
    if (!Header || !Document)
        throw EQnRTFText("Wrong Arguments");
    SetStream(stream);
    attr_ = Document->CurrentAttr;
    if (AutoText)
        attr_.Style |= kStyleAutoText;
    TQnProgress progress(stream.Size() - streamStart_);
    progress_ = &progress;
    ErrorState = kIoOk;
    try {
        StartTarget(60);
        first = first_;
        uint8_t c;
        while (NextByte(c))
            if (ParseChar(c))
                break;
    } catch (...) {
        ErrorState = kIoFailed;
        first = first_;
        MarkParagraphsRead(false);
        FinishInput();
        progress_ = nullptr;
        throw;
    }
    first = first_;
    MarkParagraphsRead(false);
    FinishInput();
    progress_ = nullptr;
    return kReadOk;
}

} // namespace qn
