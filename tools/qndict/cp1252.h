#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qn::qndict {

// Windows-1252 text to UTF-8; the five unassigned bytes become the C1
// controls of the same value, as Windows converts them.
std::string ToUtf8(std::string_view ansi);

// UTF-8 to Windows-1252. Nothing when the text is not valid UTF-8 or holds a
// character that Windows-1252 cannot hold.
std::optional<std::string> FromUtf8(std::string_view utf8);

// True when the text is well-formed UTF-8.
bool IsUtf8(std::string_view text);

// A line of a word list or a command-line word: UTF-8 when it is valid UTF-8,
// Windows-1252 bytes otherwise. Nothing when it holds a character outside
// Windows-1252.
std::optional<std::string> InputToAnsi(std::string_view text);

} // namespace qn::qndict
