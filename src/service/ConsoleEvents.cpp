// Console control events: offered to the Java side while the JVM host is ready.
#include "common/SrwLockGuard.h"
#include "jvm/CJvm.h"
#include "log/CLogger.h"
#include "service/CExecutor.h"

namespace {

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

}  // namespace

BOOL WINAPI signal_handler(DWORD event) {
    CSrwSharedGuard held(&g_executorLock);
    return g_pExecutor != nullptr ? g_pExecutor->consoleSignalHandler(event) : FALSE;
}

int CExecutor::consoleSignalHandler(DWORD event) {
    logger->logMessage(eventMessage(event));
    int result = 0;
    const CJvmLease host = jvm.lease();
    if (host) {
        result = host->sendConsoleSignal(event);
    }
    logger->logMessage(L"Console control event ", result != 0 ? L"handled." : L"not handled.");
    return result;
}
