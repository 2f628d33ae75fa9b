#include "install/ServiceStop.h"

#include "common/Win32Handle.h"
#include "log/CLogger.h"

namespace {

// Each poll of a stopping service sleeps for its wait hint, but never longer than
// this, so that a huge hint cannot stall the caller between two looks.
const DWORD kLongestPoll = 10000;

}  // namespace

int stopService(CLogger* logger, SC_HANDLE manager, const wchar_t* serviceName) {
    logger->logEntry(L"CInstaller::stopService");
    int result = 1;
    const CServiceHandle service(OpenServiceW(manager, serviceName, GENERIC_READ | GENERIC_EXECUTE));
    if (!service) {
        logFailure(logger, L"Cannot open service for stopping, rc= ", GetLastError());
    } else {
        SERVICE_STATUS status = {};
        BOOL succeeded = ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
        // No overall limit: the service says how long each step of stopping takes.
        while (succeeded && status.dwCurrentState != SERVICE_STOPPED) {
            const DWORD hint = status.dwWaitHint != 0 ? status.dwWaitHint : 1000;
            Sleep(hint < kLongestPoll ? hint : kLongestPoll);
            succeeded = QueryServiceStatus(service.get(), &status);
        }
        if (!succeeded) {
            const DWORD error = GetLastError();
            if (error != ERROR_SERVICE_NOT_ACTIVE) {
                logFailure(logger, L"Error stopping service rc = ", error);
                result = 0;
            }
        }
    }
    logger->logExit(L"CInstaller::stopService", result);
    return result;
}
