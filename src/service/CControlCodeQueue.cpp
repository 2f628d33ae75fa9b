#include "service/CControlCodeQueue.h"

#include "common/SrwLockGuard.h"

bool CControlCodeQueue::put(DWORD code) {
    CSrwLockGuard held(&lock);
    // Unbounded: the forwarding thread makes room as each serviceControl returns, and close ends the wait.
    while (!closed && count == kCapacity) {
        SleepConditionVariableSRW(&changed, &lock, INFINITE, 0);
    }
    if (closed) {
        return false;
    }
    codes[(first + count) % kCapacity] = code;
    ++count;
    WakeAllConditionVariable(&changed);
    return true;
}

bool CControlCodeQueue::take(DWORD* code) {
    CSrwLockGuard held(&lock);
    // Unbounded: codes come when senders send them, and close ends the wait.
    while (!closed && count == 0) {
        SleepConditionVariableSRW(&changed, &lock, INFINITE, 0);
    }
    if (closed) {
        return false;
    }
    *code = codes[first];
    first = (first + 1) % kCapacity;
    --count;
    WakeAllConditionVariable(&changed);
    return true;
}

void CControlCodeQueue::close() {
    CSrwLockGuard held(&lock);
    closed = true;
    WakeAllConditionVariable(&changed);
}
