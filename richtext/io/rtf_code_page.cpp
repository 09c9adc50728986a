#include "richtext/io/rtf_code_page.h"

#include "platform/ansi.h"
#include "platform/code_pages.h"

namespace qn::rtf {

void RtfCodePages::SetDocumentPage(int codePage)
{
    // RTF's text is bytes: pages of two-byte units, or one that shifts
    // between sets with escape sequences, would read its letters as garbage.
    if (codePage == kCodePageUtf16LE || codePage == kCodePageUtf16BE || codePage == 50220)
        return;
    if (codePage == kDefaultCodePage || IsSupportedCodePage(codePage))
        documentPage_ = codePage;
}

void RtfCodePages::SetFontCharset(int32_t font, int charset)
{
    if (charset == 2) {
        fonts_[font] = kDefaultCodePage; // symbol glyphs: the bytes as they are
        return;
    }
    const std::optional<int> page = CodePageOfCharset(charset);
    if (page && (*page == kDefaultCodePage || IsSupportedCodePage(*page)))
        fonts_[font] = *page;
    else
        fonts_.erase(font); // the document's code page applies
}

int RtfCodePages::PageOf(int32_t font) const
{
    if (fonts_.empty())
        return documentPage_;
    const auto it = fonts_.find(font == kNoFont ? defaultFont_ : font);
    return it == fonts_.end() ? documentPage_ : it->second;
}

char32_t RtfByteDecoder::ansi(uint8_t b)
{
    return AnsiToUnicode(b);
}

void RtfByteDecoder::feedPage(uint8_t b, int codePage, std::u32string &out)
{
    if (decoder_ && decoder_->CodePage() != codePage) {
        flushPending(out);
        decoder_.reset();
    }
    if (codePage == kDefaultCodePage) {
        out.push_back(ansi(b));
        return;
    }
    if (!decoder_)
        decoder_.emplace(codePage);
    const std::u32string chars = decoder_->Feed(b);
    out += chars;
    // A lead byte gives nothing until its trail arrives.
    pending_ = chars.empty();
}

void RtfByteDecoder::flushPending(std::u32string &out)
{
    if (decoder_)
        out += decoder_->Flush();
    pending_ = false;
}

} // namespace qn::rtf
