#include "richtext/io/text_writer.h"

#include <charconv>

#include "platform/ansi.h"
#include "platform/unicode_text.h"
#include "richtext/io/progress.h"

namespace qn {

TQnTextWriter::TQnTextWriter(TQnRTFText &document) : doc_(document)
{
    SetWholeDocument();
    buffer_.reserve(kFlushAt + 1024);
}

TQnTextWriter::~TQnTextWriter() = default;

void TQnTextWriter::SetWholeDocument()
{
    StartParagraph = doc_.FirstParagraph;
    StartLine = StartParagraph ? StartParagraph->Lines : nullptr;
    StartOffset = 0;
    EndParagraph = nullptr;
    EndLine = nullptr;
    EndOffset = 0;
}

void TQnTextWriter::PutNumber(int64_t value)
{
    char digits[24];
    auto r = std::to_chars(digits, digits + sizeof digits, value);
    buffer_.append(digits, r.ptr);
}

int TQnTextWriter::Flush()
{
    if (buffer_.empty() || result_ != kWriteOk) {
        buffer_.clear();
        return result_;
    }
    const auto n = static_cast<int64_t>(buffer_.size());
    if (!out_ || out_->Write(buffer_.data(), n) != n)
        result_ = kWriteShort;
    buffer_.clear();
    return result_;
}

int TQnTextWriter::WriteCharAttr()
{
    return kWriteOk;
}

int TQnTextWriter::WriteText(int count)
{
    // Plain text is Windows-1252, what the code page lacks becoming '?',
    // unless it is written as UTF-8.
    const std::u32string_view text(line_->Text + pos_, count);
    Put(Utf8 ? unicode::ToUtf8(text) : ToAnsiLossy(text));
    return FlushIfFull();
}

int TQnTextWriter::LineEnd()
{
    return kWriteOk;
}

int TQnTextWriter::ParagraphEnd()
{
    Put("\r\n");
    return FlushIfFull();
}

int TQnTextWriter::ParagraphStart()
{
    return kWriteOk;
}
int TQnTextWriter::WriteObject(int, int)
{
    return kWriteOk;
}
int TQnTextWriter::WriteFootnote(int)
{
    return kWriteOk;
}

int TQnTextWriter::WriteHeader(TQnStream &output)
{
    out_ = &output;
    result_ = kWriteOk;
    return kWriteOk;
}

int TQnTextWriter::WriteFooter(TQnStream &output)
{
    out_ = &output;
    Put('\0');
    return Flush();
}

int TQnTextWriter::Write(TQnStream &output)
{
    int r = WriteHeader(output);
    if (r == kWriteOk)
        r = WriteBody(output);
    if (r == kWriteOk)
        r = WriteFooter(output);
    return r;
}

int TQnTextWriter::WriteLinePart(int from, int to)
{
    TLine *l = line_;
    if (to > l->Length)
        to = l->Length;
    pos_ = from;
    if (!l->Attrs || !doc_.IsRich()) {
        if (to > from)
            return WriteText(to - from);
        return result_;
    }
    auto sameRun = [](const TCharAttr &a, const TCharAttr &b) {
        return b.FontIndex == a.FontIndex && b.Size == a.Size && b.Style == a.Style &&
               b.Colors == a.Colors;
    };
    constexpr uint16_t kSingle = kStyleObject | kStyleInsertPoint | kStyleRaised;
    while (pos_ < to) {
        attr_ = &l->Attrs[pos_];
        const TCharAttr a = *attr_;
        const bool goesOn = runOpen_ && !(a.Style & kSingle) && sameRun(lineEndAttr_, a);
        runOpen_ = false;
        if (!goesOn)
            if (int r = WriteCharAttr())
                return r;
        const char32_t ch = l->Text[pos_];
        if ((a.Style & kStyleObject) && (ch == 1 || ch == 2)) {
            if (int r = ch == 1 ? WriteObject(a.Tag, 0) : WriteObject(0, a.Tag))
                return r;
        }
        if (a.Style & kStyleRaised && !(a.Style & kStyleObject) && doc_.FindFootnote(a.Tag)) {
            if (int r = WriteFootnote(a.Tag))
                return r;
            ++pos_;
            continue;
        }
        int n = 1;
        if (!(a.Style & (kStyleObject | kStyleInsertPoint))) {
            while (pos_ + n < to) {
                if (!sameRun(a, l->Attrs[pos_ + n]))
                    break;
                ++n;
            }
        }
        if (pos_ + n >= l->Length && !(a.Style & kSingle)) {
            lineEndAttr_ = a;
            runOpen_ = true;
        }
        const bool skip = ((a.Style & kStyleInsertPoint) && SkipFieldText) ||
                          ((a.Style & kStyleAutoText) && SkipAutoText);
        if (!skip)
            if (int r = WriteText(n))
                return r;
        pos_ += n;
    }
    return result_;
}

int TQnTextWriter::WriteBody(TQnStream &output)
{
    out_ = &output;
    if (!StartParagraph)
        return result_ = kWriteNothing;
    int64_t total = 0;
    for (TParagraph *p = StartParagraph; p; p = p->Next) {
        for (TLine *l = p == StartParagraph && StartLine ? StartLine : p->Lines; l; l = l->Next)
            total += l->Length;
        if (p == EndParagraph)
            break;
    }
    TQnProgress progress(total);
    int64_t done = 0;
    bool firstLine = true;
    prevPar_ = nullptr;
    for (TParagraph *p = StartParagraph; p; p = p->Next) {
        par_ = p;
        runOpen_ = false;
        if (ParagraphStart())
            break;
        const bool isEnd = p == EndParagraph;
        TLine *l = p == StartParagraph && StartLine ? StartLine : p->Lines;
        for (; l; l = l->Next) {
            line_ = l;
            const int from = firstLine ? StartOffset : 0;
            firstLine = false;
            if (isEnd && l == EndLine) {
                WriteLinePart(from, EndOffset);
                break;
            }
            if (WriteLinePart(from, l->Length))
                break;
            done += l->Length;
            progress.Step(done);
            if (l->Next && LineEnd())
                break;
        }
        if (result_)
            break;
        if (isEnd) {
            if (p->IsTableCell())
                ParagraphEnd();
            break;
        }
        if ((p->Next || p->IsTableCell()) && ParagraphEnd())
            break;
        prevPar_ = p;
    }
    if (result_ == kWriteOk)
        Flush();
    return result_;
}

} // namespace qn
