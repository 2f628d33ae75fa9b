#include "install/ServiceStop.h"

#include "common/Win32Handle.h"
#include "log/CLogger.h"
#include "log/TraceScope.h"

namespace {

// Between two looks at a stopping service: a tenth of its wait hint, but at
// least one second and at most ten, as the system's own tools poll.
const DWORD kShortestPoll = 1000;
const DWORD kLongestPoll = 10000;

DWORD pollInterval(DWORD waitHint) {
    const DWORD tenth = waitHint / 10;
    return tenth < kShortestPoll ? kShortestPoll : (tenth > kLongestPoll ? kLongestPoll : tenth);
}

}  // namespace

int stopService(CLogger* logger, SC_HANDLE manager, const wchar_t* serviceName) {
    CTraceScope trace(logger, L"CInstaller::stopService");
    const CServiceHandle service(OpenServiceW(manager, serviceName, SERVICE_STOP | SERVICE_QUERY_STATUS));
    if (!service) {
        logFailure(logger, L"Cannot open service for stopping, rc= ", GetLastError());
        return trace.exit(1);
    }
    SERVICE_STATUS status = {};
    BOOL succeeded = ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
    // Bounded by the service's progress: each change of its state or check
    // point must come within the wait hint it last gave, or it is stuck (a
    // service that gives an endless hint is trusted with it).
    SERVICE_STATUS lastChange = status;
    ULONGLONG lastChangeAt = GetTickCount64();
    bool stuck = false;
    while (succeeded && status.dwCurrentState != SERVICE_STOPPED && !stuck) {
        Sleep(pollInterval(status.dwWaitHint));
        succeeded = QueryServiceStatus(service.get(), &status);
        const ULONGLONG now = GetTickCount64();
        if (status.dwCurrentState != lastChange.dwCurrentState || status.dwCheckPoint != lastChange.dwCheckPoint) {
            lastChange = status;
            lastChangeAt = now;
        } else {
            stuck = now - lastChangeAt > status.dwWaitHint;
        }
    }
    if (!succeeded) {
        const DWORD error = GetLastError();
        if (error != ERROR_SERVICE_NOT_ACTIVE) {
            logFailure(logger, L"Error stopping service rc = ", error);
            return trace.exit(0);
        }
    } else if (stuck) {
        logger->logMessage(L"Service ", serviceName, L" did not stop.");
        return trace.exit(0);
    }
    return trace.exit(1);
}
