#pragma once
// Installed services for the tests: a configuration file, "-i", the real
// service control manager and the service process it starts.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "support/TestFiles.h"

using ConfigKeys = std::vector<std::pair<std::wstring, std::wstring>>;

// Built artefacts, as Windows paths.
std::wstring testJvmDll();
std::wstring fakeJvmDll(const wchar_t* flavour);
std::wstring pravikJar();
std::wstring serviceTestJar();
std::wstring preinitProbe();

// The Linux path of a Windows path: the JVM behind the test jvm.dll runs on Linux.
std::wstring unixPathOf(const std::wstring& windowsPath);
// UTF-8 bytes of a wide text (what the Java test classes write).
std::string utf8(const std::wstring& text);
// Whether haystack holds needle.
bool contains(const std::string& haystack, const std::string& needle);
// Whether second comes somewhere after first (lines of other threads may lie between).
bool inOrder(const std::string& lines, const std::string& first, const std::string& second);

class CTestService {
public:
    // The name gets the test process's id appended: tests share one prefix.
    explicit CTestService(const std::wstring& baseName);
    ~CTestService();
    CTestService(const CTestService&) = delete;
    CTestService& operator=(const CTestService&) = delete;

    const std::wstring& name() const { return serviceName; }
    const CTempDir& dir() const { return directory; }

    // Keys every test service has: names, the test jvm.dll, the class path with
    // both jars, and the class.
    ConfigKeys baseConfig(const std::wstring& javaClass) const;
    // Writes the configuration file (ANSI, or UTF-16 with "-w") and installs it; the exit code of "-i".
    unsigned long install(const ConfigKeys& keys, bool unicode = false);

    // StartServiceW; false (with the error in lastError) when it failed.
    bool start();
    DWORD lastError() const { return error; }
    bool control(DWORD code);
    SERVICE_STATUS_PROCESS status();
    // Polls until the state is reached (fails the test after two minutes); the last status.
    SERVICE_STATUS_PROCESS waitFor(DWORD state);
    // Waits until the service process that ran last has ended (fails the test after two minutes).
    // Its exit code, or STILL_ACTIVE.
    DWORD waitForProcessEnd();

private:
    void openProcess(DWORD processId);

    std::wstring serviceName;
    CTempDir directory;
    SC_HANDLE manager = nullptr;
    SC_HANDLE service = nullptr;
    HANDLE process = nullptr;
    DWORD error = 0;
};
