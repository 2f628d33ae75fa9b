#pragma once
// The stop budget of one service run: a watch thread that calls its handler
// once the armed deadline (common/StopDeadline.h) has passed. It owns the
// thread, the event that wakes it and the lock over the deadline. The thread
// is made once a stop may come (the service has reported a state other than
// START_PENDING, or a stop is armed), so that the start does not wait for it.
#include <windows.h>

#include "common/StopDeadline.h"
#include "common/Win32Handle.h"

class CStopBudget {
public:
    // Runs on the watch thread when the budget is spent; it is expected to end the process.
    using ExpiryHandler = void (*)(void* context);

    CStopBudget(ExpiryHandler onExpiry, void* context) : onExpiry(onExpiry), context(context) {}
    // Ends the watch.
    ~CStopBudget() { finish(); }
    CStopBudget(const CStopBudget&) = delete;
    CStopBudget& operator=(const CStopBudget&) = delete;

    // The budget of this run (0: no limit).
    void start(DWORD budgetMs);
    DWORD budgetMs();
    // The stop has been asked for (or serviceMain has returned): the budget runs
    // from now on. False when it has a limit but no watch thread could be made.
    bool arm();
    // A status report, which may be progress of the stop.
    void report(DWORD currentState, DWORD checkPoint, DWORD waitHint);
    // The run has ended in time: the watch ends, the handler is not called. Once only.
    void finish();

private:
    static DWORD WINAPI watch(LPVOID self);
    void watchUntilDone();
    // Makes the watch thread unless it runs, the budget has no limit or the run
    // has ended; with the lock held. Whether a watch runs.
    bool startWatchLocked();

    ExpiryHandler onExpiry;
    void* context;
    // The deadline and the flag are written by the threads that arm and report and read by the watch.
    SRWLOCK lock = SRWLOCK_INIT;
    CStopDeadline deadline{0};
    bool finished = false;
    // Made together under the lock and kept until destruction: Java threads
    // may still report after finish.
    CKernelHandle wake;
    CKernelHandle thread;
};
