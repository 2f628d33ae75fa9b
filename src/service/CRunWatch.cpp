#include "service/CStopBudget.h"

#include "common/SrwLockGuard.h"

namespace {

// Sets the timer to fire waitMs from now.
void setTimer(HANDLE timer, std::uint64_t waitMs) {
    LARGE_INTEGER due;
    // Relative, in 100-nanosecond units.
    due.QuadPart = -static_cast<LONGLONG>(waitMs) * 10000;
    SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE);
}

}  // namespace

bool CStopBudget::start(DWORD budgetMs) {
    CSrwLockGuard held(&lock);
    deadline = CStopDeadline(budgetMs);
    finished = false;
    if (budgetMs == 0) {
        return true;
    }
    wake.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    timer.reset(CreateWaitableTimerW(nullptr, TRUE, nullptr));
    if (wake && timer) {
        // The watch takes the lock first thing, so it waits until this caller lets go.
        thread.reset(CreateThread(nullptr, 0, watch, this, 0, nullptr));
    }
    return static_cast<bool>(thread);
}

DWORD CStopBudget::budgetMs() {
    CSrwSharedGuard held(&lock);
    return deadline.budgetMs();
}

void CStopBudget::moveTimerLocked(std::uint64_t now, std::uint64_t waitBefore) {
    const std::uint64_t waitAfter = deadline.waitMs(now);
    // The watch sleeps on the timer and is not woken: a stop pays one call
    // to set the timer, not a switch to another thread.
    if (thread && waitAfter != waitBefore && waitAfter != CStopDeadline::kNoDeadline) {
        setTimer(timer.get(), waitAfter);
    }
}

void CStopBudget::arm() {
    CSrwLockGuard held(&lock);
    const std::uint64_t now = GetTickCount64();
    const std::uint64_t waitBefore = deadline.waitMs(now);
    deadline.arm(now);
    moveTimerLocked(now, waitBefore);
}

void CStopBudget::report(DWORD currentState, DWORD checkPoint, DWORD waitHint) {
    CSrwLockGuard held(&lock);
    const std::uint64_t now = GetTickCount64();
    const std::uint64_t waitBefore = deadline.waitMs(now);
    deadline.report(now, currentState == SERVICE_STOP_PENDING, checkPoint, waitHint);
    moveTimerLocked(now, waitBefore);
}

void CStopBudget::finish() {
    HANDLE watcher = nullptr;
    {
        CSrwLockGuard held(&lock);
        if (finished) {
            return;
        }
        finished = true;
        watcher = thread.get();
    }
    if (watcher != nullptr) {
        SetEvent(wake.get());
        // The watch sees the flag at once, unless its handler runs already:
        // that one ends the process, so this wait ends either way.
        WaitForSingleObject(watcher, INFINITE);
    }
}

DWORD WINAPI CStopBudget::watch(LPVOID self) {
    static_cast<CStopBudget*>(self)->watchUntilDone();
    return 0;
}

void CStopBudget::watchUntilDone() {
    const HANDLE events[] = {wake.get(), timer.get()};
    for (;;) {
        {
            CSrwSharedGuard held(&lock);
            if (finished) {
                return;
            }
            const std::uint64_t waitMs = deadline.waitMs(GetTickCount64());
            if (waitMs == 0) {
                break;
            }
            // Fired early for a deadline that a report has moved on: wait for the new one.
            if (waitMs != CStopDeadline::kNoDeadline && WaitForSingleObject(timer.get(), 0) == WAIT_OBJECT_0) {
                setTimer(timer.get(), waitMs);
            }
        }
        // Until the timer fires or finish wakes the watch.
        WaitForMultipleObjects(2, events, FALSE, INFINITE);
    }
    onExpiry(context);
}
