#pragma once

// The characters of RTF's bytes: a \'xx escape or a plain byte of the text is
// a byte of the current font's code page (its \fcharset in the font table),
// or else of the document's (\ansicpg, \mac, \pc, \pca; Windows-1252 when it
// names none). Double-byte code pages give one character for a lead byte and
// its trail, whichever way each is written. Symbol fonts (\fcharset2) and the
// classic \charset word keep the bytes as Windows-1252, so that every
// document written before reads exactly as it did.
//
// Shared by the RTF reader and the one-pass text extraction, so that both
// give the same characters.

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

#include "platform/code_pages.h"

namespace qn::rtf {

constexpr int kDefaultCodePage = 1252;

// The code pages of a document's fonts.
class RtfCodePages {
public:
    // \ansicpg and its kin; a page we cannot decode, or one whose text is
    // not made of bytes, is ignored.
    void SetDocumentPage(int codePage);
    // \deff: the font of text before any \f.
    void SetDefaultFont(int32_t font) { defaultFont_ = font; }
    // \fcharset of a font table entry.
    void SetFontCharset(int32_t font, int charset);
    // The code page of text in the font (kNoFont: the default font).
    int PageOf(int32_t font) const;

    static constexpr int32_t kNoFont = -1;

private:
    int documentPage_ = kDefaultCodePage;
    int32_t defaultFont_ = 0;
    std::unordered_map<int32_t, int> fonts_;
};

// Bytes of the text to characters, one byte at a time; a lead byte waits for
// its trail.
class RtfByteDecoder {
public:
    // Appends the characters the byte completes.
    void Feed(uint8_t b, int codePage, std::u32string &out)
    {
        if (codePage == kDefaultCodePage && !decoder_) {
            out.push_back(ansi(b));
            return;
        }
        feedPage(b, codePage, out);
    }
    // A lead byte left waiting becomes U+FFFD.
    void Flush(std::u32string &out)
    {
        if (pending_)
            flushPending(out);
    }
    bool Pending() const { return pending_; }

private:
    static char32_t ansi(uint8_t b);
    void feedPage(uint8_t b, int codePage, std::u32string &out);
    void flushPending(std::u32string &out);

    std::optional<CodePageDecoder> decoder_;
    bool pending_ = false;
};

} // namespace qn::rtf
