#pragma once
// Holds an SRW lock exclusively from construction to the end of the scope, so
// that no path out of the scope can leave it held.
#include <windows.h>

class CSrwLockGuard {
public:
    explicit CSrwLockGuard(SRWLOCK* lock) noexcept : lock(lock) { AcquireSRWLockExclusive(lock); }
    ~CSrwLockGuard() { ReleaseSRWLockExclusive(lock); }
    CSrwLockGuard(const CSrwLockGuard&) = delete;
    CSrwLockGuard& operator=(const CSrwLockGuard&) = delete;

private:
    SRWLOCK* lock;
};
