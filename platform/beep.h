#pragma once

#include <cstdint>
#include <functional>

namespace qn {

// The system's warning sound for the pure layers (the document model refuses
// typing into a covered table cell with MessageBeep(0)). The windowing layer
// installs a handler that sounds the real beep (platform/qt/messages.h);
// tests install one that counts. Without a handler a beep is silent.
using BeepHandler = std::function<void(uint32_t type)>;

void MessageBeep(uint32_t type);

// Installs the handler and returns the previous one.
BeepHandler SetBeepHandler(BeepHandler handler);

} // namespace qn
