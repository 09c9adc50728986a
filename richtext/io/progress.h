#pragma once

// The rich text engine's progress hook: one engine-wide callback that long
// reads and writes report to. What the reports are shown as is the business
// of whoever installs the hook; with no hook installed reporting costs a test.

#include <cstdint>
#include <functional>

namespace qn {

enum class TQnProgressEvent : uint8_t {
    Start, // a run begins; total is its size (bytes or characters)
    Step,  // done of total so far
    End,   // the run is over (also after a failure)
};

using TQnProgressHook = std::function<void(TQnProgressEvent event, int64_t done, int64_t total)>;

// Installs the hook (an empty function removes it); returns the previous one.
TQnProgressHook SetProgressHook(TQnProgressHook hook);
bool HasProgressHook();

// Reports one run. Steps are passed on only when they move by at least
// 1/256 of the total, so callers may report as often as they like.
class TQnProgress {
public:
    explicit TQnProgress(int64_t total);
    ~TQnProgress(); // reports End
    TQnProgress(const TQnProgress &) = delete;
    TQnProgress &operator=(const TQnProgress &) = delete;

    void Step(int64_t done)
    {
        if (active_ && done >= next_)
            report(done);
    }

private:
    void report(int64_t done);
    bool active_;
    int64_t total_;
    int64_t next_ = 0;
};

} // namespace qn
