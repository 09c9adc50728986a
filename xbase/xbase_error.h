#pragma once

#include <stdexcept>
#include <string>

namespace qn::xbase {

// Every failure of the table engine: damaged files, I/O errors, refused
// operations. The text is shown to people, so it says what and where.
class XbaseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace qn::xbase
