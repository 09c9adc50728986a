// RTF written by independent programs (see fixtures/README.md for how each
// file was made): the text and the basic formatting must come through, and
// what was read must store and load again unchanged.

#include <gtest/gtest.h>

#include "platform/ansi.h"
#include "tests/richtext/io/io_test_util.h"
#include "tests/support/command.h"
#include "tests/support/temp_dir.h"
#include "tests/support/text32.h"

using namespace qn;
using namespace qn::test;

namespace {

struct Found {
    int paragraph = -1;
    int offset = -1;
};

// Where a UTF-8 text first occurs in the document's paragraphs.
Found find(const TQnRTFText &doc, std::string_view utf8)
{
    const std::string ansi = *Utf8ToAnsi(utf8);
    for (int i = 0; i < doc.ParagraphCount(); ++i) {
        const size_t at = Ansi(doc.ParagraphText(i)).find(ansi);
        if (at != std::string::npos)
            return {i, static_cast<int>(at)};
    }
    return {};
}

std::unique_ptr<TQnRTFText> load(const std::string &name)
{
    auto doc = std::make_unique<TQnRTFText>();
    const std::string rtf = readFile(sourceDir() / "tests/richtext/io/fixtures" / name);
    EXPECT_FALSE(rtf.empty()) << name;
    EXPECT_EQ(readRtf(*doc, rtf), 0) << name;
    // Stored and loaded again, it stays as it is.
    const std::string once = writeRtf(*doc);
    TQnRTFText again;
    EXPECT_EQ(readRtf(again, once), 0);
    EXPECT_EQ(writeRtf(again), once) << name;
    return doc;
}

// Style bits of every character of a text found in the document.
uint16_t stylesOf(const TQnRTFText &doc, std::string_view utf8)
{
    const Found f = find(doc, utf8);
    EXPECT_GE(f.paragraph, 0) << utf8;
    if (f.paragraph < 0)
        return 0;
    uint16_t all = 0xFFFF;
    for (size_t i = 0; i < utf8.size() && i < 3; ++i)
        all &= attrAt(doc, f.paragraph, f.offset + static_cast<int>(i)).Style;
    return all;
}

// The same source document, converted by two programs.
void checkSummerDocument(const TQnRTFText &doc)
{
    for (const char *text :
         {"Diary of a Summer",
          "The bold word and the italic word and the underlined word and "
          "struck text.",
          "Café in Zürich costs € 5 — naïve “quotes” and ‘single’ ones; 50 °C; ½ price.",
          "A quoted paragraph that is indented from the left margin.", "first item", "numbered two",
          "Left cell", "Right cell", "cherry", "A sentence with a footnote",
          "code text at the end."})
        EXPECT_GE(find(doc, text).paragraph, 0) << text;
    EXPECT_TRUE(stylesOf(doc, "bold word") & kStyleBold);
    EXPECT_TRUE(stylesOf(doc, "italic word") & kStyleItalic);
    EXPECT_TRUE(stylesOf(doc, "underlined word") & kStyleUnderline);
    EXPECT_TRUE(stylesOf(doc, "struck") & kStyleStrikeout);
    EXPECT_FALSE(stylesOf(doc, "The ") & (kStyleBold | kStyleItalic));
    EXPECT_GT(doc.ParagraphAt(find(doc, "A quoted paragraph").paragraph)->LeftIndent, 0);
    const TParagraph *cell = doc.ParagraphAt(find(doc, "Left cell").paragraph);
    EXPECT_TRUE(cell->IsTableCell());
    EXPECT_TRUE(cell->Next->IsTableCell());
    EXPECT_EQ(Ansi(doc.ParagraphText(find(doc, "apple").paragraph)), "apple");
    ASSERT_EQ(doc.Footnotes.size(), 1u);
    EXPECT_NE(doc.Footnotes[0]->Text.find("The footnote text."), std::string::npos);
}

} // namespace

TEST(Interop, PandocDocument)
{
    auto doc = load("pandoc.rtf");
    checkSummerDocument(*doc);
    const TParagraph *heading = doc->ParagraphAt(find(*doc, "Diary of a Summer").paragraph);
    EXPECT_EQ(attrAt(*doc, 0, 0).Size, 18);
    EXPECT_TRUE(attrAt(*doc, 0, 0).Style & kStyleBold);
    EXPECT_EQ(heading->SpaceAfter, 180);
    EXPECT_EQ(doc->Header->FontNames[attrAt(*doc, 0, 0).FontIndex], "Helvetica");
}

TEST(Interop, LibreOfficeDocument)
{
    auto doc = load("libreoffice.rtf");
    checkSummerDocument(*doc);
    EXPECT_EQ(doc->Header->PageWidth, 12240);
}

