#pragma once

#include <stdexcept>
#include <string>

namespace qn {

// Failure of one of the document model's own operations. The text is shown to
// the user as it is (a tab separates the two halves of a message box text).
class EQnRTFText : public std::runtime_error {
public:
    explicit EQnRTFText(const std::string &text) : std::runtime_error(text) {}
};

inline constexpr const char *kErrorNewParagraphMemory = "Out of Memory in\tNewParagraph";
inline constexpr const char *kErrorLineTooLong = "Line longer then\t10000 character!";
inline constexpr const char *kErrorAttribPtr = "Error AttribPtr()";
inline constexpr const char *kErrorLastLine = "l=nil in Get_LastLine";

} // namespace qn
