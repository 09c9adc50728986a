// The search across entries reads each entry's text in one pass and matches
// it in a folded buffer; it must find exactly what the text finder finds in
// the entry read as a document.
#include "app/entry_texts.h"
#include "richtext/edit/buffer_finder.h"
#include "richtext/edit/text_finder.h"
#include "richtext/io/rtf_plain_text.h"
#include "richtext/io/rtf_text_io.h"
#include "richtext/io/stream.h"
#include "tests/support/text32.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using qn::test::Ansi;
using qn::test::U32;

using namespace qn;

namespace {

// Matches as the search did before: the entry read into a document and
// searched by the text finder from its start.
bool documentMatches(TQnRTFTextIo &document, const std::string &rtf, const std::string &pattern)
{
    document.Clear();
    TQnMemoryStream stream(rtf);
    document.LoadFromStream(stream);
    TQnTextFinder finder;
    finder.SetDocument(&document);
    finder.Opts.Wildcard = '*';
    finder.ToStart();
    return finder.SearchForward(U32(pattern));
}

std::u32string withoutTrailingEnds(std::u32string text)
{
    while (!text.empty() && text.back() == U'\0')
        text.pop_back();
    return text;
}

const std::vector<std::string> kWords = {
    "Harbour",    "letters",       "RAIN",  "garden", "caf\\'e9", "na\\'efve", "\\'c9t\\'e9",
    "stra\\'dfe", "word",          "wor",   "a",      "b",        "ab",        "it\\'92s",
    "\\u8364?",   "x\\u233\\'3fy", "don't", "q",      "MiXeD",    "end"};

// A random entry: formatting, fields, notes, tables, pictures, hidden text,
// escapes and Unicode, now and then cut short or not RTF at all.
std::string randomEntry(std::mt19937 &random)
{
    const auto pick = [&](int n) { return static_cast<int>(random() % n); };
    std::string rtf = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Arial;}{\\f1 Times "
                      "word;}}{\\colortbl;\\red0\\green0\\blue0;}";
    if (pick(4) == 0)
        rtf += "{\\info{\\title word title}{\\author rain}}";
    if (pick(4) == 0)
        rtf += "{\\stylesheet{\\s0 Normal word;}}";
    rtf += "\r\n\\pard\\plain\\f0\\fs20 ";
    // One entry in three may hold tables and pictures, which the one pass
    // leaves to the reader.
    const bool objects = pick(3) == 0;
    const int pieces = 5 + pick(40);
    for (int i = 0; i < pieces; ++i) {
        const std::string &w = kWords[pick(static_cast<int>(kWords.size()))];
        int kind = pick(30);
        if (!objects && (kind == 5 || kind == 6))
            kind = 30;
        switch (kind) {
        case 0:
            rtf += "\\par\r\n";
            break;
        case 1:
            rtf += "{\\b " + w + "}";
            break;
        case 2:
            rtf += "{\\v " + w + "}"; // hidden text is text
            break;
        case 3:
            rtf += "{\\field{\\*\\fldinst HYPERLINK \"" + std::string("word") + "\"}{\\fldrslt " +
                   w + "}}";
            break;
        case 4:
            rtf += w + "{\\footnote " + w + " note}";
            break;
        case 5:
            rtf += "\\trowd\\cellx2000\\cellx4000\\intbl " + w + "\\cell rain\\cell\\row ";
            break;
        case 6:
            rtf += "{\\pict\\wmetafile8\\picw10\\pich10 0102030405}";
            break;
        case 7:
            rtf += "\\line ";
            break;
        case 8:
            rtf += "\\tab ";
            break;
        case 9:
            rtf += "\t";
            break;
        case 10:
            rtf += "{\\*\\unknownthing " + w + "}";
            break;
        case 11:
            rtf += "\\unknownword " + w;
            break;
        case 12:
            rtf += "\\{\\}\\\\\\~\\-\\_";
            break;
        case 13:
            rtf += "\\uc2\\u233 xx" + w + "\\uc1 ";
            break;
        case 14:
            rtf += "\\emdash\\lquote\\rquote ";
            break;
        case 15:
            rtf += "\\\r\n";
            break;
        case 16:
            rtf += "{\\i\\ul " + w + "}\\plain ";
            break;
        case 17:
            rtf += "\\u-4064?";
            break;
        case 18:
            rtf += "\\'0d\\'0a\\'00";
            break;
        case 19:
            rtf += "{\\*\\bkmkstart " + w + "}";
            break;
        default:
            rtf += w + " ";
        }
    }
    rtf += "\\par\r\n}";
    switch (pick(30)) {
    case 0:
        return rtf.substr(0, rtf.size() / 2); // cut short
    case 1:
        return rtf + "\\'zz}"; // past the end: never read
    case 2:
        return "  \r\n" + rtf; // blanks before the brace
    case 3:
        return "plain word\r\nrain and harbour\r\n"; // not RTF
    case 4:
        return "<p>word <b>rain</b></p>"; // HTML
    case 5:
        return "{\\rtf1 bad \\'zz word}";
    default:
        return rtf;
    }
}

std::string randomPattern(std::mt19937 &random)
{
    static const std::vector<std::string> fixed = {
        "*",     "**",      "wor*",    "*ord",    "w*d",       "a*b",      "r*n*",   "*a*",
        "word",  "WORD",    "caf\xe9", "CAF\xc9", "\xc9T\xc9", "stra\xdf", "\x80",   "it\x92s",
        "don't", "n\xefve", "x\xe9?y", "mixed",   "q*q",       "end*har",  "rain r", "\xe9xx",
        "nain",  "note",    "title",   "normal",  "hyperlink", "\t",       "{}\\",   "-"};
    if (random() % 3 != 0)
        return fixed[random() % fixed.size()];
    // A piece of a word, in any case, with a wildcard somewhere.
    static const std::string letters = "abdeghilnoqrstw*\xe9\xc9";
    std::string p;
    const int n = 1 + static_cast<int>(random() % 5);
    for (int i = 0; i < n; ++i) {
        char c = letters[random() % letters.size()];
        if (random() % 2 && c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        p += c;
    }
    return p;
}

} // namespace

TEST(EntryTexts, OnePassSearchFindsWhatTheDocumentSearchFinds)
{
    std::mt19937 random(20261210);
    TQnRTFTextIo document, scratch;
    int done = 0, compared = 0, hits = 0;
    for (int entry = 0; entry < 500; ++entry) {
        const std::string rtf = randomEntry(random);
        std::u32string onePass;
        if (AppendRtfPlainText(rtf, true, onePass) == PlainTextResult::Done) {
            ++done;
            // The text itself is the document's, character for character.
            document.Clear();
            TQnMemoryStream stream(rtf);
            document.LoadFromStream(stream);
            ASSERT_EQ(withoutTrailingEnds(onePass),
                      withoutTrailingEnds(FoldedDocumentText(document)))
                << "entry " << entry << ":\n"
                << rtf;
        }
        const std::u32string text = FoldedEntryText(rtf, scratch);
        for (int k = 0; k < 12; ++k) {
            const std::string pattern = randomPattern(random);
            const bool old = documentMatches(document, rtf, pattern);
            EXPECT_EQ(TQnBufferFinder(U32(pattern), U'*').Matches(text), old)
                << "pattern \"" << pattern << "\" in entry " << entry << ":\n"
                << rtf;
            ++compared;
            hits += old;
        }
    }
    // The generator exercises both readings and both answers.
    EXPECT_GT(done, 250);
    EXPECT_LT(done, 500);
    EXPECT_GT(hits, compared / 5);
    EXPECT_LT(hits, compared * 4 / 5);
}

TEST(EntryTexts, PatternsMatchAsTheTextFinderCutsThem)
{
    TQnRTFTextIo document, scratch;
    const std::string longWord(300, 'k');
    const std::string rtf = "{\\rtf1 start " + longWord + "*end\\par next\\par}";
    const std::u32string text = FoldedEntryText(rtf, scratch);
    for (const std::string &pattern :
         std::vector<std::string>{longWord, longWord + "x", std::string(255, 'k') + "*end",
                                  "start*next", std::string("t\\par n"), std::string("\0", 1),
                                  std::string("k\0", 2), "*" + std::string(256, 'k')}) {
        EXPECT_EQ(TQnBufferFinder(U32(pattern), U'*').Matches(text),
                  documentMatches(document, rtf, pattern))
            << pattern.size() << " characters";
    }
    EXPECT_FALSE(TQnBufferFinder(U"", U'*').Matches(text));
    EXPECT_FALSE(TQnBufferFinder(U"*", U'*').Matches(std::u32string(2, U'\0')));
}

TEST(EntryTexts, KeptWithinTheirLimitAndDroppedByKey)
{
    TEntryTexts texts(4096);
    // A character takes four bytes.
    texts.Store("20260101", std::u32string(250, U'a'));
    texts.Store("20260102", std::u32string(250, U'b'));
    ASSERT_NE(texts.Find("20260101"), nullptr);
    EXPECT_EQ(*texts.Find("20260102"), std::u32string(250, U'b'));
    // Past the limit a text is not kept; what is kept stays.
    texts.Store("20260103", std::u32string(750, U'c'));
    EXPECT_EQ(texts.Find("20260103"), nullptr);
    EXPECT_LE(texts.Bytes(), 4096u);
    // Storing again replaces; dropping frees its share.
    texts.Store("20260101", U"new");
    EXPECT_EQ(*texts.Find("20260101"), U"new");
    const size_t before = texts.Bytes();
    texts.Drop("20260102");
    EXPECT_LT(texts.Bytes(), before);
    EXPECT_EQ(texts.Find("20260102"), nullptr);
    texts.Clear();
    EXPECT_EQ(texts.Count(), 0u);
    EXPECT_EQ(texts.Bytes(), 0u);
}
