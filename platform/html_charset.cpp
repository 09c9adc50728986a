#include "platform/html_charset.h"

#include "platform/ansi.h"
#include "platform/ascii_text.h"
#include "platform/code_pages.h"
#include "platform/html_entities_table.h"
#include "platform/unicode_text.h"

#include <algorithm>
#include <vector>

namespace qn {

namespace {

constexpr size_t kPrescanLength = 1024;
constexpr int kUserDefined = -1; // x-user-defined: Windows-1252 for a prescan

struct Label {
    const char *label;
    int codePage;
};

// The encoding labels browsers know, with the code page that decodes them.
constexpr Label kLabels[] = {
    {"unicode-1-1-utf-8", kCodePageUtf8},
    {"unicode11utf8", kCodePageUtf8},
    {"unicode20utf8", kCodePageUtf8},
    {"utf-8", kCodePageUtf8},
    {"utf8", kCodePageUtf8},
    {"x-unicode20utf8", kCodePageUtf8},
    {"866", 866},
    {"cp866", 866},
    {"csibm866", 866},
    {"ibm866", 866},
    {"csisolatin2", 28592},
    {"iso-8859-2", 28592},
    {"iso-ir-101", 28592},
    {"iso8859-2", 28592},
    {"iso88592", 28592},
    {"iso_8859-2", 28592},
    {"iso_8859-2:1987", 28592},
    {"l2", 28592},
    {"latin2", 28592},
    {"csisolatin3", 28593},
    {"iso-8859-3", 28593},
    {"iso-ir-109", 28593},
    {"iso8859-3", 28593},
    {"iso88593", 28593},
    {"iso_8859-3", 28593},
    {"iso_8859-3:1988", 28593},
    {"l3", 28593},
    {"latin3", 28593},
    {"csisolatin4", 28594},
    {"iso-8859-4", 28594},
    {"iso-ir-110", 28594},
    {"iso8859-4", 28594},
    {"iso88594", 28594},
    {"iso_8859-4", 28594},
    {"iso_8859-4:1988", 28594},
    {"l4", 28594},
    {"latin4", 28594},
    {"csisolatincyrillic", 28595},
    {"cyrillic", 28595},
    {"iso-8859-5", 28595},
    {"iso-ir-144", 28595},
    {"iso8859-5", 28595},
    {"iso88595", 28595},
    {"iso_8859-5", 28595},
    {"iso_8859-5:1988", 28595},
    {"arabic", 28596},
    {"asmo-708", 28596},
    {"csiso88596e", 28596},
    {"csiso88596i", 28596},
    {"csisolatinarabic", 28596},
    {"ecma-114", 28596},
    {"iso-8859-6", 28596},
    {"iso-8859-6-e", 28596},
    {"iso-8859-6-i", 28596},
    {"iso-ir-127", 28596},
    {"iso8859-6", 28596},
    {"iso88596", 28596},
    {"iso_8859-6", 28596},
    {"iso_8859-6:1987", 28596},
    {"csisolatingreek", 28597},
    {"ecma-118", 28597},
    {"elot_928", 28597},
    {"greek", 28597},
    {"greek8", 28597},
    {"iso-8859-7", 28597},
    {"iso-ir-126", 28597},
    {"iso8859-7", 28597},
    {"iso88597", 28597},
    {"iso_8859-7", 28597},
    {"iso_8859-7:1987", 28597},
    {"sun_eu_greek", 28597},
    {"csiso88598e", 28598},
    {"csisolatinhebrew", 28598},
    {"hebrew", 28598},
    {"iso-8859-8", 28598},
    {"iso-8859-8-e", 28598},
    {"iso-ir-138", 28598},
    {"iso8859-8", 28598},
    {"iso88598", 28598},
    {"iso_8859-8", 28598},
    {"iso_8859-8:1988", 28598},
    {"visual", 28598},
    {"csiso88598i", 38598},
    {"iso-8859-8-i", 38598},
    {"logical", 38598},
    {"csisolatin6", 28600},
    {"iso-8859-10", 28600},
    {"iso-ir-157", 28600},
    {"iso8859-10", 28600},
    {"iso885910", 28600},
    {"l6", 28600},
    {"latin6", 28600},
    {"iso-8859-13", 28603},
    {"iso8859-13", 28603},
    {"iso885913", 28603},
    {"iso-8859-14", 28604},
    {"iso8859-14", 28604},
    {"iso885914", 28604},
    {"csisolatin9", 28605},
    {"iso-8859-15", 28605},
    {"iso8859-15", 28605},
    {"iso885915", 28605},
    {"iso_8859-15", 28605},
    {"l9", 28605},
    {"cskoi8r", 20866},
    {"koi", 20866},
    {"koi8", 20866},
    {"koi8-r", 20866},
    {"koi8_r", 20866},
    {"koi8-ru", 21866},
    {"koi8-u", 21866},
    {"csmacintosh", 10000},
    {"mac", 10000},
    {"macintosh", 10000},
    {"x-mac-roman", 10000},
    {"dos-874", 874},
    {"iso-8859-11", 874},
    {"iso8859-11", 874},
    {"iso885911", 874},
    {"tis-620", 874},
    {"windows-874", 874},
    {"cp1250", 1250},
    {"windows-1250", 1250},
    {"x-cp1250", 1250},
    {"cp1251", 1251},
    {"windows-1251", 1251},
    {"x-cp1251", 1251},
    {"ansi_x3.4-1968", 1252},
    {"ascii", 1252},
    {"cp1252", 1252},
    {"cp819", 1252},
    {"csisolatin1", 1252},
    {"ibm819", 1252},
    {"iso-8859-1", 1252},
    {"iso-ir-100", 1252},
    {"iso8859-1", 1252},
    {"iso88591", 1252},
    {"iso_8859-1", 1252},
    {"iso_8859-1:1987", 1252},
    {"l1", 1252},
    {"latin1", 1252},
    {"us-ascii", 1252},
    {"windows-1252", 1252},
    {"x-cp1252", 1252},
    {"cp1253", 1253},
    {"windows-1253", 1253},
    {"x-cp1253", 1253},
    {"cp1254", 1254},
    {"csisolatin5", 1254},
    {"iso-8859-9", 1254},
    {"iso-ir-148", 1254},
    {"iso8859-9", 1254},
    {"iso88599", 1254},
    {"iso_8859-9", 1254},
    {"iso_8859-9:1989", 1254},
    {"l5", 1254},
    {"latin5", 1254},
    {"windows-1254", 1254},
    {"x-cp1254", 1254},
    {"cp1255", 1255},
    {"windows-1255", 1255},
    {"x-cp1255", 1255},
    {"cp1256", 1256},
    {"windows-1256", 1256},
    {"x-cp1256", 1256},
    {"cp1257", 1257},
    {"windows-1257", 1257},
    {"x-cp1257", 1257},
    {"cp1258", 1258},
    {"windows-1258", 1258},
    {"x-cp1258", 1258},
    {"x-mac-cyrillic", 10007},
    {"x-mac-ukrainian", 10007},
    {"chinese", 936},
    {"csgb2312", 936},
    {"csiso58gb231280", 936},
    {"gb2312", 936},
    {"gb_2312", 936},
    {"gb_2312-80", 936},
    {"gbk", 936},
    {"iso-ir-58", 936},
    {"x-gbk", 936},
    {"gb18030", 54936},
    {"big5", 950},
    {"big5-hkscs", 950},
    {"cn-big5", 950},
    {"csbig5", 950},
    {"x-x-big5", 950},
    {"cseucpkdfmtjapanese", 51932},
    {"euc-jp", 51932},
    {"x-euc-jp", 51932},
    {"csiso2022jp", 50220},
    {"iso-2022-jp", 50220},
    {"csshiftjis", 932},
    {"ms932", 932},
    {"ms_kanji", 932},
    {"shift-jis", 932},
    {"shift_jis", 932},
    {"sjis", 932},
    {"windows-31j", 932},
    {"x-sjis", 932},
    {"cseuckr", 949},
    {"csksc56011987", 949},
    {"euc-kr", 949},
    {"iso-ir-149", 949},
    {"korean", 949},
    {"ks_c_5601-1987", 949},
    {"ks_c_5601-1989", 949},
    {"ksc5601", 949},
    {"ksc_5601", 949},
    {"windows-949", 949},
    {"unicodefffe", kCodePageUtf16BE},
    {"utf-16be", kCodePageUtf16BE},
    {"csunicode", kCodePageUtf16LE},
    {"iso-10646-ucs-2", kCodePageUtf16LE},
    {"ucs-2", kCodePageUtf16LE},
    {"unicode", kCodePageUtf16LE},
    {"unicodefeff", kCodePageUtf16LE},
    {"utf-16", kCodePageUtf16LE},
    {"utf-16le", kCodePageUtf16LE},
    {"x-user-defined", kUserDefined},
};

bool isBlank(char c)
{
    return c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' ';
}

constexpr std::string_view kBlanks = "\t\n\f\r ";

bool startsWithNoCase(std::string_view text, size_t at, std::string_view word)
{
    return at <= text.size() && AsciiSameText(text.substr(at, word.size()), word);
}

// The label's entry, x-user-defined included.
std::optional<int> labelEntry(std::string_view label)
{
    const std::string lower = AsciiLowerCase(Trim(label, kBlanks));
    for (const Label &entry : kLabels)
        if (lower == entry.label)
            return entry.codePage;
    return std::nullopt;
}

std::optional<int> byteOrderMark(std::string_view bytes)
{
    if (bytes.starts_with("\xEF\xBB\xBF"))
        return kCodePageUtf8;
    if (bytes.starts_with("\xFF\xFE"))
        return kCodePageUtf16LE;
    if (bytes.starts_with("\xFE\xFF"))
        return kCodePageUtf16BE;
    return std::nullopt;
}

size_t byteOrderMarkLength(int codePage)
{
    return codePage == kCodePageUtf8 ? 3 : 2;
}

// The charset a Content-Type value names ("text/html; charset=koi8-r").
std::optional<std::string> charsetOfContent(std::string_view content)
{
    size_t at = 0;
    for (;;) {
        size_t found = std::string_view::npos;
        for (size_t k = at; k + 7 <= content.size() && found == std::string_view::npos; ++k)
            if (startsWithNoCase(content, k, "charset"))
                found = k;
        if (found == std::string_view::npos)
            return std::nullopt;
        at = found + 7;
        while (at < content.size() && isBlank(content[at]))
            ++at;
        if (at >= content.size() || content[at] != '=')
            continue;
        ++at;
        while (at < content.size() && isBlank(content[at]))
            ++at;
        if (at >= content.size())
            return std::nullopt;
        const char quote = content[at];
        if (quote == '"' || quote == '\'') {
            const size_t end = content.find(quote, at + 1);
            if (end == std::string_view::npos)
                return std::nullopt;
            return std::string(content.substr(at + 1, end - at - 1));
        }
        size_t end = at;
        while (end < content.size() && !isBlank(content[end]) && content[end] != ';')
            ++end;
        return std::string(content.substr(at, end - at));
    }
}

struct Attribute {
    std::string name;
    std::string value;
};

// The HTML standard's prescan: a small tokenizer over the first bytes that
// looks only at <meta> tags and skips comments and other tags whole.
class Prescan {
public:
    explicit Prescan(std::string_view bytes) : text_(bytes.substr(0, kPrescanLength)) {}

