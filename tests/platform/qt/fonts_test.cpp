// Layout in the tests depends on the fonts; these guard the pinned set.
#include <QFont>
#include <QFontInfo>
#include <gtest/gtest.h>

TEST(Fonts, TheWindowsFontNamesResolveToTheirMetricTwins)
{
    QFont arial("Arial");
    arial.setPixelSize(11);
    EXPECT_EQ(QFontInfo(arial).family(), "Liberation Sans");
    QFont times("Times New Roman");
    times.setPixelSize(24);
    EXPECT_EQ(QFontInfo(times).family(), "Liberation Serif");
    QFont courier("Courier New");
    EXPECT_EQ(QFontInfo(courier).family(), "Liberation Mono");
}
