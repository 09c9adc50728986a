#pragma once

// The encoding of a plain text file: UTF-16 or UTF-8 when a byte order mark
// says so, UTF-8 when the bytes are well-formed UTF-8 (text of plain ASCII
// reads the same either way), Windows-1252 otherwise.

#include <string>
#include <string_view>

namespace qn {

enum class TextEncoding { Utf8, Utf8Bom, Utf16LE, Utf16BE, Windows1252 };

TextEncoding DetectTextEncoding(std::string_view bytes);

// The characters of the file, without its byte order mark. A UTF-16 file of an
// odd length ends in U+FFFD.
std::u32string DecodeText(std::string_view bytes, TextEncoding *found = nullptr);

} // namespace qn
