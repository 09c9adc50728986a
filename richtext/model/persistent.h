#pragma once

#include <stdexcept>

namespace qn {

// Base of objects that can take over the contents of another one. A class
// that knows how to copy from a source overrides Assign (and calls the base
// for sources it does not know); a source that knows how to fill a target
// overrides AssignTo. When neither does, the assignment fails.
class TPersistent {
public:
    virtual ~TPersistent() = default;

    virtual void Assign(const TPersistent &source) { source.AssignTo(*this); }

protected:
    virtual void AssignTo(TPersistent &) const
    {
        throw std::invalid_argument("Cannot assign this object");
    }
};

} // namespace qn
