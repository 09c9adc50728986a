#pragma once

// Bytes of Windows code pages as Unicode characters: the code pages RTF
// names with \ansicpg and \fcharset, and the legacy encodings web pages
// declare. Code page 1252 is decoded exactly as ansi.h does it.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace qn {

// Code page numbers beyond the Windows ANSI and OEM pages.
constexpr int kCodePageUtf8 = 65001;
constexpr int kCodePageUtf16LE = 1200;
constexpr int kCodePageUtf16BE = 1201;

// The code page of an RTF \fcharset value. Nothing for 1 (the default: the
// document's \ansicpg applies), 2 (symbol fonts: the bytes are glyphs, not
// characters of a code page) and unknown values.
std::optional<int> CodePageOfCharset(int rtfCharset);

// Whether CodePageDecoder can decode the code page.
bool IsSupportedCodePage(int codePage);

// Decodes the bytes of one code page as they arrive, one at a time: RTF gives
// the two bytes of a double-byte character as two \'xx escapes. A lead byte
// waits for its trail byte. A byte or pair the code page does not map gives
// U+FFFD, as does a lead byte left over at Flush. An unsupported code page
// decodes as Windows-1252.
class CodePageDecoder {
public:
    explicit CodePageDecoder(int codePage);
    ~CodePageDecoder();
    CodePageDecoder(CodePageDecoder &&) noexcept;
    CodePageDecoder &operator=(CodePageDecoder &&) noexcept;

    int CodePage() const { return codePage_; }
    // The characters the byte completes (none while a character is pending).
    std::u32string Feed(unsigned char b);
    std::u32string Feed(std::string_view bytes);
    // The end of the text: a pending incomplete character becomes U+FFFD.
    std::u32string Flush();

private:
    struct Converter;
    int codePage_;
    std::unique_ptr<Converter> converter_;
};

// The whole of a text in one code page.
std::u32string DecodeCodePage(int codePage, std::string_view bytes);

} // namespace qn
