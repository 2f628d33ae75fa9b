#include "service/CRunLifecycle.h"

#include <memory>
#include <new>

#include "common/CTextBuilder.h"
#include "common/ExitCodes.h"
#include "jvm/JvmThreadDump.h"
#include "log/CLogger.h"
#include "service/CJvmHostSlot.h"
#include "service/CStatusReporter.h"
#include "service/OutputCapture.h"
#include "service/ServiceEvents.h"

namespace {

// How long a thread dump may take before a stop that ran out of time ends the process.
const DWORD kDumpPatienceMs = 3000;
// How long the last report before the process ends may take.
const DWORD kReportPatienceMs = 5000;
// How long the output still in the pipes may take to reach its files at the end.
const DWORD kOutputPatienceMs = 3000;
// What the end may take once the stop budget is spent: the thread dump and the last output.
const DWORD kEndPatienceMs = kDumpPatienceMs + kOutputPatienceMs;
// How long the JVM's shutdown may take after a failed start before the process ends without it.
const DWORD kFailedStartPatienceMs = 2000;

// A final report handed to a thread of its own, which owns it.
struct CFinalReport {
    CRunLifecycle* lifecycle;
    DWORD serviceSpecificExitCode;
};

}  // namespace

DWORD WINAPI CRunLifecycle::makeFinalReport(LPVOID report) {
    const std::unique_ptr<CFinalReport> owned(static_cast<CFinalReport*>(report));
    owned->lifecycle->reportStopped(owned->serviceSpecificExitCode);
    return 0;
}

void CRunLifecycle::reportQuietStart(void* lifecycle) {
    static_cast<CRunLifecycle*>(lifecycle)->status->reportQuietStart();
}

void CRunLifecycle::budgetSpent(void* lifecycle) { static_cast<CRunLifecycle*>(lifecycle)->stopTimedOut(); }

void CRunLifecycle::startWatch() {
    if (!watch.start()) {
        logFailure(logger, L"Error creating the run watch thread, stops are not bounded.", GetLastError());
    }
}

void CRunLifecycle::javaReturned(int result) {
    const DWORD code = static_cast<DWORD>(result);
    const DWORD failedStart = status->failedStartCode(code);
    if (failedStart != 0) {
        // Threads that the program left must not keep the process: the JVM's shutdown gets a moment only.
        failedStartCode = failedStart;
        watch.armWithin(kFailedStartPatienceMs);
    } else {
        // The JVM's shutdown counts as part of the stop.
        watch.arm();
    }
    status->reportStopProgress(stopWaitHint());
}

void CRunLifecycle::finish() {
    jvm->destroy();
    // Within the budget: whoever waits for STOPPED finds the whole output in the files.
    capture->finish(kOutputPatienceMs);
    watch.finish();
}

DWORD CRunLifecycle::stopWaitHint() { return watch.stopWaitHint(kEndPatienceMs); }

void CRunLifecycle::javaExiting(int code) {
    logger->logMessage(L"Java called System.exit with", static_cast<unsigned long>(code));
    events->javaExited(code);
    // The shutdown hooks have run: their output is in the pipes too.
    capture->finish(kOutputPatienceMs);
    reportStoppedBeforeTheEnd(status->runExitCode(static_cast<DWORD>(code)));
}

void CRunLifecycle::reportStoppedBeforeTheEnd(DWORD serviceSpecificExitCode) {
    // Wine's dispatcher holds a lock while a control handler runs, and its
    // SetServiceStatus takes that lock after a STOPPED report has gone out:
    // with serviceControl blocked (or in System.exit) the call never returns.
    auto* report = new (std::nothrow) CFinalReport{this, serviceSpecificExitCode};
    if (report == nullptr) {
        reportStopped(serviceSpecificExitCode);
        return;
    }
    CKernelHandle reporter(CreateThread(nullptr, 0, makeFinalReport, report, 0, nullptr));
    if (reporter) {
        WaitForSingleObject(reporter.get(), kReportPatienceMs);
    } else {
        makeFinalReport(report);
    }
}

void CRunLifecycle::reportStopped(DWORD serviceSpecificExitCode) {
    status->record(SERVICE_STOPPED, 0, serviceSpecificExitCode, 0, 0, false, 0);
}

void CRunLifecycle::stopTimedOut() {
    const DWORD failedStart = failedStartCode;
    if (failedStart != 0) {
        endFailedStart(failedStart);
        return;
    }
    dumpJvmThreads(logger, kDumpPatienceMs);
    CTextBuilder text;
    text.append(L"Service did not stop within ").appendDecimal(watch.budgetMs()).append(L" ms");
    logger->logMessage(text.text());
    events->stopTimedOut();
    // Java still runs and writes: what it wrote up to here, the thread dump
    // among it, reaches the files; what it writes from now on is lost.
    capture->finish(kOutputPatienceMs);
    reportStoppedBeforeTheEnd(kStopTimedOut);
    // Java holds threads that do not end, and maybe the SCM's or the pipe's
    // thread: nothing short of ending the process frees them.
    TerminateProcess(GetCurrentProcess(), kStopTimedOut);
}

void CRunLifecycle::endFailedStart(DWORD serviceSpecificExitCode) {
    logger->logMessage(L"The program's threads outlived its failed start: the process ends.");
    capture->finish(kOutputPatienceMs);
    reportStoppedBeforeTheEnd(serviceSpecificExitCode);
    // Those threads hold the service thread in DestroyJavaVM.
    TerminateProcess(GetCurrentProcess(), 0);
}
