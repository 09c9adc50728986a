#include "richtext/edit/buffer_finder.h"

#include <cstring>

#include "platform/ansi.h"

namespace qn {

namespace {

constexpr size_t kMaxPart = 255; // longest head or tail, as the text finder has it

struct Fold {
    uint8_t table[256];
    Fold()
    {
        for (int c = 0; c < 256; ++c)
            table[c] = AnsiLowerChar(static_cast<unsigned char>(c));
    }
};

} // namespace

const uint8_t (&TQnBufferFinder::FoldTable())[256]
{
    static const Fold fold;
    return fold.table;
}

void TQnBufferFinder::AppendFolded(std::string_view text, std::string &buffer)
{
    const uint8_t(&fold)[256] = FoldTable();
    const size_t at = buffer.size();
    buffer.resize(at + text.size());
    for (size_t i = 0; i < text.size(); ++i)
        buffer[at + i] = static_cast<char>(fold[static_cast<uint8_t>(text[i])]);
}

TQnBufferFinder::Part TQnBufferFinder::makePart(std::string_view raw, uint8_t wildcard)
{
    const uint8_t(&fold)[256] = FoldTable();
    Part part;
    part.bytes.resize(raw.size());
    part.any.resize(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        const auto c = static_cast<uint8_t>(raw[i]);
        part.any[i] = wildcard != 0 && c == wildcard;
        part.hasAny = part.hasAny || part.any[i];
        part.bytes[i] = static_cast<char>(fold[c]);
        // No character of a paragraph is zero: a zero in the pattern
        // matches nothing.
        if (!part.any[i] && fold[c] == 0)
            part.impossible = true;
    }
    return part;
}

TQnBufferFinder::TQnBufferFinder(std::string_view pattern, uint8_t wildcard)
{
    const size_t wild =
        wildcard ? pattern.find(static_cast<char>(wildcard)) : std::string_view::npos;
    hasWildcard_ = wild != std::string_view::npos && wild <= kMaxPart;
    if (hasWildcard_) {
        head_ = makePart(pattern.substr(0, wild), wildcard);
        tail_ = makePart(pattern.substr(wild + 1, kMaxPart), wildcard);
    } else {
        head_ = makePart(pattern.substr(0, kMaxPart), wildcard);
    }
    empty_ = pattern.empty() || (head_.empty() && !hasWildcard_);
}

size_t TQnBufferFinder::find(const Part &part, std::string_view text, size_t from, size_t limit)
{
    const size_t n = part.size();
    if (part.impossible || n > limit || from > limit - n)
        return std::string_view::npos;
    if (!part.hasAny) {
        return text.substr(0, limit).find(part.bytes, from);
    }
    // The first character the wildcard does not stand for leads the scan.
    size_t lead = 0;
    while (lead < n && part.any[lead])
        ++lead;
    const auto matchesAt = [&](size_t p) {
        for (size_t i = 0; i < n; ++i) {
            const char c = text[p + i];
            if (part.any[i] ? c == '\0' : c != part.bytes[i])
                return false;
        }
        return true;
    };
    if (lead == n) {
        for (size_t p = from; p + n <= limit; ++p)
            if (matchesAt(p))
                return p;
        return std::string_view::npos;
    }
    const char want = part.bytes[lead];
    for (size_t q = from + lead; q + (n - lead) <= limit;) {
        const void *hit = std::memchr(text.data() + q, want, limit - (n - lead) + 1 - q);
        if (!hit)
            return std::string_view::npos;
        q = static_cast<size_t>(static_cast<const char *>(hit) - text.data());
        if (matchesAt(q - lead))
            return q - lead;
        ++q;
    }
    return std::string_view::npos;
}

bool TQnBufferFinder::Matches(std::string_view text) const
{
    if (empty_)
        return false;
    const size_t npos = std::string_view::npos;
    if (head_.empty()) {
        // The pattern begins with the wildcard: a run of characters, which
        // is the whole paragraph here, and the tail inside it.
        if (tail_.empty())
            return text.find_first_not_of('\0') != npos;
        return find(tail_, text, 0, text.size()) != npos;
    }
    if (!hasWildcard_ || tail_.empty())
        return find(head_, text, 0, text.size()) != npos;
    // The first head of a paragraph leaves the most room for the tail.
    size_t from = 0;
    while (from < text.size()) {
        const size_t head = find(head_, text, from, text.size());
        if (head == npos)
            return false;
        const size_t headEnd = head + head_.size();
        size_t end = text.find('\0', headEnd);
        if (end == npos)
            end = text.size();
        if (find(tail_, text, headEnd, end) != npos)
            return true;
        from = end + 1;
    }
    return false;
}

} // namespace qn
