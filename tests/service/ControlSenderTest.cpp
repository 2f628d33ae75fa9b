// "-s" through the service control manager, the texts it refuses, the wire
// format it writes to a pipe, and the relay with which Java asks for controls.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "ConsoleTestSupport.h"
#include "common/Win32Handle.h"
#include "support/PravikRunner.h"
#include "support/TestRegistry.h"

namespace {

bool startsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

// The impersonation level a pipe server gets from a client that opened the
// pipe with these flags (-1 when it cannot tell).
int clientLevel(DWORD flags) {
    const std::wstring name = L"\\\\.\\pipe\\PravikLevel" + std::to_wstring(GetCurrentProcessId());
    HANDLE server = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_INBOUND, 0, 1, 4, 4, 0, nullptr);
    HANDLE client = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | flags,
                                nullptr);
    int level = -1;
    DWORD count = 0;
    char bytes[4];
    if (server != INVALID_HANDLE_VALUE && client != INVALID_HANDLE_VALUE && WriteFile(client, "code", 4, &count, nullptr) &&
        ReadFile(server, bytes, sizeof(bytes), &count, nullptr) && ImpersonateNamedPipeClient(server)) {
        HANDLE token = nullptr;
        SECURITY_IMPERSONATION_LEVEL value = SecurityAnonymous;
        DWORD size = 0;
        if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) {
            if (GetTokenInformation(token, TokenImpersonationLevel, &value, sizeof(value), &size)) {
                level = value;
            }
            CloseHandle(token);
        }
        RevertToSelf();
    }
    CloseHandle(client);
    CloseHandle(server);
    return level;
}

// A pipe of one instance, held by a client of this process while it lives:
// every sender that tries it finds it busy.
class CHeldPipe {
public:
    explicit CHeldPipe(const std::wstring& name)
        : server(CreateNamedPipeW(name.c_str(), PIPE_ACCESS_INBOUND, 0, 1, 4, 4, 0, nullptr)),
          holder(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {
        EXPECT_TRUE(server && holder) << GetLastError();
    }

private:
    CFileHandle server;
    CFileHandle holder;
};

}  // namespace

TEST(ControlSender, AnInstalledServiceGetsTheCodeThroughTheManagerWhichAnswersItsState) {
    CTestService service(L"PravikSendScm");
    ASSERT_EQ(service.install(consoleConfig(service)), 0u);
    ASSERT_TRUE(service.start()) << service.lastError();
    service.waitFor(SERVICE_RUNNING);

    // The Java side reports the new state before its serviceControl returns.
    EXPECT_EQ(runPravik({L"-s", service.name(), L"SERVICE_CONTROL_PAUSE"}).output,
              crlf("Control sent OK, current service state : SERVICE_PAUSED\n"));
    EXPECT_EQ(runPravik({L"-s", service.name(), L"3"}).output,
              crlf("Control sent OK, current service state : SERVICE_RUNNING\n"));
    // Each control is sent with the one right it needs, which the manager checks.
    EXPECT_EQ(runPravik({L"-s", service.name(), L"SERVICE_CONTROL_INTERROGATE"}).output,
              crlf("Control sent OK, current service state : SERVICE_RUNNING\n"));
    EXPECT_EQ(runPravik({L"-s", service.name(), L"201"}).output,
              crlf("Control sent OK, current service state : SERVICE_RUNNING\n"));
    const CRunResult stop = runPravik({L"-s", service.name(), L"SERVICE_CONTROL_STOP"});
    EXPECT_EQ(stop.exitCode, 0u);
    EXPECT_TRUE(startsWith(stop.output, "Control sent OK, current service state : SERVICE_STOP")) << stop.output;
    service.waitFor(SERVICE_STOPPED);
    EXPECT_EQ(service.waitForProcessEnd(), 0u);
    // Not running now: the manager refuses, and the sender still ends with 0.
    const CRunResult refused = runPravik({L"-s", service.name(), L"SERVICE_CONTROL_STOP"});
    EXPECT_EQ(refused.exitCode, 0u);
    EXPECT_TRUE(startsWith(refused.output, "Failed to send control  1062\r\n")) << refused.output;
    EXPECT_EQ(recordOf(service), "start\nrunning\ncontrol 2\ncontrol 3\ncontrol 4\ncontrol 201\ncontrol 1\nstopping\n");
}

