#pragma once

#include <cstdint>
#include <string>

namespace qn::xbase {

// One column of a table as its descriptor in the table header says.
struct FieldInfo {
    std::string name;    // upper case, at most 10 characters
    char type = 'C';     // C N F D L M G I T B Y ...
    uint16_t length = 0; // bytes in the record (C may exceed 255)
    uint8_t decimals = 0;
    uint32_t offset = 0; // inside the record; the deletion flag is byte 0
};

// Upper-cases ASCII letters only; field and tag names are ASCII.
std::string asciiUpper(std::string text);

} // namespace qn::xbase
