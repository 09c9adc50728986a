#pragma once

// Notifications to the user from any layer: the information box, the
// warning beep, and the rich text engine's own messages. They all go to one
// receiver, installed once by the application (a window system's boxes and
// sound) and replaced in tests by a recorder. Without a receiver, texts go to
// standard error and a beep is silent, so that pure layers and tools work
// alone.

#include <cstdint>
#include <string>
#include <string_view>

namespace qn {

// The receiver. Texts arrive as UTF-8.
class NotificationReceiver {
public:
    virtual ~NotificationReceiver() = default;
    // A modal box with the caption "Information", an information icon and OK.
    virtual void Information(const std::string &text) = 0;
    // The system's warning sound (type as MessageBeep takes it; 0 = default).
    virtual void Beep(uint32_t type) = 0;
    // A message of the rich text engine; a tab separates the box's two halves.
    virtual void EngineMessage(const std::string &text) = 0;
};

// Installs the receiver (not owned; null restores the default) and answers
// the one it replaces.
NotificationReceiver *SetNotificationReceiver(NotificationReceiver *receiver);

void ShowInformationUtf8(std::string_view text);
void ShowInformation(std::string_view ansiText); // Windows-1252 text
void MessageBeep(uint32_t type = 0);
void ShowEngineMessage(std::string_view ansiText); // Windows-1252 text

} // namespace qn
