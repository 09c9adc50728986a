#include "app/entry_texts.h"

#include "richtext/edit/buffer_finder.h"
#include "richtext/io/rtf_plain_text.h"
#include "richtext/io/rtf_text_io.h"
#include "richtext/io/stream.h"

namespace qn {

size_t TEntryTexts::cost(const std::string &key, const std::u32string &text)
{
    constexpr size_t kNodeCost = 96; // the map's node and the strings' own bookkeeping
    return key.capacity() + text.capacity() * sizeof(char32_t) + kNodeCost;
}

const std::u32string *TEntryTexts::Find(const std::string &key) const
{
    const auto it = texts_.find(key);
    return it == texts_.end() ? nullptr : &it->second;
}

void TEntryTexts::Store(const std::string &key, std::u32string text)
{
    Drop(key);
    text.shrink_to_fit();
    const size_t c = cost(key, text);
    if (bytes_ + c > limit_)
        return;
    bytes_ += c;
    texts_.emplace(key, std::move(text));
}

void TEntryTexts::Drop(const std::string &key)
{
    const auto it = texts_.find(key);
    if (it == texts_.end())
        return;
    bytes_ -= cost(it->first, it->second);
    texts_.erase(it);
}

void TEntryTexts::Clear()
{
    texts_.clear();
    bytes_ = 0;
}

std::u32string FoldedDocumentText(const TQnRTFTextIo &document)
{
    std::u32string text;
    for (const TParagraph *p = document.FirstParagraph; p; p = p->Next) {
        for (const TLine *line = p->Lines; line; line = line->Next)
            TQnBufferFinder::AppendFolded(std::u32string_view(line->Text, line->Length), text);
        text.push_back(U'\0');
    }
    return text;
}

std::u32string FoldedEntryText(const std::string &stored, TQnRTFTextIo &scratch)
{
    std::u32string text;
    if (AppendRtfPlainText(stored, true, text) == PlainTextResult::Done)
        return text;
    scratch.Clear();
    TQnMemoryStream stream(stored);
    scratch.LoadFromStream(stream);
    text = FoldedDocumentText(scratch);
    scratch.Clear();
    return text;
}

} // namespace qn