    std::optional<int> run()
    {
        while (at_ < text_.size()) {
            if (text_.compare(at_, 4, "<!--") == 0) {
                const size_t end = text_.find("-->", at_ + 2);
                if (end == std::string_view::npos)
                    return std::nullopt;
                at_ = end + 2;
            } else if (startsWithNoCase(text_, at_, "<meta") && at_ + 5 < text_.size() &&
                       (isBlank(text_[at_ + 5]) || text_[at_ + 5] == '/')) {
                at_ += 6;
                if (auto found = meta())
                    return found;
                if (ended_)
                    return std::nullopt;
            } else if (isTagStart()) {
                while (at_ < text_.size() && !isBlank(text_[at_]) && text_[at_] != '>')
                    ++at_;
                while (attribute()) {
                }
                if (ended_)
                    return std::nullopt;
            } else if (text_.compare(at_, 2, "<!") == 0 || text_.compare(at_, 2, "</") == 0 ||
                       text_.compare(at_, 2, "<?") == 0) {
                at_ = text_.find('>', at_ + 2);
                if (at_ == std::string_view::npos)
                    return std::nullopt;
            }
            ++at_;
        }
        return std::nullopt;
    }

private:
    static bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

    bool isTagStart() const
    {
        if (text_[at_] != '<' || at_ + 1 >= text_.size())
            return false;
        if (isLetter(text_[at_ + 1]))
            return true;
        return text_[at_ + 1] == '/' && at_ + 2 < text_.size() && isLetter(text_[at_ + 2]);
    }

