#pragma once

// The release this build belongs to, such as "2.1a". CMake writes it from the
// project's version (the top CMakeLists.txt) into a generated source file.

namespace qn {

const char *Version();

} // namespace qn
