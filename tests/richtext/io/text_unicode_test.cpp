// Plain text of every script: written as UTF-8, and read in the encoding the
// file is in (UTF-8 with or without its mark, UTF-16 with its mark, else
// Windows-1252).

#include <gtest/gtest.h>

#include "io_test_util.h"
#include "platform/unicode_text.h"
#include "richtext/io/rtf_text_io.h"
#include "richtext/io/text_writer.h"
#include "unicode_samples.h"

namespace qn::test {
namespace {

std::u32string loadedText(const std::string &bytes)
{
    TQnRTFTextIo doc;
    doc.LoadFormat = kFormatText;
    TQnMemoryStream in(bytes);
    EXPECT_EQ(doc.LoadFromStream(in), kFormatText);
    EXPECT_EQ(doc.ErrorState, kIoOk);
    return doc.ParagraphText(0);
}

std::string utf16(std::u32string_view text, bool bigEndian)
{
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const char16_t unit : unicode::ToUtf16(text)) {
        const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

TEST(TextUnicode, EveryScriptRoundTripsAsUtf8)
{
    for (const std::u32string &sample : kSamples) {
        TQnRTFText doc;
        const TCharAttr a = makeAttr();
        doc.SetParagraphText(0, sample, &a);
        TQnMemoryStream out;
        TQnTextWriter writer(doc);
        writer.Utf8 = true;
        writer.Write(out);
        std::string bytes = out.Bytes();
        bytes.erase(bytes.find_last_not_of(std::string("\r\n\0", 3)) + 1);
        EXPECT_EQ(bytes, unicode::ToUtf8(sample));
        EXPECT_EQ(loadedText(bytes), sample);
    }
}

TEST(TextUnicode, FilesAreReadInTheirEncoding)
{
    const std::u32string text = U"\u0141\u00F3d\u017A \u03B1\u03B8\u03AE\u03BD\u03B1 \u65E5\u672C "
                                U"\U0001F44D\U0001F3FD";
    EXPECT_EQ(loadedText(unicode::ToUtf8(text)), text);
    EXPECT_EQ(loadedText("\xEF\xBB\xBF" + unicode::ToUtf8(text)), text);
    EXPECT_EQ(loadedText(utf16(text, false)), text);
    EXPECT_EQ(loadedText(utf16(text, true)), text);
    // Bytes that are no UTF-8 are Windows-1252, as text files always were.
    EXPECT_EQ(loadedText("caf\xe9 \x80 5"), U"caf\u00E9 \u20AC 5");
    // Paragraphs end at CR (LF alone is ignored, as for every text file).
    TQnRTFTextIo doc;
    doc.LoadFormat = kFormatText;
    TQnMemoryStream in(unicode::ToUtf8(U"\u0391\r\n\u0392"));
    doc.LoadFromStream(in);
    EXPECT_EQ(doc.ParagraphCount(), 2);
    EXPECT_EQ(doc.ParagraphText(1), U"\u0392");
}

} // namespace
} // namespace qn::test
