#pragma once

// Renders a table the way the independent reader script (peers/dbf_dump.py)
// prints it, so that tests can compare our reading with its reading line by
// line. Text is Windows-1252 and shown as Python shows strings.

#include "xbase/table.h"

#include <charconv>
#include <cstdio>
#include <string>

namespace qn::test {

inline std::string cp1252ToUtf8(unsigned char c)
{
    static const uint16_t high[32] = {
        0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
    uint32_t u = c >= 0x80 && c < 0xA0 ? high[c - 0x80] : c;
    std::string out;
    if (u < 0x80) {
        out += char(u);
    } else if (u < 0x800) {
        out += char(0xC0 | (u >> 6));
        out += char(0x80 | (u & 0x3F));
    } else {
        out += char(0xE0 | (u >> 12));
        out += char(0x80 | ((u >> 6) & 0x3F));
        out += char(0x80 | (u & 0x3F));
    }
    return out;
}

inline std::string pyRepr(const std::string &text)
{
    bool single = text.find('\'') != std::string::npos && text.find('"') == std::string::npos;
    char quote = single ? '"' : '\'';
    std::string out(1, quote);
    for (unsigned char c : text) {
        char buf[8];
        if (c == '\\')
            out += "\\\\";
        else if (c == quote)
            out += std::string("\\") + char(c);
        else if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c < 0x20 || c == 0x7F || c == 0xA0 || c == 0xAD) {
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        } else
            out += cp1252ToUtf8(c);
    }
    return out + quote;
}

inline std::string pyFloat(double v)
{
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
    std::string s(buf, r.ptr);
    if (s.find('.') == std::string::npos)
        s += ".0";
    return s;
}

inline std::string trimmed(std::string s, const char *chars = " ")
{
    size_t e = s.find_last_not_of(chars);
    s.erase(e == std::string::npos ? 0 : e + 1);
    size_t b = s.find_first_not_of(chars);
    return b == std::string::npos ? std::string() : s.substr(b);
}

// One field as dbfread gives it; datetime (T) fields are left out ("").
inline std::string peerValue(xbase::Table &t, int i)
{
    const xbase::FieldInfo &f = t.fields()[size_t(i)];
    std::string raw(t.buffer() + f.offset, f.length);
    switch (f.type) {
    case 'C': {
        size_t e = raw.find_last_not_of(std::string(" \0", 2));
        return pyRepr(e == std::string::npos ? std::string() : raw.substr(0, e + 1));
    }
    case 'N':
    case 'F': {
        std::string s = trimmed(raw);
        if (s.empty())
            return "None";
        if (s.find('.') == std::string::npos)
            return std::to_string(std::stoll(s));
        return pyFloat(std::stod(s));
    }
    case 'D': {
        xbase::Value v = t.value(i);
        if (v.number <= 0)
            return "None";
        auto d = xbase::fromJulianDay(long(v.number));
        return "datetime.date(" + std::to_string(d.year) + ", " + std::to_string(d.month) + ", " +
               std::to_string(d.day) + ")";
    }
    case 'L': {
        char c = raw[0];
        if (std::string("TtYy").find(c) != std::string::npos)
            return "True";
        if (std::string("FfNn").find(c) != std::string::npos)
            return "False";
        return "None";
    }
    case 'I':
        return std::to_string(int64_t(t.value(i).number));
    case 'M': {
        std::string p = trimmed(raw, std::string(" \0", 2).c_str());
        bool none = f.length == 4 ? (raw == std::string(4, '\0')) : p.empty() || p == "0";
        if (none)
            return "None";
        std::string m = t.memo(i);
        return "(" + std::to_string(m.size()) + " chars) " + pyRepr(m);
    }
    default:
        return "";
    }
}

// The whole dump in file order (deleted records included), header lines too.
inline std::string peerDump(xbase::Table &t)
{
    std::string out;
    char line[256];
    xbase::DbfFile &dbf = t.dbf();
    unsigned char h[32];
    dbf.file().readAt(0, h, 32);
    std::snprintf(
        line, sizeof line,
        "version=0x%02X updated=%d-%02d-%02d records=%u header_len=%u record_len=%u flags=0x%02X "
        "codepage=0x%02X\n",
        h[0], h[1], h[2], h[3], dbf.recordCount(), dbf.headerLength(), dbf.recordLength(), h[28],
        h[29]);
    out += line;
    for (const xbase::FieldInfo &f : t.fields()) {
        std::snprintf(line, sizeof line, "field %-10s %c len=%d dec=%d\n", f.name.c_str(), f.type,
                      int(f.length), int(f.decimals));
        out += line;
    }
    for (uint32_t r = 1; r <= dbf.recordCount(); ++r) {
        t.go(r);
        out += std::to_string(r) + (t.deleted() ? " * " : "   ");
        bool first = true;
        for (size_t i = 0; i < t.fields().size(); ++i) {
            std::string v = peerValue(t, int(i));
            if (v.empty())
                continue;
            if (!first)
                out += ' ';
            first = false;
            out += t.fields()[i].name + "=" + v;
        }
        out += '\n';
    }
    return out;
}

// Drops NAME=datetime.datetime(...) items, which peerDump does not render.
inline std::string withoutDateTimes(const std::string &dump)
{
    std::string out;
    size_t pos = 0;
    for (;;) {
        size_t hit = dump.find("=datetime.datetime(", pos);
        if (hit == std::string::npos)
            break;
        size_t nameStart = dump.rfind(' ', hit);
        size_t close = dump.find(')', hit);
        out += dump.substr(pos, nameStart - pos);
        pos = close + 1;
    }
    out += dump.substr(pos);
    return out;
}

} // namespace qn::test
