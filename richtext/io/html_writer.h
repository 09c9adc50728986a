#pragma once

// TQnHTMLWriter: writes a document range as simple HTML. The body walk, the
// runs and the range are those of TQnTextWriter; this class writes the
// elements. Double-underlined text followed by hidden text is a hyperlink
// whose address is the hidden text (the HTML reader stores links so).
//
// Paragraph-level elements (lists, items, paragraphs, tables, rows, cells,
// headings) are kept on a stack with their closing text; character elements
// of the current run on a second one, so that everything opened is closed in
// order.

#include <string>
#include <vector>

#include "richtext/io/html_reader.h"
#include "richtext/io/text_writer.h"

namespace qn {

class TQnHTMLWriter : public TQnTextWriter {
public:
    explicit TQnHTMLWriter(TQnRTFText &document);

    // What footnotes become: their text as it is (shcFootnote), an HTML
    // comment (shcHiddenFootnote, so comments read by the reader go back as
    // comments), or nothing (shcOFF).
    TStoreHTMLComment Footnotes = shcFootnote;
    // Font slot written as the base font.
    int BaseFont = 0;

    // A page for today's browsers rather than the writer's simple HTML
    // (all off by default):
    // a whole document (doctype, head with charset and title, body);
    bool CompletePage = false;
    // characters written as themselves in UTF-8 instead of references to
    // their Windows-1252 codes;
    bool Utf8Text = false;
    // indents, alignment, spacing, tabs and fonts as CSS, so the page looks
    // like the document (paragraphs with their own margins, runs in spans).
    bool CssLayout = false;
    // The body's content alone, without the page around it, so that the
    // bodies of several documents (each with its own font and colour
    // tables) join into one page between PageStart() and PageEnd().
    bool BodyOnly = false;

    // A complete page's start, up to and with <body>, for this document and
    // these options; and its end.
    std::string PageStart() const;
    static const char *PageEnd();

    int WriteCharAttr() override;
    int WriteText(int count) override;
    int ParagraphEnd() override;
    int ParagraphStart() override;
    int WriteObject(int tag, int id) override;
    int WriteFootnote(int id) override;
    int WriteHeader(TQnStream &output) override;
    int WriteFooter(TQnStream &output) override;

private:
    enum BlockKind : uint8_t {
        kItem = 1,
        kList = 2,
        kParagraph = 4,
        kTable = 5,
        kRow = 6,
        kCell = 7
    };
    struct Block {
        BlockKind Kind;
        std::string Closing;
        bool NoAttributes = false;
    };

    // Text goes to the side buffer while a link's text is collected.
    void emit(std::string_view text);
    void emit(char c);
    void openBlock(BlockKind kind, std::string_view opening, std::string closing,
                   bool noAttributes = false);
    void closeBlock();
    void closeCharElements();
    void closeListsAndItems();
    void writeLink();
    // The run at the current character is not written.
    bool skipped() const;
    void putColour(int index);
    bool tableOpen() const;
    int openLists() const;
    static const char *alignmentWord(uint8_t alignment);
    std::string attributeText(std::string_view text) const;
    std::string attributeText(std::u32string_view text) const;
    std::string escaped(std::string_view text, bool quotes) const;
    void appendCharacter(std::string &out, uint8_t c, bool quotes) const;
    // CSS layout.
    std::string paragraphStyle(const TParagraph &p) const;
    void writeCssRun(const TCharAttr &a);
    std::string colourText(int index) const;
    void tab();
    void closeTabSegment();
    void openCharElements(const std::vector<std::string> &openings);
    int32_t defaultTabStep() const;

    std::vector<Block> blocks_;
    std::vector<std::string> chars_;
    std::vector<std::string> charOpenings_; // the openings of chars_, in order
    // Tabs of the paragraph being written (CSS layout): where the current
    // piece of text starts (twips from the text area's left edge), and
    // whether it is a piece placed at a tab stop.
    int32_t segmentX_ = 0;
    bool segmentOpen_ = false;
    int linkMode_ = 0;           // 0 none, 1 collecting the text, 2 collecting the address
    std::u32string linkAddress_; // the hidden address of the link being written
    std::string side_;
    bool afterRule_ = false;
};

// Writes the whole document as HTML; the writer's result (kWriteOk, or
// kWriteShort after a short write).
int WriteHTMLDocument(TQnRTFText &document, TQnStream &output,
                      TStoreHTMLComment footnotes = shcFootnote);

} // namespace qn
