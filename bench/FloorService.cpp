// The floor of a service: only what the platform requires of one. It reports
// RUNNING at once, sets the named event "PravikBenchFloorControl200" when user
// control 200 arrives, and reports STOPPED on SERVICE_CONTROL_STOP.
#include <windows.h>

namespace {

SERVICE_STATUS_HANDLE statusHandle = nullptr;
SERVICE_STATUS status = {};
HANDLE stopEvent = nullptr;

void report(DWORD state, DWORD accepted) {
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = accepted;
    SetServiceStatus(statusHandle, &status);
}

void WINAPI controlHandler(DWORD control) {
    if (control == SERVICE_CONTROL_STOP) {
        report(SERVICE_STOP_PENDING, 0);
        SetEvent(stopEvent);
    } else if (control == 200) {
        HANDLE probe = OpenEventW(EVENT_MODIFY_STATE, FALSE, L"PravikBenchFloorControl200");
        if (probe != nullptr) {
            SetEvent(probe);
            CloseHandle(probe);
        }
    }
}

void WINAPI serviceMain(DWORD argc, wchar_t** argv) {
    statusHandle = RegisterServiceCtrlHandlerW(argc > 0 ? argv[0] : L"", controlHandler);
    if (statusHandle == nullptr) {
        return;
    }
    report(SERVICE_RUNNING, SERVICE_ACCEPT_STOP);
    WaitForSingleObject(stopEvent, INFINITE);
    report(SERVICE_STOPPED, 0);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        return 2;
    }
    stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SERVICE_TABLE_ENTRYW table[] = {{argv[1], serviceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
