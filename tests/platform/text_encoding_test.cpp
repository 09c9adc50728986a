#include "platform/text_encoding.h"

#include <gtest/gtest.h>

using namespace qn;

TEST(TextEncoding, DetectsByMarkThenByWellFormedness)
{
    struct Case {
        std::string bytes;
        TextEncoding encoding;
        std::u32string text;
    };
    const std::vector<Case> cases = {
        {"", TextEncoding::Utf8, U""},
        {"plain ASCII\r\n", TextEncoding::Utf8, U"plain ASCII\r\n"},
        {"\xC5\x81\xC3\xB3\x64\xC5\xBA", TextEncoding::Utf8, U"Łódź"},
        {"\xEF\xBB\xBF\xE2\x82\xAC", TextEncoding::Utf8Bom, U"€"},
        {"\xEF\xBB\xBF", TextEncoding::Utf8Bom, U""},
        {std::string("\xFF\xFEh\0\xAC\x20=\xD8\x00\xDE", 10), TextEncoding::Utf16LE, U"h€😀"},
        {std::string("\xFE\xFF\0h\x20\xAC", 6), TextEncoding::Utf16BE, U"h€"},
        // Western bytes are no UTF-8: é alone, a curly quote, a euro sign.
        {"caf\xE9 \x93quoted\x94 \x80", TextEncoding::Windows1252, U"café “quoted” €"},
        // One bad sequence late in a long UTF-8 file makes it western.
        {std::string(5000, 'a') + "\xC3\xA9\xC3", TextEncoding::Windows1252,
         std::u32string(5000, U'a') + U"Ã©Ã"},
    };
    for (const Case &c : cases) {
        TextEncoding found{};
        EXPECT_EQ(DetectTextEncoding(c.bytes), c.encoding) << c.bytes;
        EXPECT_EQ(DecodeText(c.bytes, &found), c.text) << c.bytes;
        EXPECT_EQ(found, c.encoding) << c.bytes;
    }
}

TEST(TextEncoding, BrokenUtf16KeepsWhatItCan)
{
    // An odd last byte and a lone surrogate each give U+FFFD.
    EXPECT_EQ(DecodeText(std::string("\xFF\xFEh\0\x3D\xD8i\0x", 9)), U"h\uFFFDi\uFFFD");
}
