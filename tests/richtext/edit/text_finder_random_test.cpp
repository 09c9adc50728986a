// The finder against a plain search over the document's text, on random
// documents: find next, find previous and replace all must agree with it, and
// a document changed by replace-all must survive an RTF round trip.

#include <gtest/gtest.h>

#include <random>

#include "finder_test_util.h"
#include "platform/ansi.h"
#include "tests/support/text32.h"

using qn::test::Ansi;
using qn::test::U32;

namespace qn {
namespace {

using test::Hit;
using test::TextRun;

constexpr char kParEnd = '\r';

// The document as one string, paragraph ends as kParEnd, so that string
// indexes are the finder's absolute positions; bold marks travel alongside.
struct FlatText {
    std::string chars;
    std::vector<bool> bold;
};

struct Search {
    std::string pattern;
    bool wildcard = false;
    bool wholeWord = false;
    bool exactCase = false;
    bool boldOnly = false;
};

bool isLetter(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == 138 || c == 140 || c == 154 ||
           c == 156 || c == 159 || c >= 192;
}

// The plain search: a head, and with a wildcard a tail somewhere after it in
// the same paragraph; '?' in the tail is any one character.
class NaiveSearch {
public:
    NaiveSearch(const FlatText &text, const Search &search) : text_(text), search_(search)
    {
        const size_t wild = search.wildcard ? search.pattern.find('?') : std::string::npos;
        head_ = search.pattern.substr(0, wild);
        if (wild != std::string::npos)
            tail_ = search.pattern.substr(wild + 1);
        hasTail_ = wild != std::string::npos;
    }

    // End of the match that starts at s, or -1.
    int matchAt(int s) const
    {
        const int n = size();
        if (s >= n || text_.chars[s] == kParEnd)
            return -1;
        if (search_.wholeWord && !(isLetter(ch(s)) && (s == 0 || !isLetter(ch(s - 1)))))
            return -1;
        if (!partAt(head_, s))
            return -1;
        const int headEnd = s + static_cast<int>(head_.size());
        if (!hasTail_)
            return wordEnd(headEnd) ? headEnd : -1;
        const int tailLength = static_cast<int>(tail_.size());
        for (int t = headEnd; t + tailLength <= n; ++t) {
            if (text_.chars.find(kParEnd, headEnd) < static_cast<size_t>(t + tailLength))
                break;
            if (partAt(tail_, t) && wordEnd(t + tailLength))
                return t + tailLength;
        }
        return -1;
    }

    std::vector<Hit> forward() const
    {
        std::vector<Hit> hits;
        for (int s = 0; s < size(); ++s)
            if (const int e = matchAt(s); e >= 0) {
                hits.emplace_back(s, e - s);
                s = e - 1;
            }
        return hits;
    }

    std::vector<Hit> backward() const
    {
        std::vector<Hit> hits;
        for (int s = size() - 1; s >= 0; --s)
            if (const int e = matchAt(s); e >= 0)
                hits.emplace_back(s, e - s);
        return hits;
    }

private:
    int size() const { return static_cast<int>(text_.chars.size()); }
    unsigned char ch(int i) const { return static_cast<unsigned char>(text_.chars[i]); }

    bool wordEnd(int e) const { return !search_.wholeWord || e >= size() || !isLetter(ch(e)); }

    bool partAt(const std::string &part, int at) const
    {
        if (at + static_cast<int>(part.size()) > size())
            return false;
        for (size_t i = 0; i < part.size(); ++i) {
            const unsigned char t = ch(at + static_cast<int>(i));
            const auto p = static_cast<unsigned char>(part[i]);
            if (t == kParEnd || (search_.boldOnly && !text_.bold[at + i]))
                return false;
            if (search_.wildcard && p == '?')
                continue;
            if (search_.exactCase ? t != p : AnsiLowerChar(t) != AnsiLowerChar(p))
                return false;
        }
        return true;
    }

    const FlatText &text_;
    const Search &search_;
    std::string head_, tail_;
    bool hasTail_ = false;
};

class RandomDocuments : public ::testing::Test {
protected:
    std::mt19937 rng{20240611};

    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }

    std::string randomText(const std::string &alphabet, int maxLength)
    {
        std::string s(pick(maxLength + 1), ' ');
        for (char &c : s)
            c = alphabet[pick(static_cast<int>(alphabet.size()))];
        return s;
    }

    // Random paragraphs of random lines of plain and bold runs.
    FlatText build(TQnRTFText &doc)
    {
        const std::string alphabet = "aAbB  \xE9\xC9',?";
        std::vector<std::vector<std::vector<TextRun>>> paragraphs(1 + pick(4));
        FlatText flat;
        for (size_t p = 0; p < paragraphs.size(); ++p) {
            if (p > 0) {
                flat.chars += kParEnd;
                flat.bold.push_back(false);
            }
            paragraphs[p].resize(1 + pick(3));
            for (auto &line : paragraphs[p])
                for (int r = pick(3); r > 0; --r) {
                    const bool bold = pick(3) == 0;
                    line.push_back(
                        TextRun{randomText(alphabet, 6), test::attrOf(bold ? kStyleBold : 0)});
                    flat.chars += line.back().text;
                    flat.bold.insert(flat.bold.end(), line.back().text.size(), bold);
                }
        }
        test::buildRuns(doc, paragraphs);
        return flat;
    }

