#pragma once
// The lifecycle of one service run after its start: the run's watch (the
// report of a slow start and the stop budget), serviceMain's return, the
// drain of the output, a failed start's end, System.exit, and the last
// report, which the SCM sees only once the JVM and the output are done.
#include <windows.h>

#include <atomic>

#include "service/CRunWatch.h"

class CJvmHostSlot;
class CLogger;
class COutputCapture;
class CServiceEvents;
class CStatusReporter;

class CRunLifecycle {
public:
    // Uses the run's other owners, which outlive it.
    CRunLifecycle(CLogger* logger, CStatusReporter* status, CJvmHostSlot* jvm, COutputCapture* capture,
                  CServiceEvents* events)
        : logger(logger),
          status(status),
          jvm(jvm),
          capture(capture),
          events(events),
          watch(reportQuietStart, budgetSpent, this) {}
    CRunLifecycle(const CRunLifecycle&) = delete;
    CRunLifecycle& operator=(const CRunLifecycle&) = delete;

    // Starts the run's watch, saying so when it cannot.
    void startWatch();
    // The stop budget (0: no limit), set once the start has read it and before any stop is asked for.
    void setStopBudget(DWORD budgetMs) { watch.setBudget(budgetMs); }
    // True once the watch runs: it then reports a slow start.
    bool watching() { return watch.watching(); }
    // A stop, shutdown or preshutdown went to Java: the budget runs from now on.
    void stopAsked() { watch.arm(); }
    // serviceMain has returned with pravik's result: the stop budget runs (cut
    // short after a failed start) and the SCM sees the stop go on.
    void javaReturned(int result);
    // The JVM host goes and the output reaches its files, within the budget; then the watch ends.
    void finish();
    // Java called System.exit: the last report, before the JVM ends the process.
    void javaExiting(int code);
    // The wait hint of a report of the stop: what the budget has left and the end's own patience.
    DWORD stopWaitHint();

private:
    static void reportQuietStart(void* lifecycle);
    static void budgetSpent(void* lifecycle);
    static DWORD WINAPI makeFinalReport(LPVOID report);
    // The budget ran out: a thread dump, STOPPED with 26, the end of the
    // process; after a failed start, endFailedStart instead.
    void stopTimedOut();
    // The JVM did not shut down soon after a failed start: STOPPED with its code, the end of the process.
    void endFailedStart(DWORD serviceSpecificExitCode);
    // The lifecycle's own SERVICE_STOPPED report with this service-specific code.
    void reportStopped(DWORD serviceSpecificExitCode);
    // The same when the process ends right after: waits for the report at most a few seconds.
    void reportStoppedBeforeTheEnd(DWORD serviceSpecificExitCode);

    CLogger* logger;
    CStatusReporter* status;
    CJvmHostSlot* jvm;
    COutputCapture* capture;
    CServiceEvents* events;
    // The start's first report when Java is slow to make one, and the stop
    // budget: from a forwarded stop, shutdown or preshutdown (or the return of
    // serviceMain) to the JVM's end and the last output in its files.
    CRunWatch watch;
    // A failed start's exit code once serviceMain has returned, else 0: set
    // before the watch is armed for it, read by the watch's handler.
    std::atomic<DWORD> failedStartCode{0};
};
