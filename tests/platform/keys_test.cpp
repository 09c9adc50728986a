#include "platform/keys.h"

#include <gtest/gtest.h>

using namespace qn;

TEST(ShiftState, SetOperationsAndExactComparison)
{
    TShiftState ctrl = ssCtrl;
    TShiftState ctrlShift = ssCtrl + ssShift;
    EXPECT_TRUE(ctrlShift.Contains(ssCtrl));
    EXPECT_TRUE(ctrlShift.Contains(ssShift));
    EXPECT_FALSE(ctrl.Contains(ssShift));
    // "Ctrl with no other modifier" is an exact comparison.
    EXPECT_TRUE(ctrl == TShiftState(ssCtrl));
    EXPECT_FALSE(ctrlShift == TShiftState(ssCtrl));
    EXPECT_EQ(ctrlShift - ssShift, ctrl);
    EXPECT_EQ((ctrl + ssLeft + ssDouble).Keys(), ctrl);
    EXPECT_TRUE(TShiftState().Empty());
}
