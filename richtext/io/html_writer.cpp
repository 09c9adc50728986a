#include "richtext/io/html_writer.h"

#include "platform/ansi.h"
#include "platform/unicode_text.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace qn {

namespace {
// An entity for every byte that is not printable ASCII, so that the file
// means the same whatever character set a browser assumes.
void appendEscaped(std::string &out, uint8_t c, bool quotes)
{
    switch (c) {
    case '&':
        out += "&amp;";
        return;
    case '<':
        out += "&lt;";
        return;
    case '>':
        out += "&gt;";
        return;
    case '"':
        if (quotes) {
            out += "&quot;";
            return;
        }
        break;
    default:
        break;
    }
    if (c <= 3)
        return;
    if (c < 32 || c >= 127) {
        out += "&#";
        out += std::to_string(c);
        out += ';';
        return;
    }
    out.push_back(static_cast<char>(c));
}

std::string escapedText(std::string_view text, bool quotes)
{
    std::string out;
    for (char c : text)
        appendEscaped(out, static_cast<uint8_t>(c), quotes);
    return out;
}

// Writes point sizes as the HTML size that holds them.
int htmlSizeOf(int points)
{
    if (points <= 8)
        return 1;
    if (points <= 10)
        return 2;
    if (points <= 12)
        return 3;
    if (points <= 14)
        return 4;
    if (points <= 18)
        return 5;
    if (points <= 24)
        return 6;
    return 7;
}
} // namespace

TQnHTMLWriter::TQnHTMLWriter(TQnRTFText &document) : TQnTextWriter(document) {}

const char *TQnHTMLWriter::alignmentWord(uint8_t alignment)
{
    switch (alignment) {
    case kAlignRight:
        return "RIGHT";
    case kAlignCenter:
        return "CENTER";
    case kAlignJustify:
        return "JUSTIFIED";
    default:
        return "LEFT";
    }
}

void TQnHTMLWriter::appendCharacter(std::string &out, uint8_t c, bool quotes) const
{
    // Characters beyond ASCII as themselves; control codes stay out.
    if (Utf8Text && c >= 128) {
        out += AnsiToUtf8(std::string_view(reinterpret_cast<const char *>(&c), 1));
        return;
    }
    if (Utf8Text && c < 32 && c != 9)
        return;
    appendEscaped(out, c, quotes);
}

std::string TQnHTMLWriter::escaped(std::string_view text, bool quotes) const
{
    if (!Utf8Text)
        return escapedText(text, quotes);
    std::string out;
    for (char c : text)
        appendCharacter(out, static_cast<uint8_t>(c), quotes);
    return out;
}

std::string TQnHTMLWriter::attributeText(std::string_view text) const
{
    return escaped(text, true);
}

// An address of any characters: those of the code page as attributeText
// writes them, others as themselves in UTF-8 text, else as references.
std::string TQnHTMLWriter::attributeText(std::u32string_view text) const
{
    std::string out;
    for (const char32_t c : text) {
        if (const std::optional<unsigned char> code = UnicodeToAnsi(c)) {
            const char byte = static_cast<char>(*code);
            out += attributeText(std::string_view(&byte, 1));
        } else if (Utf8Text) {
            out += unicode::ToUtf8(std::u32string_view(&c, 1));
        } else {
            out += "&#" + std::to_string(static_cast<uint32_t>(c)) + ";";
        }
    }
    return out;
}

void TQnHTMLWriter::emit(std::string_view text)
{
    if (linkMode_ == 1)
        side_.append(text);
    else
        Put(text);
}

void TQnHTMLWriter::emit(char c)
{
    if (linkMode_ == 1)
        side_.push_back(c);
    else
        Put(c);
}

void TQnHTMLWriter::openBlock(BlockKind kind, std::string_view opening, std::string closing,
                              bool noAttributes)
{
    emit(opening);
    blocks_.push_back({kind, std::move(closing), noAttributes});
}

void TQnHTMLWriter::closeBlock()
{
    if (blocks_.empty())
        return;
    closeCharElements();
    std::string closing = std::move(blocks_.back().Closing);
    blocks_.pop_back();
    emit(closing);
}

