#pragma once

// TQnHTMLReader: reads simple HTML into paragraphs of a document: paragraphs,
// headings, lists, tables, fonts, colours, bold/italic/underline, links,
// images, comments and character entities. Everything it does not know is
// ignored; no input makes it fail, loop or hold more than a bounded amount of
// state besides the text it stores.
//
// It derives from TQnTextReader, whose targets, options and results it
// shares. Use: set Header and Document (both required), optionally Paragraph (read
// into it) and the options, then Read. Without a paragraph the paragraphs read
// form an unlinked chain that the caller links in (InsertParagraphs) or frees
// (TQnRTFText::FreeParagraphChain); ReadHTMLDocument does that for a whole
// document.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "richtext/io/stream.h"
#include "richtext/io/text_reader.h"
#include "richtext/model/rtf_text.h"

namespace qn {

// What becomes of HTML comments and footnotes (reader and writer).
enum TStoreHTMLComment : uint8_t {
    shcFootnote = 0,       // a footnote; the writer writes its text as it is
    shcHiddenFootnote = 1, // a hidden footnote; the writer writes it as a comment
    shcOFF = 2,            // the reader drops comments, the writer footnotes
};

// Texts the reader shows the user (a tab separates the two halves of a box).
inline constexpr const char *kHtmlTableNotCorrect = "Table not\tcorrect";

// Shows a message to the user (by default through ShowEngineMessage of
// platform/notifications.h).
using TQnMessageHook = std::function<void(const std::string &text)>;

class TQnHTMLReader : public TQnTextReader {
public:
    TQnHTMLReader();
    virtual ~TQnHTMLReader();
    TQnHTMLReader(const TQnHTMLReader &) = delete;
    TQnHTMLReader &operator=(const TQnHTMLReader &) = delete;

    // Options of the storage layer.
    TStoreHTMLComment Comments = shcFootnote;
    bool LinkImages = false;          // image objects are marked as linked
    std::filesystem::path PictureDir; // tried for image names that do not load as given

    // Shows "Table not\tcorrect" and the like; the user's notifications by default.
    TQnMessageHook OnMessage;

    // Reads the whole stream; first receives the first paragraph read (also
    // when an exception is passed on). Throws EQnRTFText "Wrong Arguments"
    // without header or document. Returns kReadOk, or kReadFailed when the
    // stream fails.
    int Read(TQnStream &stream, TParagraph *&first) override;
    // Text outside tags: blanks and line ends collapse to one blank between
    // words, as a browser shows them.
    void AddChar(char32_t c) override;

    // Asked first for the graphic of an image name (the owner's picture
    // source); nullptr lets the reader load the file itself.
    std::function<std::shared_ptr<TQnGraphic>(const std::string &name)> PictureRequest;

    // Turns an image name into a graphic. The default asks PictureRequest,
    // then loads a bitmap file by the name, then by the name inside
    // PictureDir; nullptr when none loads.
    virtual std::shared_ptr<TQnGraphic> LoadPicture(const std::string &name);

    // Bounds of the reader's state.
    static constexpr int kMaxListLevels = 15;
    static constexpr int kMaxColumns = 100;
    static constexpr int kMaxTagName = 20;
    static constexpr int kMaxAttributes = 6;
    static constexpr int kMaxAttrValue = 127;
    static constexpr int kMaxEntity = 20;
    static constexpr int kMaxComments = 10000; // kept as footnotes; later ones are dropped

private:
    struct Attr {
        std::string Name, Value;
    };
    struct Tag {
        std::string Name; // lower-case
        Attr Attrs[kMaxAttributes];
        int Count = 0;
        const std::string *Find(std::string_view name) const;
    };
    struct ListLevel {
        uint8_t Kind;
        int Counter;
        int32_t Indent;
    };
    struct FontState {
        uint8_t FontIndex, Colors, Size;
        int HtmlSize;
    };
    struct ParShape {
        int32_t FirstIndent = 0, LeftIndent = 0, RightIndent = 0;
        int32_t SpaceBefore = 0, SpaceAfter = 0;
        uint8_t Alignment = kAlignLeft, ParFlags = 0;
        uint8_t BorderFlags = 0;
        uint8_t Numbering = 0, StyleId = 0;
        uint32_t TabMask = 0;
    };

