#pragma once

// The rich text engine's progress hook: one engine-wide callback that long
// reads and writes report percentages to. What the reports are shown as is the
// business of whoever installs the hook.
//
// Progress is a stack of nested ranges. The outermost range spans 0..100
// percent; a nested range starts at its parent's current percent and ends at
// the parent's end, or at the share of the rest that the parent set with
// ProgressShare. Each range maps its own total of units (bytes, characters)
// onto its span, so a reader nested in a loader moves the loader's bar only
// through the loader's share.
//
// While the hook is disabled, has no callback or is suspended (documents
// being cleared or copied), ranges started are inert: they report nothing,
// but ProgressEnd still pops them, so starts and ends always pair up.

#include <cstdint>
#include <functional>

namespace qn {

using TQnProgressCallback = std::function<void(void *userValue, int percent)>;

// The engine-wide settings, set by the application.
struct TQnProgressHook {
    bool Enabled = false;
    TQnProgressCallback Callback;
    void *UserValue = nullptr;
    bool Suspended = false;
};

TQnProgressHook &ProgressHook();
// Installs a callback and enables the hook (an empty callback disables it).
void SetProgressHook(TQnProgressCallback callback, void *userValue = nullptr);

// Pushes a range of `total` units; returns the units per reported step
// (at least 1). A total below 1 makes a range that reports nothing.
int ProgressStart(int64_t total);
// Sets the current range's share (percent of its remaining span) for its next child.
void ProgressShare(int percent);
// Reports that the current range has reached `position` units.
void ProgressStep(int64_t position);
// Reports the current range's end percent and pops it; 0 after the last one.
void ProgressEnd();
// Pops every range and reports 0.
void ProgressClear();
// Ranges open now (also the inert ones).
int ProgressDepth();

// Suspends the hook for a scope (nesting allowed).
class TQnProgressSuspend {
public:
    TQnProgressSuspend();
    ~TQnProgressSuspend();
    TQnProgressSuspend(const TQnProgressSuspend &) = delete;
    TQnProgressSuspend &operator=(const TQnProgressSuspend &) = delete;

private:
    bool was_;
};

// One range for the length of a scope: a run that reports its own units.
class TQnProgress {
public:
    explicit TQnProgress(int64_t total);
    ~TQnProgress(); // ends the range
    TQnProgress(const TQnProgress &) = delete;
    TQnProgress &operator=(const TQnProgress &) = delete;

    void Step(int64_t done)
    {
        if (done >= next_)
            report(done);
    }

private:
    void report(int64_t done);
    int64_t unitsPerStep_;
    int64_t next_;
};

} // namespace qn