void TQnHTMLWriter::closeCharElements()
{
    while (!chars_.empty()) {
        emit(chars_.back());
        chars_.pop_back();
    }
    charOpenings_.clear();
}

int TQnHTMLWriter::openLists() const
{
    return static_cast<int>(std::count_if(blocks_.begin(), blocks_.end(),
                                          [](const Block &b) { return b.Kind == kList; }));
}

bool TQnHTMLWriter::tableOpen() const
{
    return std::any_of(blocks_.begin(), blocks_.end(),
                       [](const Block &b) { return b.Kind == kTable; });
}

void TQnHTMLWriter::closeListsAndItems()
{
    while (openLists() > 0)
        closeBlock();
}

void TQnHTMLWriter::writeLink()
{
    if (linkMode_ == 0)
        return;
    if (linkMode_ == 1)
        closeCharElements(); // the link text's own elements end inside it
    linkMode_ = 0;
    if (linkAddress_.empty())
        Put("<A>");
    else {
        Put("<A HREF=\"");
        Put(attributeText(linkAddress_));
        Put("\">");
    }
    Put(side_);
    Put("</A>");
    side_.clear();
    linkAddress_.clear();
}

std::string TQnHTMLWriter::colourText(int index) const
{
    const uint32_t c = doc_.Header->Colors[index & 15];
    char hex[8];
    std::snprintf(hex, sizeof hex, "#%02X%02X%02X", c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
    return hex;
}

void TQnHTMLWriter::putColour(int index)
{
    emit(colourText(index));
}

// ---------------------------------------------------------------------------

int TQnHTMLWriter::WriteHeader(TQnStream &output)
{
    TQnTextWriter::WriteHeader(output);
    blocks_.clear();
    chars_.clear();
    linkMode_ = 0;
    linkAddress_.clear();
    side_.clear();
    afterRule_ = false;
    segmentOpen_ = false;
    charOpenings_.clear();
    const TTextHeader &h = *doc_.Header;
    if (BodyOnly)
        return Flush();
    if (CompletePage) {
        Put(PageStart());
        return Flush();
    }
    Put("<html>\r\n");
    if (!h.Title.empty()) {
        Put("<title>");
        Put(escaped(h.Title, false));
        Put("</title>\r\n");
    }
    const int base = std::clamp(BaseFont, 0, kFontSlots - 1);
    Put("<BASEFONT FACE=\"");
    Put(attributeText(h.FontNames[base]));
    Put("\" COLOR=");
    putColour(0);
    Put(">\r\n");
    return Flush();
}

int TQnHTMLWriter::ParagraphStart()
{
    const TParagraph *p = par_;
    afterRule_ = false;
    const int kind = p->Numbering >> 4;
    const bool numbered = p->Numbering != 0 && kind != 8;
    if (!numbered)
        closeListsAndItems();
    if (!p->IsTableCell())
        while (tableOpen()) // a table whose last row did not end
            closeBlock();

    if (p->IsTableCell()) {
        const bool startsRow = !(p->ParFlags & kParCellNotFirst);
        if (!tableOpen()) {
            openBlock(kTable, "\r\n<table BORDER>", "</table>\r\n");
            openBlock(kRow, "<tr>", "</tr>\r\n");
        } else if (startsRow || blocks_.back().Kind != kRow) {
            while (!blocks_.empty() && blocks_.back().Kind != kTable)
                closeBlock();
            openBlock(kRow, "<tr>", "</tr>\r\n");
        }
        if (!p->IsCoveredCell()) {
            std::string td = "<td";
            const int span = p->CellSpan();
            if ((span & 0x0F) > 0) {
                td += " COLSPAN=";
                td += std::to_string((span & 0x0F) + 1);
            }
            if (span >= 16 && span < kCellCovered) {
                td += " ROWSPAN=";
                td += std::to_string(span / 16 + 1);
            }
            if (p->Alignment != kAlignLeft) {
                td += " ALIGN=\"";
                td += alignmentWord(p->Alignment);
                td += '"';
            }
            td += '>';
            openBlock(kCell, td, "</td>\r\n");
        }
        return FlushIfFull();
    }

    if (p->StyleId != 0) {
        std::string name;
        uint8_t id = p->StyleId;
        if (doc_.FindStyle(name, id) && name.size() == 2 && (name[0] == 'h' || name[0] == 'H') &&
            name[1] >= '1' && name[1] <= '6') {
            openBlock(kParagraph, "<" + name + " ALIGN=\"" + alignmentWord(p->Alignment) + "\">",
                      "</" + name + ">\r\n", true);
            return FlushIfFull();
        }
    }

    if (numbered) {
        const int level = std::max(1, p->Numbering & 7);
        while (openLists() > level)
            closeBlock();
        // An item left open (a paragraph end was outside the range) ends here.
        while (!blocks_.empty() && blocks_.back().Kind != kList)
            closeBlock();
        while (openLists() < level) {
            if (kind == 1) {
                openBlock(kList, "<ul>", "</ul>\r\n");
            } else if (kind >= 2 && kind <= 6) {
                static const char *const types[] = {"A", "a", "I", "i", "1"};
                openBlock(kList, std::string("<ol TYPE=") + types[kind - 2] + ">", "</ol>\r\n");
            } else {
                openBlock(kList, "<ol>", "</ol>\r\n");
            }
        }
        openBlock(kItem, "<li>", "</li>\r\n");
        return FlushIfFull();
    }

    if (p->BorderFlags & kBorderOn) {
        const TLine *l = p->Lines;
        int size = 10;
        if (l && l->Attrs && l->Length > 0)
            size = l->Attrs[0].Size ? l->Attrs[0].Size : 10;
        if (l && !l->Next && l->Length == 1 && size < 10) {
            openBlock(kParagraph, "<hr>", "");
            afterRule_ = true;
        } else {
            openBlock(kParagraph, "\r\n<table BORDER><td>", "</td></table>\r\n");
        }
        return FlushIfFull();
    }

    if (CssLayout) {
        const std::string style = paragraphStyle(*p);
        openBlock(kParagraph, style.empty() ? "<p>" : "<p style=\"" + style + "\">", "</p>\r\n");
        segmentX_ = p->FirstIndent;
        // An empty paragraph is an empty line, not nothing.
        if (p->TextLength() == 0)
            emit("<br>");
        return FlushIfFull();
    }
    if (p->Alignment != kAlignLeft)
        openBlock(kParagraph, std::string("<p ALIGN=\"") + alignmentWord(p->Alignment) + "\">",
                  "</p>\r\n");
    else
        openBlock(kParagraph, "<p>", "</p>\r\n");
    return FlushIfFull();
}

// ---------------------------------------------------------------------------
// CSS layout

namespace {

std::string inches(int32_t twips)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.4gin", twips / 1440.0);
    return text;
}

std::string points(int32_t twips)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.4gpt", twips / 20.0);
    return text;
}

} // namespace

