#include "app/exchange/entry_document.h"

#include "platform/ansi.h"
#include "platform/text_encoding.h"
#include "platform/unicode_text.h"
#include "richtext/io/html_reader.h"
#include "richtext/io/html_writer.h"
#include "richtext/io/rtf_reader.h"
#include "richtext/io/rtf_writer.h"
#include "richtext/io/stream.h"
#include "richtext/io/text_reader.h"
#include "richtext/io/text_writer.h"

namespace qn::exchange {

namespace {

// Reads bytes with a reader into an unlinked chain of `document`'s
// paragraphs; fonts and colours of the source go into the document's tables.
TParagraph *readChain(TQnRTFText &document, TQnTextReader &reader, std::string bytes,
                      bool insertInto, int &result)
{
    TQnMemoryStream input(std::move(bytes));
    reader.Header = document.Header.get();
    reader.Document = &document;
    reader.InsertInto = insertInto;
    TParagraph *first = nullptr;
    try {
        result = reader.Read(input, first);
    } catch (...) {
        if (document.ReadingChain == first)
            document.ReadingChain = nullptr;
        TQnRTFText::FreeParagraphChain(first);
        throw;
    }
    if (document.ReadingChain == first)
        document.ReadingChain = nullptr;
    return first;
}

// Makes the chain the whole text of an empty document.
void becomeChain(TQnRTFText &document, TParagraph *first)
{
    TParagraph *par = document.FirstParagraph;
    TLine *line = par ? par->Lines : nullptr;
    int position = 0;
    if (!document.InsertParagraphs(par, line, first, position))
        TQnRTFText::FreeParagraphChain(first);
}

bool documentIsEmpty(const TQnRTFText &document)
{
    const TParagraph *p = document.FirstParagraph;
    return !p || (!p->Next && p->Lines && !p->Lines->Next && p->Lines->Length == 0);
}

// Links an unlinked chain after the document's last paragraph. `tail`,
// when given, holds the last paragraph (null: not known yet) and receives
// the new one, so that long documents are not walked for every addition.
void linkAtEnd(TQnRTFText &document, TParagraph *first, TParagraph **tail)
{
    if (documentIsEmpty(document)) {
        becomeChain(document, first);
    } else {
        TParagraph *last = tail && *tail ? *tail : document.LastParagraph();
        last->Next = first;
        first->Prev = last;
    }
    if (tail) {
        TParagraph *end = first;
        while (end->Next)
            end = end->Next;
        *tail = end;
    }
}

bool startsAsRtf(std::string_view bytes)
{
    size_t at = 0;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF")
        at = 3;
    while (at < bytes.size() &&
           (bytes[at] == ' ' || bytes[at] == '\t' || bytes[at] == '\r' || bytes[at] == '\n'))
        ++at;
    return bytes.substr(at, 5) == "{\\rtf";
}

// The characters of an outside text file (UTF-8 with or without its mark,
// UTF-16 with its mark, else Windows-1252), as UTF-8.
std::optional<std::string> textAsUtf8(std::string_view bytes, std::string &error)
{
    const std::u32string text = DecodeText(bytes);
    if (text.find(U'\0') != std::u32string::npos) {
        error = "it holds binary data (zero bytes), not text";
        return std::nullopt;
    }
    return unicode::ToUtf8(text);
}

std::string lineEndsAsCr(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out.push_back('\r');
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else if (text[i] == '\n') {
            out.push_back('\r');
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

template <typename Writer> std::string written(TQnRTFText &document)
{
    TQnMemoryStream out;
    Writer writer(document);
    writer.Write(out);
    return out.TakeBytes();
}

} // namespace

std::unique_ptr<TQnRTFText> ReadDocument(std::string_view bytes, SourceFormat format,
                                         std::string &error)
{
    error.clear();
    auto document = std::make_unique<TQnRTFText>();
    try {
        int result = kReadOk;
        if (format == SourceFormat::Rtf) {
            if (!startsAsRtf(bytes)) {
                error = "it is not an RTF file (it does not start with {\\rtf)";
                return nullptr;
            }
            TQnRtfReader reader;
            TParagraph *first = readChain(*document, reader, std::string(bytes), false, result);
            if (result != kReadOk || reader.ErrorState != kIoOk) {
                TQnRTFText::FreeParagraphChain(first);
                error = "the RTF cannot be read (it is cut short or damaged)";
                return nullptr;
            }
            becomeChain(*document, first);
            return document;
        }
        if (format == SourceFormat::Html) {
            // The reader finds the page's encoding itself (its mark, its
            // <meta>, else UTF-8 or Windows-1252).
            if (bytes.find('\0') != std::string_view::npos && bytes.substr(0, 2) != "\xFF\xFE" &&
                bytes.substr(0, 2) != "\xFE\xFF") {
                error = "it holds binary data (zero bytes), not text";
                return nullptr;
            }
            TQnHTMLReader reader;
            reader.OnMessage = [](const std::string &) {}; // a loose table reads as it can
            TParagraph *first = readChain(*document, reader, std::string(bytes), false, result);
            becomeChain(*document, first);
        } else {
            std::optional<std::string> text = textAsUtf8(bytes, error);
            if (!text)
                return nullptr;
            TQnTextReader reader;
            reader.Utf8 = true;
            TParagraph *first = readChain(*document, reader, lineEndsAsCr(*text), false, result);
            becomeChain(*document, first);
        }
        if (result != kReadOk) {
            error = "the file cannot be read";
            return nullptr;
        }
        return document;
    } catch (const std::exception &e) {
        error = std::string("it cannot be read: ") + e.what();
        return nullptr;
    }
}

bool RtfGroupsClosed(std::string_view rtf)
{
    long depth = 0;
    for (size_t i = 0; i < rtf.size(); ++i) {
        const char c = rtf[i];
        if (c == '\\') {
            // An escaped brace or backslash is text; \binN data is skipped whole.
            if (rtf.compare(i + 1, 3, "bin") == 0) {
                size_t at = i + 4;
                long n = 0;
                while (at < rtf.size() && rtf[at] >= '0' && rtf[at] <= '9' && n < (1L << 30))
                    n = n * 10 + (rtf[at++] - '0');
                if (at < rtf.size() && rtf[at] == ' ')
                    ++at;
                i = at + static_cast<size_t>(n) - 1;
                continue;
            }
            ++i;
        } else if (c == '{') {
            ++depth;
        } else if (c == '}') {
            if (--depth < 0)
                return false;
        }
    }
    return depth == 0;
}

std::string DocumentRtf(TQnRTFText &document)
{
    return written<TQnRTFWriter>(document);
}

std::string DocumentHtml(TQnRTFText &document)
{
    return written<TQnHTMLWriter>(document);
}

std::string DocumentText(TQnRTFText &document)
{
    TQnMemoryStream out;
    TQnTextWriter writer(document);
    writer.Utf8 = true;
    writer.Write(out);
    return out.TakeBytes();
}

std::vector<std::string> ParagraphTexts(const TQnRTFText &document)
{
    std::vector<std::string> texts;
    for (const TParagraph *p = document.FirstParagraph; p; p = p->Next)
        texts.push_back(unicode::ToUtf8(TQnRTFText::ParagraphText(p)));
    return texts;
}

bool IsBlankDocument(const TQnRTFText &document)
{
    for (const TParagraph *p = document.FirstParagraph; p; p = p->Next)
        for (const TLine *l = p->Lines; l; l = l->Next)
            for (int i = 0; i < l->Length; ++i)
                if (l->Text[i] > 32)
                    return false;
    return true;
}

std::string StoredEntryText(std::string_view rtf)
{
    std::string text;
    text.reserve(rtf.size() + 8);
    for (size_t i = 0; i < rtf.size(); ++i) {
        const char c = rtf[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < rtf.size() && rtf[i + 1] == '\n')
                ++i;
            text += "\r\n";
        } else {
            text.push_back(c);
        }
    }
    // The lines joined, without the last line end, decide the padding.
    const bool endsWithLineEnd = text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0;
    if (endsWithLineEnd)
        text.resize(text.size() - 2);
    if (!text.empty() && text.size() % 4 == 0)
        text.push_back(' ');
    text += "\r\n";
    return text;
}

bool AppendRtf(TQnRTFText &document, std::string_view addition, bool pageBreak, std::string &error,
               TParagraph **tail)
{
    error.clear();
    if (!startsAsRtf(addition)) {
        error = "the text is not RTF";
        return false;
    }
    TQnRtfReader reader;
    int result = kReadOk;
    TParagraph *first = readChain(document, reader, std::string(addition), true, result);
    if (!first || result != kReadOk || reader.ErrorState != kIoOk) {
        TQnRTFText::FreeParagraphChain(first);
        error = "the RTF cannot be read (it is cut short or damaged)";
        return false;
    }
    if (pageBreak && !documentIsEmpty(document))
        first->ParFlags |= kParPageBreak;
    linkAtEnd(document, first, tail);
    return true;
}

void AppendHeading(TQnRTFText &document, std::string_view text, int spaceBefore, TParagraph **tail)
{
    TParagraph *heading = nullptr;
    document.NewParagraph(heading, 64);
    TParProps props;
    props.Alignment = kAlignLeft;
    props.SpaceBefore = spaceBefore;
    props.SpaceAfter = 90;
    props.ApplyTo(*heading);
    TCharAttr attr;
    attr.Style = kStyleBold | kStyleItalic | kStyleUnderline;
    attr.Size = 10;
    const int slot = document.FindOrAddFont("Arial");
    attr.FontIndex =
        static_cast<uint8_t>(slot < kFontSlots ? slot : 0); // a full table keeps slot 0
    document.AppendToLine(heading->Lines, unicode::FromAnsi(text), attr);
    linkAtEnd(document, heading, tail);
}

} // namespace qn::exchange
