#include "platform/notifications.h"

#include "tests/support/notification_capture.h"

#include <gtest/gtest.h>

using namespace qn;
using qn::test::NotificationCapture;

TEST(Notifications, WithoutAReceiverTextsGoToStandardErrorAndBeepsAreSilent)
{
    testing::internal::CaptureStderr();
    ShowInformation(std::string_view("caf\xE9"));
    ShowEngineMessage("Table not\tcorrect");
    MessageBeep(0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "café\nTable not correct\n");
}

TEST(Notifications, ACaptureRecordsEveryKindAndThenStepsAside)
{
    {
        NotificationCapture capture;
        ShowInformation(std::string_view("caf\xE9")); // Windows-1252 in, UTF-8 out
        ShowInformationUtf8("na\xC3\xAFve");
        MessageBeep();
        MessageBeep(0x30);
        ShowEngineMessage("Table not\tcorrect");
        EXPECT_EQ(capture.informations, (std::vector<std::string>{"café", "naïve"}));
        EXPECT_EQ(capture.beeps, (std::vector<uint32_t>{0, 0x30}));
        EXPECT_EQ(capture.engineMessages, std::vector<std::string>{"Table not\tcorrect"});
        {
            NotificationCapture inner;
            MessageBeep();
            EXPECT_EQ(inner.beeps.size(), 1u);
        }
        MessageBeep();
        EXPECT_EQ(capture.beeps.size(), 3u) << "the outer capture is back in place";
    }
    EXPECT_EQ(SetNotificationReceiver(nullptr), nullptr) << "no receiver left behind";
}