    Search randomSearch()
    {
        Search s;
        s.wildcard = pick(2) == 0;
        s.wholeWord = pick(3) == 0;
        s.exactCase = pick(3) == 0;
        s.boldOnly = pick(5) == 0;
        const std::string letters = "aAbB \xE9\xC9'";
        s.pattern = letters[pick(static_cast<int>(letters.size()))] + randomText(letters, 2);
        if (s.wildcard) {
            // A head and a tail, each not empty; maybe one more '?' in the tail.
            std::string tail = randomText(letters, 2) + letters[pick(4)];
            if (pick(3) == 0)
                tail.insert(tail.begin() + pick(static_cast<int>(tail.size())), '?');
            s.pattern += '?' + tail;
        }
        return s;
    }

    static void configure(TQnTextFinder &finder, const Search &s)
    {
        finder.Reset();
        finder.Opts.Wildcard = s.wildcard ? '?' : 0;
        finder.Opts.WholeWord = s.wholeWord;
        finder.Opts.CaseSensitive = s.exactCase ? 1 : 0;
        finder.Opts.AttrMatch = s.boldOnly ? kMatchBold : 0;
    }

    static std::vector<std::string> split(const std::string &flat)
    {
        std::vector<std::string> out(1);
        for (char c : flat) {
            if (c == kParEnd)
                out.emplace_back();
            else
                out.back() += c;
        }
        return out;
    }
};

TEST_F(RandomDocuments, FindNextAndPreviousAgreeWithAPlainSearch)
{
    int matches = 0;
    for (int round = 0; round < 400; ++round) {
        TQnRTFText doc;
        const FlatText flat = build(doc);
        TQnTextFinder finder(&doc);
        for (int k = 0; k < 8; ++k) {
            const Search s = randomSearch();
            SCOPED_TRACE("round " + std::to_string(round) + " text \"" + flat.chars +
                         "\" pattern \"" + s.pattern + "\" wild " + std::to_string(s.wildcard) +
                         " whole " + std::to_string(s.wholeWord) + " exact " +
                         std::to_string(s.exactCase) + " bold " + std::to_string(s.boldOnly));
            const NaiveSearch naive(flat, s);
            configure(finder, s);
            const std::vector<Hit> forward = test::allForward(finder, s.pattern);
            ASSERT_EQ(forward, naive.forward());
            configure(finder, s);
            ASSERT_EQ(test::allBackward(finder, s.pattern), naive.backward());
            matches += static_cast<int>(forward.size());

            // What the finder reports as the match is the text at its position.
            configure(finder, s);
            if (finder.FindNext(U32(s.pattern))) {
                EXPECT_EQ(Ansi(finder.FoundText()),
                          flat.chars.substr(finder.FoundPosition(), finder.FoundLength()));
            }
        }
    }
    EXPECT_GT(matches, 500); // the cross-check saw real matches
}

TEST_F(RandomDocuments, ReplaceAllAgreesWithAPlainSearchAndSurvivesRtf)
{
    int replaced = 0;
    for (int round = 0; round < 300; ++round) {
        TQnRTFTextIo doc;
        FlatText flat = build(doc);
        Search s = randomSearch();
        s.boldOnly = false; // replacements change the attributes
        const std::string replacement = pick(4) == 0 ? "" : (pick(2) ? s.pattern : "x\xE9y");
        SCOPED_TRACE("round " + std::to_string(round) + " text \"" + flat.chars + "\" pattern \"" +
                     s.pattern + "\" by \"" + replacement + "\"");

        // The plain replace-all: search on after each replacement.
        int expectedCount = 0;
        for (int from = 0;;) {
            int s0 = from, e = -1;
            for (; s0 < static_cast<int>(flat.chars.size()); ++s0)
                if ((e = NaiveSearch(flat, s).matchAt(s0)) >= 0)
                    break;
            if (e < 0)
                break;
            flat.chars.replace(s0, e - s0, replacement);
            flat.bold.assign(flat.chars.size(), false);
            from = s0 + static_cast<int>(replacement.size());
            ++expectedCount;
        }

        TQnTextFinder finder(&doc);
        configure(finder, s);
        ASSERT_EQ(finder.ReplaceAll(U32(s.pattern), U32(replacement)), expectedCount);
        ASSERT_EQ(test::texts(doc), split(flat.chars));
        replaced += expectedCount;

        // RTF out and back in gives the same text.
        doc.SaveFormat = kFormatRtf;
        doc.ForceRtf = true;
        TQnMemoryStream out;
        ASSERT_EQ(doc.SaveToStream(out), 0);
        TQnMemoryStream in(out.Bytes());
        TQnRTFTextIo back;
        ASSERT_EQ(back.LoadFromStream(in), kFormatRtf);
        ASSERT_EQ(back.ErrorState, kIoOk);
        ASSERT_EQ(test::texts(back), test::texts(doc));
    }
    EXPECT_GT(replaced, 100);
}

} // namespace
} // namespace qn
