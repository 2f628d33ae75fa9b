#include "service/CStopBudget.h"

#include "common/SrwLockGuard.h"

bool CStopBudget::start(DWORD budgetMs) {
    {
        CSrwLockGuard held(&lock);
        deadline = CStopDeadline(budgetMs);
        finished = false;
    }
    if (budgetMs == 0) {
        return true;
    }
    wake.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (wake) {
        thread.reset(CreateThread(nullptr, 0, watch, this, 0, nullptr));
    }
    return static_cast<bool>(thread);
}

DWORD CStopBudget::budgetMs() {
    CSrwSharedGuard held(&lock);
    return deadline.budgetMs();
}

void CStopBudget::arm() {
    {
        CSrwLockGuard held(&lock);
        deadline.arm(GetTickCount64());
    }
    if (wake) {
        SetEvent(wake.get());
    }
}

void CStopBudget::report(DWORD currentState, DWORD checkPoint, DWORD waitHint) {
    {
        CSrwLockGuard held(&lock);
        deadline.report(GetTickCount64(), currentState == SERVICE_STOP_PENDING, checkPoint, waitHint);
    }
    if (wake) {
        SetEvent(wake.get());
    }
}

void CStopBudget::finish() {
    {
        CSrwLockGuard held(&lock);
        if (finished) {
            return;
        }
        finished = true;
    }
    if (thread) {
        SetEvent(wake.get());
        // The watch sees the flag at once, unless its handler runs already:
        // that one ends the process, so this wait ends either way.
        WaitForSingleObject(thread.get(), INFINITE);
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
