// The input side of the HTML reader: tags with their attributes, comments,
// character entities, raw text of scripts and styles, and the look-ahead
// that counts a table's columns.

#include "richtext/io/html_reader.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "platform/ansi.h"
#include "platform/ascii_text.h"
#include "platform/html_charset.h"
#include "platform/unicode_text.h"
#include "richtext/io/html_text.h"

namespace qn {

using namespace html_text;

void TQnHTMLReader::readTag(Tag &tag)
{
    // at_ is just after '<'. The name runs to the first blank (or the end
    // of the tag; a '/' after a name is the empty-element mark).
    tag.Name.clear();
    tag.Count = 0;
    const size_t n = src_.size();
    while (at_ < n) {
        const char c = src_[at_];
        if (isBlank(static_cast<uint8_t>(c)) || c == '>' || (c == '/' && !tag.Name.empty()))
            break;
        if (tag.Name.size() < static_cast<size_t>(kMaxTagName))
            tag.Name.push_back(lower(c));
        ++at_;
    }
    for (;;) {
        while (at_ < n && (isBlank(static_cast<uint8_t>(src_[at_])) || src_[at_] == '/'))
            ++at_;
        if (at_ >= n)
            return;
        if (src_[at_] == '>') {
            ++at_;
            return;
        }
        Attr attr;
        while (at_ < n) {
            const char c = src_[at_];
            if (c == '=' || c == '>' || isBlank(static_cast<uint8_t>(c)))
                break;
            if (attr.Name.size() < static_cast<size_t>(kMaxAttrValue))
                attr.Name.push_back(lower(c));
            ++at_;
        }
        size_t look = at_;
        while (look < n && isBlank(static_cast<uint8_t>(src_[look])))
            ++look;
        if (look < n && src_[look] == '=') {
            at_ = look + 1;
            while (at_ < n && isBlank(static_cast<uint8_t>(src_[at_])))
                ++at_;
            // The value runs to the next blank outside quotes; the quotes
            // are dropped. Only the first kMaxAttrValue characters are kept.
            char quote = 0;
            while (at_ < n) {
                const char c = src_[at_];
                if (quote) {
                    if (c == quote) {
                        quote = 0;
                        ++at_;
                        continue;
                    }
                } else {
                    if (isBlank(static_cast<uint8_t>(c)) || c == '>')
                        break;
                    if (c == '"' || c == '\'') {
                        quote = c;
                        ++at_;
                        continue;
                    }
                }
                if (attr.Value.size() < static_cast<size_t>(kMaxAttrValue))
                    attr.Value.push_back(c);
                ++at_;
            }
        } else if (attr.Name.empty()) {
            ++at_; // a stray '=': step over it
            continue;
        }
        if (tag.Count < kMaxAttributes && !attr.Name.empty()) {
            decodeEntities(attr.Value);
            tag.Attrs[tag.Count++] = std::move(attr);
        }
    }
}

void TQnHTMLReader::readComment()
{
    // at_ is just after "<!--".
    const size_t end = src_.find("-->", at_);
    const size_t stop = end == std::string::npos ? src_.size() : end;
    const std::string_view source = std::string_view(src_).substr(at_, stop - at_);
    at_ = end == std::string::npos ? src_.size() : end + 3;
    if (Comments == shcOFF || inTitle_ || !Document->IsRich() || commentsKept_ >= kMaxComments)
        return;
    ++commentsKept_;
    // Notes hold code page text; the source is UTF-8 by now.
    std::string text = ToAnsiLossy(unicode::FromUtf8(source));
    ensureParagraph();
    TQnFootnote *note = Document->AddFootnote('!', 0, std::move(text));
    TCharAttr a = attr_;
    a.Style = static_cast<uint16_t>((a.Style | kStyleRaised) & ~kStyleSuperscript);
    if (Comments == shcHiddenFootnote)
        a.Style |= kStyleHidden;
    a.Tag = static_cast<int16_t>(note->Id);
    storeChar('!', a);
}

namespace {

bool isAsciiAlnum(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The characters of the character reference that text starts with (text is
// what follows the '&'), as browsers read it, and the bytes it takes in
// *length; nothing when it is no reference and the '&' is text.
std::optional<std::u32string> referenceAt(std::string_view text, size_t *length)
{
    if (text.empty() || text[0] != '#')
        return HtmlLongestNamedReference(text, length);
    size_t i = 1;
    const bool hex = i < text.size() && (text[i] == 'x' || text[i] == 'X');
    if (hex)
        ++i;
    const size_t digits = i;
    uint32_t value = 0;
    for (; i < text.size(); ++i) {
        const int d = hex ? HexDigitValue(static_cast<uint8_t>(text[i]))
                          : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
        if (d < 0)
            break;
        value = std::min<uint32_t>(value * (hex ? 16 : 10) + static_cast<uint32_t>(d), 0x110000);
    }
    if (i == digits)
        return std::nullopt;
    if (i < text.size() && text[i] == ';')
        ++i;
    *length = i;
    return std::u32string(1, HtmlNumericReference(value));
}

// The named reference of a blank: a plain blank, as this reader has always
// read it (a numeric reference to U+00A0 stays what it is).
bool isNamedNbsp(std::string_view text)
{
    return text.starts_with("nbsp");
}

} // namespace

void TQnHTMLReader::decodeEntities(std::string &value)
{
    // Attribute values hold references like text does (an address with
    // "&amp;"); a legacy name without its ';' before a letter, digit or '='
    // is text there, as browsers keep "?a=1&copy=2" in an address.
    if (value.find('&') == std::string::npos)
        return;
    std::string out;
    for (size_t i = 0; i < value.size();) {
        if (value[i] == '&') {
            const std::string_view rest = std::string_view(value).substr(i + 1);
            size_t length = 0;
            const std::optional<std::u32string> chars = referenceAt(rest, &length);
            const bool legacy = chars && rest[0] != '#' && rest[length - 1] != ';' &&
                                length < rest.size() &&
                                (isAsciiAlnum(rest[length]) || rest[length] == '=');
            if (chars && !legacy) {
                out += isNamedNbsp(rest) ? std::string(" ") : unicode::ToUtf8(*chars);
                i += 1 + length;
                continue;
            }
        }
        out.push_back(value[i++]);
    }
    value = std::move(out);
}

void TQnHTMLReader::referenceChars(const std::u32string &chars)
{
    for (const char32_t c : chars) {
        if (inTitle_) {
            textChar(c);
            continue;
        }
        if (c == 13 || c == 10)
            continue;
        AddChar(c);
    }
}

void TQnHTMLReader::readEntity()
{
    // at_ is just after '&': the longest reference that starts there, as a
    // browser reads it; a '&' that starts none is text.
    size_t length = 0;
    const std::string_view rest = std::string_view(src_).substr(at_);
    const std::optional<std::u32string> chars = referenceAt(rest, &length);
    if (!chars) {
        textChar('&');
        return;
    }
    at_ += length;
    referenceChars(isNamedNbsp(rest) ? std::u32string(U" ") : *chars);
}

void TQnHTMLReader::skipRawText(std::string_view endTag)
{
    // Script and style bodies are no text: skip to their end tag.
    const size_t n = src_.size();
    while (at_ < n) {
        const size_t lt = src_.find("</", at_);
        if (lt == std::string::npos) {
            at_ = n;
            return;
        }
        at_ = lt + 2;
        if (n - at_ >= endTag.size() &&
            sameText(std::string_view(src_).substr(at_, endTag.size()), endTag)) {
            const size_t gt = src_.find('>', at_);
            at_ = gt == std::string::npos ? n : gt + 1;
            return;
        }
    }
}

bool TQnHTMLReader::opensTag(size_t at) const
{
    if (at >= src_.size())
        return false;
    const char d = src_[at];
    return (d >= 'a' && d <= 'z') || (d >= 'A' && d <= 'Z') || d == '/' || d == '!' || d == '?';
}

int TQnHTMLReader::tableColumns(size_t from)
{
    // One pass to the matching end of the table counts the cells of every
    // row (COLSPAN included) and takes the largest count. Tables inside it
    // are counted on the way and remembered, so that no part of the input is
    // scanned twice however the tables nest.
    if (auto it = columnCache_.find(from); it != columnCache_.end())
        return it->second;
    struct Frame {
        size_t Key;
        int Row = 0, Max = 0;
    };
    std::vector<Frame> stack{{from}};
    const size_t saved = at_;
    at_ = from;
    int result = 0;
    const size_t n = src_.size();
    Tag tag;
    while (!stack.empty()) {
        const size_t lt = at_ < n ? src_.find('<', at_) : std::string::npos;
        if (lt == std::string::npos)
            break;
        at_ = lt + 1;
        if (src_.compare(at_, 3, "!--") == 0) {
            const size_t end = src_.find("-->", at_ + 3);
            at_ = end == std::string::npos ? n : end + 3;
            continue;
        }
        if (!opensTag(at_))
            continue; // a less-than sign that is text, as when reading
        readTag(tag);
        Frame &f = stack.back();
        if (tag.Name == "script" || tag.Name == "style") {
            skipRawText(tag.Name);
        } else if (tag.Name == "table") {
            stack.push_back({at_});
        } else if (tag.Name == "tr") {
            f.Max = std::max(f.Max, f.Row);
            f.Row = 0;
        } else if (tag.Name == "td" || tag.Name == "th") {
            int span = 1;
            if (const std::string *v = tag.Find("colspan"))
                parseNumber(*v, span);
            f.Row += std::clamp(span, 1, 16);
            f.Row = std::min(f.Row, 100000);
        } else if (tag.Name == "/table") {
            f.Max = std::max(f.Max, f.Row);
            columnCache_[f.Key] = f.Max;
            result = f.Max;
            stack.pop_back();
        }
    }
    while (!stack.empty()) { // unclosed tables end with the input
        Frame &f = stack.back();
        f.Max = std::max(f.Max, f.Row);
        columnCache_[f.Key] = f.Max;
        result = f.Max;
        stack.pop_back();
    }
    at_ = saved;
    return result;
}

} // namespace qn
