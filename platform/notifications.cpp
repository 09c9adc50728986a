#include "platform/notifications.h"

#include "platform/ansi.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace qn {

namespace {

NotificationReceiver *&receiverSlot()
{
    static NotificationReceiver *receiver = nullptr;
    return receiver;
}

void toStandardError(std::string text)
{
    std::replace(text.begin(), text.end(), '\t', ' ');
    std::fprintf(stderr, "%s\n", text.c_str());
}

} // namespace

NotificationReceiver *SetNotificationReceiver(NotificationReceiver *receiver)
{
    return std::exchange(receiverSlot(), receiver);
}

void ShowInformationUtf8(std::string_view text)
{
    if (NotificationReceiver *receiver = receiverSlot())
        receiver->Information(std::string(text));
    else
        toStandardError(std::string(text));
}

void ShowInformation(std::string_view ansiText)
{
    ShowInformationUtf8(AnsiToUtf8(ansiText));
}

void MessageBeep(uint32_t type)
{
    if (NotificationReceiver *receiver = receiverSlot())
        receiver->Beep(type);
}

void ShowEngineMessage(std::string_view ansiText)
{
    if (NotificationReceiver *receiver = receiverSlot())
        receiver->EngineMessage(AnsiToUtf8(ansiText));
    else
        toStandardError(AnsiToUtf8(ansiText));
}

} // namespace qn
