#pragma once
// Where the run's JVM host lives: controls and console events reach it only
// while it is ready (its JVM created, its destruction not begun), through a
// lease; the host is not destroyed while a lease is out.
#include <windows.h>

#include <memory>

#include "service/CJvmLease.h"

class CJvm;

class CJvmHostSlot {
public:
    // Destroys the host as destroy does.
    ~CJvmHostSlot();

    // Takes the host, not ready yet.
    void hold(std::unique_ptr<CJvm> host);
    // Its JVM is created: leases may be given.
    void ready();
    // The ready host, or an empty lease.
    CJvmLease lease();
    // Ends readiness, waits for the leases out, then destroys the host.
    void destroy();

private:
    friend class CJvmLease;
    void release();

    // The service thread holds and destroys the host; the SCM's and the console's threads lease it.
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE leasesDone = CONDITION_VARIABLE_INIT;
    std::unique_ptr<CJvm> jvm;  // under lock
    bool jvmReady = false;      // under lock
    int leases = 0;             // under lock
};
