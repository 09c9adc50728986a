#include "richtext/io/rtf_plain_text.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/ansi.h"
#include "platform/unicode_text.h"
#include "richtext/io/rtf_code_page.h"
#include "richtext/io/rtf_control_words.h"
#include "richtext/io/rtf_reader.h"

namespace qn {

using namespace rtf;

namespace {

bool isBlank(uint8_t c)
{
    return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == 8;
}

// Where the reader is: in the text, in a group it skips, or in a
// destination whose characters go elsewhere (colours, notes), or in the
// font table (whose entries name the code pages of the text).
enum class Where : uint8_t { Text, Skip, Other, Fonts, UnicodeFallback };

// Thrown inside the pass when the document must be read by the reader.
struct NeedsReader {};

struct AnsiTables {
    char32_t plain[256];
    char32_t folded[256];
    AnsiTables()
    {
        for (int c = 0; c < 256; ++c) {
            plain[c] = AnsiToUnicode(static_cast<unsigned char>(c));
            folded[c] = unicode::FoldCase(plain[c]);
        }
    }
};

const AnsiTables &ansiTables()
{
    static const AnsiTables tables;
    return tables;
}

const char32_t *PlainAnsi()
{
    return ansiTables().plain;
}

const char32_t *FoldedAnsi()
{
    return ansiTables().folded;
}

class PlainTextPass {
public:
    PlainTextPass(std::string_view rtf, bool fold, std::u32string &text)
        : in_(rtf), map_(fold ? FoldedAnsi() : PlainAnsi()), fold_(fold), text_(text)
    {
        stack_.reserve(32);
    }

    void run();

private:
    bool next(uint8_t &c)
    {
        if (pos_ >= in_.size())
            return false;
        c = static_cast<uint8_t>(in_[pos_++]);
        return true;
    }
    void pushBack() { --pos_; }

    void textRun();
    void pushGroup();
    void popGroup();
    void dispatch(uint8_t c, bool lineBreak = false, bool ansi = false);
    void textByte(uint8_t c);
    void flushText();
    void setFont(int32_t font)
    {
        font_ = font;
        codePage_ = codePages_.PageOf(font);
    }
    bool plainBytes() const { return codePage_ == kDefaultCodePage && !bytes_.Pending(); }
    void controlWord();
    void controlSymbol(uint8_t c);
    void hexByte();
    void act(const ControlWord &w, bool hasParam, int32_t param);
    void destination(uint8_t which);
    void property(uint8_t action, int32_t v);
    void unicodeChar(int32_t code);
    void put(char32_t c) { text_.push_back(fold_ ? unicode::FoldCase(c) : c); }

    struct Group {
        Where where;
        uint8_t unicodeSkip;
        int32_t font;
    };