int32_t TQnHTMLWriter::defaultTabStep() const
{
    // What the layout steps by where a paragraph has no stop of its own:
    // a third of an inch, or a centimetre.
    return doc_.Header->UseInch ? 480 : 567;
}

std::string TQnHTMLWriter::PageStart() const
{
    const TTextHeader &h = *doc_.Header;
    std::string start =
        "<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<meta charset=\"utf-8\">\r\n<title>" +
        escaped(h.Title, false) + "</title>\r\n";
    if (CssLayout) {
        const int base = std::clamp(BaseFont, 0, kFontSlots - 1);
        std::string family = h.FontNames[base];
        std::erase_if(family, [](char c) { return c == '\'' || c == '"' || c == '<' || c == '>'; });
        start += "<style>\r\n";
        start += "body { font-family: '" + escaped(family, false) +
                 "'; font-size: 10pt; color: " + colourText(0) + "; }\r\n";
        // Paragraphs carry their own margins; a piece of text after a tab is
        // placed from the paragraph's left edge.
        start +=
            "p { margin: 0; position: relative; tab-size: " + inches(defaultTabStep()) + "; }\r\n";
        start += ".tab { white-space: pre; }\r\n";
        start += ".at { position: absolute; white-space: pre; }\r\n";
        start += "</style>\r\n";
    }
    return start + "</head>\r\n<body>\r\n";
}

const char *TQnHTMLWriter::PageEnd()
{
    return "</body>\r\n</html>\r\n";
}

