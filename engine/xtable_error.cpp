#include "engine/xtable_error.h"

namespace qn::engine {

std::string resultText(int code, const std::string &detail)
{
    std::string text;
    switch (code) {
    case xrOk:
        text = "No error";
        break;
    case xrBeginOfTable:
        text = "At the beginning of the table";
        break;
    case xrEndOfTable:
        text = "At the end of the table: there is no current record";
        break;
    case xrNotVisible:
        text = "The record is not visible under the table's filter";
        break;
    case xrNotInUse:
        text = "The table is not open (its work area is not in use)";
        break;
    case xrNumberTooBig:
        text = "The number does not fit in the field";
        break;
    case xrLocked:
        text = "The record is locked by another user";
        break;
    case xrOpenFailed:
        text = "The table could not be opened";
        break;
    default:
        text = "Table engine error " + std::to_string(code);
        break;
    }
    if (!detail.empty())
        text += ": " + detail;
    return text;
}

void check(int code, const std::string &detail)
{
    if (code != xrOk)
        throw EXTableError(code, resultText(code, detail));
}

} // namespace qn::engine
