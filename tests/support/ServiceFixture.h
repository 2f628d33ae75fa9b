#pragma once
// Services that the tests install in the shared prefix: names of this test
// process alone, the built programs and libraries they run, installing them
// through pravik or the service control manager, waiting for their states,
// controlling them and removing them again.
#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/Win32Handle.h"
#include "support/TestFiles.h"

using ConfigKeys = std::vector<std::pair<std::wstring, std::wstring>>;

// Built artefacts, as Windows paths.
std::wstring testJvmDll();
// A JVM library that fails as its variant says (tests/jvm/bridge/BrokenJvm.cpp).
std::wstring brokenJvmDll(const wchar_t* variant);
std::wstring pravikJar();
// The Java service classes of this test program.
std::wstring serviceTestJar();
std::wstring preinitProbe();
// The test-only service program (see tests/install/StoppableService.cpp).
std::wstring stoppableServiceExe();
// The user control that makes the stoppable service quit even when it refuses to stop.
inline constexpr DWORD kStoppableQuitControl = 130;

// The Linux path of a Windows path: the JVM behind the test jvm.dll runs on Linux.
std::wstring unixPathOf(const std::wstring& windowsPath);
// UTF-8 bytes of a wide text (what the Java test classes write).
std::string utf8(const std::wstring& text);
std::string narrow(const std::wstring& text);
// Whether haystack holds needle.
bool contains(const std::string& haystack, const std::string& needle);
// Whether second comes somewhere after first (lines of other threads may lie between).
bool inOrder(const std::string& lines, const std::string& first, const std::string& second);

// A service name of this test process alone, prefixed for the install tests.
std::wstring uniqueServiceName(const std::wstring& base);
std::wstring serviceKeyPath(const std::wstring& serviceName);
std::wstring parametersKeyPath(const std::wstring& serviceName);

// Writes the lines (each followed by CR LF) as an ANSI config file in the directory.
std::wstring writeConfig(const CTempDir& directory, const std::wstring& fileName,
                         const std::vector<std::string>& lines);
// What the parser echoes for those lines: "key=value" per line, as the user wrote it.
std::string echoOf(const std::vector<std::string>& lines);

struct CServiceConfig {
    DWORD serviceType = 0;
    DWORD startType = 0;
    DWORD errorControl = 0;
    std::wstring binaryPath;
    std::wstring displayName;
    std::wstring startName;
};

// The service's configuration as QueryServiceConfigW reports it; nothing when it does not exist.
std::optional<CServiceConfig> queryServiceConfig(const std::wstring& serviceName);
// The error OpenServiceW gives for the name (0 when it opens).
DWORD openServiceError(const std::wstring& serviceName);
// The service's current state, or 0 when it cannot be queried.
DWORD serviceState(const std::wstring& serviceName);
// Polls (without a time limit that a test would assert on) until the state is reached or about a minute passed.
bool waitForServiceState(const std::wstring& serviceName, DWORD state);
bool startService(const std::wstring& serviceName);
// Sends a control; the error code (0 on success).
DWORD controlService(const std::wstring& serviceName, DWORD control);
// Creates a service straight through the service control manager (not through pravik).
bool createForeignService(const std::wstring& serviceName, const std::wstring& imagePath);

// Stops the service (the stoppable service's quit control when stop is
// refused) and waits about a minute at most until it has stopped or is gone.
void stopService(const std::wstring& serviceName);
// Deletes the service, if there is one, and whatever is left of its registry key.
void deleteService(const std::wstring& serviceName);

// Stops and deletes the service on destruction.
class CServiceCleanup {
public:
    explicit CServiceCleanup(std::wstring serviceName) : name(std::move(serviceName)) {}
    ~CServiceCleanup();
    CServiceCleanup(const CServiceCleanup&) = delete;
    CServiceCleanup& operator=(const CServiceCleanup&) = delete;

private:
    std::wstring name;
};

// A pravik service of one test, installed from a configuration file and
// removed again on destruction.
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
    // Installs the keys, starts the service and waits until it runs; a failed install or start fails the test
    // fatally (call it inside ASSERT_NO_FATAL_FAILURE).
    void run(const ConfigKeys& keys);
    DWORD lastError() const { return error; }
    bool control(DWORD code);
    // Sends STOP and, once it is taken, polls until STOPPED (fails the test after a minute);
    // false (with the error in lastError) when the control failed.
    bool stop();
    SERVICE_STATUS_PROCESS status();
    // Polls until the state is reached (fails the test after a minute); the last status.
    SERVICE_STATUS_PROCESS waitFor(DWORD state);
    // Waits until the service process that ran last has ended (fails the test after two minutes).
    // Its exit code, or STILL_ACTIVE.
    DWORD waitForProcessEnd();

private:
    void openProcess(DWORD processId);

    std::wstring serviceName;
    CTempDir directory;
    CServiceHandle manager;
    CServiceHandle service;
    CKernelHandle process;
    DWORD error = 0;
};
