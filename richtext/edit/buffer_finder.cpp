#include "richtext/edit/buffer_finder.h"

#include <algorithm>

#include "platform/unicode_text.h"

namespace qn {

namespace {

constexpr size_t kMaxPart = 255; // longest head or tail, as the text finder has it

// The folding of the first code points (Latin and the code page's
// punctuation lie there), looked up once.
constexpr char32_t kTableSize = 0x2200;

struct FoldTable {
    char32_t table[kTableSize];
    FoldTable()
    {
        for (char32_t c = 0; c < kTableSize; ++c)
            table[c] = unicode::FoldCase(c);
    }
};

const FoldTable &foldTable()
{
    static const FoldTable fold;
    return fold;
}

} // namespace

char32_t TQnBufferFinder::Fold(char32_t c)
{
    return c < kTableSize ? foldTable().table[c] : unicode::FoldCase(c);
}

void TQnBufferFinder::AppendFolded(std::u32string_view text, std::u32string &buffer)
{
    const char32_t *table = foldTable().table;
    const size_t at = buffer.size();
    buffer.resize(at + text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char32_t c = text[i];
        buffer[at + i] = c < kTableSize ? table[c] : unicode::FoldCase(c);
    }
}

TQnBufferFinder::Part TQnBufferFinder::makePart(std::u32string_view raw, char32_t wildcard)
{
    Part part;
    part.bytes.resize(raw.size());
    part.any.resize(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        const char32_t c = raw[i];
        part.any[i] = wildcard != 0 && c == wildcard;
        part.hasAny = part.hasAny || part.any[i];
        part.bytes[i] = Fold(c);
        // No character of a paragraph is zero: a zero in the pattern
        // matches nothing.
        if (!part.any[i] && part.bytes[i] == 0)
            part.impossible = true;
    }
    return part;
}

TQnBufferFinder::TQnBufferFinder(std::u32string_view pattern, char32_t wildcard)
{
    const size_t wild = wildcard ? pattern.find(wildcard) : std::u32string_view::npos;
    hasWildcard_ = wild != std::u32string_view::npos && wild <= kMaxPart;
    if (hasWildcard_) {
        head_ = makePart(pattern.substr(0, wild), wildcard);
        tail_ = makePart(pattern.substr(wild + 1, kMaxPart), wildcard);
    } else {
        head_ = makePart(pattern.substr(0, kMaxPart), wildcard);
    }
    empty_ = pattern.empty() || (head_.empty() && !hasWildcard_);
}

size_t TQnBufferFinder::find(const Part &part, std::u32string_view text, size_t from, size_t limit)
{
    const size_t n = part.size();
    if (part.impossible || n > limit || from > limit - n)
        return std::u32string_view::npos;
    if (!part.hasAny) {
        return text.substr(0, limit).find(part.bytes, from);
    }
    // The first character the wildcard does not stand for leads the scan.
    size_t lead = 0;
    while (lead < n && part.any[lead])
        ++lead;
    const auto matchesAt = [&](size_t p) {
        for (size_t i = 0; i < n; ++i) {
            const char32_t c = text[p + i];
            if (part.any[i] ? c == U'\0' : c != part.bytes[i])
                return false;
        }
        return true;
    };
    if (lead == n) {
        for (size_t p = from; p + n <= limit; ++p)
            if (matchesAt(p))
                return p;
        return std::u32string_view::npos;
    }
    const char32_t want = part.bytes[lead];
    for (size_t q = from + lead; q + (n - lead) <= limit;) {
        const char32_t *end = text.data() + limit - (n - lead) + 1;
        const char32_t *hit = std::find(text.data() + q, end, want);
        if (hit == end)
            return std::u32string_view::npos;
        q = static_cast<size_t>(hit - text.data());
        if (matchesAt(q - lead))
            return q - lead;
        ++q;
    }
    return std::u32string_view::npos;
}

bool TQnBufferFinder::Matches(std::u32string_view text) const
{
    if (empty_)
        return false;
    const size_t npos = std::u32string_view::npos;
    if (head_.empty()) {
        // The pattern begins with the wildcard: a run of characters, which
        // is the whole paragraph here, and the tail inside it.
        if (tail_.empty())
            return text.find_first_not_of(U'\0') != npos;
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
        size_t end = text.find(U'\0', headEnd);
        if (end == npos)
            end = text.size();
        if (find(tail_, text, headEnd, end) != npos)
            return true;
        from = end + 1;
    }
    return false;
}

} // namespace qn
