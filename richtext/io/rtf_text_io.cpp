// Loading, saving and the stored property of TQnRTFTextIo.

#include "richtext/io/rtf_text_io.h"

#include "platform/ascii_text.h"
#include "platform/text_encoding.h"
#include "platform/unicode_text.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <new>

#include "richtext/io/html_writer.h"
#include "richtext/io/progress.h"
#include "richtext/io/replacement_file.h"
#include "richtext/io/rtf_reader.h"
#include "richtext/io/rtf_writer.h"

namespace qn {

namespace {

bool isBlank(uint8_t c)
{
    return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == 8;
}

bool isHtmlTagName(std::string_view tag)
{
    const std::string name = AsciiLowerCase(tag);
    return name == "html" || name == "b" || name == "p" || name == "br" || name == "title" ||
           name == "body" || name == "h1";
}

// Ends the loader's progress range however the read leaves.
struct RangeGuard {
    ~RangeGuard() { qn::ProgressEnd(); }
};

} // namespace

TQnRTFTextIo::TQnRTFTextIo()
{
    ResetCursor();
}
TQnRTFTextIo::~TQnRTFTextIo() = default;

// ---------------------------------------------------------------------------
// Progress, reachable through the document as well

int TQnRTFTextIo::ProgressStart(int64_t total)
{
    return qn::ProgressStart(total);
}
void TQnRTFTextIo::ProgressShare(int percent)
{
    qn::ProgressShare(percent);
}
void TQnRTFTextIo::ProgressStep(int64_t position)
{
    qn::ProgressStep(position);
}
void TQnRTFTextIo::ProgressEnd()
{
    qn::ProgressEnd();
}
void TQnRTFTextIo::ProgressClear()
{
    qn::ProgressClear();
}

// ---------------------------------------------------------------------------
// Formats

bool TQnRTFTextIo::IsEmpty() const
{
    const TParagraph *p = FirstParagraph;
    return p && !p->Next && p->Lines && !p->Lines->Next && p->Lines->Length == 0;
}

int TQnRTFTextIo::RecogniseFormat(TQnStream &stream)
{
    const int64_t start = stream.Position();
    uint8_t head[2000];
    const int64_t n = std::max<int64_t>(0, stream.Read(head, sizeof head));
    stream.Seek(start);

    int64_t i = 0;
    while (i < n && isBlank(head[i]))
        ++i;
    if (n - i >= 5 && std::memcmp(head + i, "{\\rtf", 5) == 0)
        return kFormatRtf;

    // Tags of one to eight characters among the first bytes, up to a zero byte.
    int64_t end = n;
    if (const void *zero = std::memchr(head, 0, static_cast<size_t>(n)))
        end = static_cast<const uint8_t *>(zero) - head;
    for (int64_t k = 0; k < end; ++k) {
        if (head[k] != '<')
            continue;
        std::string name;
        int64_t j = k + 1;
        while (j < end && j - k <= 9 && head[j] != '>' && head[j] != '\r')
            name.push_back(static_cast<char>(head[j++]));
        if (j < end && head[j] == '>' && !name.empty() && name.size() <= 8 && isHtmlTagName(name))
            return kFormatHtml;
    }
    return kFormatText;
}

int TQnRTFTextIo::SaveFormatFor(bool emptyRule) const
{
    int format;
    if (SaveFormat == kFormatRtf || SaveFormat == kFormatText || SaveFormat == kFormatHtml)
        format = SaveFormat;
    else if (Header->LoadedFormat == kFormatRtf || Header->LoadedFormat == kFormatText)
        format = Header->LoadedFormat;
    else
        format = PlainMode ? kFormatText : kFormatRtf;
    if (emptyRule && format == kFormatRtf && IsEmpty() && !ForceRtf)
        format = kFormatText;
    return format;
}

std::unique_ptr<TQnTextReader> TQnRTFTextIo::MakeReader(int format)
{
    switch (format) {
    case kFormatRtf:
        return std::make_unique<TQnRtfReader>();
    case kFormatHtml:
        return std::make_unique<TQnHTMLReader>();
    default:
        return std::make_unique<TQnTextReader>();
    }
}

std::unique_ptr<TQnTextWriter> TQnRTFTextIo::MakeWriter(int format)
{
    switch (format) {
    case kFormatRtf:
        return std::make_unique<TQnRTFWriter>(*this);
    case kFormatHtml: {
        auto writer = std::make_unique<TQnHTMLWriter>(*this);
        writer->Footnotes = HtmlComments;
        return writer;
    }
    default: {
        auto writer = std::make_unique<TQnTextWriter>(*this);
        writer->Utf8 = PlainTextUtf8;
        return writer;
    }
    }
}

// ---------------------------------------------------------------------------
// Reading

void TQnRTFTextIo::ReadWithReader(TQnStream *stream, TQnTextReader *reader)
{
    if (auto *rtf = dynamic_cast<TQnRtfReader *>(reader)) {
        rtf->PictureDirectory = PictureDirectory;
    } else if (auto *html = dynamic_cast<TQnHTMLReader *>(reader)) {
        html->Comments = HtmlComments;
        html->LinkImages = HtmlLinkImages;
        html->PictureDir = PictureDirectory;
        if (HtmlPictureRequest)
            html->PictureRequest = HtmlPictureRequest;
    }
    ErrorState = kIoReading;
    LastIoError.clear();
    const int64_t total = stream ? stream->Size() - stream->Position() : 0;
    qn::ProgressStart(total);
    RangeGuard range;
    if (!stream || !reader || !Created)
        return;
    reader->Header = Header.get();
    reader->Document = this;
    // The reader's share of the load; the rest is linking in and measuring.
    qn::ProgressShare(50);

    if (!IsEmpty()) {
        // Into a document that holds text: at the cursor.
        if (!CursorIsValid())
            ResetCursor();
        DropBlock();
        reader->Paragraph = nullptr;
        reader->InsertInto = true;
        TParagraph *first = nullptr;
        try {
            reader->Read(*stream, first);
        } catch (...) {
            if (ReadingChain == first)
                ReadingChain = nullptr;
            FreeParagraphChain(first);
            throw;
        }
        if (!InsertParagraphs(Cursor.Paragraph, Cursor.Line, first, Cursor.Offset)) {
            // A table cell takes no paragraphs: nothing is changed.
            if (ReadingChain == first)
                ReadingChain = nullptr;
            FreeParagraphChain(first);
            LastIoError = "Text cannot be inserted into a table cell";
            reader->ErrorState = kIoFailed;
        }
    } else {
        Header->Title.clear();
        Header->Subject.clear();
        Header->Comment.clear();
        reader->Paragraph = FirstParagraph;
        reader->InsertInto = false;
        TParagraph *first = nullptr;
        try {
            if (dynamic_cast<TQnMemoryStream *>(stream) || total >= kReadInPlaceSize) {
                reader->Read(*stream, first);
            } else {
                // Small streams of other kinds are read from memory; the
                // source is left where reading stopped.
                const int64_t start = stream->Position();
                std::string bytes(static_cast<size_t>(std::max<int64_t>(total, 0)), '\0');
                int64_t got = 0;
                while (got < total) {
                    const int64_t n = stream->Read(bytes.data() + got, total - got);
                    if (n <= 0)
                        break;
                    got += n;
                }
                bytes.resize(static_cast<size_t>(got));
                TQnMemoryStream memory(std::move(bytes));
                try {
                    reader->Read(memory, first);
                } catch (...) {
                    stream->Seek(start + memory.Position());
                    throw;
                }
                stream->Seek(start + memory.Position());
            }
        } catch (...) {
            Clear();
            ErrorState = kIoReading;
            throw;
        }
        Header->RecomputePixelSizes();
        ResetCursor();
        if (OnLoaded)
            OnLoaded();
    }
    ErrorState = reader->ErrorState;
    Changed();
}

bool TQnRTFTextIo::readUnicodeText(TQnStream &stream, TQnTextReader &reader)
{
    // A text file in UTF-8 (with or without its mark) or UTF-16 (with its
    // mark) is read as its characters; any other as Windows-1252 bytes.
    const int64_t start = stream.Position();
    std::string bytes(static_cast<size_t>(std::max<int64_t>(stream.Size() - start, 0)), '\0');
    const int64_t got = stream.Read(bytes.data(), static_cast<int64_t>(bytes.size()));
    bytes.resize(static_cast<size_t>(std::max<int64_t>(got, 0)));
    const TextEncoding encoding = DetectTextEncoding(bytes);
    if (got < 0 || encoding == TextEncoding::Windows1252) {
        stream.Seek(start);
        return false;
    }
    // Well-formed UTF-8 is read as it is; only UTF-16 is converted.
    if (encoding == TextEncoding::Utf8Bom)
        bytes.erase(0, 3);
    else if (encoding != TextEncoding::Utf8)
        bytes = unicode::ToUtf8(DecodeText(bytes));
    TQnMemoryStream text(std::move(bytes));
    reader.Utf8 = true;
    ReadWithReader(&text, &reader);
    ErrorState = reader.ErrorState;
    if (ErrorState != kIoOk && LastIoError.empty())
        LastIoError = "The document could not be read completely";
    return true;
}

int TQnRTFTextIo::LoadFromStream(TQnStream &stream)
{
    const int format =
        LoadFormat == kFormatRtf || LoadFormat == kFormatText || LoadFormat == kFormatHtml
            ? LoadFormat
            : RecogniseFormat(stream);
    try {
        if (format == kFormatRtf) {
            // Blanks before the opening brace are not text of the document.
            const int64_t start = stream.Position();
            uint8_t head[2000];
            const int64_t n = stream.Read(head, sizeof head);
            int64_t i = 0;
            while (i < n && isBlank(head[i]))
                ++i;
            stream.Seek(start + (i < n ? i : 0));
        }
        if (format == kFormatText && stream.Size() - stream.Position() > kPlainModeThreshold)
            SetMemoryFormat(fmPlainText);
        std::unique_ptr<TQnTextReader> reader = CustomReader ? CustomReader() : MakeReader(format);
        if (format == kFormatText && !CustomReader && readUnicodeText(stream, *reader))
            return format;
        ReadWithReader(&stream, reader.get());
        ErrorState = reader->ErrorState;
        if (ErrorState != kIoOk && LastIoError.empty())
            LastIoError = "The document could not be read completely";
    } catch (const std::bad_alloc &) {
        ErrorState = kIoFailed;
        LastIoError = kErrorReadMemory;
    } catch (const std::exception &e) {
        ErrorState = kIoFailed;
        LastIoError = e.what();
    } catch (...) {
        ErrorState = kIoFailed;
        LastIoError = "The document could not be read";
    }
    return format;
}

void TQnRTFTextIo::LoadFromFile(const std::filesystem::path &name)
{
    std::error_code ec;
    if (std::filesystem::is_directory(name, ec))
        throw EQnFileError("Cannot open file \"" + name.string() + "\": it is a folder");
    TQnFileStream file;
    if (!file.Open(name, TQnFileStream::ReadOnly))
        throw EQnFileError("Cannot open file \"" + name.string() + "\": " + file.Error());
    Header->LoadedFormat = static_cast<uint8_t>(LoadFromStream(file));
}

// ---------------------------------------------------------------------------
// Writing

int TQnRTFTextIo::WriteWithWriter(TQnStream *output, TQnTextWriter *writer)
{
    if (!output || !writer || !Created)
        return kWriteShort;
    writer->SkipFieldText = SkipFieldText;
    writer->SkipAutoText = SkipAutoText;
    writer->DibOnly = DibOnly;
    writer->PictureFileAsReference = PictureFileAsReference;
    writer->SetWholeDocument();
    return writer->Write(*output);
}

int TQnRTFTextIo::WriteBlockWithWriter(TQnStream *output, TQnTextWriter *writer)
{
    if (!output || !writer || !Created)
        return kWriteShort;
    if (!BlockStarted || !BlockAnchor.Paragraph || !BlockAnchor.Line || !BlockEnd.Paragraph ||
        !BlockEnd.Line)
        return kWriteOk;
    writer->SkipFieldText = SkipFieldText;
    writer->SkipAutoText = SkipAutoText;
    writer->DibOnly = DibOnly;
    writer->PictureFileAsReference = PictureFileAsReference;
    const TTextPos &from = Reversed ? BlockEnd : BlockAnchor;
    const TTextPos &to = Reversed ? BlockAnchor : BlockEnd;
    writer->StartParagraph = from.Paragraph;
    writer->StartLine = from.Line;
    writer->StartOffset = from.Offset;
    writer->EndParagraph = to.Paragraph;
    writer->EndLine = to.Line;
    writer->EndOffset = to.Offset;
    return writer->Write(*output);
}

int TQnRTFTextIo::SaveToStream(TQnStream &output)
{
    LastIoError.clear();
    std::unique_ptr<TQnTextWriter> writer =
        CustomWriter ? CustomWriter(*this) : MakeWriter(SaveFormatFor(true));
    const int result = WriteWithWriter(&output, writer.get());
    ErrorState = result == kWriteOk ? kIoOk : kIoFailed;
    if (result != kWriteOk)
        LastIoError = "The document could not be written";
    return result;
}

void TQnRTFTextIo::SaveSelectionToStream(TQnStream &output)
{
    LastIoError.clear();
    try {
        std::unique_ptr<TQnTextWriter> writer =
            CustomWriter ? CustomWriter(*this) : MakeWriter(SaveFormatFor(false));
        const int result = WriteBlockWithWriter(&output, writer.get());
        ErrorState = result == kWriteOk ? kIoOk : kIoFailed;
        if (result != kWriteOk)
            LastIoError = "The selection could not be written";
    } catch (const std::exception &e) {
        ErrorState = kIoFailed;
        LastIoError = e.what();
    } catch (...) {
        ErrorState = kIoFailed;
        LastIoError = "The selection could not be written";
    }
}

void TQnRTFTextIo::SaveToFile(const std::filesystem::path &name)
{
    const uint8_t savedFormat = SaveFormat;
    const bool savedForce = ForceRtf;
    const std::string upperName = AsciiUpperCase(name.filename().string());
    if (upperName.find(".RTF") != std::string::npos)
        SaveFormat = kFormatRtf;
    else if (upperName.find(".HTM") != std::string::npos)
        SaveFormat = kFormatHtml;
    ForceRtf = true;
    struct Restore {
        TQnRTFTextIo &doc;
        uint8_t format;
        bool force;
        ~Restore()
        {
            doc.SaveFormat = format;
            doc.ForceRtf = force;
        }
    } restore{*this, savedFormat, savedForce};

    TQnReplacementFile file;
    if (!file.Open(name)) {
        ErrorState = kIoFailed;
        LastIoError = "Cannot save file \"" + name.string() + "\": " + file.Error();
        throw EQnFileError(LastIoError);
    }
    const int result = SaveToStream(file);
    if (result != kWriteOk) {
        const std::string why = !file.Error().empty() ? file.Error() : LastIoError;
        ErrorState = kIoFailed;
        LastIoError = "Cannot save file \"" + name.string() + "\": " + why;
        throw EQnFileError(LastIoError); // the temporary file goes with `file`
    }
    if (!file.Commit()) {
        ErrorState = kIoFailed;
        LastIoError = "Cannot save file \"" + name.string() + "\": " + file.Error();
        throw EQnFileError(LastIoError);
    }
}

// ---------------------------------------------------------------------------
// The stored property

void TQnRTFTextIo::WriteData(TQnStream &stream)
{
    TQnRTFWriter writer(*this);
    const int result = WriteWithWriter(&stream, &writer);
    static const char zeros[4] = {0, 0, 0, 0};
    if (result != kWriteOk || stream.Write(zeros, 4) != 4)
        throw EQnFileError("The document could not be stored");
}

void TQnRTFTextIo::ReadData(TQnStream &stream)
{
    Clear();
    try {
        TQnRtfReader reader;
        ReadWithReader(&stream, &reader);
        MarkAllParagraphs();
        Changed();
    } catch (...) {
        Clear();
        throw;
    }
}

} // namespace qn
