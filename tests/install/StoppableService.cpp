// A service for the removal tests. How it stops is read from the "CommandLine"
// value of its Parameters key, "<mode> <wait hint ms> <steps> <step ms> <marker file>":
//   pending  accepts the stop control, reports SERVICE_STOP_PENDING <steps> more
//            times with the wait hint, <step ms> apart, appends "stopped" to
//            the marker file and then reports SERVICE_STOPPED;
//   refuse   accepts no stop control at all; the user control 130 stops it
//            (so that a test can clean up).
// It appends "running" to the marker file once it reports SERVICE_RUNNING.
#include <windows.h>

#include <cstring>
#include <cwchar>
#include <string>

namespace {

const DWORD kQuitControl = 130;

SERVICE_STATUS_HANDLE statusHandle = nullptr;
SERVICE_STATUS status = {};
HANDLE stopEvent = nullptr;
bool refuseStop = false;
DWORD stopWaitHint = 0;
DWORD stopSteps = 0;
DWORD stepMilliseconds = 0;
std::wstring markerFile;

void report(DWORD state, DWORD checkPoint, DWORD waitHint) {
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = (state == SERVICE_RUNNING && !refuseStop) ? SERVICE_ACCEPT_STOP : 0;
    status.dwWin32ExitCode = NO_ERROR;
    status.dwCheckPoint = checkPoint;
    status.dwWaitHint = waitHint;
    SetServiceStatus(statusHandle, &status);
}

void appendMarker(const char* line) {
    HANDLE file = CreateFileW(markerFile.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, line, static_cast<DWORD>(std::strlen(line)), &written, nullptr);
        WriteFile(file, "\r\n", 2, &written, nullptr);
        CloseHandle(file);
    }
}

// "<mode> <hint> <steps> <step ms> <marker>" from HKLM\...\Services\<name>\Parameters\CommandLine.
void readSettings(const wchar_t* serviceName) {
    const std::wstring keyPath = std::wstring(L"SYSTEM\\CurrentControlSet\\Services\\") + serviceName + L"\\Parameters";
    wchar_t text[1024] = {};
    DWORD size = sizeof(text) - sizeof(wchar_t);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, keyPath.c_str(), L"CommandLine", RRF_RT_REG_SZ, nullptr, text, &size) !=
        ERROR_SUCCESS) {
        return;
    }
    wchar_t* cursor = text;
    refuseStop = std::wcsncmp(cursor, L"refuse", 6) == 0;
    cursor = std::wcschr(cursor, L' ');
    if (cursor == nullptr) {
        return;
    }
    stopWaitHint = std::wcstoul(cursor, &cursor, 10);
    stopSteps = std::wcstoul(cursor, &cursor, 10);
    stepMilliseconds = std::wcstoul(cursor, &cursor, 10);
    while (*cursor == L' ') {
        ++cursor;
    }
    markerFile = cursor;
}

DWORD WINAPI handler(DWORD control, DWORD, void*, void*) {
    if (control == SERVICE_CONTROL_STOP && !refuseStop) {
        report(SERVICE_STOP_PENDING, 1, stopWaitHint);
        SetEvent(stopEvent);
        return NO_ERROR;
    }
    if (control == kQuitControl) {
        SetEvent(stopEvent);
        return NO_ERROR;
    }
    if (control == SERVICE_CONTROL_INTERROGATE) {
        return NO_ERROR;
    }
    return ERROR_CALL_NOT_IMPLEMENTED;
}

void WINAPI serviceMain(DWORD argc, wchar_t** argv) {
    const wchar_t* name = argc > 0 ? argv[0] : L"";
    statusHandle = RegisterServiceCtrlHandlerExW(name, handler, nullptr);
    if (statusHandle == nullptr) {
        return;
    }
    readSettings(name);
    stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    report(SERVICE_RUNNING, 0, 0);
    appendMarker("running");
    WaitForSingleObject(stopEvent, INFINITE);
    for (DWORD step = 1; step <= stopSteps; ++step) {
        report(SERVICE_STOP_PENDING, step + 1, stopWaitHint);
        Sleep(stepMilliseconds);
    }
    appendMarker("stopped");
    report(SERVICE_STOPPED, 0, 0);
}

}  // namespace

int main() {
    wchar_t anyName[] = L"";
    SERVICE_TABLE_ENTRYW table[] = {{anyName, serviceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(table) ? 0 : static_cast<int>(GetLastError());
}
