#pragma once

// File names are found without regard to ASCII case, as the diary's files
// were on the system it came from ("QUILLNK.CDX", "quillnk.cdx" and
// "Quillnk.cdx" are one file).

#include <filesystem>
#include <optional>
#include <string_view>

namespace qn {

// The entry of `dir` whose name equals `name` without regard to ASCII case
// (the exact spelling first); nullopt when there is none.
std::optional<std::filesystem::path> FindFileNoCase(const std::filesystem::path &dir,
                                                    std::string_view name);

// The existing file that `path` names in any case; `path` itself when there
// is none.
std::filesystem::path FindPathNoCase(const std::filesystem::path &path);

} // namespace qn
