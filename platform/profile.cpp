#include "platform/profile.h"

#include "platform/ansi.h"
#include "platform/ascii_text.h"
#include "platform/file_replacement.h"
#include "platform/regular_file.h"

#include <climits>
#include <cstring>
#include <optional>
#include <vector>

namespace qn {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Blanks around names and values.
std::string_view trim(std::string_view s)
{
    return Trim(s, " \t");
}

// One line of the file, with the line end it had, so that rewriting keeps
// every untouched line byte for byte.
struct Line {
    std::string text;
    std::string ending;
};

enum class Kind { Other, Section, Key };

struct Parsed {
    Kind kind = Kind::Other;
    std::string_view name; // section name or key name
    std::string_view value;
};

Parsed parse(const std::string &text)
{
    std::string_view s = trim(text);
    Parsed p;
    if (s.empty() || s.front() == ';' || s.front() == '#')
        return p;
    if (s.front() == '[') {
        size_t close = s.find(']');
        if (close == std::string_view::npos)
            return p;
        p.kind = Kind::Section;
        p.name = trim(s.substr(1, close - 1));
        return p;
    }
    size_t eq = s.find('=');
    if (eq == std::string_view::npos)
        return p;
    p.kind = Kind::Key;
    p.name = trim(s.substr(0, eq));
    p.value = trim(s.substr(eq + 1));
    return p;
}

class Document {
public:
    explicit Document(const std::filesystem::path &file)
    {
        RegularFileContents contents = ReadRegularFile(file, kProfileSizeLimit);
        if (contents.What != RegularFileContents::Read) {
            if (contents.What != RegularFileContents::Missing)
                refused_ = file.filename().string() + " is not read: " + contents.Reason;
            return;
        }
        const std::string &bytes = contents.Bytes;
        size_t start = 0;
        while (start < bytes.size()) {
            size_t nl = bytes.find('\n', start);
            Line line;
            if (nl == std::string::npos) {
                line.text = bytes.substr(start);
                start = bytes.size();
            } else {
                size_t end = nl;
                if (end > start && bytes[end - 1] == '\r')
                    --end;
                line.text = bytes.substr(start, end - start);
                line.ending = bytes.substr(end, nl + 1 - end);
                start = nl + 1;
                if (line.ending == "\r\n")
                    crlf_ = true;
            }
            lines_.push_back(std::move(line));
        }
    }

    // Index of the first line of the section's header, or nothing.
    std::optional<size_t> findSection(std::string_view section) const
    {
        for (size_t i = 0; i < lines_.size(); ++i) {
            Parsed p = parse(lines_[i].text);
            if (p.kind == Kind::Section && AnsiSameText(p.name, section))
                return i;
        }
        return std::nullopt;
    }

    // One past the last line of the section that starts at `header`.
    size_t sectionEnd(size_t header) const
    {
        size_t i = header + 1;
        while (i < lines_.size() && parse(lines_[i].text).kind != Kind::Section)
            ++i;
        return i;
    }

    std::optional<size_t> findKey(std::string_view section, std::string_view key) const
    {
        auto header = findSection(section);
        if (!header)
            return std::nullopt;
        size_t end = sectionEnd(*header);
        for (size_t i = *header + 1; i < end; ++i) {
            Parsed p = parse(lines_[i].text);
            if (p.kind == Kind::Key && AnsiSameText(p.name, key))
                return i;
        }
        return std::nullopt;
    }

    std::string newline() const { return crlf_ ? "\r\n" : "\n"; }

    std::string bytes() const
    {
        std::string out;
        for (const Line &line : lines_)
            out += line.text + line.ending;
        return out;
    }

    std::vector<Line> &lines() { return lines_; }
    const std::vector<Line> &lines() const { return lines_; }

    // Why the file was not read; empty when it was, or is missing.
    const std::string &refused() const { return refused_; }
    // A document about to be written back: one that was not read is never
    // written over.
    Document &forWriting()
    {
        if (!refused_.empty())
            throw EProfileError(refused_ + "; it was left as it is and nothing was written");
        return *this;
    }

private:
    std::vector<Line> lines_;
    bool crlf_ = false;
    std::string refused_;
};

bool hasLineBreak(std::string_view s)
{
    return s.find_first_of("\r\n") != std::string_view::npos;
}

void checkName(std::string_view what, std::string_view name)
{
    if (hasLineBreak(name))
        throw EProfileError("A profile " + std::string(what) + " cannot hold a line break");
    if (what == "key" &&
        (name.find('=') != std::string_view::npos || trim(name).empty() ||
         trim(name).front() == '[' || trim(name).front() == ';' || trim(name).front() == '#'))
        throw EProfileError("\"" + std::string(name) + "\" cannot be used as a profile key");
    if (what == "section" && (name.empty() || name.find(']') != std::string_view::npos))
        throw EProfileError("\"" + std::string(name) + "\" cannot be used as a profile section");
}

// How a value is written so that reading gives it back: values with blanks
// at an end, or that are themselves quoted, are put in double quotes.
std::string encodeValue(std::string_view value)
{
    bool needsQuotes = !value.empty() && (isBlank(value.front()) || isBlank(value.back()));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        needsQuotes = true;
    if (needsQuotes)
        return "\"" + std::string(value) + "\"";
    return std::string(value);
}

std::string decodeValue(std::string_view value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

std::optional<int> parseInteger(std::string_view text)
{
    text = trim(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (!text.empty() && text.front() == '$') {
        base = 16;
        text.remove_prefix(1);
    } else if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty())
        return std::nullopt;
    long long value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return std::nullopt;
        value = value * base + digit;
        if (value > 0xFFFFFFFFLL)
            return std::nullopt;
    }
    if (base == 16) {
        // Hexadecimal numbers may spell out all 32 bits ($FFFFFFFF is -1).
        auto bits = static_cast<uint32_t>(value);
        int result = static_cast<int>(bits);
        return negative ? -result : result;
    }
    if (negative)
        value = -value;
    if (value < INT_MIN || value > INT_MAX)
        return std::nullopt;
    return static_cast<int>(value);
}

} // namespace

