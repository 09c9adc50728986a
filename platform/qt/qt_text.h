#pragma once

// Windows-1252 text at the Qt boundary.

#include <QString>

#include <optional>
#include <string>
#include <string_view>

namespace qn {

QString AnsiToQString(std::string_view ansi);
// Nothing when the text holds a character Windows-1252 cannot hold.
std::optional<std::string> QStringToAnsi(const QString &text);

// The document's Unicode text and Qt's UTF-16: a surrogate pair is one
// character, a lone surrogate half becomes U+FFFD.
QString TextToQString(std::u32string_view text);
std::u32string QStringToText(const QString &text);

} // namespace qn
