#include "service/ConsoleEvents.h"

#include "common/SrwLockGuard.h"
#include "jvm/CJvm.h"
#include "log/CLogger.h"
#include "service/CJvmHostSlot.h"

namespace {

// Where the console's handler thread takes events: set and cleared by the
// service's thread, read by the handler under the lock, held shared.
SRWLOCK targetLock = SRWLOCK_INIT;
CLogger* targetLogger = nullptr;  // under targetLock
CJvmHostSlot* targetJvm = nullptr;  // under targetLock

const wchar_t* eventMessage(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
            return L"Got a ctrl_c_event";
        case CTRL_BREAK_EVENT:
            return L"Got a ctrl_break_event";
        case CTRL_CLOSE_EVENT:
            return L"Got a ctrl_close_event";
        case CTRL_LOGOFF_EVENT:
            return L"Got a ctrl_logoff_event";
        case CTRL_SHUTDOWN_EVENT:
            return L"Got a ctrl_shutdown_event";
        default:
            return L"Got an unknown event";
    }
}

// Nonzero when the Java side handled the event.
BOOL WINAPI offerConsoleEvent(DWORD event) {
    CSrwSharedGuard held(&targetLock);
    if (targetJvm == nullptr) {
        return FALSE;
    }
    targetLogger->logMessage(eventMessage(event));
    int result = 0;
    const CJvmLease host = targetJvm->lease();
    if (host) {
        result = host->sendConsoleSignal(event);
    }
    targetLogger->logMessage(L"Console control event ", result != 0 ? L"handled." : L"not handled.");
    return result;
}

}  // namespace

void offerConsoleEvents(CLogger* logger, CJvmHostSlot* jvm) {
    {
        CSrwLockGuard held(&targetLock);
        targetLogger = logger;
        targetJvm = jvm;
    }
    SetConsoleCtrlHandler(offerConsoleEvent, TRUE);
}

void withdrawConsoleEvents() {
    SetConsoleCtrlHandler(offerConsoleEvent, FALSE);
    CSrwLockGuard held(&targetLock);
    targetLogger = nullptr;
    targetJvm = nullptr;
}
