// The stop budget's deadline: armed once, never extended, cut short for the end of a failed start.
#include <gtest/gtest.h>

#include "common/StopDeadline.h"

TEST(StopDeadline, ArmsOnceAndRunsOut) {
    CStopDeadline deadline(2000);
    EXPECT_EQ(deadline.waitMs(100), CStopDeadline::kNoDeadline);
    deadline.arm(1000);
    // A second request for the stop does not restart the budget.
    deadline.arm(2500);
    EXPECT_EQ(deadline.waitMs(1500), 1500u);
    EXPECT_EQ(deadline.waitMs(3000), 0u);
    EXPECT_EQ(deadline.waitMs(9000), 0u);
}

TEST(StopDeadline, NoLimitNeverArms) {
    CStopDeadline deadline(0);
    deadline.arm(1000);
    EXPECT_EQ(deadline.waitMs(999999), CStopDeadline::kNoDeadline);
}

TEST(StopDeadline, ArmingWithinALimitOnlyEverBringsTheEndCloser) {
    CStopDeadline deadline(10000);
    deadline.arm(1000);
    deadline.armWithin(2000, 3000);
    EXPECT_EQ(deadline.waitMs(2000), 3000u);
    // A later, longer limit does not move the end back.
    deadline.armWithin(3000, 60000);
    EXPECT_EQ(deadline.waitMs(3000), 2000u);
    deadline.arm(4000);
    EXPECT_EQ(deadline.waitMs(4000), 1000u);
}

TEST(StopDeadline, ALimitAppliesAlsoWithoutABudget) {
    CStopDeadline deadline(0);
    deadline.armWithin(500, 2000);
    EXPECT_EQ(deadline.waitMs(1500), 1000u);
    EXPECT_EQ(deadline.waitMs(2500), 0u);
}

TEST(StopDeadline, TheWaitHintIsWhatTheBudgetHasLeftAndTheMargin) {
    CStopDeadline deadline(30000);
    // Before the stop the whole budget is ahead.
    EXPECT_EQ(deadline.waitHintMs(100, 6000), 36000u);
    deadline.arm(1000);
    EXPECT_EQ(deadline.waitHintMs(21000, 6000), 16000u);
    EXPECT_EQ(deadline.waitHintMs(90000, 6000), 6000u);
    // Without a limit no end is foreseen; a huge budget saturates.
    EXPECT_EQ(CStopDeadline(0).waitHintMs(100, 6000), UINT32_MAX);
    EXPECT_EQ(CStopDeadline(UINT32_MAX).waitHintMs(100, 6000), UINT32_MAX);
}
