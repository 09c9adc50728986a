#include "app/exchange/json_text.h"

#include <cstdio>

namespace qn::exchange {

std::string JsonQuote(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size() + utf8.size() / 8 + 2);
    out.push_back('"');
    for (char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out.push_back(ch);
            }
        }
    }
    out.push_back('"');
    return out;
}

namespace {

class Parser {
public:
    Parser(std::string_view text, std::string &error) : s_(text), error_(error) {}

    std::optional<std::map<std::string, std::string>> object()
    {
        std::map<std::string, std::string> members;
        blanks();
        if (!take('{'))
            return fail("the line is not a JSON object");
        blanks();
        if (take('}'))
            return end(members);
        for (;;) {
            blanks();
            std::string name, value;
            if (!string(name))
                return fail("a member name is not a string");
            blanks();
            if (!take(':'))
                return fail("\":\" is missing after \"" + name + "\"");
            blanks();
            if (!string(value))
                return fail("the value of \"" + name + "\" is not a string");
            if (members.count(name))
                return fail("\"" + name + "\" is given twice");
            members.emplace(std::move(name), std::move(value));
            blanks();
            if (take('}'))
                return end(members);
            if (!take(','))
                return fail("\",\" or \"}\" is missing");
        }
    }

private:
    std::optional<std::map<std::string, std::string>>
    end(std::map<std::string, std::string> &members)
    {
        blanks();
        if (at_ != s_.size())
            return fail("text follows the object");
        return std::move(members);
    }

    std::nullopt_t fail(const std::string &why)
    {
        if (error_.empty())
            error_ = why;
        return std::nullopt;
    }

    void blanks()
    {
        while (at_ < s_.size() &&
               (s_[at_] == ' ' || s_[at_] == '\t' || s_[at_] == '\r' || s_[at_] == '\n'))
            ++at_;
    }

    bool take(char c)
    {
        if (at_ < s_.size() && s_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }

    bool hex4(unsigned &value)
    {
        if (at_ + 4 > s_.size())
            return false;
        value = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = s_[at_++];
            value <<= 4;
            if (c >= '0' && c <= '9')
                value |= unsigned(c - '0');
            else if (c >= 'a' && c <= 'f')
                value |= unsigned(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                value |= unsigned(c - 'A' + 10);
            else
                return false;
        }
        return true;
    }

    static void utf8(std::string &out, unsigned code)
    {
        if (code < 0x80) {
            out.push_back(static_cast<char>(code));
        } else if (code < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (code >> 6)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (code >> 12)));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (code >> 18)));
            out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
    }

    bool string(std::string &out)
    {
        if (!take('"'))
            return false;
        while (at_ < s_.size()) {
            const char c = s_[at_++];
            if (c == '"')
                return true;
            if (static_cast<unsigned char>(c) < 0x20)
                return false;
            if (c != '\\') {
                out.push_back(c);
                continue;
            }
            if (at_ >= s_.size())
                return false;
            const char e = s_[at_++];
            switch (e) {
            case '"':
            case '\\':
            case '/':
                out.push_back(e);
                break;
            case 'b':
                out.push_back('\b');
                break;
            case 'f':
                out.push_back('\f');
                break;
            case 'n':
                out.push_back('\n');
                break;
            case 'r':
                out.push_back('\r');
                break;
            case 't':
                out.push_back('\t');
                break;
            case 'u': {
                unsigned code = 0;
                if (!hex4(code))
                    return false;
                if (code >= 0xD800 && code < 0xDC00) {
                    unsigned low = 0;
                    if (!take('\\') || !take('u') || !hex4(low) || low < 0xDC00 || low > 0xDFFF)
                        return false;
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                } else if (code >= 0xDC00 && code < 0xE000) {
                    return false;
                }
                utf8(out, code);
                break;
            }
            default:
                return false;
            }
        }
        return false;
    }

    std::string_view s_;
    size_t at_ = 0;
    std::string &error_;
};

} // namespace

std::optional<std::map<std::string, std::string>> ParseJsonStringObject(std::string_view line,
                                                                        std::string &error)
{
    error.clear();
    return Parser(line, error).object();
}

} // namespace qn::exchange
