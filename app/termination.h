#pragma once

// Termination requests from outside the program (SIGTERM, SIGINT, SIGHUP)
// reach the event loop as one call, so that the window can save and close
// as the user's own Exit would.

#include <functional>

namespace qn {

// Installs the signal handlers; `onRequest` runs in the event loop once per
// delivered signal. Call once, after the application object exists.
void WatchTerminationSignals(std::function<void()> onRequest);

} // namespace qn
