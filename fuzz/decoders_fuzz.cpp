// libFuzzer target: bytes from outside through the text decoders (plain
// text, HTML with its declaration, a code page chosen by the first byte, fed
// one byte at a time), then the grapheme and case rules over what came out.

#include "platform/code_pages.h"
#include "platform/html_charset.h"
#include "platform/text_encoding.h"
#include "platform/unicode_text.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

constexpr int kCodePages[] = {1252, 1250, 1251,  1253, 874,   932,   936,  949,
                              950,  437,  65001, 1200, 51932, 50220, 54936};

void walk(std::u32string_view text)
{
    size_t pos = 0;
    size_t steps = 0;
    while (pos < text.size()) {
        const size_t next = qn::unicode::NextGraphemeBoundary(text, pos);
        if (next <= pos || next > text.size() || ++steps > text.size())
            std::abort();
        pos = next;
    }
    while (pos > 0) {
        const size_t previous = qn::unicode::PreviousGraphemeBoundary(text, pos);
        if (previous >= pos)
            std::abort();
        pos = previous;
    }
    for (char32_t c : text)
        if (qn::unicode::FoldCase(qn::unicode::FoldCase(c)) != qn::unicode::FoldCase(c))
            std::abort();
    bool good = false;
    if (qn::unicode::FromUtf8(qn::unicode::ToUtf8(text), &good).size() != text.size() || !good)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    walk(qn::DecodeText(bytes));
    walk(qn::DecodeHtmlBytes(bytes));
    if (!bytes.empty()) {
        const int codePage = kCodePages[static_cast<uint8_t>(bytes[0]) % std::size(kCodePages)];
        qn::CodePageDecoder decoder(codePage);
        std::u32string text;
        for (char ch : bytes.substr(1))
            text += decoder.Feed(static_cast<unsigned char>(ch));
        text += decoder.Flush();
        walk(text);
    }
    size_t length = 0;
    qn::HtmlLongestNamedReference(bytes.substr(0, 40), &length);
    return 0;
}