std::string TQnHTMLWriter::paragraphStyle(const TParagraph &p) const
{
    std::string style;
    auto add = [&style](const std::string &property, const std::string &value) {
        if (!style.empty())
            style += "; ";
        style += property + ": " + value;
    };
    if (p.LeftIndent != 0)
        add("margin-left", inches(p.LeftIndent));
    if (p.RightIndent != 0)
        add("margin-right", inches(p.RightIndent));
    if (p.FirstIndent != p.LeftIndent)
        add("text-indent", inches(p.FirstIndent - p.LeftIndent));
    if (p.SpaceBefore != 0)
        add("margin-top", points(p.SpaceBefore));
    if (p.SpaceAfter != 0)
        add("margin-bottom", points(p.SpaceAfter));
    if (p.LineSpacing != 0)
        add("line-height", points(std::abs(p.LineSpacing)));
    switch (p.Alignment) {
    case kAlignRight:
        add("text-align", "right");
        break;
    case kAlignCenter:
        add("text-align", "center");
        break;
    case kAlignJustify:
        add("text-align", "justify");
        break;
    default:
        break;
    }
    if (p.ParFlags & kParPageBreak)
        add("break-before", "page");
    return style;
}

void TQnHTMLWriter::writeCssRun(const TCharAttr &a)
{
    auto open = [this](std::string opening, const char *closing) {
        emit(opening);
        charOpenings_.push_back(std::move(opening));
        chars_.emplace_back(closing);
    };
    if (a.Style & kStyleBold)
        open("<b>", "</b>");
    if (a.Style & kStyleUnderline)
        open("<u>", "</u>");
    if (a.Style & kStyleItalic)
        open("<i>", "</i>");
    if (a.Style & kStyleStrikeout)
        open("<s>", "</s>");
    if (a.Style & kStyleSuperscript)
        open("<sup>", "</sup>");
    else if (a.Style & kStyleSubscript)
        open("<sub>", "</sub>");
    std::string style;
    if (a.FontIndex < kFontSlots && !doc_.Header->FontNames[a.FontIndex].empty()) {
        std::string family = doc_.Header->FontNames[a.FontIndex];
        std::erase_if(family, [](char c) { return c == '\'' || c == '"' || c == '<' || c == '>'; });
        style += "font-family: '" + escaped(family, false) + "'";
    }
    if (a.Size != 0)
        style +=
            std::string(style.empty() ? "" : "; ") + "font-size: " + std::to_string(a.Size) + "pt";
    if (a.TextColor() != 0)
        style += std::string(style.empty() ? "" : "; ") + "color: " + colourText(a.TextColor());
    if (a.BackColor() != 0)
        style += std::string(style.empty() ? "" : "; ") +
                 "background-color: " + colourText(a.BackColor());
    if (!style.empty())
        open("<span style=\"" + style + "\">", "</span>");
}

void TQnHTMLWriter::closeTabSegment()
{
    if (!segmentOpen_)
        return;
    closeCharElements();
    emit("</span>");
    segmentOpen_ = false;
}

void TQnHTMLWriter::tab()
{
    // The paragraph's own stops place the text after a tab at the stop
    // (where the text before it ends is for the browser to know, so the
    // stop after the piece's start is taken); without a stop further on,
    // the browser's tab steps by the default distance.
    const TParagraph &p = *par_;
    const TTextHeader &h = *doc_.Header;
    int32_t stop = -1;
    uint8_t kind = tkLeft;
    for (int i = 0; i < kTabSlots; ++i) {
        if (!((p.TabMask >> i) & 1u) || h.TabPosTwips[i] <= 0)
            continue;
        const int32_t at = h.TabPosTwips[i];
        if (at > segmentX_ && (stop < 0 || at < stop)) {
            stop = at;
            kind = h.TabKind[i];
        }
    }
    if (stop < 0 && !segmentOpen_) {
        emit("<span class=\"tab\">&#9;</span>");
        return;
    }
    if (stop < 0) {
        const int32_t step = defaultTabStep();
        stop = (segmentX_ / step + 1) * step;
        kind = tkLeft;
    }
    const std::vector<std::string> openings = charOpenings_;
    closeCharElements();
    closeTabSegment();
    const std::string left = inches(stop - p.LeftIndent);
    std::string place;
    switch (kind) {
    case tkRight:
    case tkDecimal:
        place = "right: calc(100% - " + left + ")";
        break;
    case tkCenter:
        place = "left: " + left + "; transform: translateX(-50%)";
        break;
    default:
        place = "left: " + left;
        break;
    }
    // A placed piece is out of the line's flow: a zero-width space keeps
    // the line its height when nothing else is on it.
    emit("&#8203;<span class=\"at\" style=\"" + place + "\">");
    segmentOpen_ = true;
    segmentX_ = stop;
    // The run's character elements continue inside the piece.
    openCharElements(openings);
}