TProfileFile::TProfileFile(std::filesystem::path file) : file_(std::move(file)) {}

TProfileFile::TProfileFile(std::filesystem::path file, FileSystem &files)
    : file_(std::move(file)), files_(&files)
{
}

void TProfileFile::replace(std::string_view bytes)
{
    if (!files_) {
        ReplaceFileAtomically(file_, bytes);
        return;
    }
    try {
        ReplaceFile(file_, bytes, *files_);
    } catch (const FileError &e) {
        throw EProfileError(e.what());
    }
}

std::string TProfileFile::Unusable() const
{
    return Document(file_).refused();
}

std::string TProfileFile::ReadString(std::string_view section, std::string_view key,
                                     std::string_view defaultValue) const
{
    section = trim(section);
    key = trim(key);
    Document doc(file_);
    auto line = doc.findKey(section, key);
    if (!line)
        return std::string(defaultValue);
    return decodeValue(parse(doc.lines()[*line].text).value);
}

int TProfileFile::ReadInteger(std::string_view section, std::string_view key,
                              int defaultValue) const
{
    if (!ValueExists(section, key))
        return defaultValue;
    return parseInteger(ReadString(section, key, "")).value_or(defaultValue);
}

bool TProfileFile::ReadBool(std::string_view section, std::string_view key, bool defaultValue) const
{
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

bool TProfileFile::SectionExists(std::string_view section) const
{
    section = trim(section);
    return Document(file_).findSection(section).has_value();
}

bool TProfileFile::ValueExists(std::string_view section, std::string_view key) const
{
    section = trim(section);
    key = trim(key);
    return Document(file_).findKey(section, key).has_value();
}

void TProfileFile::WriteString(std::string_view section, std::string_view key,
                               std::string_view value)
{
    section = trim(section);
    key = trim(key);
    checkName("section", section);
    checkName("key", key);
    if (hasLineBreak(value))
        throw EProfileError("A profile value cannot hold a line break");

    Document read(file_);
    Document &doc = read.forWriting();
    std::vector<Line> &lines = doc.lines();
    std::string nl = doc.newline();
    std::string encoded = encodeValue(value);

    if (auto at = doc.findKey(section, key)) {
        // Keep the key as it is spelled in the file and any indentation.
        std::string &text = lines[*at].text;
        size_t eq = text.find('=');
        size_t keyEnd = eq;
        while (keyEnd > 0 && isBlank(text[keyEnd - 1]))
            --keyEnd;
        text = text.substr(0, keyEnd) + "=" + encoded;
    } else if (auto header = doc.findSection(section)) {
        size_t end = doc.sectionEnd(*header);
        // New keys go after the last key, before the blank lines that part sections.
        size_t insertAt = end;
        while (insertAt > *header + 1 && trim(lines[insertAt - 1].text).empty())
            --insertAt;
        if (insertAt > 0 && lines[insertAt - 1].ending.empty())
            lines[insertAt - 1].ending = nl;
        lines.insert(lines.begin() + static_cast<long>(insertAt),
                     Line{std::string(key) + "=" + encoded, nl});
    } else {
        if (!lines.empty()) {
            if (lines.back().ending.empty())
                lines.back().ending = nl;
            if (!trim(lines.back().text).empty())
                lines.push_back(Line{"", nl});
        }
        lines.push_back(Line{"[" + std::string(section) + "]", nl});
        lines.push_back(Line{std::string(key) + "=" + encoded, nl});
    }
    replace(doc.bytes());
}

void TProfileFile::WriteInteger(std::string_view section, std::string_view key, int value)
{
    WriteString(section, key, std::to_string(value));
}

void TProfileFile::WriteBool(std::string_view section, std::string_view key, bool value)
{
    WriteString(section, key, value ? "1" : "0");
}

void TProfileFile::DeleteKey(std::string_view section, std::string_view key)
{
    section = trim(section);
    key = trim(key);
    Document read(file_);
    Document &doc = read.forWriting();
    auto at = doc.findKey(section, key);
    if (!at)
        return;
    doc.lines().erase(doc.lines().begin() + static_cast<long>(*at));
    replace(doc.bytes());
}

void TProfileFile::EraseSection(std::string_view section)
{
    section = trim(section);
    Document read(file_);
    Document &doc = read.forWriting();
    auto header = doc.findSection(section);
    if (!header)
        return;
    size_t end = doc.sectionEnd(*header);
    doc.lines().erase(doc.lines().begin() + static_cast<long>(*header),
                      doc.lines().begin() + static_cast<long>(end));
    replace(doc.bytes());
}

void ReplaceFileAtomically(const std::filesystem::path &file, std::string_view bytes)
{
    try {
        ReplaceFile(file, bytes);
    } catch (const FileError &e) {
        throw EProfileError(e.what());
    }
}

} // namespace qn
