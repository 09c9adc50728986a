#pragma once

#include <stdexcept>
#include <string>

namespace qn::xbase {

// Every failure of the table engine. The text is shown to people, so it says
// what and where; the kind, set where the error is raised, is what callers
// and result codes look at (never the text).
class XbaseError : public std::runtime_error {
public:
    enum class Kind {
        Expression, // an expression, filter or key that cannot be parsed or evaluated
        Lock,       // a record, table or file is locked by someone else
        Password,   // an encrypted file and a missing or wrong password
        Damaged,    // a file's contents are impossible
        Io,         // the operating system refused a read, write or open
        Refused,    // a request the engine does not allow (arguments, state, limits)
        Tampered,   // an encrypted record, memo or index whose authentication tag does not
                    // match: changed by someone without the key (an index page found changed
                    // after its index was opened and checked is Damaged: the index, not a
                    // record, is then lost)
    };

    XbaseError(Kind kind, const std::string &what) : std::runtime_error(what), kind_(kind) {}

    static XbaseError expression(const std::string &what) { return {Kind::Expression, what}; }
    static XbaseError lock(const std::string &what) { return {Kind::Lock, what}; }
    static XbaseError damaged(const std::string &what) { return {Kind::Damaged, what}; }
    static XbaseError io(const std::string &what) { return {Kind::Io, what}; }
    static XbaseError refused(const std::string &what) { return {Kind::Refused, what}; }
    static XbaseError tampered(const std::string &what) { return {Kind::Tampered, what}; }

    Kind kind() const { return kind_; }
    bool isExpression() const { return kind_ == Kind::Expression; }
    bool isLock() const { return kind_ == Kind::Lock; }
    bool isPassword() const { return kind_ == Kind::Password; }
    bool isDamaged() const { return kind_ == Kind::Damaged; }
    bool isIo() const { return kind_ == Kind::Io; }
    bool isRefused() const { return kind_ == Kind::Refused; }
    bool isTampered() const { return kind_ == Kind::Tampered; }

private:
    Kind kind_;
};

} // namespace qn::xbase
