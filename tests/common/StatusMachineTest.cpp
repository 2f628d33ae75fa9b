// The status reports' rules, through a sink that records every report.
#include <gtest/gtest.h>

#include <vector>

#include "common/CStatusMachine.h"

namespace {

using M = CStatusMachine;

struct CRecordingSink {
    std::vector<CStatusFields> reports;
    CStatusSink sink() {
        return CStatusSink{this, [](void* context, const CStatusFields& status) -> unsigned long {
                               static_cast<CRecordingSink*>(context)->reports.push_back(status);
                               return 0;
                           }};
    }
    std::vector<std::uint32_t> states() const {
        std::vector<std::uint32_t> seen;
        for (const CStatusFields& report : reports) {
            seen.push_back(report.currentState);
        }
        return seen;
    }
};

CStatusFields state(std::uint32_t currentState, std::uint32_t code = 0) {
    CStatusFields fields;
    fields.currentState = currentState;
    fields.serviceSpecificExitCode = code;
    return fields;
}

bool record(M& machine, std::uint32_t currentState, bool fromJava, std::uint32_t code = 0) {
    unsigned long failure = 0;
    return machine.record(state(currentState, code), fromJava, 7000, failure);
}

}  // namespace

TEST(StatusMachine, AFirstStoppedOrStopPendingGetsAStartPendingBeforeIt) {
    for (const std::uint32_t first : {M::kStopped, M::kStopPending}) {
        CRecordingSink recorder;
        M machine(recorder.sink());
        machine.attach(16);
        record(machine, first, false);
        ASSERT_EQ(recorder.states(), (std::vector<std::uint32_t>{M::kStartPending, first}));
        EXPECT_EQ(recorder.reports[0].waitHint, M::kStartPendingHint);
        EXPECT_EQ(recorder.reports[1].serviceType, 16u);
    }
}

TEST(StatusMachine, NothingIsReportedAfterStopped) {
    CRecordingSink recorder;
    M machine(recorder.sink());
    record(machine, M::kRunning, true);
    record(machine, M::kStopped, false);
    EXPECT_FALSE(record(machine, M::kRunning, true));
    EXPECT_FALSE(record(machine, M::kStopped, false));
    machine.reportStopProgress(100);
    machine.reportQuietStart();
    EXPECT_EQ(recorder.states(), (std::vector<std::uint32_t>{M::kRunning, M::kStopped}));
}

TEST(StatusMachine, JavasStoppedIsHeldBackAsRisingStopPendingUntilTheEnd) {
    CRecordingSink recorder;
    M machine(recorder.sink());
    record(machine, M::kRunning, true);
    EXPECT_TRUE(record(machine, M::kStopped, true, 5));
    EXPECT_FALSE(record(machine, M::kRunning, true));
    machine.reportStopProgress(100);
    ASSERT_EQ(recorder.states(), (std::vector<std::uint32_t>{M::kRunning, M::kStopPending, M::kStopPending}));
    EXPECT_EQ(recorder.reports[1].checkPoint, 1u);
    EXPECT_EQ(recorder.reports[1].waitHint, 7000u);
    EXPECT_EQ(recorder.reports[2].checkPoint, 2u);
    EXPECT_EQ(recorder.reports[2].waitHint, 100u);
}

TEST(StatusMachine, TheRunsExitCodeIsJavasStoppedsBehindTheServiceSpecificError) {
    CRecordingSink recorder;
    M machine(recorder.sink());
    record(machine, M::kStopped, true, 5);
    EXPECT_EQ(machine.outcome().exitCode(0), 5u);
    record(machine, M::kStopped, false, machine.outcome().exitCode(0));
    EXPECT_EQ(recorder.reports.back().serviceSpecificExitCode, 5u);
    EXPECT_EQ(recorder.reports.back().win32ExitCode, M::kServiceSpecificError);
}

TEST(StatusMachine, TheQuietStartWaitsForTheHandleAndOnlyWhenNothingWasReported) {
    CRecordingSink recorder;
    M machine(recorder.sink());
    machine.reportQuietStart();
    EXPECT_TRUE(recorder.reports.empty());
    EXPECT_TRUE(machine.attach(16));
    machine.reportQuietStart();
    machine.reportQuietStart();
    EXPECT_EQ(recorder.states(), (std::vector<std::uint32_t>{M::kStartPending}));

    CRecordingSink reportedFirst;
    M started(reportedFirst.sink());
    EXPECT_FALSE(started.attach(16));
    record(started, M::kRunning, true);
    started.reportQuietStart();
    EXPECT_EQ(reportedFirst.states(), (std::vector<std::uint32_t>{M::kRunning}));
}
