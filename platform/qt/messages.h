#pragma once

// Messages to the user in Qt terms: the information box for Qt text, the
// receiver that shows notifications as message boxes and sounds the beep,
// and letting queued events through. The notifications themselves, and how
// they are replaced in tests, are in platform/notifications.h.

#include "platform/notifications.h"

#include <QString>

namespace qn {

// A modal box with the text, the caption "Information", an information icon
// and an OK button, over the active window (through the installed receiver).
void ShowInformation(const QString &text);

// Lets the event loop deliver what is queued, then returns.
void ProcessPendingMessages();

// Shows information and engine messages in message boxes over the active
// window and sounds the application's beep. The application installs one.
class QtNotificationReceiver : public NotificationReceiver {
public:
    void Information(const std::string &text) override;
    void Beep(uint32_t type) override;
    void EngineMessage(const std::string &text) override;
};

} // namespace qn
