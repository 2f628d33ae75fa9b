#pragma once
// The service's status reporter: the only caller of SetServiceStatus. Java
// threads, the service thread and the run's watch report through it; it
// guards the rules (common/CStatusMachine.h) with its lock and says what fails.
#include <windows.h>

#include "common/CStatusMachine.h"

class CLogger;

class CStatusReporter {
public:
    explicit CStatusReporter(CLogger* logger);
    CStatusReporter(const CStatusReporter&) = delete;
    CStatusReporter& operator=(const CStatusReporter&) = delete;

    // The service thread's handle, for a service of this type: from here on
    // the reports reach the SCM (a console run has none, and reports nothing).
    void attach(SERVICE_STATUS_HANDLE handle, DWORD serviceType);
    // Records the status fields and reports them. fromJava: a state Java
    // reports; its STOPPED goes out as STOP_PENDING with stopHint, its exit
    // code kept for the end, and its later reports are dropped. False when
    // the report was dropped.
    bool record(DWORD currentState, DWORD controlsAccepted, DWORD serviceSpecificExitCode, DWORD checkPoint,
                DWORD waitHint, bool fromJava, DWORD stopHint);
    // A STOP_PENDING report with a higher check point, unless STOPPED was reported.
    void reportStopProgress(DWORD waitHint);
    // A START_PENDING report unless some report has been made.
    void reportQuietStart();
    // The service-specific exit code of the run's end: Java's STOPPED's, else otherwise.
    DWORD runExitCode(DWORD otherwise);
    // The exit code of a failed start that ends with pravik's result, else 0.
    DWORD failedStartCode(DWORD result);

private:
    static unsigned long reportToScm(void* reporter, const CStatusFields& status);
    void sayFailure(unsigned long failure);

    CLogger* logger;
    // Java threads, the service thread and the watch report side by side.
    SRWLOCK lock = SRWLOCK_INIT;
    SERVICE_STATUS_HANDLE handle = nullptr;  // under lock
    CStatusMachine machine;                  // under lock
};