void TQnHTMLWriter::openCharElements(const std::vector<std::string> &openings)
{
    for (const std::string &opening : openings) {
        emit(opening);
        charOpenings_.push_back(opening);
        chars_.push_back(opening.rfind("<span", 0) == 0 ? std::string("</span>")
                                                        : "</" + opening.substr(1));
    }
}

int TQnHTMLWriter::WriteCharAttr()
{
    const TCharAttr &a = *attr_;
    const bool hidden = (a.Style & kStyleHidden) != 0;
    if (linkMode_ == 0 && (a.Style & kStyleDoubleUnderline)) {
        closeCharElements();
        linkAddress_.clear();
        side_.clear();
        linkMode_ = 1;
    } else if (linkMode_ == 1 && !(a.Style & kStyleDoubleUnderline)) {
        if (hidden) {
            closeCharElements();
            linkMode_ = 2;
        } else {
            writeLink();
        }
    } else if (linkMode_ == 2 && !hidden) {
        writeLink();
    }
    if (linkMode_ == 2)
        return result_; // the address is no text of its own
    if (!blocks_.empty() && blocks_.back().NoAttributes)
        return result_;
    closeCharElements();
    if (skipped())
        return result_; // a run that is not written needs no elements
    if (CssLayout) {
        writeCssRun(a);
        return FlushIfFull();
    }
    auto open = [this](const char *opening, const char *closing) {
        emit(opening);
        chars_.emplace_back(closing);
    };
    if (a.Style & kStyleBold)
        open("<b>", "</b>");
    if (a.Style & kStyleUnderline)
        open("<u>", "</u>");
    if (a.Style & kStyleItalic)
        open("<i>", "</i>");
    if (a.Style & kStyleSuperscript)
        open("<sup>", "</sup>");
    else if (a.Style & kStyleSubscript)
        open("<sub>", "</sub>");
    std::string font;
    if (a.FontIndex != BaseFont && a.FontIndex < kFontSlots) {
        font += " FACE=\"";
        font += attributeText(doc_.Header->FontNames[a.FontIndex]);
        font += '"';
    }
    // Every run closes the elements of the one before, so a size other than
    // the base size is written for every run that has it.
    if (a.Size != 0) {
        const int s = htmlSizeOf(a.Size);
        if (s != 3) {
            font += " SIZE=";
            font += std::to_string(s);
        }
    }
    std::string colours;
    if (!font.empty() || a.Colors != 0) {
        emit("<FONT");
        emit(font);
        if (a.TextColor() != 0) {
            emit(" COLOR=");
            putColour(a.TextColor());
        }
        if (a.BackColor() != 0) {
            emit(" BGCOLOR=");
            putColour(a.BackColor());
        }
        emit(">");
        chars_.emplace_back("</FONT>");
    }
    return FlushIfFull();
}

bool TQnHTMLWriter::skipped() const
{
    const TLine *l = line_;
    // The list element numbers its items itself.
    if (l->Attrs && (l->Attrs[pos_].Style & kStyleListNumber) && openLists() > 0)
        return true;
    // The rule stands for its paragraph's lone character.
    return afterRule_ && l->Text[pos_] == 0xA0 && l->Length == 1;
}

