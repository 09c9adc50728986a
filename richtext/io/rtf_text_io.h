#pragma once

// TQnRTFTextIo: the document with a cursor and a selection block, and
// everything that moves it in or out: loading with format recognition,
// saving the whole document or the block in a chosen format, copying one
// document into another, the stored property "Data", cursor arithmetic and
// the regeneration of list numbers.
//
// Formats are numbered as files and settings store them: 0 automatic, 2 RTF,
// 3 plain text, 4 HTML.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "richtext/io/html_reader.h"
#include "richtext/io/stream.h"
#include "richtext/io/text_reader.h"
#include "richtext/io/text_writer.h"
#include "richtext/model/rtf_text.h"

namespace qn {

enum : uint8_t {
    kFormatAuto = 0,
    kFormatRtf = 2,
    kFormatText = 3,
    kFormatHtml = 4,
};

// ErrorState values: kIoOk, kIoParagraphFailed, kIoFailed and kIoReading,
// declared with the readers (text_reader.h) that set them first.

// LastIoError of a load that ran out of memory.
inline constexpr const char *kErrorReadMemory = "Not enough memory to read the document";

// Plain text longer than this switches the document to the plain memory format.
constexpr int64_t kPlainModeThreshold = 500000;
// Streams of at least this many bytes are read in place even when they are not in memory.
constexpr int64_t kReadInPlaceSize = 600001;

// A place in the text: paragraph, line, offset in the line.
struct TTextPos {
    TParagraph *Paragraph = nullptr;
    TLine *Line = nullptr;
    int Offset = 0;
};

// A file that could not be opened, created or replaced.
class EQnFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TQnRTFTextIo : public TQnRTFText {
public:
    TQnRTFTextIo();
    ~TQnRTFTextIo() override;

    // ---- Virtual operations, after those of TQnRTFText ----

    // The stored property "Data": RTF followed by four zero bytes.
    virtual void ReadData(TQnStream &stream);
    virtual void WriteData(TQnStream &stream);
    // The whole document through writer; 7 without writer or document.
    virtual int WriteWithWriter(TQnStream *output, TQnTextWriter *writer);
    // The block through writer; 0 and nothing written without a complete block.
    virtual int WriteBlockWithWriter(TQnStream *output, TQnTextWriter *writer);
    // Reads stream with reader: at the cursor into a document that holds
    // text, else straight into the empty document.
    virtual void ReadWithReader(TQnStream *stream, TQnTextReader *reader);
    // Recognises the format (or takes LoadFormat) and reads; returns the format.
    // Failures are kept in ErrorState (and LastIoError), never thrown.
    virtual int LoadFromStream(TQnStream &stream);
    // Writes the whole document in the chosen format; returns the writer's result.
    virtual int SaveToStream(TQnStream &output);
    // Writes the block; failures go to ErrorState.
    virtual void SaveSelectionToStream(TQnStream &output);
    // Writes a new file beside the old one and switches over, so that a
    // failed save leaves the previous file as it was. Throws EQnFileError.
    virtual void SaveToFile(const std::filesystem::path &name);
    // Throws EQnFileError when the file cannot be opened.
    virtual void LoadFromFile(const std::filesystem::path &name);
    // Absolute position (a character per character and per paragraph end),
    // lines before the cursor line, paragraph index, offset in the paragraph.
    virtual void GetCursorPosition(int &position, int &lineNumber, int &paragraphIndex,
                                   int &offsetInParagraph) const;
    // By position when it is not 0, else by line number when that is not 0,
    // else by paragraph index and offset in it.
    virtual void SetCursorPosition(int position, int lineNumber, int offset, int paragraphIndex);

    void Clear() override;
    // Copies another TQnRTFTextIo; other sources go to the base.
    void Assign(const TPersistent &source) override;

    // The stored property: its name, and whether it is stored.
    static constexpr const char *kDataProperty = "Data";
    bool StoresData() const { return !IsEmpty(); }

    // One paragraph with one line of length 0.
    bool IsEmpty() const;
    // Regenerates the list numbers of numbered paragraphs.
    void Renumber();

    // The format SaveToStream would use (ignoring CustomWriter).
    int SaveFormatFor(bool emptyRule) const;
    // Format of a stream from its first bytes; the position is kept.
    static int RecogniseFormat(TQnStream &stream);
    // The reader or writer of a format (CustomReader/CustomWriter aside).
    static std::unique_ptr<TQnTextReader> MakeReader(int format);
    std::unique_ptr<TQnTextWriter> MakeWriter(int format);

    // Cursor and block helpers.
    void ResetCursor(); // start of the document, block dropped
    // Whether the cursor points at a paragraph and line of this document.
    bool CursorIsValid() const;
    void DropBlock();

    // The engine-wide progress hook, also reachable here.
    static int ProgressStart(int64_t total);
    static void ProgressShare(int percent);
    static void ProgressStep(int64_t position);
    static void ProgressEnd();
    static void ProgressClear();

    // ---- Fields ----

    TTextPos BlockAnchor, BlockEnd;
    bool BlockStarted = false;
    bool Reversed = false; // the end lies before the anchor
    TTextPos Cursor;
    bool ReadOnly = false; // editing layers refuse input
    uint8_t LoadFormat = kFormatAuto;
    uint8_t SaveFormat = kFormatAuto;
    bool ForceRtf = false;
    // Plain text is written as UTF-8 rather than Windows-1252 (the text
    // other programs take from the clipboard).
    bool PlainTextUtf8 = false;
    uint8_t ErrorState = kIoOk;
    std::string LastIoError; // text of the last failure kept in ErrorState

    // Writer options.
    bool SkipFieldText = false;
    bool SkipAutoText = false;
    bool DibOnly = false;
    bool PictureFileAsReference = false;
    // Reader options.
    TStoreHTMLComment HtmlComments = shcFootnote; // also what the HTML writer makes of footnotes
    bool HtmlLinkImages = false;
    std::string PictureDirectory;
    // Asked by the HTML reader for an image's graphic before it loads the file.
    std::function<std::shared_ptr<TQnGraphic>(const std::string &src)> HtmlPictureRequest;

    // Used instead of the built-in classes when set.
    std::function<std::unique_ptr<TQnTextReader>()> CustomReader;
    std::function<std::unique_ptr<TQnTextWriter>(TQnRTFText &document)> CustomWriter;
    // Called after a document was loaded into an empty document.
    std::function<void()> OnLoaded;

protected:
    void CopyFrom(const TQnRTFTextIo &source);
    // Places the cursor in paragraph at an offset across its lines (clamped).
    void PlaceInParagraph(TParagraph *paragraph, int offset);

private:
    // A text file in UTF-8 or UTF-16 read as its characters; false (the
    // stream left as it was) for any other.
    bool readUnicodeText(TQnStream &stream, TQnTextReader &reader);
};

} // namespace qn
