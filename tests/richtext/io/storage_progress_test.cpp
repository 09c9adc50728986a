// The engine-wide progress hook and its nested ranges.

#include <gtest/gtest.h>

#include <vector>

#include "richtext/io/progress.h"
#include "richtext/io/rtf_text_io.h"

namespace qn {
namespace {

class Progress : public ::testing::Test {
protected:
    void SetUp() override
    {
        ProgressClear();
        SetProgressHook(
            [this](void *user, int percent) {
                EXPECT_EQ(user, this);
                reports.push_back(percent);
            },
            this);
        reports.clear();
    }
    void TearDown() override
    {
        ProgressClear();
        SetProgressHook(nullptr);
        ProgressHook().Suspended = false;
    }
    std::vector<int> reports;
};

TEST_F(Progress, OneRangeMapsItsUnitsOntoTheWholeBar)
{
    EXPECT_EQ(ProgressStart(1000), 10); // 10 units per percent
    ProgressStep(5);                    // less than a step: nothing
    ProgressStep(10);
    ProgressStep(250);
    ProgressStep(250);  // no change, no report
    ProgressStep(5000); // beyond the total: capped at the end
    ProgressStep(6000); // at the end: nothing more
    ProgressEnd();
    EXPECT_EQ(reports, (std::vector<int>{1, 25, 100, 100, 0}));
    EXPECT_EQ(ProgressDepth(), 0);
    EXPECT_EQ(ProgressStart(50), 1); // fewer units than percent: every unit reports
    ProgressEnd();
}

TEST_F(Progress, NestedRangesUseTheirParentsShare)
{
    ProgressStart(100);
    ProgressStep(20); // 20 %
    ProgressShare(50);
    ProgressStart(10); // spans 20..60
    ProgressStep(5);   // 40 %
    ProgressStart(4);  // no share set: spans 40..60
    ProgressStep(2);   // 50 %
    ProgressEnd();     // 60
    ProgressEnd();     // 60
    ProgressStep(70);  // the parent goes on from where the child ended
    ProgressShare(0);
    ProgressStart(10); // a share below 1: the child has no span
    ProgressStep(10);
    ProgressEnd();
    ProgressEnd();
    EXPECT_EQ(reports, (std::vector<int>{20, 40, 50, 60, 60, 70, 70, 100, 0}));
}

TEST_F(Progress, SuspendedOrDisabledRangesStayQuietButPair)
{
    {
        TQnProgressSuspend suspend;
        ProgressStart(100);
        ProgressStep(50);
        ProgressStart(10); // a child of a quiet range is quiet too
        ProgressStep(10);
        ProgressEnd();
        ProgressEnd();
    }
    EXPECT_TRUE(reports.empty());
    EXPECT_EQ(ProgressDepth(), 0);

    ProgressStart(0); // nothing to count
    ProgressStep(10);
    ProgressEnd();
    EXPECT_TRUE(reports.empty());

    ProgressStart(100);
    ProgressStart(100);
    ProgressStep(30);
    ProgressClear();
    EXPECT_EQ(reports, (std::vector<int>{30, 0}));
    EXPECT_EQ(ProgressDepth(), 0);
}

TEST_F(Progress, ALoadGivesTheReaderHalfTheBar)
{
    // 64 KiB of text: the reader steps once per buffer it fills.
    std::string text;
    while (text.size() < 65536)
        text += "a line of text\r\n";
    TQnRTFTextIo doc;
    TQnMemoryStream in(text);
    doc.LoadFromStream(in);
    ASSERT_GE(reports.size(), 4u);
    for (size_t i = 1; i + 2 < reports.size(); ++i) {
        EXPECT_LE(reports[i - 1], reports[i]);
        EXPECT_LE(reports[i], 50);
    }
    EXPECT_EQ(reports[reports.size() - 3], 50);  // the reader's end
    EXPECT_EQ(reports[reports.size() - 2], 100); // the loader's end
    EXPECT_EQ(reports.back(), 0);
    EXPECT_EQ(ProgressDepth(), 0);

    // Clearing and copying documents report nothing.
    reports.clear();
    TQnRTFTextIo copy;
    copy.Assign(doc);
    doc.Clear();
    EXPECT_TRUE(reports.empty());
}

} // namespace
} // namespace qn