    // Input (html_reader_input.cpp).
    void readTag(Tag &tag);
    void readComment();
    void readEntity();
    static void decodeEntities(std::string &value);
    void skipRawText(std::string_view endTag);
    // Whether the character at `at` (after a '<') makes the '<' open a tag.
    bool opensTag(size_t at) const;
    int tableColumns(size_t from);

    // Building.
    void storeChar(char32_t c, const TCharAttr &attr) { StoreChar(c, attr, 60); }
    void storeText(std::string_view text, const TCharAttr &attr);
    void textChar(char32_t c);
    char32_t nextUtf8(uint8_t lead); // the rest of a character of the UTF-8 source
    void referenceChars(const std::u32string &chars);
    bool parHasText() const;
    // The current paragraph holds nothing but its generated list number.
    bool onlyListNumber() const;
    bool inTable() const { return table_.Open; }
    // Starts a paragraph of that shape (the current one when it is still
    // empty and no cell); pending blanks are dropped.
    void newBlock(const ParShape &shape);
    void ensureParagraph();
    ParShape plainShape() const;
    int32_t levelIndent() const;

    // Tags.
    void handleTag(const Tag &tag);
    void startLink(const Tag &tag);
    void endLink();
    void paragraphTag(const Tag &tag);
    void headingTag(const Tag &tag, int level);
    void ruleTag(const Tag &tag);
    void listTag(uint8_t kind);
    void endList();
    void itemTag();
    void tableTag(const Tag &tag);
    void rowTag();
    void cellTag(const Tag &tag, bool header);
    void endTable();
    void fillRow();
    void addCell(int colspan, int rowspan, bool covered, uint8_t alignment);
    void imageTag(const Tag &tag);
    void fontTag(const Tag &tag);
    void endFont();
    // <span style="...">: colour, weight, slant and underline of CSS, as
    // pages copied from a browser carry them; </span> restores the look.
    void spanTag(const Tag &tag);
    void endSpan();
    void applyStyleDeclaration(std::string_view property, std::string_view value);
    int colourIndex(std::string_view value);
    void message(const std::string &text);
    static uint8_t alignmentOf(const Tag &tag, uint8_t fallback);
    static uint8_t htmlPoints(int size);

    std::string src_;
    size_t at_ = 0; // reading position in src_
    bool pendingBlank_ = false;
    TCharAttr blankAttr_;     // attribute where the pending blank stood
    bool endPending_ = false; // the next text starts a new paragraph
    bool inTitle_ = false;
    bool inPre_ = false;
    bool preStart_ = false; // nothing read since <pre>
    TCharAttr preSaved_;
    bool inHeading_ = false;
    TCharAttr headingSaved_;
    bool linkOpen_ = false;
    int linkText_ = 0; // characters of the open link's text
    std::string link_;
    std::vector<ListLevel> lists_;
    int listOverflow_ = 0;
    std::vector<FontState> fonts_;
    int fontOverflow_ = 0;
    std::vector<TCharAttr> spans_;
    int spanOverflow_ = 0;
    int htmlSize_ = 3;
    int coloursUsed_ = 0;
    struct Table {
        bool Open = false;
        int Columns = 0;
        int Nested = 0;
        int Column = 0;    // cell index in the row
        int CellStart = 0; // 1/255 of the row width
        int DefaultWidth = 0;
        bool Border = false;
        bool RowOpen = false;
        bool Warned = false;
        int32_t LeftIndent = 0;            // of the row
        uint8_t Pending[kMaxColumns] = {}; // rows still covered per column
    } table_;
    // One-column tables read as paragraphs: their nesting and borders.
    std::vector<bool> plainTables_;
    TParagraph *lastCell_ = nullptr; // the row's last cell so far
    std::map<size_t, int> columnCache_;
    int commentsKept_ = 0;
};

struct TQnHTMLReadOptions {
    TStoreHTMLComment Comments = shcFootnote;
    bool LinkImages = false;
    std::filesystem::path PictureDir;
};

// Replaces the document's text by the HTML read from the stream (the header's
// Title and colour table are taken from it, LoadedFormat becomes 4). Returns
// the reader's result: kReadOk, or kReadFailed when the stream failed.
int ReadHTMLDocument(TQnRTFText &document, TQnStream &input,
                     const TQnHTMLReadOptions &options = {});

} // namespace qn
