#include "richtext/io/progress.h"

#include <utility>

namespace qn {

namespace {
// Engine-wide, like the language setting: the engine runs on one thread.
TQnProgressHook &hook()
{
    static TQnProgressHook h;
    return h;
}
} // namespace

TQnProgressHook SetProgressHook(TQnProgressHook h)
{
    return std::exchange(hook(), std::move(h));
}

bool HasProgressHook() { return static_cast<bool>(hook()); }

TQnProgress::TQnProgress(int64_t total) : active_(HasProgressHook()), total_(total)
{
    if (active_)
        hook()(TQnProgressEvent::Start, 0, total_);
}

TQnProgress::~TQnProgress()
{
    if (active_ && hook())
        hook()(TQnProgressEvent::End, total_, total_);
}

void TQnProgress::report(int64_t done)
{
    if (!hook()) {
        active_ = false;
        return;
    }
    hook()(TQnProgressEvent::Step, done, total_);
    const int64_t stride = total_ > 256 ? total_ / 256 : 1;
    next_ = done + stride;
}

} // namespace qn
