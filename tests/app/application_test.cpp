#include "app/application.h"
#include "app/main_screen.h"
#include "engine/xtable.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace qn;

TEST(Application, AFailedCommandIsShownAndTheProgramGoesOn)
{
    std::vector<QString> shown;
    TErrorBoxHook previous = SetErrorBoxHook([&](const QString &text) { shown.push_back(text); });

    EXPECT_TRUE(DeliverGuarded([] { return true; }));
    EXPECT_FALSE(DeliverGuarded([]() -> bool { throw std::runtime_error("Disk full"); }));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "Disk full");

    // A move on a table whose index has gone ends that command only.
    {
        qn::test::TempDir dir;
        TMainScreen w(dir.path().string());
        ASSERT_FALSE(w.StartFailed());
        w.DiaryXTable->CloseIndexes();
        EXPECT_FALSE(DeliverGuarded([&] {
            w.NextButtonClick();
            return true;
        }));
        ASSERT_EQ(shown.size(), 2u);
        EXPECT_TRUE(shown[1].contains("index", Qt::CaseInsensitive)) << shown[1].toStdString();
        EXPECT_EQ(w.CurrentDate, Date() + 1); // the date moved before the seek failed
        w.close();
    }
    SetErrorBoxHook(previous);
}