    // The attributes of a <meta> tag; the code page when they declare one.
    std::optional<int> meta()
    {
        std::vector<std::string> seen;
        bool gotPragma = false;
        std::optional<bool> needPragma;
        bool charsetSeen = false; // set even when the label is unknown
        std::optional<int> charset;
        while (auto a = attribute()) {
            if (std::find(seen.begin(), seen.end(), a->name) != seen.end())
                continue;
            seen.push_back(a->name);
            if (a->name == "http-equiv") {
                gotPragma = gotPragma || a->value == "content-type";
            } else if (a->name == "content" && !charsetSeen) {
                if (auto label = charsetOfContent(a->value)) {
                    charset = labelEntry(*label);
                    charsetSeen = true;
                    needPragma = true;
                }
            } else if (a->name == "charset" && !charsetSeen) {
                charset = labelEntry(a->value);
                charsetSeen = true;
                needPragma = false;
            }
        }
        if (ended_ || !needPragma || (*needPragma && !gotPragma) || !charset)
            return std::nullopt;
        if (*charset == kCodePageUtf16LE || *charset == kCodePageUtf16BE)
            return kCodePageUtf8;
        if (*charset == kUserDefined)
            return 1252;
        return charset;
    }

    char byte() const { return at_ < text_.size() ? text_[at_] : '\0'; }
    bool atEnd()
    {
        ended_ = ended_ || at_ >= text_.size();
        return ended_;
    }