    std::string_view in_;
    size_t pos_ = 0;
    const char32_t *map_; // Windows-1252 byte to (folded) character
    bool fold_;
    std::u32string &text_;
    std::vector<Group> stack_;
    Where where_ = Where::Text;
    bool started_ = false;
    bool stop_ = false;
    bool skipIfUnknown_ = false;
    int fallbackLeft_ = 0;
    uint8_t unicodeSkip_ = 1;
    rtf::UnicodeJoiner surrogates_;
    Where unicodePairWhere_ = Where::Text;
    RtfCodePages codePages_;
    RtfByteDecoder bytes_;
    std::u32string decoded_;
    int32_t font_ = RtfCodePages::kNoFont;
    int32_t fontNumber_ = 0; // of the font table's entry
    int codePage_ = kDefaultCodePage;
};

void PlainTextPass::run()
{
    uint8_t c;
    while (!stop_ && next(c)) {
        switch (c) {
        case 0:
            return;
        case 9:
            if (where_ == Where::Text)
                dispatch(9);
            break;
        case 10:
        case 13:
            break;
        case '\\':
            controlWord();
            break;
        case '{':
            pushGroup();
            break;
        case '}':
            popGroup();
            break;
        default:
            if (where_ == Where::Text && fallbackLeft_ == 0 && c > 1 && plainBytes())
                textRun();
            else
                dispatch(c);
        }
    }
    flushText();
}

void PlainTextPass::textRun()
{
    // The byte just read and the plain characters after it, in one go.
    size_t end = pos_;
    while (end < in_.size()) {
        const auto c = static_cast<uint8_t>(in_[end]);
        if (c <= 13 || c == '\\' || c == '{' || c == '}')
            break;
        ++end;
    }
    const size_t from = pos_ - 1;
    const size_t at = text_.size();
    text_.resize(at + (end - from));
    for (size_t i = from; i < end; ++i)
        text_[at + i - from] = map_[static_cast<uint8_t>(in_[i])];
    pos_ = end;
}

void PlainTextPass::pushGroup()
{
    flushText();
    fallbackLeft_ = 0;
    surrogates_.Reset();
    skipIfUnknown_ = false;
    if (static_cast<int>(stack_.size()) >= TQnRtfReader::kMaxGroupDepth)
        throw NeedsReader{}; // the reader keeps no state for such groups
    stack_.push_back({where_, unicodeSkip_, font_});
    started_ = true;
}

void PlainTextPass::popGroup()
{
    flushText();
    fallbackLeft_ = 0;
    surrogates_.Reset();
    skipIfUnknown_ = false;
    if (stack_.empty()) {
        stop_ = true; // a closing brace without its opening one
        return;
    }
    where_ = stack_.back().where;
    unicodeSkip_ = stack_.back().unicodeSkip;
    const int32_t font = stack_.back().font;
    stack_.pop_back();
    setFont(font);
    if (stack_.empty() && started_)
        stop_ = true;
}

void PlainTextPass::dispatch(uint8_t c, bool lineBreak, bool ansi)
{
    if (fallbackLeft_ > 0) {
        --fallbackLeft_;
        return;
    }
    surrogates_.Reset();
    if (where_ == Where::Fonts && c == ';')
        fontNumber_ = 0; // the entry ends, as in the reader
    if (where_ != Where::Text)
        return;
    if (!plainBytes() && !ansi && c >= 0x20) {
        textByte(c);
        return;
    }
    flushText();
    if (c == 0 || ((c == 13 || c == 10) && !lineBreak))
        return;
    if (c == 1)
        throw NeedsReader{}; // the placeholder of a linked object
    text_.push_back(map_[c]);
}

// A byte of a code page other than Windows-1252, as the reader decodes it.
void PlainTextPass::textByte(uint8_t c)
{
    decoded_.clear();
    bytes_.Feed(c, codePage_, decoded_);
    for (const char32_t u : decoded_)
        put(u);
}

void PlainTextPass::flushText()
{
    if (!bytes_.Pending())
        return;
    decoded_.clear();
    bytes_.Flush(decoded_);
    for (const char32_t u : decoded_)
        put(u);
}

void PlainTextPass::hexByte()
{
    uint8_t a, b;
    if (!next(a))
        throw NeedsReader{};
    const int hi = HexDigitValue(a);
    if (hi < 0) {
        if (where_ != Where::Skip)
            throw NeedsReader{}; // the reader stops there
        pushBack();
        return;
    }
    if (!next(b))
        throw NeedsReader{};
    const int lo = HexDigitValue(b);
    if (lo < 0) {
        if (where_ != Where::Skip)
            throw NeedsReader{};
        pushBack();
        return;
    }
    dispatch(static_cast<uint8_t>(hi << 4 | lo));
}

void PlainTextPass::controlSymbol(uint8_t c)
{
    if (c == '\'') {
        hexByte();
        return;
    }
    if (c == '\r') {
        // A backslash before CR LF is one paragraph end, not two.
        uint8_t following;
        if (next(following) && following != '\n')
            pushBack();
    }
    if (where_ == Where::Skip && c != '*')
        return;
    if (c == '\n' || c == '\r') {
        skipIfUnknown_ = false;
        act(*FindControlWord("par"), false, 0);
        return;
    }
    const ControlWord *w = FindControlSymbol(c);
    if (!w)
        return;
    if (w->Class == WordClass::Special) {
        if (w->Action == sStar)
            skipIfUnknown_ = true;
        return;
    }
    skipIfUnknown_ = false;
    if (w->Class == WordClass::Character && w->Action != 0)
        dispatch(w->Action, false, w->Action >= 0x80);
}

void PlainTextPass::controlWord()
{
    uint8_t c;
    if (!next(c))
        throw NeedsReader{}; // cut inside a control word
    if (!IsWordLetter(c)) {
        controlSymbol(c);
        return;
    }
    const size_t nameStart = pos_ - 1;
    do {
        if (!next(c))
            throw NeedsReader{};
    } while (IsWordLetter(c));
    const size_t length = pos_ - 1 - nameStart;
    bool negative = false, hasParam = false;
    int64_t value = 0;
    if (c == '-') {
        negative = true;
        if (!next(c))
            throw NeedsReader{};
    }
    int digits = 0;
    while (c >= '0' && c <= '9') {
        hasParam = true;
        if (digits++ < 19 && value < (int64_t(1) << 40))
            value = value * 10 + (c - '0');
        if (!next(c))
            throw NeedsReader{};
    }
    if (c != ' ')
        pushBack();
    if (negative)
        value = -value;
    const auto param = static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
    const ControlWord *w = length <= 29 ? FindControlWord(in_.substr(nameStart, length)) : nullptr;
    if (where_ == Where::Skip) {
        if (w && w->Class == WordClass::Special && w->Action == sBinary && hasParam && param > 0)
            throw NeedsReader{}; // binary data
        return;
    }
    if (!w) {
        if (skipIfUnknown_) {
            where_ = Where::Skip;
            skipIfUnknown_ = false;
        }
        return;
    }
    skipIfUnknown_ = false;
    act(*w, hasParam, param);
}

void PlainTextPass::act(const ControlWord &w, bool hasParam, int32_t param)
{
    flushText();
    switch (w.Class) {
    case WordClass::Character:
        if (w.Action != 0)
            dispatch(w.Action, w.Action == 10, w.Action >= 0x80);
        break;
    case WordClass::Destination:
        destination(w.Action);
        break;
    case WordClass::Special:
        if (w.Action == sBinary && hasParam && param > 0)
            throw NeedsReader{};
        if (w.Action == sStar)
            skipIfUnknown_ = true;
        break;
    case WordClass::Property:
        if (w.Action != aStyle)
            property(w.Action, hasParam && !w.Always ? param : w.Default);
        break;
    }
}

void PlainTextPass::destination(uint8_t which)
{
    switch (which) {
    case dSkip:
        where_ = Where::Skip;
        break;
    case dField:
        break;
    case xUnicodePair:
        unicodePairWhere_ = where_;
        where_ = Where::UnicodeFallback; // dropped, as in the reader
        break;
    case xUnicodeText:
        where_ = where_ == Where::UnicodeFallback ? unicodePairWhere_ : Where::Skip;
        break;
    case dPicture:
    case dPictureFile:
        if (where_ == Where::Text)
            throw NeedsReader{}; // a picture or object in the text
        where_ = Where::Skip;
        break;
    case dFontTable:
        where_ = Where::Fonts;
        fontNumber_ = 0;
        break;
    case dColourTable:
    case dTitle:
    case dComment:
    case dSubject:
    case dFootnote:
        // Their characters are kept apart from the paragraphs, or skipped.
        where_ = Where::Other;
        break;
    default:
        break;
    }
}

void PlainTextPass::property(uint8_t action, int32_t v)
{
    switch (action) {
    case aPar:
        if (where_ == Where::Text)
            text_.push_back(U'\0');
        break;
    case xUnicode:
        unicodeChar(v < 0 ? v + 65536 : v);
        break;
    case xUnicodeSkip:
        unicodeSkip_ = static_cast<uint8_t>(std::clamp(v, 0, 16));
        break;
    case aPlain:
        setFont(RtfCodePages::kNoFont);
        break;
    case aFont:
        if (where_ == Where::Fonts)
            fontNumber_ = v;
        else
            setFont(v);
        break;
    case xFontCharset:
        if (where_ == Where::Fonts)
            codePages_.SetFontCharset(fontNumber_, std::clamp(v, 0, 255));
        break;
    case xCodePage:
        codePages_.SetDocumentPage(v);
        setFont(font_);
        break;
    case xDefaultFont:
        codePages_.SetDefaultFont(v);
        setFont(font_);
        break;
    case aRawRtf:
        if (v)
            throw NeedsReader{};
        break;
    case aRowDefaults:
    case aInTable:
    case aCellEdge:
    case aRow:
    case aCell:
    case aRowGap:
    case aRowLeft:
    case aCellBorder:
        throw NeedsReader{}; // tables
    default:
        break; // formatting only
    }
}

// As the reader does: the character in the text, then the fallback dropped;
// a pair of surrogates is one character.
void PlainTextPass::unicodeChar(int32_t code)
{
    fallbackLeft_ = 0;
    if (code <= 0)
        return;
    const char32_t u = surrogates_.Join(static_cast<char32_t>(code));
    if (!u) {
        fallbackLeft_ = unicodeSkip_; // half a character is nothing
        return;
    }
    if (where_ == Where::Text) {
        if (u == 1)
            throw NeedsReader{};
        if (u != 13 && u != 10)
            put(u);
        fallbackLeft_ = unicodeSkip_;
        return;
    }
    if (const auto ansi = UnicodeToAnsi(u)) {
        dispatch(*ansi); // a font name's ';' ends its entry, as in the reader
        fallbackLeft_ = unicodeSkip_;
    }
}

} // namespace

PlainTextResult AppendRtfPlainText(std::string_view rtf, bool fold, std::u32string &text)
{
    // The reader's test for RTF: the opening brace within the first 2,000
    // bytes, after blanks only.
    const size_t head = std::min<size_t>(rtf.size(), 2000);
    size_t i = 0;
    while (i < head && isBlank(static_cast<uint8_t>(rtf[i])))
        ++i;
    if (head - i < 5 || rtf.compare(i, 5, "{\\rtf") != 0)
        return PlainTextResult::NeedsDocument;
    const size_t kept = text.size();
    try {
        PlainTextPass(rtf.substr(i), fold, text).run();
    } catch (const NeedsReader &) {
        text.resize(kept);
        return PlainTextResult::NeedsDocument;
    }
    if (text.size() == kept || text.back() != U'\0')
        text.push_back(U'\0');
    return PlainTextResult::Done;
}

} // namespace qn
