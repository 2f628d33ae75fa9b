#include "ServiceTestSupport.h"

#include <gtest/gtest.h>

#include "support/Polling.h"
#include "support/PravikRunner.h"
#include "support/TestRegistry.h"

namespace {

const DWORD kPollMs = 50;
const DWORD kPatienceMs = 120000;

std::string ansi(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string result(size > 0 ? size - 1 : 0, '\0');
    if (size > 1) {
        WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, result.data(), size, nullptr, nullptr);
    }
    return result;
}

}  // namespace

std::wstring testJvmDll() { return PRAVIK_TEST_JVM_DLL; }
std::wstring fakeJvmDll(const wchar_t* flavour) {
    return std::wstring(PRAVIK_FAKE_JVM_DIR) + L"\\fakejvm_" + flavour + L".dll";
}
std::wstring pravikJar() { return PRAVIK_JAR_PATH; }
std::wstring serviceTestJar() { return PRAVIK_SERVICE_TEST_JAR_PATH; }
std::wstring preinitProbe() { return PRAVIK_PREINIT_PROBE; }

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

std::string utf8(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string result(size > 0 ? size - 1 : 0, '\0');
    if (size > 1) {
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, result.data(), size, nullptr, nullptr);
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

CTestService::CTestService(const std::wstring& baseName)
    : serviceName(baseName + std::to_wstring(GetCurrentProcessId())) {
    manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    EXPECT_NE(manager, nullptr) << "OpenSCManagerW " << GetLastError();
}

CTestService::~CTestService() {
    if (service != nullptr) {
        SERVICE_STATUS_PROCESS now = status();
        if (now.dwCurrentState != SERVICE_STOPPED) {
            SERVICE_STATUS ignored = {};
            for (int round = 0; round < 200 && now.dwCurrentState != SERVICE_STOPPED; ++round) {
                ControlService(service, SERVICE_CONTROL_STOP, &ignored);
                Sleep(kPollMs);
                now = status();
            }
        }
        if (process != nullptr && WaitForSingleObject(process, 10000) != WAIT_OBJECT_0) {
            TerminateProcess(process, 99);
        }
        DeleteService(service);
        CloseServiceHandle(service);
    }
    if (process != nullptr) {
        CloseHandle(process);
    }
    if (manager != nullptr) {
        CloseServiceHandle(manager);
    }
    deleteHklmTree(std::wstring(kServicesKey) + L"\\" + serviceName);
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
        writeFileBytes(file, ansi(text));
    }
    std::vector<std::wstring> args = {L"-i", file};
    if (unicode) {
        args.push_back(L"-w");
    }
    const CRunResult run = runPravik(args);
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    if (run.exitCode == 0) {
        service = OpenServiceW(manager, serviceName.c_str(), SERVICE_ALL_ACCESS);
        EXPECT_NE(service, nullptr) << "OpenServiceW " << GetLastError();
    }
    return run.exitCode;
}

bool CTestService::start() {
    if (service == nullptr) {
        return false;
    }
    if (!StartServiceW(service, 0, nullptr)) {
        error = GetLastError();
        return false;
    }
    SERVICE_STATUS_PROCESS now = status();
    if (now.dwProcessId != 0) {
        openProcess(now.dwProcessId);
    }
    return true;
}

void CTestService::openProcess(DWORD processId) {
    if (process != nullptr) {
        CloseHandle(process);
    }
    process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION, FALSE, processId);
}

bool CTestService::control(DWORD code) {
    SERVICE_STATUS answer = {};
    if (!ControlService(service, code, &answer)) {
        error = GetLastError();
        return false;
    }
    return true;
}

SERVICE_STATUS_PROCESS CTestService::status() {
    SERVICE_STATUS_PROCESS now = {};
    DWORD needed = 0;
    if (service != nullptr && !QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&now),
                                                    sizeof(now), &needed)) {
        ADD_FAILURE() << "QueryServiceStatusEx " << GetLastError();
    }
    return now;
}

SERVICE_STATUS_PROCESS CTestService::waitFor(DWORD state) {
    SERVICE_STATUS_PROCESS now = {};
    pollUntil([&] {
        now = status();
        if (process == nullptr && now.dwProcessId != 0) {
            openProcess(now.dwProcessId);
        }
        return now.dwCurrentState == state;
    });
    EXPECT_EQ(now.dwCurrentState, state) << "service " << ansi(serviceName) << " never reached state " << state;
    return now;
}

DWORD CTestService::waitForProcessEnd() {
    if (process == nullptr) {
        ADD_FAILURE() << "no service process known";
        return STILL_ACTIVE;
    }
    if (WaitForSingleObject(process, kPatienceMs) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "the service process did not end";
        return STILL_ACTIVE;
    }
    DWORD exitCode = STILL_ACTIVE;
    GetExitCodeProcess(process, &exitCode);
    CloseHandle(process);
    process = nullptr;
    return exitCode;
}
