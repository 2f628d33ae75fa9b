#pragma once
// The stop budget of one service run: a watch thread that calls its handler
// once the armed deadline (common/StopDeadline.h) has passed. It owns the
// thread, its timer, the event that wakes it and the lock over the deadline.
#include <windows.h>

#include <cstdint>

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

    // Starts watching with this budget (0: no limit); false when the thread could not be made.
    bool start(DWORD budgetMs);
    DWORD budgetMs();
    // The stop has been asked for (or serviceMain has returned): the budget runs from now on.
    void arm();
    // A status report, which may be progress of the stop.
    void report(DWORD currentState, DWORD checkPoint, DWORD waitHint);
    // The run has ended in time: the watch ends, the handler is not called. Once only.
    void finish();

private:
    static DWORD WINAPI watch(LPVOID self);
    void watchUntilDone();
    // Sets the watch's timer when the deadline has moved; with the lock held.
    void moveTimerLocked(std::uint64_t now, std::uint64_t waitBefore);

    ExpiryHandler onExpiry;
    void* context;
    // The deadline and the flag are written by the threads that arm and report and read by the watch.
    SRWLOCK lock = SRWLOCK_INIT;
    CStopDeadline deadline{0};
    bool finished = false;
    // Made by start, before any other thread arms or reports, and kept until
    // destruction: Java threads may still report after finish. The timer fires at the deadline; the
    // event wakes the watch for finish.
    CKernelHandle wake;
    CKernelHandle timer;
    CKernelHandle thread;
};
