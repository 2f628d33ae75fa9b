// "-x": an installed service run in the foreground, controlled over its pipe
// by "-s" senders, with the real JVM behind the test jvm.dll.
#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include <set>
#include <thread>

#include "ConsoleTestSupport.h"
#include "support/PravikRunner.h"
#include "support/TestRegistry.h"

namespace {

// Sends "-s service signal" and waits until the record holds the line it causes.
void sendAndAwait(const CTestService& service, const std::wstring& signal, const std::string& line) {
    const CRunResult run = runPravik({L"-s", service.name(), signal});
    EXPECT_EQ(run.exitCode, 0u);
    // Delivered over the pipe: nothing to say.
    EXPECT_EQ(run.output, "") << utf8(signal);
    waitUntil([&] { return contains(recordOf(service), line + "\n"); }, line);
}

// A client of the control pipe that writes these bytes (maybe none) and leaves.
bool connectAndWrite(const std::wstring& pipeName, const std::string& bytes) {
    HANDLE pipe = CreateFileW(pipeName.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    if (!bytes.empty()) {
        WriteFile(pipe, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
    CloseHandle(pipe);
    return true;
}

// A client of the control pipe that writes these bytes and keeps its end open; null when the pipe did not open.
HANDLE connectAndHold(const std::wstring& pipeName, const std::string& bytes) {
    HANDLE pipe = CreateFileW(pipeName.c_str(), GENERIC_WRITE | READ_CONTROL, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    DWORD written = 0;
    WriteFile(pipe, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    return pipe;
}

}  // namespace

TEST(ConsoleMode, CodesFromDashSReachJavaOverThePipeAndTheRunEndsWithTheService) {
    CTestService service(L"PravikConsoleCodes");
    CTraceSetting trace(service.dir().file(L"trace.log"));
    ConfigKeys keys = consoleConfig(service);
    keys.push_back({L"verboseOutput", service.dir().file(L"verbose.log")});
    ASSERT_EQ(service.install(keys), 0u);
    CConsoleInstance instance(pravikExe(), service.name());
    ASSERT_TRUE(instance.started());
    waitUntil([&] { return contains(recordOf(service), "running\n"); }, "the service to run");
    const std::wstring pipe = pipeNameOf(service.name());
    // Connections that bring no whole code forward nothing.
    waitUntil([&] { return connectAndWrite(pipe, ""); }, "an empty connection");
    waitUntil([&] { return connectAndWrite(pipe, std::string("\x02\x00", 2)); }, "a short connection");
    // The wire format: four bytes, least significant first (0x000000CA is 202).
    waitUntil([&] { return connectAndWrite(pipe, std::string("\xCA\x00\x00\x00", 4)); }, "a raw code");
    waitUntil([&] { return contains(recordOf(service), "control 202\n"); }, "control 202");

    sendAndAwait(service, L"SERVICE_CONTROL_PAUSE", "control 2");
    sendAndAwait(service, L"service_control_continue", "control 3");
    sendAndAwait(service, L"200", "control 200");
    sendAndAwait(service, L"-1", "control -1");
    sendAndAwait(service, L"xyz", "control 0");
    // 250 becomes a Ctrl+C in the instance's own console, which reaches consoleSignal.
    sendAndAwait(service, L"CTRL_C_EVENT", "console 0");
    // 251 goes to the JVM library's signal entry: a thread dump, no console event.
    const CRunResult breakRun = runPravik({L"-s", service.name(), L"Ctrl_Break_Event"});
    EXPECT_EQ(breakRun.output, "");
    const std::wstring verbose = service.dir().file(L"verbose.log");
    waitUntil([&] { return contains(readFileBytes(verbose), "Full thread dump"); }, "the thread dump");
    sendAndAwait(service, L"SERVICE_CONTROL_STOP", "stopping");

    // serviceMain has returned: the pipe thread and the process end.
    EXPECT_EQ(instance.waitForEnd(), 0u);
    EXPECT_EQ(recordOf(service), "start\nrunning\ncontrol 202\ncontrol 2\ncontrol 3\ncontrol 200\ncontrol -1\n"
                                 "control 0\nconsole 0\ncontrol 1\nstopping\n");
    const std::string lines = stripThreadIds(readFileBytes(service.dir().file(L"trace.log")));
    EXPECT_TRUE(inOrder(lines, "Generating control c event.\n", "Got a ctrl_c_event\n")) << lines;
    EXPECT_TRUE(contains(lines, "Console control event handled.\n")) << lines;
    EXPECT_TRUE(contains(lines, "Generating control break event.\n")) << lines;
    EXPECT_FALSE(contains(lines, "Failed to generate control"));
    EXPECT_FALSE(contains(lines, "Got a ctrl_break_event"));
    // Console mode never calls the service control manager.
    EXPECT_FALSE(contains(lines, "StartServiceCtrlDispatcher"));
    EXPECT_TRUE(inOrder(lines, "CExecutor::startDevModeService Exit 0\n", "CExecutor::readFromPipe Exit 0\n"));
    EXPECT_TRUE(inOrder(lines, "CExecutor::readFromPipe Exit 0\n", "CExecutor::execute Exit 0\n"));
    // The senders took the pipe, never the service control manager.
    EXPECT_FALSE(contains(lines, "Failed to"));
    EXPECT_FALSE(contains(lines, "Control sent OK"));
}

TEST(ConsoleMode, ASecondInstanceServesThePipesSecondInstanceAndAThirdRunsWithoutPipe) {
    CTestService service(L"PravikConsoleThree");
    CTraceSetting trace(service.dir().file(L"trace.log"));
    ASSERT_EQ(service.install(consoleConfig(service)), 0u);
    const std::wstring traceFile = service.dir().file(L"trace.log");
    CConsoleInstance first(pravikExe(), service.name());
    waitUntil([&] { return countLines(recordOf(service), "running") == 1; }, "the first instance");
    CConsoleInstance second(pravikExe(), service.name());
    waitUntil([&] { return countLines(recordOf(service), "running") == 2; }, "the second instance");
    CConsoleInstance third(pravikExe(), service.name());
    waitUntil([&] { return countLines(recordOf(service), "running") == 3; }, "the third instance");
    waitUntil([&] { return contains(readFileBytes(traceFile), "Could not create named pipe rc= "); },
              "the third instance's pipe failure");
    const std::string lines = stripThreadIds(readFileBytes(traceFile));
    // All instances busy.
    EXPECT_TRUE(contains(lines, "Could not create named pipe rc= 231\n")) << lines;
    EXPECT_EQ(lines.find("Could not create named pipe"), lines.rfind("Could not create named pipe"));

    // Each stop goes to an instance with a pipe; once both have ended, the
    // sender finds no pipe and asks the manager, which runs no such service.
    sendAndAwait(service, L"SERVICE_CONTROL_STOP", "stopping");
    // The stopped instance keeps its pipe until it ends: wait for that first.
    waitUntil([&] { return first.ended() || second.ended(); }, "the stopped instance to end");
    waitUntil([&] { return countLines(recordOf(service), "stopping") == 1; }, "one stop");
    const CRunResult secondStop = runPravik({L"-s", service.name(), L"SERVICE_CONTROL_STOP"});
    EXPECT_EQ(secondStop.output, "");
    waitUntil([&] { return countLines(recordOf(service), "stopping") == 2; }, "the second stop");
    EXPECT_EQ(first.waitForEnd(), 0u);
    EXPECT_EQ(second.waitForEnd(), 0u);
    EXPECT_FALSE(third.ended());
    const CRunResult toNobody = runPravik({L"-s", service.name(), L"SERVICE_CONTROL_STOP"});
    EXPECT_EQ(toNobody.output.rfind("Failed to send control  1062\r\n", 0), 0u) << toNobody.output;
    const std::string raw = rawRecordOf(service);
    const std::vector<std::string> started = idsOf(raw, "start");
    const std::vector<std::string> stopped = idsOf(raw, "control 1");
    EXPECT_EQ(started.size(), 3u);
    EXPECT_EQ(std::set<std::string>(started.begin(), started.end()).size(), 3u);
    // The first two instances got a stop each; the third has no pipe to get one.
    ASSERT_EQ(stopped.size(), 2u) << raw;
    EXPECT_NE(stopped[0], stopped[1]);
    EXPECT_TRUE(stopped[0] != started[2] && stopped[1] != started[2]) << raw;
}

// A sender that finds the pipe busy with another client waits for it rather
// than sending the code to the service control manager, where it is lost.
TEST(ConsoleMode, ASenderWaitsForAPipeBusyWithAnotherClient) {
    CTestService service(L"PravikConsoleBusy");
    CTraceSetting trace(service.dir().file(L"trace.log"));
    ASSERT_EQ(service.install(consoleConfig(service)), 0u);
    CConsoleInstance instance(pravikExe(), service.name());
    waitUntil([&] { return contains(recordOf(service), "running\n"); }, "the service to run");
    const std::wstring pipe = pipeNameOf(service.name());
    HANDLE holder = INVALID_HANDLE_VALUE;
    waitUntil(
        [&] {
            holder = CreateFileW(pipe.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            return holder != INVALID_HANDLE_VALUE;
        },
        "a connection that holds the pipe");
    CRunResult run;
    std::thread sender([&] { run = runPravik({L"-s", service.name(), L"205"}); });
    // Let go once the sender is at its open.
    const std::wstring traceFile = service.dir().file(L"trace.log");
    waitUntil([&] { return contains(readFileBytes(traceFile), "CExecutor::sendControlSignal(DWORD,LPTSTR) Entry 205"); },
              "the sender");
    CloseHandle(holder);
    sender.join();
    EXPECT_EQ(run.output, "");
    waitUntil([&] { return contains(recordOf(service), "control 205\n"); }, "control 205");
    sendAndAwait(service, L"SERVICE_CONTROL_STOP", "stopping");
    EXPECT_EQ(instance.waitForEnd(), 0u);
    EXPECT_EQ(recordOf(service), "start\nrunning\ncontrol 205\ncontrol 1\nstopping\n");
}

// A client that sends half a code and keeps its end open holds the pipe for a
// moment only: a later code still arrives, and once serviceMain has returned
// the run ends although such a client is connected.
TEST(ConsoleMode, AClientThatSendsHalfACodeAndWaitsHoldsNeitherTheLaterCodesNorTheEnd) {
    CTestService service(L"PravikConsoleHalf");
    ASSERT_EQ(service.install(consoleConfig(service)), 0u);
    CConsoleInstance instance(pravikExe(), service.name());
    waitUntil([&] { return contains(recordOf(service), "running\n"); }, "the service to run");
    const std::wstring pipe = pipeNameOf(service.name());
    HANDLE holder = nullptr;
    waitUntil([&] { return (holder = connectAndHold(pipe, std::string("\x02\x00", 2))) != nullptr; }, "a holder");
    sendAndAwait(service, L"200", "control 200");
    sendAndAwait(service, L"SERVICE_CONTROL_STOP", "stopping");
    HANDLE lateHolder = nullptr;
    waitUntil([&] { return (lateHolder = connectAndHold(pipe, std::string("\x01", 1))) != nullptr || instance.ended(); },
              "a holder as the service ends");
    // Within seconds, not at the holder's leisure.
    EXPECT_EQ(instance.waitForEnd(30000), 0u);
    CloseHandle(holder);
    if (lateHolder != nullptr) {
        CloseHandle(lateHolder);
    }
    EXPECT_EQ(recordOf(service), "start\nrunning\ncontrol 200\ncontrol 1\nstopping\n");
}

// The pipe lets in LocalSystem, the Administrators and the user who runs the
// instance, nobody else, whatever the defaults of the system. (Wine runs every
// process as one user: that others are refused cannot be shown here.)
TEST(ConsoleMode, ThePipeHasAnExplicitDaclForSystemAdministratorsAndItsOwnUser) {
    CTestService service(L"PravikConsoleDacl");
    ASSERT_EQ(service.install(consoleConfig(service)), 0u);
    CConsoleInstance instance(pravikExe(), service.name());
    waitUntil([&] { return contains(recordOf(service), "running\n"); }, "the service to run");
    HANDLE client = nullptr;
    waitUntil([&] { return (client = connectAndHold(pipeNameOf(service.name()), "")) != nullptr; }, "the pipe");
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(GetSecurityInfo(client, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                              &descriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    LPWSTR text = nullptr;
    ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1,
                                                                     DACL_SECURITY_INFORMATION, &text, nullptr));
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    unsigned char user[256];
    DWORD size = 0;
    ASSERT_TRUE(GetTokenInformation(token, TokenUser, user, sizeof(user), &size));
    LPWSTR userText = nullptr;
    ASSERT_TRUE(ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &userText));
    EXPECT_EQ(utf8(text), "D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FA;;;" + utf8(userText) + ")");
    LocalFree(userText);
    LocalFree(text);
    LocalFree(descriptor);
    CloseHandle(token);
    CloseHandle(client);
    sendAndAwait(service, L"SERVICE_CONTROL_STOP", "stopping");
    EXPECT_EQ(instance.waitForEnd(), 0u);
}

// Whoever makes the pipe first sets its DACL and hears its codes: a name that
// another program holds (here this test's) is refused, and the service does not run.
TEST(ConsoleMode, APipeNameThatAnotherProgramHoldsIsRefusedAndTheServiceDoesNotRun) {
    CTestService service(L"PravikConsoleSquatted");
    CTraceSetting trace(service.dir().file(L"trace.log"));
    ASSERT_EQ(service.install(consoleConfig(service)), 0u);
    HANDLE squatter = CreateNamedPipeW(pipeNameOf(service.name()).c_str(), PIPE_ACCESS_INBOUND, 0, 2, 4, 4, 0, nullptr);
    ASSERT_NE(squatter, INVALID_HANDLE_VALUE) << GetLastError();
    CConsoleInstance instance(pravikExe(), service.name());
    waitUntil([&] { return instance.ended() || contains(recordOf(service), "start\n"); }, "the instance");
    EXPECT_TRUE(instance.ended());
    EXPECT_EQ(recordOf(service), "");
    EXPECT_TRUE(contains(readFileBytes(service.dir().file(L"trace.log")),
                         "The control pipe of " + utf8(service.name()) + " is in use by another process\r\n"));
    CloseHandle(squatter);
}

TEST(ConsoleMode, SystemExitEndsTheRunWithItsCode) {
    CTestService service(L"PravikConsoleExit");
    CTraceSetting trace(service.dir().file(L"trace.log"));
    ASSERT_EQ(service.install(consoleConfig(service, L" -exit 3")), 0u);
    CConsoleInstance instance(pravikExe(), service.name());
    ASSERT_TRUE(instance.started());
    EXPECT_EQ(instance.waitForEnd(), 3u);
    const std::string lines = readFileBytes(service.dir().file(L"trace.log"));
    EXPECT_TRUE(contains(lines, "Java called System.exit with 3\r\n")) << lines;
}