TEST(Interop, LibreOfficeFormatting)
{
    auto doc = load("libreoffice-formatting.rtf");
    const Found heading = find(*doc, "Centred bold heading");
    ASSERT_GE(heading.paragraph, 0);
    EXPECT_EQ(doc->ParagraphAt(heading.paragraph)->Alignment, kAlignCenter);
    EXPECT_TRUE(attrAt(*doc, heading.paragraph, heading.offset).Style & kStyleBold);
    const Found red = find(*doc, "red text");
    const uint8_t colour = attrAt(*doc, red.paragraph, red.offset).Colors & 15;
    EXPECT_EQ(doc->Header->Colors[colour], 0x0000FFu);
    const Found big = find(*doc, "big text");
    EXPECT_EQ(attrAt(*doc, big.paragraph, big.offset).Size, 20);
    EXPECT_TRUE(stylesOf(*doc, "italic") & kStyleItalic);
    EXPECT_EQ(doc->ParagraphAt(find(*doc, "Right aligned").paragraph)->Alignment, kAlignRight);
    const TParagraph *indented = doc->ParagraphAt(find(*doc, "Indented by one inch").paragraph);
    EXPECT_EQ(indented->LeftIndent, 1440);
    EXPECT_GE(find(*doc, "with a tab\tafter it.").paragraph, 0);
    EXPECT_GE(find(*doc, "Umlauts äöü ß, accents éèê, Euro €.").paragraph, 0);
    EXPECT_EQ(doc->Header->PageWidth, 11906);
    EXPECT_EQ(doc->Header->MarginRight, 567);
    EXPECT_EQ(doc->Header->Title, ""); // inside \info, which is skipped
}

namespace {

// The words of each paragraph of a converter's text output: runs of letters
// and digits, so that list markers, dashes and quotes (which some converters
// drop) do not count; lines without words are left out.
using Paragraphs = std::vector<std::vector<std::string>>;

bool isWordChar(char32_t c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
           (c >= 0xC0 && c <= 0x24F && c != 0xD7 && c != 0xF7);
}

Paragraphs wordsOf(const std::u32string &text)
{
    Paragraphs result;
    std::vector<std::string> words;
    std::u32string word;
    auto endWord = [&] {
        if (word.empty())
            return;
        std::string utf8;
        for (char32_t c : word) {
            if (c < 0x80) {
                utf8.push_back(static_cast<char>(c));
            } else {
                utf8.push_back(static_cast<char>(0xC0 | c >> 6));
                utf8.push_back(static_cast<char>(0x80 | (c & 0x3F)));
            }
        }
        words.push_back(std::move(utf8));
        word.clear();
    };
    for (char32_t c : text + U'\n') {
        if (isWordChar(c)) {
            word.push_back(c);
            continue;
        }
        endWord();
        if (c == '\n' && !words.empty())
            result.push_back(std::move(words)), words.clear();
    }
    return result;
}

std::u32string fromAnsi(std::string_view bytes)
{
    std::u32string text;
    for (unsigned char c : bytes)
        text.push_back(AnsiToUnicode(c));
    return text;
}

std::u32string fromUtf8(std::string_view bytes)
{
    std::u32string text;
    for (size_t i = 0; i < bytes.size();) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        const int more = b < 0x80 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : 3;
        char32_t c = more == 0 ? b : b & (0x3F >> more);
        for (int k = 1; k <= more && i + k < bytes.size(); ++k)
            c = c << 6 | (static_cast<unsigned char>(bytes[i + k]) & 0x3F);
        text.push_back(c);
        i += 1 + more;
    }
    return text;
}

std::string show(const Paragraphs &paragraphs)
{
    std::string text;
    for (const auto &words : paragraphs) {
        for (const auto &w : words)
            text += w + " ";
        text += "|\n";
    }
    return text;
}

} // namespace

// The files written the way current word processors write RTF convert to
// text with the same words in the same paragraphs as two independent
// converters give.
TEST(Interop, ConvertersAgreeOnTheWordsOfEachParagraph)
{
    const auto tool = binaryDir() / "bin" / "qnrtf";
    if (!std::filesystem::exists(tool))
        GTEST_SKIP() << "qnrtf is not built";
    if (!commandOutput("pandoc --version") || !commandOutput("unrtf --version"))
        GTEST_SKIP() << "pandoc or unrtf is not installed (scripts/setup.sh installs both)";
    for (const char *name :
         {"heading-math.rtf", "list-backslash-ends.rtf", "list-unicode-bullets.rtf"}) {
        const std::string file =
            shellQuote((sourceDir() / "tests/richtext/io/fixtures" / name).string());
        const auto ours =
            commandOutput(shellQuote(tool.string()) + " --format text " + file + " -");
        const auto pandoc = commandOutput("pandoc --wrap=none -f rtf -t plain " + file);
        const auto unrtf = commandOutput("unrtf --text " + file);
        ASSERT_TRUE(ours && pandoc && unrtf) << name;
        // unrtf puts a header of its own above a line of dashes.
        const size_t body = unrtf->find("-----------------\n");
        ASSERT_NE(body, std::string::npos) << name;
        const Paragraphs expected = wordsOf(fromUtf8(*pandoc));
        EXPECT_FALSE(expected.empty()) << name;
        EXPECT_EQ(show(wordsOf(fromUtf8(*ours))), show(expected)) << name << " against pandoc";
        EXPECT_EQ(show(wordsOf(fromAnsi(unrtf->substr(body + 18)))), show(expected))
            << name << " against unrtf";
    }
}
