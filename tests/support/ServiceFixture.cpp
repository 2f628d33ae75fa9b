#include "support/ServiceFixture.h"

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "support/Polling.h"
#include "support/PravikRunner.h"
#include "support/TestRegistry.h"

namespace {

const DWORD kPatienceMs = 120000;

// The text in a code page (CP_ACP, CP_UTF8), without the terminator.
std::string inCodePage(const std::wstring& text, UINT codePage) {
    const int size = WideCharToMultiByte(codePage, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string result(size > 0 ? size - 1 : 0, '\0');
    if (size > 1) {
        WideCharToMultiByte(codePage, 0, text.c_str(), -1, result.data(), size, nullptr, nullptr);
    }
    return result;
}

}  // namespace

std::wstring testJvmDll() { return std::wstring(PRAVIK_TEST_JVM_DIR) + L"\\jvm.dll"; }
std::wstring brokenJvmDll(const wchar_t* variant) {
    return std::wstring(PRAVIK_TEST_JVM_DIR) + L"\\jvm-" + variant + L".dll";
}
std::wstring pravikJar() { return PRAVIK_JAR_PATH; }
std::wstring serviceTestJar() { return PRAVIK_SERVICE_TEST_JAR_PATH; }
std::wstring preinitProbe() { return PRAVIK_PREINIT_PROBE; }
std::wstring stoppableServiceExe() { return STOPPABLE_SERVICE_PATH; }

std::wstring unixPathOf(const std::wstring& windowsPath) {
    using UnixFileName = char*(CDECL*)(const wchar_t*);
    auto convert = reinterpret_cast<UnixFileName>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (convert == nullptr) {
        ADD_FAILURE() << "not running under Wine";
        return windowsPath;
    }
    char* unix = convert(windowsPath.c_str());
    std::wstring result;
    for (const char* at = unix; at != nullptr && *at != '\0'; ++at) {
        result += static_cast<wchar_t>(static_cast<unsigned char>(*at));
    }
    HeapFree(GetProcessHeap(), 0, unix);
    return result;
}

std::string utf8(const std::wstring& text) { return inCodePage(text, CP_UTF8); }

std::string narrow(const std::wstring& text) {
    std::string result;
    for (wchar_t character : text) {
        result += static_cast<char>(character);
    }
    return result;
}

bool contains(const std::string& haystack, const std::string& needle) {
    return haystack.find(needle) != std::string::npos;
}

bool inOrder(const std::string& lines, const std::string& first, const std::string& second) {
    const std::size_t at = lines.find(first);
    return at != std::string::npos && lines.find(second, at + first.size()) != std::string::npos;
}

std::wstring uniqueServiceName(const std::wstring& base) {
    return L"PrvInst" + base + std::to_wstring(GetCurrentProcessId());
}

std::wstring serviceKeyPath(const std::wstring& serviceName) {
    return std::wstring(kServicesKey) + L"\\" + serviceName;
}

std::wstring parametersKeyPath(const std::wstring& serviceName) {
    return serviceKeyPath(serviceName) + L"\\Parameters";
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

void stopService(const std::wstring& serviceName) {
    // Asked again while it refuses: a service still starting accepts no stop yet.
    pollUntil([&] {
        const DWORD state = serviceState(serviceName);
        if (state == 0 || state == SERVICE_STOPPED) {
            return true;
        }
        if (controlService(serviceName, SERVICE_CONTROL_STOP) != 0) {
            controlService(serviceName, kStoppableQuitControl);
        }
        return false;
    });
}

void deleteService(const std::wstring& serviceName) {
    CServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    CServiceHandle service(manager ? OpenServiceW(manager.get(), serviceName.c_str(), DELETE) : nullptr);
    if (service) {
        DeleteService(service.get());
    }
    deleteHklmTree(serviceKeyPath(serviceName));
}

CServiceCleanup::~CServiceCleanup() {
    stopService(name);
    deleteService(name);
}

CTestService::CTestService(const std::wstring& baseName)
    : serviceName(baseName + std::to_wstring(GetCurrentProcessId())),
      manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)) {
    EXPECT_TRUE(manager) << "OpenSCManagerW " << GetLastError();
}

