// The stop budget's deadline: armed once, moved by stop-pending progress only.
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
    deadline.report(1200, true, 1, 500);
    EXPECT_EQ(deadline.waitMs(999999), CStopDeadline::kNoDeadline);
}

TEST(StopDeadline, AHigherStopPendingCheckPointMovesTheDeadlineToItsWaitHint) {
    CStopDeadline deadline(2000);
    deadline.report(0, false, 0, 0);
    deadline.arm(1000);
    deadline.report(1500, true, 1, 10000);
    EXPECT_EQ(deadline.waitMs(1500), 10000u);
    // The same check point again is no progress.
    deadline.report(5000, true, 1, 10000);
    EXPECT_EQ(deadline.waitMs(5000), 6500u);
    // Progress may also shorten it.
    deadline.report(6000, true, 2, 100);
    EXPECT_EQ(deadline.waitMs(6000), 100u);
    // Other states do not move it.
    deadline.report(6050, false, 3, 60000);
    EXPECT_EQ(deadline.waitMs(6050), 50u);
}

TEST(StopDeadline, ProgressBeforeTheStopDoesNotArm) {
    CStopDeadline deadline(2000);
    deadline.report(100, true, 1, 60000);
    EXPECT_EQ(deadline.waitMs(200), CStopDeadline::kNoDeadline);
    deadline.arm(1000);
    // Check point 1 was seen before: not progress.
    deadline.report(1100, true, 1, 60000);
    EXPECT_EQ(deadline.waitMs(1100), 1900u);
}
