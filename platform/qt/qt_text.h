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

} // namespace qn
