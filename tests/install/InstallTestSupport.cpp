#include "install/InstallTestSupport.h"

#include <gtest/gtest.h>

#include "common/Win32Handle.h"
#include "support/Polling.h"
#include "support/TestRegistry.h"

std::wstring uniqueServiceName(const std::wstring& base) {
    return L"PrvInst" + base + std::to_wstring(GetCurrentProcessId());
}

std::wstring serviceKeyPath(const std::wstring& serviceName) {
    return std::wstring(kServicesKey) + L"\\" + serviceName;
}

std::wstring parametersKeyPath(const std::wstring& serviceName) {
    return serviceKeyPath(serviceName) + L"\\Parameters";
}

std::string narrow(const std::wstring& text) {
    std::string result;
    for (wchar_t character : text) {
        result += static_cast<char>(character);
    }
    return result;
}

std::wstring writeConfig(const CTempDir& directory, const std::wstring& fileName,
                         const std::vector<std::string>& lines) {
    std::string bytes;
    for (const auto& line : lines) {
        bytes += line + "\r\n";
    }
    const std::wstring path = directory.file(fileName);
    writeFileBytes(path, bytes);
    return path;
}

std::string echoOf(const std::vector<std::string>& lines) {
    std::string echo;
    for (const auto& line : lines) {
        if (!line.empty() && line[0] != '#') {
            echo += line + "\r\n";
        }
    }
    return echo;
}

std::vector<std::string> outputLines(const std::string& output) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = output.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(output.substr(start, end - start));
    }
    if (start < output.size()) {
        lines.push_back(output.substr(start));
    }
    return lines;
}

std::vector<std::string> nonEmptyLines(const std::string& output) {
    std::vector<std::string> lines;
    for (const auto& line : outputLines(output)) {
        if (!line.empty()) {
            lines.push_back(line);
        }
    }
    return lines;
}

std::optional<CServiceConfig> queryServiceConfig(const std::wstring& serviceName) {
    CServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    CServiceHandle service(manager.get() ? OpenServiceW(manager.get(), serviceName.c_str(), SERVICE_QUERY_CONFIG)
                                     : nullptr);
    if (service.get() == nullptr) {
        return std::nullopt;
    }
    DWORD needed = 0;
    QueryServiceConfigW(service.get(), nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed + sizeof(QUERY_SERVICE_CONFIGW));
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (!QueryServiceConfigW(service.get(), config, static_cast<DWORD>(buffer.size()), &needed)) {
        ADD_FAILURE() << "QueryServiceConfigW failed " << GetLastError();
        return std::nullopt;
    }
    CServiceConfig result;
    result.serviceType = config->dwServiceType;
    result.startType = config->dwStartType;
    result.errorControl = config->dwErrorControl;
    result.binaryPath = config->lpBinaryPathName ? config->lpBinaryPathName : L"";
    result.displayName = config->lpDisplayName ? config->lpDisplayName : L"";
    result.startName = config->lpServiceStartName ? config->lpServiceStartName : L"";
    return result;
}

DWORD openServiceError(const std::wstring& serviceName) {
    CServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (manager.get() == nullptr) {
        return GetLastError();
    }
    CServiceHandle service(OpenServiceW(manager.get(), serviceName.c_str(), SERVICE_QUERY_STATUS));
    return service.get() == nullptr ? GetLastError() : 0;
}

DWORD serviceState(const std::wstring& serviceName) {
    CServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    CServiceHandle service(manager.get() ? OpenServiceW(manager.get(), serviceName.c_str(), SERVICE_QUERY_STATUS)
                                     : nullptr);
    SERVICE_STATUS status = {};
    if (service.get() == nullptr || !QueryServiceStatus(service.get(), &status)) {
        return 0;
    }
    return status.dwCurrentState;
}

bool waitForServiceState(const std::wstring& serviceName, DWORD state) {
    return pollUntil([&] { return serviceState(serviceName) == state; });
}

bool startService(const std::wstring& serviceName) {
    CServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    CServiceHandle service(manager.get() ? OpenServiceW(manager.get(), serviceName.c_str(), SERVICE_START) : nullptr);
    return service.get() != nullptr && StartServiceW(service.get(), 0, nullptr);
}

DWORD controlService(const std::wstring& serviceName, DWORD control) {
    CServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    CServiceHandle service(manager.get() ? OpenServiceW(manager.get(), serviceName.c_str(),
                                                    SERVICE_STOP | SERVICE_USER_DEFINED_CONTROL | SERVICE_QUERY_STATUS)
                                     : nullptr);
    if (service.get() == nullptr) {
        return GetLastError();
    }
    SERVICE_STATUS status = {};
    return ControlService(service.get(), control, &status) ? 0 : GetLastError();
}

std::optional<std::vector<std::wstring>> getHklmMultiString(const std::wstring& keyPath, const std::wstring& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    DWORD size = 0;
    DWORD type = 0;
    std::optional<std::vector<std::wstring>> entries;
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_MULTI_SZ) {
        std::wstring text(size / sizeof(wchar_t) + 2, L'\0');
        if (RegQueryValueExW(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(text.data()), &size) ==
            ERROR_SUCCESS) {
            entries.emplace();
            for (const wchar_t* entry = text.c_str(); *entry != L'\0'; entry += wcslen(entry) + 1) {
                entries->push_back(entry);
            }
        }
    }
    RegCloseKey(key);
    return entries;
}

std::map<std::wstring, std::pair<DWORD, std::string>> snapshotKey(const std::wstring& keyPath) {
    std::map<std::wstring, std::pair<DWORD, std::string>> values;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return values;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[512];
        DWORD nameLength = 512;
        DWORD type = 0;
        BYTE data[8192];
        DWORD size = sizeof(data);
        if (RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS) {
            break;
        }
        values[std::wstring(name, nameLength)] = {type, std::string(reinterpret_cast<char*>(data), size)};
    }
    RegCloseKey(key);
    return values;
}

bool createForeignService(const std::wstring& serviceName, const std::wstring& imagePath) {
    CServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    CServiceHandle service(manager.get()
                          ? CreateServiceW(manager.get(), serviceName.c_str(), (serviceName + L" display").c_str(),
                                           SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                           SERVICE_ERROR_NORMAL, imagePath.c_str(), nullptr, nullptr, nullptr,
                                           nullptr, nullptr)
                          : nullptr);
    return service.get() != nullptr;
}

CServiceCleanup::~CServiceCleanup() {
    const DWORD state = serviceState(name);
    if (state != 0 && state != SERVICE_STOPPED) {
        if (controlService(name, SERVICE_CONTROL_STOP) != 0) {
            controlService(name, kStoppableQuitControl);
        }
        // Until it has stopped, or is gone (deleted while it ran).
        for (int attempt = 0; attempt < 600; ++attempt) {
            const DWORD now = serviceState(name);
            if (now == 0 || now == SERVICE_STOPPED) {
                break;
            }
            Sleep(100);
        }
    }
    CServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    CServiceHandle service(manager.get() ? OpenServiceW(manager.get(), name.c_str(), DELETE) : nullptr);
    if (service.get() != nullptr) {
        DeleteService(service.get());
    }
    deleteHklmTree(serviceKeyPath(name));
}

std::wstring stoppableServiceExe() { return STOPPABLE_SERVICE_PATH; }