TEST(ControlSender, AMissingServiceAndTextsThatNameNoControlAreReported) {
    const std::wstring missing = L"PravikNoSuchService" + std::to_wstring(GetCurrentProcessId());
    const CRunResult absent = runPravik({L"-s", missing, L"200"});
    EXPECT_EQ(absent.exitCode, 0u);
    EXPECT_TRUE(startsWith(absent.output, "Failed to open service  1060\r\n")) << absent.output;
    // Refused before any route is tried.
    const CRunResult stop = runPravik({L"-s", missing, L"stop"});
    EXPECT_EQ(stop.exitCode, 0u);
    EXPECT_EQ(stop.output, crlf("Unrecognized signal : stop\n"));
    EXPECT_EQ(runPravik({L"-s", missing, L"Cancel"}).output, crlf("Unrecognized control signal : Cancel\n"));
    EXPECT_EQ(runPravik({L"-s", missing, L"SERVICE_CONTROL_RESTARTS"}).output,
              crlf("Unrecognized signal : SERVICE_CONTROL_RESTARTS\n"));
}

// A server that squats on a service's pipe name gets the code but cannot act
// as the sender: the sender allows identification only.
TEST(ControlSender, ThePipeGetsFourLittleEndianBytesAndTheServerMayOnlyIdentifyTheSender) {
    const std::wstring name = L"PravikSquat" + std::to_wstring(GetCurrentProcessId());
    HANDLE server = CreateNamedPipeW(pipeNameOf(name).c_str(), PIPE_ACCESS_INBOUND, 0, 1, 4, 4, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE) << GetLastError();
    std::string received;
    std::atomic<int> level{-1};
    std::atomic<DWORD> impersonationError{0};
    std::thread serve([&] {
        if (!ConnectNamedPipe(server, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) {
            return;
        }
        char bytes[8];
        DWORD got = 0;
        if (ReadFile(server, bytes, sizeof(bytes), &got, nullptr) && got != 0) {
            received.assign(bytes, got);
        }
        if (!ImpersonateNamedPipeClient(server)) {
            impersonationError = GetLastError();
        } else {
            HANDLE token = nullptr;
            if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) {
                SECURITY_IMPERSONATION_LEVEL value = SecurityAnonymous;
                DWORD size = 0;
                if (GetTokenInformation(token, TokenImpersonationLevel, &value, sizeof(value), &size)) {
                    level = value;
                }
                CloseHandle(token);
            }
            RevertToSelf();
        }
        while (ReadFile(server, bytes, sizeof(bytes), &got, nullptr) && got != 0) {
            received.append(bytes, got);
        }
    });
    const CRunResult run = runPravik({L"-s", name, L"16909060"});
    serve.join();
    CloseHandle(server);
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(received, std::string("\x04\x03\x02\x01", 4));
    EXPECT_EQ(impersonationError.load(), 0u);
    // Wine gives every pipe client SecurityImpersonation whatever it asked
    // for; where the platform honours the request, the sender's must hold.
    if (clientLevel(SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION) == SecurityIdentification) {
        EXPECT_EQ(level.load(), static_cast<int>(SecurityIdentification));
    } else {
        EXPECT_EQ(level.load(), clientLevel(0));
    }
}

// The relay's command line is built at the length it needs: a target name of
// 600 characters reaches the sender whole.
TEST(ControlSender, TheRelayStartsASenderForAnyLengthOfName) {
    CTestService service(L"PravikRelayLong");
    CTraceSetting trace(service.dir().file(L"trace.log"));
    const std::wstring longName(600, L'N');
    ASSERT_EQ(service.install(consoleConfig(service, L" -relayTo " + longName + L" 203")), 0u);
    ASSERT_TRUE(service.start()) << service.lastError();
    service.waitFor(SERVICE_RUNNING);
    waitUntil([&] { return contains(recordOf(service), "relay true\n"); }, "the relay");
    const std::wstring traceFile = service.dir().file(L"trace.log");
    waitUntil([&] { return contains(readFileBytes(traceFile), "CExecutor::sendControlSignal(DWORD,LPTSTR) Exit 0"); },
              "the sender");
    ASSERT_TRUE(service.stop()) << service.lastError();
    service.waitForProcessEnd();
    const std::string lines = stripThreadIds(readFileBytes(traceFile));
    EXPECT_TRUE(contains(lines, "CExecutor::sendControlSignal(DWORD,LPTSTR) Entry 203\n")) << lines;
    // The sender had the whole name: no pipe and no service of that name.
    EXPECT_TRUE(contains(lines, "Failed to open service  ")) << lines;
    EXPECT_FALSE(contains(lines, "Unable to create process."));
    EXPECT_FALSE(contains(lines, "binary not found"));
}

