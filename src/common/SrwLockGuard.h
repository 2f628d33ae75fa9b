#pragma once
// Holds an SRW lock from construction to the end of the scope, so that no
// path out of the scope can leave it held: exclusively (CSrwLockGuard), or
// shared, for readers that may run side by side (CSrwSharedGuard).
#include <windows.h>

template <void(WINAPI* acquire)(PSRWLOCK), void(WINAPI* release)(PSRWLOCK)>
class CSrwHold {
public:
    explicit CSrwHold(SRWLOCK* lock) noexcept : lock(lock) { acquire(lock); }
    ~CSrwHold() { release(lock); }
    CSrwHold(const CSrwHold&) = delete;
    CSrwHold& operator=(const CSrwHold&) = delete;

private:
    SRWLOCK* lock;
};

using CSrwLockGuard = CSrwHold<AcquireSRWLockExclusive, ReleaseSRWLockExclusive>;
using CSrwSharedGuard = CSrwHold<AcquireSRWLockShared, ReleaseSRWLockShared>;
