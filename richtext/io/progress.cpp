#include "richtext/io/progress.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace qn {

namespace {

struct Range {
    bool Active = false;
    double Start = 0, End = 100, Current = 0; // percent
    double Scale = 0;                         // percent per unit
    int64_t UnitsPerStep = 1;
    int64_t LastPosition = 0;
    int LastReported = -1;
    int Share = 100; // for the next child
};

// Engine-wide, like the language setting: the engine runs on one thread.
struct State {
    TQnProgressHook Hook;
    std::vector<Range> Ranges;
};

State &state()
{
    static State s;
    return s;
}

void report(int percent)
{
    auto &h = state().Hook;
    if (h.Enabled && h.Callback)
        h.Callback(h.UserValue, percent);
}

} // namespace

TQnProgressHook &ProgressHook()
{
    return state().Hook;
}

void SetProgressHook(TQnProgressCallback callback, void *userValue)
{
    auto &h = state().Hook;
    h.Enabled = static_cast<bool>(callback);
    h.Callback = std::move(callback);
    h.UserValue = userValue;
}

int ProgressStart(int64_t total)
{
    auto &s = state();
    Range r;
    const bool parentActive = s.Ranges.empty() || s.Ranges.back().Active;
    r.Active = s.Hook.Enabled && s.Hook.Callback && !s.Hook.Suspended && parentActive;
    if (!s.Ranges.empty()) {
        Range &parent = s.Ranges.back();
        r.Start = parent.Current;
        if (parent.Share >= 100)
            r.End = parent.End;
        else if (parent.Share < 1)
            r.End = r.Start;
        else
            r.End = r.Start + parent.Share * (parent.End - r.Start) / 100;
        parent.Share = 100;
    }
    r.Current = r.Start;
    r.LastReported = static_cast<int>(r.Start);
    const double span = r.End - r.Start;
    if (total >= 1 && span > 0) {
        r.Scale = span / static_cast<double>(total);
        r.UnitsPerStep = std::max<int64_t>(1, static_cast<int64_t>(1.0 / r.Scale));
    } else {
        // Nothing to report: every step is out of reach.
        r.Scale = 0;
        r.UnitsPerStep = std::numeric_limits<int64_t>::max();
        if (total < 1)
            r.Active = false;
    }
    s.Ranges.push_back(r);
    return static_cast<int>(std::min<int64_t>(r.UnitsPerStep, std::numeric_limits<int>::max()));
}

void ProgressShare(int percent)
{
    auto &s = state();
    if (!s.Ranges.empty())
        s.Ranges.back().Share = percent;
}

void ProgressStep(int64_t position)
{
    auto &s = state();
    if (s.Ranges.empty())
        return;
    Range &r = s.Ranges.back();
    if (!r.Active || s.Hook.Suspended || r.Current >= r.End)
        return;
    const int64_t moved = position - r.LastPosition;
    if (moved < r.UnitsPerStep)
        return;
    r.Current = std::min(r.End, r.Current + static_cast<double>(moved) * r.Scale);
    r.LastPosition = position;
    const int percent = static_cast<int>(r.Current);
    if (percent != r.LastReported) {
        r.LastReported = percent;
        report(percent);
    }
}

void ProgressEnd()
{
    auto &s = state();
    if (s.Ranges.empty())
        return;
    const Range r = s.Ranges.back();
    s.Ranges.pop_back();
    if (!r.Active)
        return;
    report(static_cast<int>(r.End));
    if (s.Ranges.empty())
        report(0);
}

void ProgressClear()
{
    auto &s = state();
    const bool any = !s.Ranges.empty();
    s.Ranges.clear();
    if (any)
        report(0);
}

int ProgressDepth()
{
    return static_cast<int>(state().Ranges.size());
}

TQnProgressSuspend::TQnProgressSuspend() : was_(state().Hook.Suspended)
{
    state().Hook.Suspended = true;
}

TQnProgressSuspend::~TQnProgressSuspend()
{
    state().Hook.Suspended = was_;
}

TQnProgress::TQnProgress(int64_t total)
{
    unitsPerStep_ = ProgressStart(total);
    const Range &r = state().Ranges.back();
    // An inert range is never stepped: the first threshold is out of reach.
    next_ = r.Active ? unitsPerStep_ : std::numeric_limits<int64_t>::max();
}

TQnProgress::~TQnProgress()
{
    ProgressEnd();
}

void TQnProgress::report(int64_t done)
{
    ProgressStep(done);
    next_ = done + unitsPerStep_;
}

} // namespace qn