// 251 without the JVM library's signal entry falls back to a Ctrl+Break
// console event, which a service process without a console cannot raise: the
// failure is logged, nothing reaches serviceControl, the service runs on.
TEST(ControlSender, CtrlBreakWithoutTheJvmSignalEntryReportsTheFailedConsoleEvent) {
    CTestService service(L"PravikSendBreak");
    CTraceSetting trace(service.dir().file(L"trace.log"));
    ConfigKeys keys = consoleConfig(service);
    for (auto& [key, value] : keys) {
        if (key == L"jvmDLL") {
            value = PRAVIK_NOSIGNAL_JVM_DLL;
        }
    }
    ASSERT_EQ(service.install(keys), 0u);
    ASSERT_TRUE(service.start()) << service.lastError();
    service.waitFor(SERVICE_RUNNING);
    EXPECT_EQ(runPravik({L"-s", service.name(), L"CTRL_BREAK_EVENT"}).output,
              crlf("Control sent OK, current service state : SERVICE_RUNNING\n"));
    EXPECT_EQ(runPravik({L"-s", service.name(), L"SERVICE_CONTROL_STOP"}).exitCode, 0u);
    service.waitFor(SERVICE_STOPPED);
    EXPECT_EQ(service.waitForProcessEnd(), 0u);
    const std::string lines = stripThreadIds(readFileBytes(service.dir().file(L"trace.log")));
    EXPECT_TRUE(inOrder(lines, "Generating control break event.\n", "Failed to generate control break event.  "))
        << lines;
    EXPECT_EQ(recordOf(service), "start\nrunning\ncontrol 1\nstopping\n");
}

// A pipe that stays busy is some instance's: neither the code nor the restart
// goes anywhere else, and the sender says so.
TEST(ControlSender, APipeThatStaysBusyIsReportedAndNothingIsSent) {
    const std::wstring name = L"PravikBusy" + std::to_wstring(GetCurrentProcessId());
    const CHeldPipe held(pipeNameOf(name));
    const std::string busy = crlf("The control pipe of " + utf8(name) + " is busy; nothing sent\n");
    const CRunResult send = runPravik({L"-s", name, L"200"});
    EXPECT_EQ(send.exitCode, 0u);
    EXPECT_EQ(send.output, busy);
    EXPECT_EQ(runPravik({L"-s", name, L"SERVICE_CONTROL_RESTART"}).output, busy);
}

// Holding the pipe's name silences neither "-s" nor the restart of a service
// that the manager runs: both go through the manager, the pipe untried.
TEST(ControlSender, AServiceTheManagerRunsGetsItsCodesThroughTheManagerWhateverHoldsThePipe) {
    CTestService service(L"PravikSendPastHolder");
    ASSERT_EQ(service.install(consoleConfig(service)), 0u);
    ASSERT_TRUE(service.start()) << service.lastError();
    service.waitFor(SERVICE_RUNNING);
    const CHeldPipe held(pipeNameOf(service.name()));
    EXPECT_EQ(runPravik({L"-s", service.name(), L"201"}).output,
              crlf("Control sent OK, current service state : SERVICE_RUNNING\n"));
    EXPECT_EQ(runPravik({L"-s", service.name(), L"SERVICE_CONTROL_RESTART"}).output, "");
    waitUntil([&] { return countLines(recordOf(service), "running") == 2; }, "the restarted service");
    service.waitFor(SERVICE_RUNNING);
    EXPECT_EQ(recordOf(service), "start\nrunning\ncontrol 201\ncontrol 1\nstopping\nstart\nrunning\n");
}
