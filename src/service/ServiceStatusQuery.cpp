#include "service/ServiceStatusQuery.h"

#include <windows.h>

#include <cwchar>

#include "common/ExitCodes.h"
#include "common/HeapText.h"
#include "common/JsonText.h"
#include "common/ServiceConfigQuery.h"
#include "common/ServiceNames.h"
#include "common/Win32Handle.h"
#include "log/TraceScope.h"
#include "registry/ServiceListing.h"
#include "service/ControlSender.h"

namespace {

const wchar_t kEveryService[] = L"*";
const wchar_t kStatePrefix[] = L"SERVICE_";

// The state's name without its SERVICE_ prefix ("RUNNING").
const wchar_t* stateWord(DWORD state) {
    const wchar_t* name = describeServiceState(state);
    const std::size_t prefix = sizeof(kStatePrefix) / sizeof(kStatePrefix[0]) - 1;
    return std::wcsncmp(name, kStatePrefix, prefix) == 0 ? name + prefix : L"UNKNOWN";
}

int stateExitCode(DWORD state) {
    switch (state) {
        case SERVICE_RUNNING:
            return kStatusRunning;
        case SERVICE_STOPPED:
            return kStatusStopped;
        default:
            return kStatusOtherState;
    }
}

// A service that is not there, or whose status could not be read: its name and why.
int describeUnknown(CJsonText& json, const wchar_t* serviceName, DWORD error) {
    json.beginObject().key("name").string(serviceName);
    if (error == ERROR_SERVICE_DOES_NOT_EXIST) {
        json.key("installed").boolean(false);
    } else {
        json.key("error").number(error);
    }
    json.endObject();
    return kStatusUnknown;
}

// Appends the service's object; its exit code. managerError: why there is no manager.
int describeService(CJsonText& json, SC_HANDLE manager, DWORD managerError, const wchar_t* serviceName) {
    if (manager == nullptr) {
        return describeUnknown(json, serviceName, managerError);
    }
    const CServiceHandle service(OpenServiceW(manager, serviceName, SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG));
    if (!service) {
        return describeUnknown(json, serviceName, GetLastError());
    }
    SERVICE_STATUS_PROCESS status = {};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof(status),
                              &needed)) {
        return describeUnknown(json, serviceName, GetLastError());
    }
    DWORD error = 0;
    const CHeapPtr<QUERY_SERVICE_CONFIGW> config = queryServiceConfig(service.get(), &error);
    if (!config) {
        return describeUnknown(json, serviceName, error);
    }
    // The words of the configuration file, as the export writes them; none for a boot or system driver's.
    const CNamedValue* startType = findValue(kStartTypeNames, config->dwStartType);
    json.beginObject();
    json.key("name").string(serviceName);
    json.key("displayName").string(config->lpDisplayName);
    json.key("state").string(stateWord(status.dwCurrentState));
    json.key("pid").number(status.dwProcessId);
    json.key("win32ExitCode").number(status.dwWin32ExitCode);
    json.key("serviceExitCode").number(status.dwServiceSpecificExitCode);
    json.key("startType").string(startType != nullptr ? startType->name : nullptr);
    json.key("account").string(config->lpServiceStartName);
    json.key("consoleMode").boolean(consoleInstanceServes(serviceName));
    json.endObject();
    return isPravikService(serviceName) ? stateExitCode(status.dwCurrentState) : kNotOurService;
}

struct CEveryService {
    CJsonText* json;
    SC_HANDLE manager;
    DWORD managerError;
};

void describeListed(const wchar_t* serviceName, void* context) {
    const CEveryService* every = static_cast<const CEveryService*>(context);
    describeService(*every->json, every->manager, every->managerError, serviceName);
}

// The bytes as they are for a pipe or a file, which scripts read as UTF-8; a
// console shows the same text whatever its code page.
void writeLine(const CJsonText& json) {
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    DWORD written = 0;
    if (!GetConsoleMode(output, &mode)) {
        WriteFile(output, json.text(), static_cast<DWORD>(json.length()), &written, nullptr);
        WriteFile(output, "\r\n", 2, &written, nullptr);
        return;
    }
    const int length = static_cast<int>(json.length());
    const int characters = MultiByteToWideChar(CP_UTF8, 0, json.text(), length, nullptr, 0);
    CHeapText wide = allocateZeroed<wchar_t>(static_cast<std::size_t>(characters) + 3);
    if (wide) {
        MultiByteToWideChar(CP_UTF8, 0, json.text(), length, wide.get(), characters);
        std::wcscpy(wide.get() + characters, L"\r\n");
        WriteConsoleW(output, wide.get(), static_cast<DWORD>(characters + 2), &written, nullptr);
    }
}

}  // namespace

int queryServiceStatus(CLogger* logger, const wchar_t* serviceName) {
    CTraceScope trace(logger, L"queryServiceStatus");
    const CServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    const DWORD managerError = manager ? 0 : GetLastError();
    CJsonText json;
    int result = 0;
    if (std::wcscmp(serviceName, kEveryService) == 0) {
        json.beginArray();
        CEveryService every = {&json, manager.get(), managerError};
        long status = 0;
        // A walk cut short still lists what it found: the array is the answer.
        forEachPravikService(describeListed, &every, &status);
        json.endArray();
    } else {
        result = describeService(json, manager.get(), managerError, serviceName);
    }
    if (json.failed()) {
        return trace.exit(kMemoryError);
    }
    writeLine(json);
    return trace.exit(result);
}
