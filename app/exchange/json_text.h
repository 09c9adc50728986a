#pragma once

// The little JSON the diary's line files need: one flat object per line
// whose values are strings.

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace qn::exchange {

// A UTF-8 text as a JSON string, quotes included. Control characters and
// the quote and backslash are escaped; everything else is kept as it is.
std::string JsonQuote(std::string_view utf8);

// One object of string members, e.g. {"date":"2026-12-07","text":"..."}.
// Nothing when the line is not such an object; `error` then says why.
// Escapes \uXXXX (surrogate pairs too) become UTF-8.
std::optional<std::map<std::string, std::string>> ParseJsonStringObject(std::string_view line,
                                                                        std::string &error);

} // namespace qn::exchange
