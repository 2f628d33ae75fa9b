#pragma once
// The rules of a service's status reports, whoever makes them (Java, the
// executor, the run's watch): STOPPED is final; Java's STOPPED is held back as
// STOP_PENDING with a rising check point until the run's end reports it with
// Java's exit code; a first report other than START_PENDING or RUNNING gets a
// START_PENDING before it; the watch's quiet start is made only when nothing
// was reported, and waits for the status handle. Portable, so that the rules
// are tested natively; not locked: its owner guards it.
#include <cstdint>

#include "common/RunOutcome.h"
#include "common/StatusSink.h"

class CStatusMachine {
public:
    // The states as SERVICE_STATUS carries them.
    static constexpr std::uint32_t kStopped = CRunOutcome::kStopped;
    static constexpr std::uint32_t kStartPending = 2;
    static constexpr std::uint32_t kStopPending = 3;
    static constexpr std::uint32_t kRunning = CRunOutcome::kRunning;
    // Windows reads the service-specific code only behind this one.
    static constexpr std::uint32_t kServiceSpecificError = 1066;
    // Wait hint of the machine's own START_PENDING reports.
    static constexpr std::uint32_t kStartPendingHint = 2000;

    explicit CStatusMachine(CStatusSink sink) : sink(sink) {}

    // The status handle is there, for a service of this type; true when the
    // quiet start waited for it (the caller then asks for it again).
    bool attach(std::uint32_t serviceType);
    // Records the report and makes it; fromJava: a state Java reports (Java's
    // STOPPED goes out as STOP_PENDING with stopHint). False when it was
    // dropped; failure is the sink's error, or 0.
    bool record(const CStatusFields& report, bool fromJava, std::uint32_t stopHint, unsigned long& failure);
    // A STOP_PENDING report with a higher check point, unless STOPPED was reported.
    unsigned long reportStopProgress(std::uint32_t waitHint);
    // A START_PENDING report unless some report has been made.
    unsigned long reportQuietStart();
    const CRunOutcome& outcome() const { return runOutcome; }

private:
    unsigned long report(std::uint32_t currentState, std::uint32_t controlsAccepted,
                         std::uint32_t serviceSpecificExitCode, std::uint32_t checkPoint, std::uint32_t waitHint);

    CStatusSink sink;
    CStatusFields status;
    bool attached = false;
    bool stoppedReported = false;
    bool reported = false;       // any report made
    bool quietStartDue = false;  // the watch's report waits for the handle
    CRunOutcome runOutcome;      // what Java has reported of the run's end
};
