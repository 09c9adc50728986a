#pragma once

// Tests written in Windows-1252 literals compare with the model's Unicode
// text through these two conversions.

#include <string>
#include <string_view>

#include "platform/ansi.h"
#include "platform/unicode_text.h"

namespace qn::test {

// The model's text as Windows-1252 bytes ('?' for what the code page lacks).
inline std::string Ansi(std::u32string_view text)
{
    return ToAnsiLossy(text);
}

// Windows-1252 bytes as model text.
inline std::u32string U32(std::string_view ansi)
{
    return unicode::FromAnsi(ansi);
}

} // namespace qn::test
