#pragma once

#include <cstdint>
#include <functional>

namespace qn {

// The system's warning sound. Pure code calls MessageBeep; the windowing layer
// installs a handler that really sounds (tests install one that counts).
// Without a handler a beep is silent.
using BeepHandler = std::function<void(uint32_t type)>;

void MessageBeep(uint32_t type);

// Installs the handler and returns the previous one.
BeepHandler SetBeepHandler(BeepHandler handler);

} // namespace qn
