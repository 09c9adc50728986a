#include "tests/support/notification_capture.h"

namespace qn::test {

NotificationCapture::NotificationCapture() : previous_(SetNotificationReceiver(this)) {}

NotificationCapture::~NotificationCapture()
{
    SetNotificationReceiver(previous_);
}

} // namespace qn::test