    // One attribute of a tag; nothing at the tag's '>' or the end of the bytes.
    std::optional<Attribute> attribute()
    {
        while (!atEnd() && (isBlank(byte()) || byte() == '/'))
            ++at_;
        if (atEnd() || byte() == '>')
            return std::nullopt;
        Attribute a;
        if (!attributeName(a.name) || atEnd())
            return std::nullopt;
        if (byte() != '=')
            return a;
        ++at_;
        while (!atEnd() && isBlank(byte()))
            ++at_;
        if (atEnd() || !attributeValue(a.value))
            return std::nullopt;
        return a;
    }

    // Reads the name up to '=' or the blanks before one; false at the end.
    bool attributeName(std::string &name)
    {
        for (; !atEnd(); ++at_) {
            const char c = byte();
            if (c == '=' && !name.empty())
                return true;
            if (isBlank(c)) {
                while (!atEnd() && isBlank(byte()))
                    ++at_;
                return !ended_;
            }
            if (c == '/' || c == '>')
                return true;
            name += AsciiLower(c);
        }
        return false;
    }

    bool attributeValue(std::string &value)
    {
        const char quote = byte();
        if (quote == '"' || quote == '\'') {
            for (++at_; !atEnd(); ++at_) {
                if (byte() == quote) {
                    ++at_;
                    return true;
                }
                value += AsciiLower(byte());
            }
            return false;
        }
        if (quote == '>')
            return true;
        for (; !atEnd(); ++at_) {
            if (isBlank(byte()) || byte() == '>')
                return true;
            value += AsciiLower(byte());
        }
        return false;
    }

    std::string_view text_;
    size_t at_ = 0;
    bool ended_ = false;
};

const html_entities::Entry *findEntry(std::string_view name)
{
    const html_entities::Entry *begin = html_entities::kEntries;
    const html_entities::Entry *end = begin + html_entities::kEntryCount;
    const auto *found =
        std::lower_bound(begin, end, name, [](const auto &entry, std::string_view n) {
            return std::string_view(entry.name) < n;
        });
    if (found == end || std::string_view(found->name) != name)
        return nullptr;
    return found;
}

std::u32string charactersOf(const html_entities::Entry &entry)
{
    std::u32string out(1, entry.first);
    if (entry.second != 0)
        out += entry.second;
    return out;
}

} // namespace

std::optional<int> CodePageOfEncodingLabel(std::string_view label)
{
    auto entry = labelEntry(label);
    if (entry == kUserDefined)
        return 1252;
    return entry;
}

std::optional<int> HtmlCodePageOf(std::string_view bytes)
{
    if (auto mark = byteOrderMark(bytes))
        return mark;
    return Prescan(bytes).run();
}

std::u32string DecodeHtmlBytes(std::string_view bytes)
{
    if (auto mark = byteOrderMark(bytes))
        return DecodeCodePage(*mark, bytes.substr(byteOrderMarkLength(*mark)));
    if (auto declared = Prescan(bytes).run()) {
        if (*declared == kCodePageUtf8)
            return unicode::FromUtf8(bytes);
        return DecodeCodePage(*declared, bytes);
    }
    bool wellFormed = false;
    std::u32string text = unicode::FromUtf8(bytes, &wellFormed);
    return wellFormed ? text : unicode::FromAnsi(bytes);
}

std::optional<std::u32string> HtmlNamedReference(std::string_view name)
{
    if (const auto *entry = findEntry(name))
        return charactersOf(*entry);
    if (!name.empty() && name.back() != ';') {
        std::string withSemicolon(name);
        withSemicolon += ';';
        if (const auto *entry = findEntry(withSemicolon))
            return charactersOf(*entry);
    }
    return std::nullopt;
}

std::optional<std::u32string> HtmlLongestNamedReference(std::string_view text, size_t *length)
{
    constexpr size_t kLongestName = 32; // "CounterClockwiseContourIntegral;"
    for (size_t n = std::min(text.size(), kLongestName); n > 0; --n) {
        if (const auto *entry = findEntry(text.substr(0, n))) {
            if (length)
                *length = n;
            return charactersOf(*entry);
        }
    }
    return std::nullopt;
}

char32_t HtmlNumericReference(uint32_t n)
{
    if (n == 0 || n > 0x10FFFF || (n >= 0xD800 && n <= 0xDFFF))
        return 0xFFFD;
    if (n >= 0x80 && n <= 0x9F)
        return AnsiToUnicode(static_cast<unsigned char>(n));
    return n;
}

} // namespace qn
