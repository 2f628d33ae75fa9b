#pragma once
// The watch over one service run, a thread of its own with two jobs. One
// second after it starts it calls its quiet-start handler, which reports
// START_PENDING unless a report has gone out: the executor reports before Java
// only when the start is slow (a controller polls a service once it has
// reported, and under Wine that polling slows the start down). And once a stop
// is asked for, it calls its budget handler when the stop budget
// (common/StopDeadline.h), a hard bound, is spent. It owns the thread, its
// timer, the event that wakes it and the lock over the deadline.
#include <windows.h>

#include <cstdint>

#include "common/StopDeadline.h"
#include "common/Win32Handle.h"

class CLogger;

// The stop budget that a StopTimeout value gives (null: unset), else the default (0: no limit).
DWORD stopBudgetMs(const wchar_t* stopTimeout);
// The service's stop budget as installed: its stopTimeout, else the default.
DWORD configuredStopBudgetMs(const wchar_t* serviceName, CLogger* logger);

class CRunWatch {
public:
    // Runs on the watch thread; a spent budget's handler is expected to end the process.
    using Handler = void (*)(void* context);

    CRunWatch(Handler onQuietStart, Handler onBudgetSpent, void* context)
        : onQuietStart(onQuietStart), onBudgetSpent(onBudgetSpent), context(context) {}
    // Ends the watch.
    ~CRunWatch() { finish(); }
    CRunWatch(const CRunWatch&) = delete;
    CRunWatch& operator=(const CRunWatch&) = delete;

    // Starts watching, without a stop budget until setBudget; false when the thread could not be made.
    bool start();
    // The stop budget (0: no limit), set before the stop is asked for.
    void setBudget(DWORD budgetMs);
    DWORD budgetMs();
    // True once start has made the thread.
    bool watching();
    // The stop has been asked for (or serviceMain has returned): the budget runs from now on.
    void arm();
    // The budget handler is called limitMs from now at the latest, even without a budget.
    void armWithin(DWORD limitMs);
    // The wait hint of a report of the stop: the time the budget has left plus marginMs.
    DWORD stopWaitHint(DWORD marginMs);
    // The run has ended in time: the watch ends, no handler is called from now on. Once only.
    void finish();

private:
    static DWORD WINAPI watch(LPVOID self);
    void watchUntilDone();
    // Sets the watch's timer when the deadline has moved; with the lock held.
    void moveTimerLocked(std::uint64_t now, std::uint64_t waitBefore);

    Handler onQuietStart;
    Handler onBudgetSpent;
    void* context;
    // The deadline and the flag are written by the threads that arm and finish and read by the watch.
    SRWLOCK lock = SRWLOCK_INIT;
    CStopDeadline deadline{0};
    bool finished = false;
    // Made by start, before any other thread arms the watch, and kept until
    // destruction. The timer fires at the deadline; the event wakes the watch for finish.
    CKernelHandle wake;
    CKernelHandle timer;
    CKernelHandle thread;
};
