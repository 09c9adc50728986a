#pragma once

namespace qn {

// The first steps of the process, before the main window: the printer list
// correction (errors ignored), then the single-instance check. False, after
// telling the user "Quillnook! is already running", when another copy runs
// and this one must end.
bool PrepareStart();

} // namespace qn
