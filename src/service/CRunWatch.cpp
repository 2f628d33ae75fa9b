#include "service/CRunWatch.h"

#include "common/DecimalText.h"
#include "common/HeapText.h"
#include "common/RegistryLayout.h"
#include "common/SrwLockGuard.h"
#include "config/ConfigKeys.h"
#include "registry/ServiceParameters.h"

namespace {

// How long a start may go without a status report before the watch makes one.
constexpr DWORD kQuietStartMs = 1000;

// Sets the timer to fire waitMs from now.
void setTimer(HANDLE timer, std::uint64_t waitMs) {
    LARGE_INTEGER due;
    // Relative, in 100-nanosecond units.
    due.QuadPart = -static_cast<LONGLONG>(waitMs) * 10000;
    SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE);
}

}  // namespace

DWORD stopBudgetMs(const wchar_t* stopTimeout) {
    return stopTimeout != nullptr ? static_cast<DWORD>(parseLeadingInteger(stopTimeout)) : kDefaultStopTimeoutMs;
}

DWORD configuredStopBudgetMs(const wchar_t* serviceName, CLogger* logger) {
    const CHeapText timeout(getRegServiceParam(serviceName, kStopTimeoutValue, logger, 0, 1));
    return stopBudgetMs(timeout.get());
}

bool CRunWatch::start() {
    CSrwLockGuard held(&lock);
    finished = false;
    wake.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    timer.reset(CreateWaitableTimerW(nullptr, TRUE, nullptr));
    if (wake && timer) {
        // The watch reads the deadline only under the lock, so not before this caller lets go.
        thread.reset(CreateThread(nullptr, 0, watch, this, 0, nullptr));
    }
    return static_cast<bool>(thread);
}

void CRunWatch::setBudget(DWORD budgetMs) {
    CSrwLockGuard held(&lock);
    deadline = CStopDeadline(budgetMs);
}

DWORD CRunWatch::budgetMs() {
    CSrwSharedGuard held(&lock);
    return deadline.budgetMs();
}

bool CRunWatch::watching() {
    CSrwSharedGuard held(&lock);
    return static_cast<bool>(thread);
}

void CRunWatch::moveTimerLocked(std::uint64_t now, std::uint64_t waitBefore) {
    const std::uint64_t waitAfter = deadline.waitMs(now);
    // The watch sleeps on the timer and is not woken: a stop pays one call
    // to set the timer, not a switch to another thread.
    if (thread && waitAfter != waitBefore && waitAfter != CStopDeadline::kNoDeadline) {
        setTimer(timer.get(), waitAfter);
    }
}

void CRunWatch::arm() {
    CSrwLockGuard held(&lock);
    const std::uint64_t now = GetTickCount64();
    const std::uint64_t waitBefore = deadline.waitMs(now);
    deadline.arm(now);
    moveTimerLocked(now, waitBefore);
}

void CRunWatch::armWithin(DWORD limitMs) {
    CSrwLockGuard held(&lock);
    const std::uint64_t now = GetTickCount64();
    const std::uint64_t waitBefore = deadline.waitMs(now);
    deadline.armWithin(now, limitMs);
    moveTimerLocked(now, waitBefore);
}

DWORD CRunWatch::stopWaitHint(DWORD marginMs) {
    CSrwSharedGuard held(&lock);
    return deadline.waitHintMs(GetTickCount64(), marginMs);
}

void CRunWatch::finish() {
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

DWORD WINAPI CRunWatch::watch(LPVOID self) {
    static_cast<CRunWatch*>(self)->watchUntilDone();
    return 0;
}

void CRunWatch::watchUntilDone() {
    const HANDLE events[] = {wake.get(), timer.get()};
    // Woken sooner, by finish or a stop budget already spent, the loop sees to it.
    if (WaitForMultipleObjects(2, events, FALSE, kQuietStartMs) == WAIT_TIMEOUT) {
        onQuietStart(context);
    }
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
            // Fired before the clock's coarser tick has reached the deadline: wait for the rest.
            if (waitMs != CStopDeadline::kNoDeadline && WaitForSingleObject(timer.get(), 0) == WAIT_OBJECT_0) {
                setTimer(timer.get(), waitMs);
            }
        }
        // Until the timer fires or finish wakes the watch.
        WaitForMultipleObjects(2, events, FALSE, INFINITE);
    }
    onBudgetSpent(context);
}
