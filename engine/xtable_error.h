#pragma once

// Result codes of the table cursor and the exception the data-access layer
// turns them into.

#include <stdexcept>
#include <string>

namespace qn::engine {

enum TXResult : int {
    xrOk = 0,
    xrBeginOfTable = 8705,  // before the first record
    xrEndOfTable = 8706,    // past the last record
    xrNotVisible = 8709,    // the record is not visible under the filter
    xrNotInUse = 9990,      // the work area holds no table
    xrNumberTooBig = 10019, // a number does not fit its field
    xrLocked = 10245,       // a record lock failed
    xrOpenFailed = 11011,   // the table could not be opened
};

// A failure of a table operation: the result code and a text for the user.
class EXTableError : public std::runtime_error {
public:
    EXTableError(int code, const std::string &text) : std::runtime_error(text), code_(code) {}
    int code() const { return code_; }

private:
    int code_;
};

// Raised by the entry points the engine does not offer.
class EXNotSupported : public EXTableError {
public:
    explicit EXNotSupported(const std::string &entryPoint)
        : EXTableError(xrOk, "This function not supported by the table engine : " + entryPoint)
    {
    }
};

// The fixed text of a result code; detail (the engine's own message, the
// table's name) is added after it when given.
std::string resultText(int code, const std::string &detail = {});
// Throws EXTableError for a non-zero code.
void check(int code, const std::string &detail = {});

} // namespace qn::engine