int TQnHTMLWriter::WriteText(int count)
{
    const TLine *l = line_;
    if (skipped())
        return result_;
    std::string text;
    for (int i = 0; i < count; ++i) {
        const char32_t wide = l->Text[pos_ + i];
        const std::optional<unsigned char> code = UnicodeToAnsi(wide);
        if (!code) {
            // A character the code page lacks: itself in UTF-8 text, else a
            // numeric reference.
            if (linkMode_ == 2) {
                if (linkAddress_.size() < 4096)
                    linkAddress_.push_back(wide);
            } else if (Utf8Text) {
                text += unicode::ToUtf8(std::u32string_view(&wide, 1));
            } else {
                text += "&#" + std::to_string(static_cast<uint32_t>(wide)) + ";";
            }
            continue;
        }
        const uint8_t c = *code;
        if (linkMode_ == 2) {
            if (c > 3 && linkAddress_.size() < 4096)
                linkAddress_.push_back(wide);
            continue;
        }
        if (c == 10) {
            emit(text);
            text.clear();
            writeLink();
            if (CssLayout) {
                // A new line starts in the flow again, at the left indent.
                const std::vector<std::string> openings = charOpenings_;
                const bool placed = segmentOpen_;
                closeTabSegment();
                emit("<br>\r\n");
                if (placed)
                    openCharElements(openings);
                segmentX_ = par_->LeftIndent;
            } else {
                emit("<br>\r\n");
            }
            continue;
        }
        if (c == 9 && CssLayout) {
            emit(text);
            text.clear();
            tab();
            continue;
        }
        appendCharacter(text, c, false);
    }
    emit(text);
    return FlushIfFull();
}

int TQnHTMLWriter::WriteObject(int tag, int id)
{
    const TQnObject *found = doc_.FindObject(tag, id);
    if (!found || found->FileName.empty())
        return result_;
    TQnObject object = *found;
    doc_.ObjectSize(object);
    const TTextHeader &h = *doc_.Header;
    const int dx = std::max(1, 1440 / (h.PixelsPerInchX > 0 ? h.PixelsPerInchX : 96));
    const int dy = std::max(1, 1440 / (h.PixelsPerInchY > 0 ? h.PixelsPerInchY : 96));
    std::string img = "<IMG SRC=\"" + attributeText(object.FileName) + "\" WIDTH=\"" +
                      std::to_string(object.Width / dx) + "\" HEIGHT=\"" +
                      std::to_string(object.Height / dy) + "\">";
    emit(img);
    return FlushIfFull();
}

int TQnHTMLWriter::WriteFootnote(int id)
{
    const TQnFootnote *note = doc_.FindFootnote(id);
    if (!note || Footnotes == shcOFF)
        return result_;
    const std::string &text = note->AltText ? *note->AltText : note->Text;
    if (Footnotes == shcHiddenFootnote) {
        // "--" would end the comment early.
        std::string body = text;
        for (size_t i = body.find("--"); i != std::string::npos; i = body.find("--", i))
            body[i + 1] = ' ';
        emit("<!--");
        emit(body);
        emit("-->");
    } else {
        emit(text);
    }
    return FlushIfFull();
}

int TQnHTMLWriter::ParagraphEnd()
{
    writeLink();
    closeTabSegment();
    closeCharElements();
    const TParagraph *p = par_;
    if (p->IsTableCell()) {
        if (!p->IsCoveredCell() && !blocks_.empty() && blocks_.back().Kind == kCell)
            closeBlock();
        if (!(p->ParFlags & kParCellRowOpen)) { // the row ends here
            while (!blocks_.empty() && blocks_.back().Kind != kTable && blocks_.back().Kind != kRow)
                closeBlock();
            if (!blocks_.empty() && blocks_.back().Kind == kRow)
                closeBlock();
            const bool more = p->Next && p->Next->IsTableCell() && p != EndParagraph;
            if (!more)
                while (tableOpen())
                    closeBlock();
        }
    } else if (p->Next && !blocks_.empty()) {
        closeBlock();
    }
    return FlushIfFull();
}

int TQnHTMLWriter::WriteFooter(TQnStream &output)
{
    out_ = &output;
    writeLink();
    closeTabSegment();
    closeCharElements();
    while (!blocks_.empty())
        closeBlock();
    if (BodyOnly)
        return Flush();
    Put(CompletePage ? std::string("\r\n") + PageEnd() : std::string("\r\n</html>"));
    return Flush();
}

int WriteHTMLDocument(TQnRTFText &document, TQnStream &output, TStoreHTMLComment footnotes)
{
    TQnHTMLWriter writer(document);
    writer.Footnotes = footnotes;
    return writer.Write(output);
}

} // namespace qn
