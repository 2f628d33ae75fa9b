#pragma once
// Console-mode instances ("-x") for the tests, each in a console of its own
// so that Ctrl+C can reach it, and the record of the ConsoleService class.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "support/ServiceFixture.h"

extern const wchar_t* const kConsoleService;

// The control pipe of a service.
std::wstring pipeNameOf(const std::wstring& serviceName);

// The record of ConsoleService: its lines without the JVM ids.
std::string recordOf(const CTestService& service);
// The raw record, ids and all.
std::string rawRecordOf(const CTestService& service);
std::wstring recordArgument(const CTestService& service);
// The JVM ids of the record's lines that begin with prefix ("start", "control 1").
std::vector<std::string> idsOf(const std::string& rawRecord, const std::string& prefix);
// How often the record holds line (a whole line, id left out).
int countLines(const std::string& record, const std::string& line);

// Polls until done() holds; fails the test after two minutes.
void waitUntil(const std::function<bool()>& done, const std::string& what);

// The configuration of a ConsoleService, recording to the service's directory.
ConfigKeys consoleConfig(const CTestService& service, const std::wstring& extraArguments = L"");

class CConsoleInstance {
public:
    // Starts `program -x serviceName` in a new console.
    CConsoleInstance(const std::wstring& program, const std::wstring& serviceName);
    ~CConsoleInstance();
    CConsoleInstance(const CConsoleInstance&) = delete;
    CConsoleInstance& operator=(const CConsoleInstance&) = delete;

    bool started() const { return process != nullptr; }
    bool ended() const { return process != nullptr && WaitForSingleObject(process, 0) == WAIT_OBJECT_0; }
    // Waits (two minutes unless told) for the instance to end; its exit code, or STILL_ACTIVE.
    DWORD waitForEnd(DWORD patienceMs = 120000);

private:
    HANDLE process = nullptr;
};
