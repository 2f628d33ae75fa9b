#pragma once
// What the install and removal tests share: unique service names, config files,
// and reading back what the service control manager and the registry hold.
#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/TestFiles.h"

// A service name of this test process alone (tests share one Wine prefix).
std::wstring uniqueServiceName(const std::wstring& base);

std::wstring serviceKeyPath(const std::wstring& serviceName);
std::wstring parametersKeyPath(const std::wstring& serviceName);

// Writes the lines (each followed by CR LF) as an ANSI config file in the directory.
std::wstring writeConfig(const CTempDir& directory, const std::wstring& fileName,
                         const std::vector<std::string>& lines);

// What the parser echoes for those lines: "key=value" per line, as the user wrote it.
std::string echoOf(const std::vector<std::string>& lines);

std::string narrow(const std::wstring& text);

// Standard output split at CR LF (the last, empty piece dropped).
std::vector<std::string> outputLines(const std::string& output);
// The same without empty lines: the system's wording of an error code, which
// tests never compare, brings its own line end.
std::vector<std::string> nonEmptyLines(const std::string& output);

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

// A REG_MULTI_SZ value's entries; nothing when the value is missing.
std::optional<std::vector<std::wstring>> getHklmMultiString(const std::wstring& keyPath, const std::wstring& name);

// Every value of a key: name -> (type, bytes). Empty when the key is missing.
std::map<std::wstring, std::pair<DWORD, std::string>> snapshotKey(const std::wstring& keyPath);

// Creates a service straight through the service control manager (not through pravik).
bool createForeignService(const std::wstring& serviceName, const std::wstring& imagePath);

// Stops (the stoppable service's quit control when stop is refused) and deletes
// the service and whatever is left of its registry key; runs on destruction.
class CServiceCleanup {
public:
    explicit CServiceCleanup(std::wstring serviceName) : name(std::move(serviceName)) {}
    ~CServiceCleanup();
    CServiceCleanup(const CServiceCleanup&) = delete;
    CServiceCleanup& operator=(const CServiceCleanup&) = delete;

private:
    std::wstring name;
};

// The test-only service program (see StoppableService.cpp), as a Windows path.
std::wstring stoppableServiceExe();
// The user control that makes the stoppable service quit even when it refuses to stop.
inline constexpr DWORD kStoppableQuitControl = 130;
