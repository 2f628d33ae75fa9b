#include "common/CStatusMachine.h"

bool CStatusMachine::attach(std::uint32_t serviceType) {
    attached = true;
    status.serviceType = serviceType;
    return quietStartDue;
}

bool CStatusMachine::record(const CStatusFields& fields, bool fromJava, std::uint32_t stopHint,
                            unsigned long& failure) {
    failure = 0;
    // STOPPED is final: the SCM has let the service go, and a later report
    // would revive it. Java's own STOPPED is final for Java's reports.
    if (stoppedReported || (fromJava && !runOutcome.javaReport(fields.currentState, fields.serviceSpecificExitCode))) {
        return false;
    }
    // Java's STOPPED waits for the JVM's shutdown and the output's drain; meanwhile the stop goes on.
    failure = fromJava && fields.currentState == kStopped
                  ? reportStopProgress(stopHint)
                  : report(fields.currentState, fields.controlsAccepted, fields.serviceSpecificExitCode,
                           fields.checkPoint, fields.waitHint);
    return true;
}

unsigned long CStatusMachine::reportStopProgress(std::uint32_t waitHint) {
    if (stoppedReported) {
        return 0;
    }
    // A higher check point: progress, for the SCM and for whoever waits for the stop.
    return report(kStopPending, 0, 0, status.checkPoint + 1, waitHint);
}

unsigned long CStatusMachine::reportQuietStart() {
    // A report made meanwhile is newer than this one.
    if (reported) {
        return 0;
    }
    // Nothing to report to yet: the service thread reports once it can.
    if (!attached) {
        quietStartDue = true;
        return 0;
    }
    // Wine's service control manager ends a service that has not reported within seconds.
    return report(kStartPending, 0, 0, 0, kStartPendingHint);
}

unsigned long CStatusMachine::report(std::uint32_t currentState, std::uint32_t controlsAccepted,
                                     std::uint32_t serviceSpecificExitCode, std::uint32_t checkPoint,
                                     std::uint32_t waitHint) {
    // Wine's service control manager fails a start whose first report is
    // STOP_PENDING (1053, and it ends the process), and takes a first report of
    // STOPPED for a start that never happened, discarding its exit code.
    const bool startFirst = !reported && currentState != kStartPending && currentState != kRunning;
    const unsigned long firstFailure = startFirst ? report(kStartPending, 0, 0, 0, kStartPendingHint) : 0;
    status.currentState = currentState;
    status.controlsAccepted = controlsAccepted;
    status.serviceSpecificExitCode = serviceSpecificExitCode;
    status.win32ExitCode = serviceSpecificExitCode != 0 ? kServiceSpecificError : 0;
    status.checkPoint = checkPoint;
    status.waitHint = waitHint;
    stoppedReported = currentState == kStopped;
    reported = true;
    const unsigned long failure = sink.report(sink.context, status);
    return failure != 0 ? failure : firstFailure;
}
