#pragma once
// Holds an SRW lock from construction to the end of the scope, so that no
// path out of the scope can leave it held.
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

// The same for a shared hold, for readers that may run side by side.
class CSrwSharedGuard {
public:
    explicit CSrwSharedGuard(SRWLOCK* lock) noexcept : lock(lock) { AcquireSRWLockShared(lock); }
    ~CSrwSharedGuard() { ReleaseSRWLockShared(lock); }
    CSrwSharedGuard(const CSrwSharedGuard&) = delete;
    CSrwSharedGuard& operator=(const CSrwSharedGuard&) = delete;

private:
    SRWLOCK* lock;
};
