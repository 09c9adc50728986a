// Grapheme cluster boundaries of unicode_text.h. ICU's character break
// iterator decides; it runs only over a short window around the position,
// between two boundaries that need no context (so a call costs the same on a
// long line as on a short one), and not at all between two characters below
// U+0300, where every position is a boundary except inside CR LF.

#include "platform/unicode_text.h"

#include <unicode/ubrk.h>
#include <unicode/uchar.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace qn::unicode {

namespace {

constexpr char32_t kCR = 0x0D;
constexpr char32_t kLF = 0x0A;
constexpr char32_t kFirstMark = 0x0300;

int graphemeClass(char32_t c)
{
    if (c > 0x10FFFF)
        return U_GCB_OTHER;
    return u_getIntPropertyValue(static_cast<UChar32>(c), UCHAR_GRAPHEME_CLUSTER_BREAK);
}

bool isControlClass(int gcb)
{
    return gcb == U_GCB_CONTROL || gcb == U_GCB_CR || gcb == U_GCB_LF;
}

bool isPictographic(char32_t c)
{
    return c <= 0x10FFFF &&
           u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_EXTENDED_PICTOGRAPHIC);
}

// Both below U+0300 and not CR LF: a boundary, whatever surrounds it.
bool plainPair(char32_t a, char32_t b)
{
    return a < kFirstMark && b < kFirstMark && !(a == kCR && b == kLF);
}

// A boundary at pos that no character farther away can undo: before or after
// a control (CR LF aside), or between two characters of no cluster class
// where the second is no pictograph (which a joiner run could claim).
bool certainBoundary(std::u32string_view text, size_t pos)
{
    if (pos == 0 || pos >= text.size())
        return true;
    const char32_t a = text[pos - 1];
    const char32_t b = text[pos];
    if (a == kCR && b == kLF)
        return false;
    if (plainPair(a, b))
        return true;
    const int ca = graphemeClass(a);
    const int cb = graphemeClass(b);
    if (isControlClass(ca) || isControlClass(cb))
        return true;
    return ca == U_GCB_OTHER && cb == U_GCB_OTHER && !isPictographic(b);
}

// How far a window reaches from the position asked about. Only runs longer
// than this without a certain boundary (a thousand combining marks on one
// letter, a thousand regional indicators in a row) are cut, where ICU then
// sees the cut as a boundary; the calls stay short on hostile text.
constexpr size_t kWindowReach = 1024;

size_t windowStart(std::u32string_view text, size_t pos)
{
    const size_t limit = pos > kWindowReach ? pos - kWindowReach : 0;
    while (pos > limit && !certainBoundary(text, pos))
        --pos;
    return pos;
}

size_t windowEnd(std::u32string_view text, size_t pos)
{
    const size_t limit = std::min(text.size(), pos + kWindowReach);
    while (pos < limit && !certainBoundary(text, pos))
        ++pos;
    return pos;
}

struct BreakIteratorCloser {
    void operator()(UBreakIterator *it) const { ubrk_close(it); }
};

// One iterator per thread, reused; ICU does the work on UTF-16, so the window
// is copied with the UTF-16 offset of each of its code points.
class Window {
public:
    Window(std::u32string_view text, size_t start, size_t end) : start_(start)
    {
        units_.clear();
        offsets_.clear();
        for (size_t k = start; k < end; ++k) {
            offsets_.push_back(static_cast<int32_t>(units_.size()));
            char32_t c = text[k];
            if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
                c = 0xFFFD;
            if (c < 0x10000) {
                units_.push_back(static_cast<UChar>(c));
            } else {
                units_.push_back(U16_LEAD(c));
                units_.push_back(U16_TRAIL(c));
            }
        }
        offsets_.push_back(static_cast<int32_t>(units_.size()));
        if (!iterator())
            return;
        UErrorCode status = U_ZERO_ERROR;
        ubrk_setText(iterator(), units_.data(), static_cast<int32_t>(units_.size()), &status);
        ok_ = U_SUCCESS(status);
    }

    bool ok() const { return ok_; }
    bool isBoundary(size_t pos) { return ubrk_isBoundary(iterator(), unitOf(pos)) != 0; }
    size_t following(size_t pos) { return positionOf(ubrk_following(iterator(), unitOf(pos))); }
    size_t preceding(size_t pos) { return positionOf(ubrk_preceding(iterator(), unitOf(pos))); }

private:
    static UBreakIterator *iterator()
    {
        thread_local std::unique_ptr<UBreakIterator, BreakIteratorCloser> it = [] {
            UErrorCode status = U_ZERO_ERROR;
            UBreakIterator *opened = ubrk_open(UBRK_CHARACTER, "", nullptr, 0, &status);
            return std::unique_ptr<UBreakIterator, BreakIteratorCloser>(
                U_SUCCESS(status) ? opened : nullptr);
        }();
        return it.get();
    }

    int32_t unitOf(size_t pos) const { return offsets_[pos - start_]; }

    size_t positionOf(int32_t unit) const
    {
        if (unit == UBRK_DONE)
            return start_;
        auto at = std::lower_bound(offsets_.begin(), offsets_.end(), unit);
        return start_ + static_cast<size_t>(at - offsets_.begin());
    }

    size_t start_;
    bool ok_ = false;
    static thread_local std::vector<UChar> units_;
    static thread_local std::vector<int32_t> offsets_;
};

thread_local std::vector<UChar> Window::units_;
thread_local std::vector<int32_t> Window::offsets_;

} // namespace

bool IsGraphemeBoundary(std::u32string_view text, size_t pos)
{
    if (pos == 0 || pos >= text.size())
        return true;
    if (plainPair(text[pos - 1], text[pos]))
        return true;
    if (text[pos - 1] == kCR && text[pos] == kLF)
        return false;
    Window window(text, windowStart(text, pos - 1), windowEnd(text, pos + 1));
    // Without an iterator (ICU data missing), code points stay whole.
    return !window.ok() || window.isBoundary(pos);
}

size_t NextGraphemeBoundary(std::u32string_view text, size_t pos)
{
    if (pos + 1 >= text.size())
        return text.size();
    if (plainPair(text[pos], text[pos + 1]))
        return pos + 1;
    Window window(text, windowStart(text, pos), windowEnd(text, pos + 1));
    if (!window.ok())
        return pos + 1;
    return window.following(pos);
}

size_t PreviousGraphemeBoundary(std::u32string_view text, size_t pos)
{
    pos = std::min(pos, text.size());
    if (pos <= 1)
        return 0;
    if (plainPair(text[pos - 2], text[pos - 1]))
        return pos - 1;
    Window window(text, windowStart(text, pos - 1), windowEnd(text, pos));
    if (!window.ok())
        return pos - 1;
    return window.preceding(pos);
}

} // namespace qn::unicode
