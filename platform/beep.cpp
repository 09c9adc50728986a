#include "platform/beep.h"

#include <utility>

namespace qn {

namespace {
BeepHandler &handlerSlot()
{
    static BeepHandler handler;
    return handler;
}
} // namespace

void MessageBeep(uint32_t type)
{
    if (handlerSlot())
        handlerSlot()(type);
}

BeepHandler SetBeepHandler(BeepHandler handler)
{
    return std::exchange(handlerSlot(), std::move(handler));
}

} // namespace qn
