#include "platform/qt/qt_text.h"

#include "platform/ansi.h"
#include "platform/unicode_text.h"

namespace qn {

QString AnsiToQString(std::string_view ansi)
{
    std::u16string utf16 = AnsiToUtf16(ansi);
    return QString::fromUtf16(utf16.data(), static_cast<qsizetype>(utf16.size()));
}

std::optional<std::string> QStringToAnsi(const QString &text)
{
    return Utf16ToAnsi(std::u16string_view(reinterpret_cast<const char16_t *>(text.utf16()),
                                           static_cast<size_t>(text.size())));
}

QString TextToQString(std::u32string_view text)
{
    return QString::fromUcs4(text.data(), static_cast<qsizetype>(text.size()));
}

std::u32string QStringToText(const QString &text)
{
    return unicode::FromUtf16(std::u16string_view(reinterpret_cast<const char16_t *>(text.utf16()),
                                                  static_cast<size_t>(text.size())));
}

} // namespace qn
