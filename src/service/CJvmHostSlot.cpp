#include "service/CJvmHostSlot.h"

#include "common/SrwLockGuard.h"
#include "jvm/CJvm.h"

CJvmHostSlot::~CJvmHostSlot() { destroy(); }

void CJvmHostSlot::hold(std::unique_ptr<CJvm> host) {
    CSrwLockGuard held(&lock);
    jvm = std::move(host);
}

void CJvmHostSlot::ready() {
    CSrwLockGuard held(&lock);
    jvmReady = true;
}

CJvmLease CJvmHostSlot::lease() {
    CSrwLockGuard held(&lock);
    if (!jvmReady || !jvm) {
        return CJvmLease();
    }
    ++leases;
    return CJvmLease(this, jvm.get());
}

void CJvmHostSlot::release() {
    CSrwLockGuard held(&lock);
    if (--leases == 0) {
        WakeAllConditionVariable(&leasesDone);
    }
}

void CJvmHostSlot::destroy() {
    // Declared before the guard, so that the host is destroyed after the lock is released.
    std::unique_ptr<CJvm> host;
    CSrwLockGuard held(&lock);
    jvmReady = false;
    // A lease lasts one forwarded control or console event.
    while (leases > 0) {
        SleepConditionVariableSRW(&leasesDone, &lock, INFINITE, 0);
    }
    host = std::move(jvm);
}
