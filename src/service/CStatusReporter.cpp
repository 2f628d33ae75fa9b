#include "service/CStatusReporter.h"

#include "common/SrwLockGuard.h"
#include "log/CLogger.h"

CStatusReporter::CStatusReporter(CLogger* logger) : logger(logger), machine(CStatusSink{this, reportToScm}) {}

unsigned long CStatusReporter::reportToScm(void* reporter, const CStatusFields& status) {
    // Called by the machine, with lock held.
    const SERVICE_STATUS_HANDLE target = static_cast<CStatusReporter*>(reporter)->handle;
    if (target == nullptr) {
        return NO_ERROR;
    }
    SERVICE_STATUS report = {status.serviceType,   status.currentState,
                             status.controlsAccepted, status.win32ExitCode,
                             status.serviceSpecificExitCode, status.checkPoint,
                             status.waitHint};
    return SetServiceStatus(target, &report) ? NO_ERROR : GetLastError();
}

void CStatusReporter::attach(SERVICE_STATUS_HANDLE statusHandle, DWORD serviceType) {
    bool quietStartMissed = false;
    {
        CSrwLockGuard held(&lock);
        handle = statusHandle;
        quietStartMissed = machine.attach(serviceType);
    }
    // The watch's second passed before the SCM had started the service thread.
    if (quietStartMissed) {
        reportQuietStart();
    }
}

bool CStatusReporter::record(DWORD currentState, DWORD controlsAccepted, DWORD serviceSpecificExitCode,
                             DWORD checkPoint, DWORD waitHint, bool fromJava, DWORD stopHint) {
    unsigned long failure = NO_ERROR;
    bool made = false;
    {
        CSrwLockGuard held(&lock);
        made = machine.record(
            CStatusFields{0, currentState, controlsAccepted, 0, serviceSpecificExitCode, checkPoint, waitHint},
            fromJava, stopHint, failure);
    }
    sayFailure(failure);
    return made;
}

void CStatusReporter::reportStopProgress(DWORD waitHint) {
    unsigned long failure = NO_ERROR;
    {
        CSrwLockGuard held(&lock);
        failure = machine.reportStopProgress(waitHint);
    }
    sayFailure(failure);
}

void CStatusReporter::reportQuietStart() {
    unsigned long failure = NO_ERROR;
    {
        CSrwLockGuard held(&lock);
        failure = machine.reportQuietStart();
    }
    sayFailure(failure);
}

DWORD CStatusReporter::runExitCode(DWORD otherwise) {
    CSrwSharedGuard held(&lock);
    return machine.outcome().exitCode(otherwise);
}

DWORD CStatusReporter::failedStartCode(DWORD result) {
    CSrwSharedGuard held(&lock);
    return machine.outcome().startFailed(result) ? machine.outcome().exitCode(result) : 0;
}

void CStatusReporter::sayFailure(unsigned long failure) {
    // Outside the lock: a trace file that is slow to take must not hold up
    // the status reports of other threads.
    if (failure != NO_ERROR) {
        logFailure(logger, L"SetServiceStatus failed ", failure);
    }
}
