// How a run ends: Java's STOPPED is its last word and sets the exit code; a
// nonzero end before RUNNING is a failed start.
#include <gtest/gtest.h>

#include "common/RunOutcome.h"

namespace {

const std::uint32_t kStartPending = 2;
const std::uint32_t kStopPending = 3;

}  // namespace

TEST(RunOutcome, JavasStoppedIsItsLastWordAndTheRunsExitCode) {
    CRunOutcome outcome;
    EXPECT_TRUE(outcome.javaReport(CRunOutcome::kRunning, 0));
    EXPECT_EQ(outcome.exitCode(5), 5u);
    EXPECT_TRUE(outcome.javaReport(CRunOutcome::kStopped, 7));
    EXPECT_TRUE(outcome.javaStopped());
    EXPECT_FALSE(outcome.javaReport(kStopPending, 0));
    EXPECT_FALSE(outcome.javaReport(CRunOutcome::kStopped, 3));
    EXPECT_EQ(outcome.exitCode(0), 7u);
    EXPECT_FALSE(outcome.startFailed(0));
}

TEST(RunOutcome, ANonzeroEndBeforeRunningIsAFailedStart) {
    CRunOutcome notReady;
    notReady.javaReport(kStartPending, 0);
    EXPECT_FALSE(notReady.startFailed(0));
    notReady.javaReport(CRunOutcome::kStopped, 27);
    EXPECT_TRUE(notReady.startFailed(0));

    // pravik's own start failures, with no word from Java.
    EXPECT_TRUE(CRunOutcome().startFailed(18));
    EXPECT_FALSE(CRunOutcome().startFailed(0));

    CRunOutcome failedLater;
    failedLater.javaReport(CRunOutcome::kRunning, 0);
    failedLater.javaReport(CRunOutcome::kStopped, 1);
    EXPECT_FALSE(failedLater.startFailed(0));
}
