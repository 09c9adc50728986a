#pragma once

// The table of HTML's named character references (html_entities_table.cpp,
// generated). Used by html_charset.cpp; callers use HtmlNamedReference.

#include <cstddef>

namespace qn::html_entities {

struct Entry {
    const char *name; // as written after '&', with its ';' when it has one
    char32_t first;
    char32_t second; // 0 for references of one character
};

extern const Entry kEntries[];
extern const size_t kEntryCount;

} // namespace qn::html_entities
