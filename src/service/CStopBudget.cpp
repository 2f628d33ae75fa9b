#include "service/CStopBudget.h"

#include "common/SrwLockGuard.h"

void CStopBudget::start(DWORD budgetMs) {
    CSrwLockGuard held(&lock);
    deadline = CStopDeadline(budgetMs);
    finished = false;
}

DWORD CStopBudget::budgetMs() {
    CSrwSharedGuard held(&lock);
    return deadline.budgetMs();
}

bool CStopBudget::startWatchLocked() {
    if (thread || finished || deadline.budgetMs() == 0) {
        return static_cast<bool>(thread);
    }
    wake.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (wake) {
        // The watch takes the lock first thing, so it waits until this caller lets go.
        thread.reset(CreateThread(nullptr, 0, watch, this, 0, nullptr));
    }
    return static_cast<bool>(thread);
}

bool CStopBudget::arm() {
    bool watched = false;
    {
        CSrwLockGuard held(&lock);
        deadline.arm(GetTickCount64());
        watched = startWatchLocked() || deadline.budgetMs() == 0;
    }
    if (wake) {
        SetEvent(wake.get());
    }
    return watched;
}

void CStopBudget::report(DWORD currentState, DWORD checkPoint, DWORD waitHint) {
    bool armed = false;
    {
        CSrwLockGuard held(&lock);
        if (currentState != SERVICE_START_PENDING) {
            startWatchLocked();
        }
        const std::uint64_t now = GetTickCount64();
        deadline.report(now, currentState == SERVICE_STOP_PENDING, checkPoint, waitHint);
        armed = deadline.waitMs(now) != CStopDeadline::kNoDeadline;
    }
    // Only an armed deadline can have moved.
    if (armed && wake) {
        SetEvent(wake.get());
    }
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
    for (;;) {
        std::uint64_t waitMs = 0;
        {
            CSrwSharedGuard held(&lock);
            if (finished) {
                return;
            }
            waitMs = deadline.waitMs(GetTickCount64());
        }
        if (waitMs == 0) {
            onExpiry(context);
            return;
        }
        // Woken early by every arm, report and finish, which may move the deadline.
        const DWORD slice = waitMs >= INFINITE ? INFINITE : static_cast<DWORD>(waitMs);
        WaitForSingleObject(wake.get(), slice);
    }
}