CTestService::~CTestService() {
    stopService(serviceName);
    if (process && WaitForSingleObject(process.get(), 10000) != WAIT_OBJECT_0) {
        TerminateProcess(process.get(), 99);
    }
    service.reset();
    deleteService(serviceName);
}
ConfigKeys CTestService::baseConfig(const std::wstring& javaClass) const {
    return {
        {L"serviceDisplayName", L"pravik test " + serviceName},
        {L"serviceName", serviceName},
        {L"ipravikClass", javaClass},
        {L"jvmDLL", testJvmDll()},
        {L"jvmOption1", L"-Djava.class.path=" + pravikJar() + L";" + serviceTestJar()},
    };
}

unsigned long CTestService::install(const ConfigKeys& keys, bool unicode) {
    std::wstring text;
    for (const auto& [key, value] : keys) {
        text += key + L"=" + value + L"\r\n";
    }
    const std::wstring file = directory.file(L"service.cfg");
    if (unicode) {
        writeFileBytes(file, std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t)));
    } else {
        writeFileBytes(file, inCodePage(text, CP_ACP));
    }
    std::vector<std::wstring> args = {L"-i", file};
    if (unicode) {
        args.push_back(L"-w");
    }
    const CRunResult run = runPravik(args);
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    if (run.exitCode == 0) {
        service.reset(OpenServiceW(manager.get(), serviceName.c_str(), SERVICE_ALL_ACCESS));
        EXPECT_TRUE(service) << "OpenServiceW " << GetLastError();
    }
    return run.exitCode;
}

bool CTestService::start() {
    if (!service) {
        return false;
    }
    // A service that fails at once may report STOPPED as soon as it has
    // reported at all, and only while it starts does the status show its
    // process: the status is watched while StartServiceW waits.
    std::atomic<bool> returned{false};
    BOOL started = FALSE;
    DWORD startError = 0;
    std::thread starter([&] {
        started = StartServiceW(service.get(), 0, nullptr);
        startError = GetLastError();
        returned = true;
    });
    for (;;) {
        // Read before the status: a start that has returned by now shows its process, if any, in it.
        const bool last = returned;
        const DWORD processId = status().dwProcessId;
        if (processId != 0) {
            openProcess(processId);
            break;
        }
        if (last) {
            break;
        }
        Sleep(1);
    }
    starter.join();
    if (!started) {
        error = startError;
    }
    return started != FALSE;
}

void CTestService::openProcess(DWORD processId) {
    process.reset(OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION, FALSE, processId));
}

bool CTestService::control(DWORD code) {
    SERVICE_STATUS answer = {};
    if (!ControlService(service.get(), code, &answer)) {
        error = GetLastError();
        return false;
    }
    return true;
}

void CTestService::run(const ConfigKeys& keys) {
    ASSERT_EQ(install(keys), 0u);
    ASSERT_TRUE(start()) << lastError();
    waitFor(SERVICE_RUNNING);
}

bool CTestService::stop() {
    if (!control(SERVICE_CONTROL_STOP)) {
        return false;
    }
    waitFor(SERVICE_STOPPED);
    return true;
}

SERVICE_STATUS_PROCESS CTestService::status() {
    SERVICE_STATUS_PROCESS now = {};
    DWORD needed = 0;
    if (service && !QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&now),
                                         sizeof(now), &needed)) {
        ADD_FAILURE() << "QueryServiceStatusEx " << GetLastError();
    }
    return now;
}

SERVICE_STATUS_PROCESS CTestService::waitFor(DWORD state) {
    SERVICE_STATUS_PROCESS now = {};
    pollUntil([&] {
        now = status();
        if (!process && now.dwProcessId != 0) {
            openProcess(now.dwProcessId);
        }
        return now.dwCurrentState == state;
    });
    EXPECT_EQ(now.dwCurrentState, state) << "service " << inCodePage(serviceName, CP_ACP) << " never reached state " << state;
    return now;
}

DWORD CTestService::waitForProcessEnd() {
    if (!process) {
        ADD_FAILURE() << "no service process known";
        return STILL_ACTIVE;
    }
    if (WaitForSingleObject(process.get(), kPatienceMs) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "the service process did not end";
        return STILL_ACTIVE;
    }
    DWORD exitCode = STILL_ACTIVE;
    GetExitCodeProcess(process.get(), &exitCode);
    process.reset();
    return exitCode;
}
