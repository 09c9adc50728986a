#include "richtext/io/html_reader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/ansi.h"
#include "platform/ascii_text.h"
#include "platform/html_charset.h"
#include "platform/notifications.h"
#include "platform/unicode_text.h"
#include "richtext/io/bitmap.h"
#include "richtext/io/html_text.h"
#include "richtext/io/progress.h"
#include "richtext/model/model_error.h"

namespace qn {

using namespace html_text;

namespace {

constexpr uint32_t rgb(int r, int g, int b)
{
    return uint32_t(r) | (uint32_t(g) << 8) | (uint32_t(b) << 16);
}

struct Heading {
    uint8_t Size, Style, Alignment;
    int32_t SpaceBefore, SpaceAfter, Indent;
};
constexpr Heading kHeadings[6] = {
    {22, 0, kAlignCenter, 200, 250, 0},
    {15, kStyleBold, kAlignLeft, 200, 250, 0},
    {15, kStyleItalic, kAlignLeft, 200, 200, 288},
    {12, kStyleBold, kAlignLeft, 100, 100, 576},
    {12, kStyleItalic, kAlignLeft, 100, 0, 576},
    {12, kStyleBold, kAlignLeft, 100, 0, 864},
};

constexpr size_t kMaxTitle = 1024;
constexpr size_t kMaxObjects = 5000;
constexpr int kMaxFontStack = 100;
constexpr int kIndentStep = 360; // per list level
constexpr int kPlainIndent = 144;
constexpr int kMinRowWidth = 3500;
} // namespace

// ---------------------------------------------------------------------------

TQnHTMLReader::TQnHTMLReader() = default;
TQnHTMLReader::~TQnHTMLReader() = default;

const std::string *TQnHTMLReader::Tag::Find(std::string_view name) const
{
    for (int i = 0; i < Count; ++i)
        if (Attrs[i].Name == name)
            return &Attrs[i].Value;
    return nullptr;
}

uint8_t TQnHTMLReader::htmlPoints(int size)
{
    static constexpr uint8_t points[7] = {8, 10, 12, 14, 18, 24, 36};
    if (size <= 0)
        return 8;
    if (size >= 8)
        return 36;
    return points[size - 1];
}

uint8_t TQnHTMLReader::alignmentOf(const Tag &tag, uint8_t fallback)
{
    const std::string *v = tag.Find("align");
    if (!v)
        return fallback;
    if (sameText(*v, "right"))
        return kAlignRight;
    if (sameText(*v, "center") || sameText(*v, "middle"))
        return kAlignCenter;
    if (sameText(*v, "justify") || sameText(*v, "justified"))
        return kAlignJustify;
    return kAlignLeft;
}

void TQnHTMLReader::message(const std::string &text)
{
    if (OnMessage)
        OnMessage(text);
    else
        ShowEngineMessage(text);
}

// ---------------------------------------------------------------------------
// Building

void TQnHTMLReader::storeText(std::string_view text, const TCharAttr &attr)
{
    // Attribute values are UTF-8, as the whole source is once decoded.
    for (const char32_t c : unicode::FromUtf8(text))
        if (c != 0)
            storeChar(c, attr);
}

bool TQnHTMLReader::parHasText() const
{
    for (const TLine *l = par_->Lines; l; l = l->Next)
        if (l->Length)
            return true;
    return false;
}

void TQnHTMLReader::AddChar(char32_t c)
{
    if (c == 0)
        return;
    ensureParagraph();
    if (pendingBlank_) {
        pendingBlank_ = false;
        // One blank between words; none at the start of a paragraph or line.
        // The blank takes the attribute in effect where it stood in the
        // source (before a tag that changed it); never the link mark of a
        // link that had not started.
        TCharAttr a = blankAttr_;
        if (!(attr_.Style & kStyleDoubleUnderline) || (linkOpen_ && linkText_ == 0))
            a.Style &= static_cast<uint16_t>(~kStyleDoubleUnderline);
        if (line_->Length > 0) {
            const char32_t last = line_->Text[line_->Length - 1];
            if (last != ' ' && last != 10)
                storeChar(' ', a);
        } else if (parHasText()) {
            storeChar(' ', a);
        }
    }
    storeChar(c, attr_);
    if (linkOpen_)
        ++linkText_;
}

void TQnHTMLReader::textChar(char32_t c)
{
    if (inTitle_) {
        // The document's title holds code page text.
        if (c > 31 && Header->Title.size() < kMaxTitle)
            Header->Title.push_back(static_cast<char>(UnicodeToAnsi(c).value_or('?')));
        return;
    }
    if (inPre_) {
        if (c == 13)
            return;
        if (c != 10)
            preStart_ = false;
        if (c == 10) {
            if (preStart_) { // a line end right after the tag is no text
                preStart_ = false;
                return;
            }
            ensureParagraph();
            storeChar(10, attr_);
            return;
        }
        if (c == ' ' || c == 9) {
            ensureParagraph();
            storeChar(c, attr_);
            return;
        }
    } else if (c == ' ' || c == 9 || c == 10 || c == 13) {
        // Line ends and runs of blanks in the source are one blank, as a
        // browser shows them: lines broken inside a sentence stay words.
        if (!pendingBlank_)
            blankAttr_ = attr_;
        pendingBlank_ = true;
        return;
    }
    if (c < 32 && c != 9) {
        if (c == 0 || c == 10 || c == 13)
            return;
    }
    AddChar(c);
}

char32_t TQnHTMLReader::nextUtf8(uint8_t lead)
{
    // The source is well-formed UTF-8 (made so when it was read).
    const int more = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    char32_t c = lead & (0x3F >> more);
    for (int i = 0; i < more && at_ < src_.size(); ++i)
        c = c << 6 | (static_cast<uint8_t>(src_[at_++]) & 0x3F);
    return c;
}

int32_t TQnHTMLReader::levelIndent() const
{
    return lists_.empty() ? kPlainIndent : lists_.back().Indent;
}

TQnHTMLReader::ParShape TQnHTMLReader::plainShape() const
{
    ParShape s;
    s.FirstIndent = s.LeftIndent = levelIndent();
    return s;
}

void TQnHTMLReader::newBlock(const ParShape &shape)
{
    pendingBlank_ = false;
    endPending_ = false;
    if (par_->IsTableCell() || parHasText()) {
        Document->NewParagraph(par_, 60);
        line_ = par_->Lines;
    }
    TParagraph &p = *par_;
    p.FirstIndent = shape.FirstIndent;
    p.LeftIndent = shape.LeftIndent;
    p.RightIndent = shape.RightIndent;
    p.SpaceBefore = shape.SpaceBefore;
    p.SpaceAfter = shape.SpaceAfter;
    p.LineSpacing = 0;
    p.Alignment = shape.Alignment;
    p.ParFlags = shape.ParFlags;
    p.BorderFlags = shape.BorderFlags;
    p.BorderStyle = 0;
    p.BorderWidth = 0;
    p.BorderSpaceColor = (shape.BorderFlags & kBorderOn) ? 0x10 : 0;
    p.Numbering = shape.Numbering;
    p.StyleId = shape.StyleId;
    p.TabMask = shape.TabMask;
}

void TQnHTMLReader::ensureParagraph()
{
    if (endPending_)
        newBlock(plainShape());
}

// ---------------------------------------------------------------------------
// Tags

void TQnHTMLReader::handleTag(const Tag &tag)
{
    const std::string &t = tag.Name;
    if (t.empty())
        return;
    if (t == "script" || t == "style") {
        skipRawText(t);
        return;
    }
    if (t == "title") {
        inTitle_ = true;
        Header->Title.clear();
        return;
    }
    if (t == "/title") {
        inTitle_ = false;
        return;
    }
    if (inTitle_)
        return;
    auto setStyle = [this](uint16_t on, uint16_t off) {
        attr_.Style = static_cast<uint16_t>((attr_.Style | on) & ~off);
    };
    if (t == "a")
        startLink(tag);
    else if (t == "/a")
        endLink();
    else if (t == "b")
        setStyle(kStyleBold, 0);
    else if (t == "/b")
        setStyle(0, kStyleBold);
    else if (t == "i")
        setStyle(kStyleItalic, 0);
    else if (t == "/i")
        setStyle(0, kStyleItalic);
    else if (t == "u")
        setStyle(kStyleUnderline, 0);
    else if (t == "/u")
        setStyle(0, kStyleUnderline);
    else if (t == "p")
        paragraphTag(tag);
    else if (t == "br") {
        ensureParagraph();
        pendingBlank_ = false;
        storeChar(10, attr_);
    } else if (t.size() == 2 && t[0] == 'h' && t[1] >= '1' && t[1] <= '6')
        headingTag(tag, t[1] - '0');
    else if (t.size() == 3 && t[0] == '/' && t[1] == 'h' && t[2] >= '1' && t[2] <= '6') {
        if (inHeading_) {
            attr_ = headingSaved_;
            inHeading_ = false;
            if (!inTable())
                endPending_ = true;
        }
    } else if (t == "hr")
        ruleTag(tag);
    else if (t == "ol") {
        const std::string *type = tag.Find("type");
        uint8_t kind = 6;
        if (type && *type == "A")
            kind = 2;
        else if (type && *type == "a")
            kind = 3;
        else if (type && *type == "I")
            kind = 4;
        else if (type && *type == "i")
            kind = 5;
        listTag(kind);
    } else if (t == "ul")
        listTag(1);
    else if (t == "/ol" || t == "/ul")
        endList();
    else if (t == "li")
        itemTag();
    else if (t == "table")
        tableTag(tag);
    else if (t == "tr")
        rowTag();
    else if (t == "td" || t == "th")
        cellTag(tag, t == "th");
    else if (t == "/table")
        endTable();
    else if (t == "img")
        imageTag(tag);
    else if (t == "font")
        fontTag(tag);
    else if (t == "/font")
        endFont();
    else if (t == "span")
        spanTag(tag);
    else if (t == "/span")
        endSpan();
    else if (t == "small") {
        if (htmlSize_ > 1)
            attr_.Size = htmlPoints(htmlSize_ - 1);
    } else if (t == "/small")
        attr_.Size = htmlPoints(htmlSize_);
    else if (t == "sup")
        setStyle(kStyleSuperscript, kStyleSubscript);
    else if (t == "sub")
        setStyle(kStyleSubscript, kStyleSuperscript);
    else if (t == "/sup")
        setStyle(0, kStyleSuperscript);
    else if (t == "/sub")
        setStyle(0, kStyleSubscript);
    else if (t == "pre") {
        if (inPre_)
            return;
        if (!inTable()) {
            ParShape s = plainShape();
            s.ParFlags = 0x20;
            newBlock(s);
        }
        preSaved_ = attr_;
        const int slot = Document->FindOrAddFont("Courier New");
        if (slot < kFontSlots)
            attr_.FontIndex = static_cast<uint8_t>(slot);
        attr_.Size = 10;
        inPre_ = true;
        preStart_ = true;
    } else if (t == "/pre") {
        if (!inPre_)
            return;
        inPre_ = false;
        attr_.FontIndex = preSaved_.FontIndex;
        attr_.Size = preSaved_.Size;
        if (!inTable())
            endPending_ = true;
    } else if (t == "center")
        par_->Alignment = kAlignCenter;
    else if (t == "left")
        par_->Alignment = kAlignLeft;
    else if (t == "right")
        par_->Alignment = kAlignRight;
    else if (t == "justified")
        par_->Alignment = kAlignJustify;
}

void TQnHTMLReader::startLink(const Tag &tag)
{
    const std::string *href = tag.Find("href");
    if (linkOpen_)
        endLink();
    if (!href)
        return; // an anchor without an address is no link
    std::string_view v = *href;
    while (!v.empty() &&
           (isBlank(static_cast<uint8_t>(v.front())) || v.front() == '"' || v.front() == '='))
        v.remove_prefix(1);
    if (!v.empty() && v.back() == '"')
        v.remove_suffix(1);
    if (v.empty())
        return;
    link_.assign(v);
    linkOpen_ = true;
    linkText_ = 0;
    attr_.Style |= kStyleDoubleUnderline;
}

void TQnHTMLReader::endLink()
{
    if (!linkOpen_)
        return;
    linkOpen_ = false;
    attr_.Style &= static_cast<uint16_t>(~kStyleDoubleUnderline);
    // The address follows the link text as hidden text; a link without text
    // leaves nothing, or its address would show as plain text.
    if (linkText_ > 0) {
        TCharAttr hidden = attr_;
        hidden.Style |= kStyleHidden;
        storeText(link_, hidden);
    }
    link_.clear();
}

void TQnHTMLReader::paragraphTag(const Tag &tag)
{
    if (inTable()) {
        if (parHasText() && !endPending_) {
            pendingBlank_ = false;
            storeChar(10, attr_);
        }
        return;
    }
    // A paragraph that opens a list item ("<li><p>") is the item itself.
    if (par_->Numbering != 0 && !endPending_ && onlyListNumber()) {
        pendingBlank_ = false;
        return;
    }
    ParShape s = plainShape();
    s.SpaceAfter = 180;
    s.Alignment = alignmentOf(tag, kAlignLeft);
    newBlock(s);
}

bool TQnHTMLReader::onlyListNumber() const
{
    for (const TLine *l = par_->Lines; l; l = l->Next)
        for (int i = 0; i < l->Length; ++i)
            if (!l->Attrs || !(l->Attrs[i].Style & kStyleListNumber))
                return false;
    return true;
}

void TQnHTMLReader::headingTag(const Tag &tag, int level)
{
    const Heading &h = kHeadings[level - 1];
    TParProps props;
    props.Alignment = h.Alignment;
    props.SpaceBefore = h.SpaceBefore;
    props.SpaceAfter = h.SpaceAfter;
    props.FirstIndent = props.LeftIndent = h.Indent;
    props.CharAttr.Size = h.Size;
    props.CharAttr.Style = h.Style;
    std::string name = "h" + std::to_string(level);
    uint8_t id = 0;
    if (const TQnParStyle *style = Document->FindStyle(name, id))
        props = style->Props; // the document's own look of this heading
    else
        id = Document->AddStyle(props, name);

    if (!inHeading_)
        headingSaved_ = attr_;
    inHeading_ = true;
    attr_.Size = props.CharAttr.Size ? props.CharAttr.Size : attr_.Size;
    attr_.Style = static_cast<uint16_t>((attr_.Style & ~(kStyleBold | kStyleItalic)) |
                                        (props.CharAttr.Style & (kStyleBold | kStyleItalic)));
    if (inTable()) {
        if (parHasText()) {
            pendingBlank_ = false;
            storeChar(10, attr_);
        }
        return;
    }
    ParShape s;
    s.Alignment = alignmentOf(tag, props.Alignment);
    s.SpaceBefore = props.SpaceBefore;
    s.SpaceAfter = props.SpaceAfter;
    s.FirstIndent = props.FirstIndent;
    s.LeftIndent = props.LeftIndent;
    s.RightIndent = props.RightIndent;
    s.StyleId = id;
    newBlock(s);
}

void TQnHTMLReader::ruleTag(const Tag &tag)
{
    int size = 4;
    if (const std::string *v = tag.Find("size"))
        parseNumber(*v, size);
    size = std::clamp(size, 1, 255);
    TCharAttr a = attr_;
    a.Size = static_cast<uint8_t>(size);
    if (inTable()) {
        if (parHasText()) {
            pendingBlank_ = false;
            storeChar(10, attr_);
        }
        return;
    }
    ParShape s;
    s.FirstIndent = s.LeftIndent = 288;
    s.Alignment = kAlignCenter;
    s.BorderFlags = kBorderOn | kBorderNotInherited | (size > 1 ? kBorderBox : kBorderTop);
    newBlock(s);
    storeChar(0xA0, a);
    endPending_ = true;
}

void TQnHTMLReader::listTag(uint8_t kind)
{
    if (static_cast<int>(lists_.size()) >= kMaxListLevels) {
        ++listOverflow_;
        return;
    }
    const int level = static_cast<int>(lists_.size()) + 1;
    lists_.push_back({kind, 0, kPlainIndent + kIndentStep * level});
}

void TQnHTMLReader::endList()
{
    if (listOverflow_ > 0) {
        --listOverflow_;
        return;
    }
    if (lists_.empty())
        return;
    lists_.pop_back();
    if (!inTable())
        endPending_ = true;
}

void TQnHTMLReader::itemTag()
{
    if (inTable()) {
        ensureParagraph();
        pendingBlank_ = false;
        storeChar(' ', attr_);
        return;
    }
    if (lists_.empty()) {
        newBlock(plainShape());
        return;
    }
    ListLevel &l = lists_.back();
    ++l.Counter;
    const int level = std::min<int>(static_cast<int>(lists_.size()), 7);
    ParShape s;
    s.Numbering = static_cast<uint8_t>(l.Kind * 16 + level);
    s.LeftIndent = l.Indent;
    s.FirstIndent = l.Indent - 288;
    s.SpaceAfter = 50;
    newBlock(s);
    TCharAttr g = attr_;
    g.Style |= kStyleListNumber;
    g.Style &= static_cast<uint16_t>(~(kStyleDoubleUnderline | kStyleHidden));
    std::string number;
    if (l.Kind == 1) {
        const int slot = Document->FindOrAddFont("WingDings");
        if (slot < kFontSlots)
            g.FontIndex = static_cast<uint8_t>(slot);
        number = "l";
    } else {
        number = TQnRTFText::NumberText(l.Kind, l.Counter);
    }
    number.push_back('\t');
    storeText(number, g);
}

void TQnHTMLReader::tableTag(const Tag &tag)
{
    if (table_.Open) {
        ++table_.Nested; // a table inside a cell: its tags are ignored
        return;
    }
    const int columns = tableColumns(at_);
    const std::string *border = tag.Find("border");
    int borderWidth = 1;
    if (border && !border->empty())
        parseNumber(*border, borderWidth);
    const bool hasBorder = border && borderWidth > 0;
    if (columns <= 1) {
        plainTables_.push_back(hasBorder);
        endPending_ = true;
        return;
    }
    table_ = Table{};
    table_.Open = true;
    table_.Columns = std::min(columns, kMaxColumns);
    table_.DefaultWidth = 255 / table_.Columns;
    table_.Border = hasBorder;
    // The row keeps at least kMinRowWidth of text width.
    const int32_t width = Header->PageWidth - Header->MarginLeft - Header->MarginRight;
    table_.LeftIndent = std::clamp<int32_t>(100 + (lists_.empty() ? 0 : lists_.back().Indent), 0,
                                            std::max<int32_t>(0, width - kMinRowWidth));
    lastCell_ = nullptr;
}

void TQnHTMLReader::rowTag()
{
    if (!table_.Open || table_.Nested > 0)
        return;
    if (table_.RowOpen)
        fillRow();
    table_.RowOpen = true;
    table_.Column = 0;
    table_.CellStart = 0;
    lastCell_ = nullptr;
}

void TQnHTMLReader::cellTag(const Tag &tag, bool header)
{
    const uint8_t align = alignmentOf(tag, header ? kAlignCenter : kAlignLeft);
    if (!table_.Open) {
        if (plainTables_.empty())
            return;
        // A one-column table: its cells are paragraphs.
        ParShape s = plainShape();
        s.Alignment = align;
        if (plainTables_.back())
            s.BorderFlags = kBorderOn | kBorderBox;
        newBlock(s);
        return;
    }
    if (table_.Nested > 0)
        return;
    if (!table_.RowOpen) {
        table_.RowOpen = true;
        table_.Column = 0;
        table_.CellStart = 0;
        lastCell_ = nullptr;
    }
    while (table_.Column < table_.Columns && table_.Pending[table_.Column] > 0)
        addCell(1, 1, true, kAlignLeft);
    int colspan = 1, rowspan = 1;
    if (const std::string *v = tag.Find("colspan"))
        parseNumber(*v, colspan);
    if (const std::string *v = tag.Find("rowspan"))
        parseNumber(*v, rowspan);
    colspan = std::clamp(colspan, 1, 16);
    if (table_.Column < table_.Columns)
        colspan = std::min(colspan, table_.Columns - table_.Column);
    rowspan = std::clamp(rowspan, 1, 16);
    addCell(colspan, rowspan, false, align);
}

void TQnHTMLReader::addCell(int colspan, int rowspan, bool covered, uint8_t alignment)
{
    Table &t = table_;
    const int start = t.CellStart;
    int width = t.DefaultWidth * colspan;
    int next = start + width;
    if (next > 255) {
        // More cells than the row has room for.
        if (!t.Warned)
            message(kHtmlTableNotCorrect);
        t.Warned = true;
        next = 255;
        width = std::max(1, 255 - start);
    }
    if (lastCell_)
        lastCell_->ParFlags |= kParCellRowOpen; // another cell follows it
    ParShape s;
    s.ParFlags = kParTableCell;
    if (t.Column > 0)
        s.ParFlags |= kParCellNotFirst;
    if (t.Column + colspan < t.Columns)
        s.ParFlags |= kParCellRowOpen;
    s.SpaceBefore = 57;
    s.FirstIndent = s.LeftIndent = t.LeftIndent;
    s.Alignment = alignment;
    if (t.Border)
        s.BorderFlags = kBorderOn | kBorderNotInherited | kBorderBox;
    uint8_t span =
        covered ? kCellCovered : static_cast<uint8_t>((colspan - 1) | ((rowspan - 1) << 4));
    s.TabMask = uint32_t(std::clamp(width, 1, 255)) | (uint32_t(std::min(start, 255)) << 8) |
                (uint32_t(span) << 16);
    newBlock(s);
    if (covered) {
        if (t.Column < kMaxColumns && t.Pending[t.Column] > 0)
            --t.Pending[t.Column];
    } else if (rowspan > 1) {
        for (int c = t.Column; c < t.Column + colspan && c < kMaxColumns; ++c)
            t.Pending[c] = static_cast<uint8_t>(std::max<int>(t.Pending[c], rowspan - 1));
    }
    t.Column += colspan;
    t.CellStart = next;
    lastCell_ = par_;
}

void TQnHTMLReader::fillRow()
{
    while (table_.Column < table_.Columns)
        addCell(1, 1, table_.Pending[table_.Column] > 0, kAlignLeft);
}

void TQnHTMLReader::endTable()
{
    if (table_.Open) {
        if (table_.Nested > 0) {
            --table_.Nested;
            return;
        }
        if (table_.RowOpen)
            fillRow();
        table_ = Table{};
        lastCell_ = nullptr;
        endPending_ = true;
        return;
    }
    if (!plainTables_.empty()) {
        plainTables_.pop_back();
        endPending_ = true;
    }
}

std::shared_ptr<TQnGraphic> TQnHTMLReader::LoadPicture(const std::string &name)
{
    if (PictureRequest)
        if (auto g = PictureRequest(name))
            return g;
    std::error_code ec;
    const std::filesystem::path path(name);
    if (std::filesystem::is_regular_file(path, ec))
        if (auto g = LoadBitmapFile(path))
            return g;
    if (!PictureDir.empty()) {
        const std::filesystem::path inDir = PictureDir / path.filename();
        if (std::filesystem::is_regular_file(inDir, ec))
            return LoadBitmapFile(inDir);
    }
    return nullptr;
}

void TQnHTMLReader::imageTag(const Tag &tag)
{
    const std::string *src = tag.Find("src");
    if (!src || src->empty() || !Document->IsRich())
        return;
    TQnObject *object = Document->FindObjectByFileName(*src);
    if (!object) {
        if (Document->Objects.size() >= kMaxObjects)
            return;
        std::shared_ptr<TQnGraphic> graphic = LoadPicture(*src);
        const bool loaded = graphic != nullptr;
        object = Document->AddObject(std::move(graphic), -1);
        object->FileName = *src;
        object->OwnsGraphic = 1;
        object->IsLinked = LinkImages ? 1 : 0;
        int v = 0;
        if (const std::string *w = tag.Find("width"); w && parseNumber(*w, v) && v > 0)
            object->Width = std::min(v, 100000) * 15;
        if (const std::string *h = tag.Find("height"); h && parseNumber(*h, v) && v > 0)
            object->Height = std::min(v, 100000) * 15;
        if (const std::string *a = tag.Find("align")) {
            if (sameText(*a, "top"))
                object->Reserved2 = 1;
            else if (sameText(*a, "middle"))
                object->Reserved2 = 2;
            else if (sameText(*a, "bottom"))
                object->Reserved2 = 3;
        }
        if (!loaded && Document->OnNeedObject)
            Document->OnNeedObject(object->Tag, *object);
    }
    ensureParagraph();
    AddChar(1); // flushes a pending blank before the object
    TLine *l = line_;
    TCharAttr &a = l->Attrs[l->Length - 1];
    a.Style |= kStyleObject;
    a.Tag = static_cast<int16_t>(object->Tag);
    storeChar(' ', attr_);
}

int TQnHTMLReader::colourIndex(std::string_view value)
{
    uint32_t colour = 0;
    bool ok = false;
    if (value.size() == 7 && value[0] == '#') {
        ok = true;
        int parts[3];
        for (int i = 0; i < 3 && ok; ++i) {
            const int hi = HexDigitValue(static_cast<unsigned char>(value[1 + 2 * i]));
            const int lo = HexDigitValue(static_cast<unsigned char>(value[2 + 2 * i]));
            ok = hi >= 0 && lo >= 0;
            parts[i] = hi * 16 + lo;
        }
        if (ok)
            colour = rgb(parts[0], parts[1], parts[2]);
    } else {
        static const struct {
            const char *Name;
            uint32_t Colour;
        } names[] = {{"red", rgb(255, 0, 0)},       {"green", rgb(0, 255, 0)},
                     {"blue", rgb(0, 0, 255)},      {"yellow", rgb(255, 255, 0)},
                     {"white", rgb(255, 255, 255)}, {"black", rgb(0, 0, 0)},
                     {"gray", rgb(127, 127, 127)}};
        for (const auto &n : names)
            if (sameText(value, n.Name)) {
                colour = n.Colour;
                ok = true;
            }
    }
    if (!ok)
        return -1;
    const int last = InsertInto ? 15 : coloursUsed_;
    for (int i = 1; i <= last; ++i)
        if (Header->Colors[i] == colour)
            return i;
    if (!InsertInto && coloursUsed_ < 15) {
        Header->Colors[++coloursUsed_] = colour;
        return coloursUsed_;
    }
    // The table is full: the nearest colour in it.
    int best = 1;
    long bestDistance = -1;
    for (int i = 1; i <= 15; ++i) {
        const uint32_t c = Header->Colors[i];
        long d = 0;
        for (int s = 0; s < 24; s += 8) {
            const long diff = long((c >> s) & 0xFF) - long((colour >> s) & 0xFF);
            d += diff * diff;
        }
        if (bestDistance < 0 || d < bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    return best;
}

void TQnHTMLReader::fontTag(const Tag &tag)
{
    if (static_cast<int>(fonts_.size()) < kMaxFontStack)
        fonts_.push_back({attr_.FontIndex, attr_.Colors, attr_.Size, htmlSize_});
    else
        ++fontOverflow_;
    if (const std::string *face = tag.Find("face")) {
        // The first of a list of names, without blanks around it.
        std::string_view name = *face;
        name = name.substr(0, name.find(','));
        while (!name.empty() && isBlank(static_cast<uint8_t>(name.front())))
            name.remove_prefix(1);
        while (!name.empty() && isBlank(static_cast<uint8_t>(name.back())))
            name.remove_suffix(1);
        if (sameText(name, "courier"))
            name = "Courier New";
        if (!name.empty()) {
            const int slot = Document->FindOrAddFont(name);
            if (slot < kFontSlots)
                attr_.FontIndex = static_cast<uint8_t>(slot);
        }
    }
    if (const std::string *v = tag.Find("color")) {
        const int i = colourIndex(*v);
        if (i >= 0)
            attr_.Colors = static_cast<uint8_t>((attr_.Colors & 0xF0) | i);
    }
    if (const std::string *v = tag.Find("bgcolor")) {
        const int i = colourIndex(*v);
        if (i >= 0)
            attr_.Colors = static_cast<uint8_t>((attr_.Colors & 0x0F) | (i << 4));
    }
    if (const std::string *v = tag.Find("size")) {
        int size = 0;
        char sign = 0;
        if (parseNumber(*v, size, &sign)) {
            if (sign)
                size += 3; // relative to the base size
            attr_.Size = htmlPoints(size);
            htmlSize_ = std::clamp(size, 1, 7);
        }
    }
}

void TQnHTMLReader::spanTag(const Tag &tag)
{
    if (static_cast<int>(spans_.size()) >= kMaxFontStack) {
        ++spanOverflow_;
        return;
    }
    spans_.push_back(attr_);
    const std::string *style = tag.Find("style");
    if (!style)
        return;
    std::string_view rest = *style;
    while (!rest.empty()) {
        const size_t end = std::min(rest.find(';'), rest.size());
        const std::string_view declaration = rest.substr(0, end);
        rest.remove_prefix(std::min(end + 1, rest.size()));
        const size_t colon = declaration.find(':');
        if (colon == std::string_view::npos)
            continue;
        const auto trim = [](std::string_view v) {
            while (!v.empty() && isBlank(static_cast<uint8_t>(v.front())))
                v.remove_prefix(1);
            while (!v.empty() && isBlank(static_cast<uint8_t>(v.back())))
                v.remove_suffix(1);
            return v;
        };
        applyStyleDeclaration(trim(declaration.substr(0, colon)),
                              trim(declaration.substr(colon + 1)));
    }
}

void TQnHTMLReader::applyStyleDeclaration(std::string_view property, std::string_view value)
{
    const auto has = [&](std::string_view word) {
        for (size_t i = 0; i + word.size() <= value.size(); ++i)
            if (sameText(value.substr(i, word.size()), word))
                return true;
        return false;
    };
    const auto setBit = [&](uint16_t bit, bool on) {
        attr_.Style = static_cast<uint16_t>(on ? (attr_.Style | bit) : (attr_.Style & ~bit));
    };
    if (sameText(property, "color")) {
        std::string colour(value);
        // rgb(r, g, b) as #rrggbb
        if (value.size() > 4 && sameText(value.substr(0, 4), "rgb(")) {
            int parts[3] = {0, 0, 0};
            size_t at = 4;
            for (int i = 0; i < 3; ++i) {
                while (at < value.size() && !(value[at] >= '0' && value[at] <= '9'))
                    ++at;
                int n = 0;
                while (at < value.size() && value[at] >= '0' && value[at] <= '9' && n < 1000)
                    n = n * 10 + (value[at++] - '0');
                parts[i] = std::min(n, 255);
            }
            char hex[8];
            std::snprintf(hex, sizeof hex, "#%02x%02x%02x", parts[0], parts[1], parts[2]);
            colour = hex;
        }
        const int i = colourIndex(colour);
        if (i >= 0)
            attr_.Colors = static_cast<uint8_t>((attr_.Colors & 0xF0) | i);
    } else if (sameText(property, "font-weight")) {
        int weight = 0;
        const bool numeric = parseNumber(value, weight);
        setBit(kStyleBold, numeric ? weight >= 600 : (has("bold") || has("bolder")));
    } else if (sameText(property, "font-style")) {
        setBit(kStyleItalic, has("italic") || has("oblique"));
    } else if (sameText(property, "text-decoration") ||
               sameText(property, "text-decoration-line")) {
        setBit(kStyleUnderline, has("underline"));
    }
}

void TQnHTMLReader::endSpan()
{
    if (spanOverflow_ > 0) {
        --spanOverflow_;
        return;
    }
    if (spans_.empty())
        return;
    const TCharAttr saved = spans_.back();
    spans_.pop_back();
    attr_.FontIndex = saved.FontIndex;
    attr_.Colors = saved.Colors;
    attr_.Size = saved.Size;
    const uint16_t look = kStyleBold | kStyleItalic | kStyleUnderline;
    attr_.Style = static_cast<uint16_t>((attr_.Style & ~look) | (saved.Style & look));
}

void TQnHTMLReader::endFont()
{
    if (fontOverflow_ > 0) {
        --fontOverflow_;
        return;
    }
    if (fonts_.empty())
        return;
    const FontState f = fonts_.back();
    fonts_.pop_back();
    attr_.FontIndex = f.FontIndex;
    attr_.Colors = f.Colors;
    attr_.Size = f.Size;
    htmlSize_ = f.HtmlSize;
}

// ---------------------------------------------------------------------------
// Reading

int TQnHTMLReader::Read(TQnStream &stream, TParagraph *&first)
{
    if (!Header || !Document)
        throw EQnRTFText("Wrong Arguments");
    ErrorState = kIoOk;
    src_.clear();
    {
        char chunk[65536];
        for (;;) {
            const int64_t got = stream.Read(chunk, sizeof chunk);
            if (got < 0) {
                ErrorState = kIoFailed;
                break;
            }
            if (got == 0)
                break;
            src_.append(chunk, static_cast<size_t>(got));
        }
    }
    // The characters in the encoding the page declares (or UTF-8, or
    // Windows-1252 for bytes that are not UTF-8), kept as UTF-8: tags and
    // references are ASCII in every encoding.
    src_ = unicode::ToUtf8(DecodeHtmlBytes(src_));
    at_ = 0;
    attr_ = TCharAttr{};
    attr_.Size = htmlPoints(3);
    if (AutoText)
        attr_.Style |= kStyleAutoText;
    htmlSize_ = 3;
    coloursUsed_ = 0;
    StartTarget(60);
    first = first_;

    TQnProgress progress(static_cast<int64_t>(src_.size()));
    auto finish = [this] {
        endLink();
        if (table_.Open && table_.Nested == 0 && table_.RowOpen)
            fillRow();
        MarkParagraphsRead(false);
    };
    try {
        Tag tag;
        const size_t n = src_.size();
        while (at_ < n) {
            const uint8_t c = static_cast<uint8_t>(src_[at_++]);
            if (c == '<' && at_ < n) {
                if (src_.compare(at_, 3, "!--") == 0) {
                    at_ += 3;
                    readComment();
                } else if (opensTag(at_)) {
                    readTag(tag);
                    handleTag(tag);
                } else {
                    textChar(c); // a less-than sign that opens no tag
                }
            } else if (c == '&') {
                readEntity();
            } else {
                textChar(c < 0x80 ? c : nextUtf8(c));
            }
            progress.Step(static_cast<int64_t>(at_));
        }
        finish();
    } catch (...) {
        ErrorState = kIoFailed;
        finish();
        throw;
    }
    src_.clear();
    src_.shrink_to_fit();
    columnCache_.clear();
    return ErrorState ? kReadFailed : kReadOk;
}

int ReadHTMLDocument(TQnRTFText &document, TQnStream &input, const TQnHTMLReadOptions &options)
{
    document.Clear();
    TQnHTMLReader reader;
    reader.Header = document.Header.get();
    reader.Document = &document;
    reader.Comments = options.Comments;
    reader.LinkImages = options.LinkImages;
    reader.PictureDir = options.PictureDir;
    TParagraph *first = nullptr;
    int result = 0;
    try {
        result = reader.Read(input, first);
    } catch (...) {
        TQnRTFText::FreeParagraphChain(first);
        throw;
    }
    TParagraph *par = document.FirstParagraph;
    TLine *line = par ? par->Lines : nullptr;
    int position = 0;
    if (!document.InsertParagraphs(par, line, first, position))
        TQnRTFText::FreeParagraphChain(first);
    document.Header->LoadedFormat = 4;
    document.Changed();
    return result;
}

} // namespace qn
