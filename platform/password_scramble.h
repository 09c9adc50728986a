#pragma once

// The scrambling of the diary password in the preferences file. It only keeps
// the password from being read at a glance; the table's encryption is what
// protects the diary.

#include <string>
#include <string_view>

namespace qn {

// With n the length: the byte at an odd position p (counted from 1) becomes
// s[p] - n + 100, at an even position s[p] + n + 100, modulo 256.
std::string EncryptString(std::string_view s);
// The inverse of EncryptString.
std::string Decryptstring(std::string_view s);

} // namespace qn
