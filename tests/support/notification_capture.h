#pragma once

#include "platform/notifications.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qn::test {

// While it lives, every notification to the user is recorded here instead
// of being shown or sounded; the receiver it replaced is back when it goes.
class NotificationCapture : public NotificationReceiver {
public:
    NotificationCapture();
    ~NotificationCapture() override;
    NotificationCapture(const NotificationCapture &) = delete;
    NotificationCapture &operator=(const NotificationCapture &) = delete;

    void Information(const std::string &text) override { informations.push_back(text); }
    void Beep(uint32_t type) override { beeps.push_back(type); }
    void EngineMessage(const std::string &text) override { engineMessages.push_back(text); }

    std::vector<std::string> informations; // UTF-8, in order
    std::vector<uint32_t> beeps;           // the type of each beep
    std::vector<std::string> engineMessages;

private:
    NotificationReceiver *previous_;
};

} // namespace qn::test
