#include "richtext/io/rtf_strings.h"

#include <stdexcept>

namespace qn {

void TQnRtfStrings::indexError(int index) const
{
    throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
}

int TQnRtfStrings::Count() const
{
    return doc_.IsEmpty() ? 0 : doc_.ParagraphCount();
}

std::u32string TQnRtfStrings::Get(int index) const
{
    if (index < 0 || index >= Count())
        indexError(index);
    return doc_.ParagraphText(index);
}

void TQnRtfStrings::Put(int index, std::u32string_view text)
{
    if (index < 0 || index >= doc_.ParagraphCount())
        indexError(index);
    doc_.ResetCursor();
    doc_.SetParagraphText(index, text, &doc_.CurrentAttr);
    doc_.ResetCursor();
}

void TQnRtfStrings::Insert(int index, std::u32string_view text)
{
    doc_.ResetCursor();
    doc_.AddParagraphWithText(index, text, &doc_.CurrentAttr);
    doc_.ResetCursor();
}

void TQnRtfStrings::Delete(int index)
{
    if (index < 0 || index >= Count())
        indexError(index);
    doc_.DeleteParagraphAt(index);
    doc_.ResetCursor();
}

void TQnRtfStrings::Clear()
{
    doc_.Clear();
}

void TQnRtfStrings::EndUpdate()
{
    doc_.Changed();
}

void TQnRtfStrings::LoadFromStream(TQnStream &stream)
{
    doc_.Clear();
    const uint8_t saved = doc_.LoadFormat;
    doc_.LoadFormat = kFormatAuto;
    struct Restore {
        TQnRTFTextIo &doc;
        uint8_t format;
        ~Restore() { doc.LoadFormat = format; }
    } restore{doc_, saved};
    doc_.LoadFromStream(stream);
}

int TQnRtfStrings::SaveToStream(TQnStream &output)
{
    TQnTextWriter writer(doc_);
    return doc_.WriteWithWriter(&output, &writer);
}

} // namespace qn
