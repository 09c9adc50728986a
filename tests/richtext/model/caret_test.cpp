#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "richtext/model/caret.h"

using namespace qn;

namespace {
struct RecordingDevice : TCaretDevice {
    std::vector<std::string> calls;
    void CreateCaret(int w, int h) override
    {
        calls.push_back("create " + std::to_string(w) + "x" + std::to_string(h));
    }
    void DestroyCaret() override { calls.push_back("destroy"); }
    void SetCaretPos(int x, int y) override
    {
        calls.push_back("pos " + std::to_string(x) + "," + std::to_string(y));
    }
    void ShowCaret() override { calls.push_back("show"); }
};
} // namespace

TEST(Caret, ShowsOnlyWithFocusAndRecreatesOnResize)
{
    RecordingDevice device;
    TCaret caret;
    EXPECT_EQ(caret.Width, 3);
    EXPECT_EQ(caret.Height, 16);
    caret.Show(); // no focus: nothing
    EXPECT_FALSE(caret.Visible);

    caret.Enable(&device);
    caret.SetPosSize(10, 20, 3, 16);
    caret.Show();
    EXPECT_TRUE(caret.Visible);
    EXPECT_EQ(device.calls, (std::vector<std::string>{"create 3x16", "pos 10,20", "show"}));

    device.calls.clear();
    caret.SetPosSize(11, 21, 0, 2); // shown: re-created, clamped
    EXPECT_EQ(caret.Width, 1);
    EXPECT_EQ(caret.Height, 4);
    EXPECT_EQ(device.calls,
              (std::vector<std::string>{"destroy", "create 1x4", "pos 11,21", "show"}));

    device.calls.clear();
    caret.SetPosSize(12, 22, 1, 4); // same size: only moves
    EXPECT_EQ(device.calls, (std::vector<std::string>{"pos 12,22"}));

    device.calls.clear();
    caret.Suppress();
    caret.Show();
    EXPECT_FALSE(caret.Visible);
    EXPECT_EQ(device.calls, (std::vector<std::string>{"destroy"}));
    caret.Suppress(false);
    caret.Hide();
    caret.SetPosSize(0, 0, 0, 0); // hidden: stored as given, no clamping
    EXPECT_EQ(caret.Width, 0);
    caret.Disable();
    EXPECT_FALSE(caret.Enabled);
}
