// Code 128: the sender stops and starts an installed service, or replaces a
// console-mode instance by a new one in a new console; a Java service asks
// for its own restart. Also with blanks in the program path and service name.
#include <gtest/gtest.h>

#include "ConsoleTestSupport.h"
#include "support/PravikRunner.h"
#include "support/TestRegistry.h"

namespace {

// pravik.exe copied to a directory and a file name with blanks.
std::wstring copyWithBlanks(const CTestService& service) {
    const std::wstring directory = service.dir().file(L"Program Files");
    CreateDirectoryW(directory.c_str(), nullptr);
    const std::wstring copy = directory + L"\\pravik copy.exe";
    EXPECT_TRUE(CopyFileW(pravikExe().c_str(), copy.c_str(), FALSE)) << GetLastError();
    return copy;
}

// Stops the console-mode instance that a restart started, and waits until its pipe is gone.
void stopConsoleInstance(const std::wstring& program, const CTestService& service, int stopsBefore) {
    const CRunResult stop = runProgram(program, {L"-s", service.name(), L"SERVICE_CONTROL_STOP"});
    EXPECT_EQ(stop.output, "");
    waitUntil([&] { return countLines(recordOf(service), "stopping") == stopsBefore + 1; }, "the stop");
    const std::wstring pipe = pipeNameOf(service.name());
    waitUntil(
        [&] {
            HANDLE probe = CreateFileW(pipe.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            if (probe == INVALID_HANDLE_VALUE) {
                return GetLastError() == ERROR_FILE_NOT_FOUND;
            }
            CloseHandle(probe);
            return false;
        },
        "the pipe to go");
}

}  // namespace

TEST(Restart, AnInstalledServiceIsStoppedAndStartedAgainWhetherRunningOrNot) {
    CTestService service(L"PravikRestartScm");
    CTraceSetting trace(service.dir().file(L"trace.log"));
    ASSERT_EQ(service.install(consoleConfig(service)), 0u);
    ASSERT_TRUE(service.start()) << service.lastError();
    service.waitFor(SERVICE_RUNNING);

    const CRunResult restart = runPravik({L"-s", service.name(), L"SERVICE_CONTROL_RESTART"});
    EXPECT_EQ(restart.exitCode, 0u);
    EXPECT_EQ(restart.output, "");
    waitUntil([&] { return countLines(recordOf(service), "running") == 2; }, "the second start");
    EXPECT_EQ(recordOf(service), "start\nrunning\ncontrol 1\nstopping\nstart\nrunning\n");
    service.waitFor(SERVICE_RUNNING);

    // Stopped first: the stop finds nothing to do and the start goes ahead; "128" is the same code.
    ASSERT_TRUE(service.stop()) << service.lastError();
    const CRunResult again = runPravik({L"-s", service.name(), L"128"});
    EXPECT_EQ(again.output, "");
    waitUntil([&] { return countLines(recordOf(service), "running") == 3; }, "the third start");
    service.waitFor(SERVICE_RUNNING);
    const std::string lines = stripThreadIds(readFileBytes(service.dir().file(L"trace.log")));
    EXPECT_TRUE(inOrder(lines, "CInstaller::stopService Exit 1\n", "CExecutor::doRestart Exit 0\n"));
    EXPECT_FALSE(contains(lines, "Unable to"));
}

TEST(Restart, AMissingServiceCannotBeStarted) {
    const std::wstring missing = L"PravikNoRestart" + std::to_wstring(GetCurrentProcessId());
    const CRunResult run = runPravik({L"-s", missing, L"SERVICE_CONTROL_RESTART"});
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(inOrder(run.output, "Cannot open service for stopping, rc=  1060\r\n",
                        "Unable to open service. rc= 1060\r\n"))
        << run.output;
}

TEST(Restart, AConsoleModeInstanceIsReplacedByANewOneOnceItsPipeIsGone) {
    CTestService service(L"PravikRestartConsole");
    CTraceSetting trace(service.dir().file(L"trace.log"));
    ASSERT_EQ(service.install(consoleConfig(service)), 0u);
    CConsoleInstance old(pravikExe(), service.name());
    waitUntil([&] { return countLines(recordOf(service), "running") == 1; }, "the first instance");
    const std::wstring pipe = pipeNameOf(service.name());
    waitUntil([&] { return WaitNamedPipeW(pipe.c_str(), 1); }, "the pipe");

    const CRunResult restart = runPravik({L"-s", service.name(), L"128"});
    EXPECT_EQ(restart.output, "");
    // The sender came back only after the old instance had let go of its pipe.
    EXPECT_EQ(old.waitForEnd(), 0u);
    waitUntil([&] { return countLines(recordOf(service), "running") == 2; }, "the new instance");
    stopConsoleInstance(pravikExe(), service, 1);
    // The restart's probes of the pipe while it waited carried no code.
    EXPECT_EQ(recordOf(service), "start\nrunning\ncontrol 1\nstopping\nstart\nrunning\ncontrol 1\nstopping\n");
    const std::vector<std::string> started = idsOf(rawRecordOf(service), "start");
    ASSERT_EQ(started.size(), 2u);
    EXPECT_NE(started[0], started[1]);
    const std::string lines = stripThreadIds(readFileBytes(service.dir().file(L"trace.log")));
    EXPECT_FALSE(contains(lines, "Unable to create process."));
    // The new instance was started "-x" with the name: three arguments.
    EXPECT_TRUE(contains(lines, "CExecutor::doRestart Exit 0\n"));
}

// A pipe that never goes away (this test's, standing in for an instance whose
// Java never ends): the restart waits as long as the old instance's stop may
// take (its stopTimeout and 10 seconds), then says so and starts nothing.
TEST(Restart, APipeThatNeverGoesAwayEndsTheWaitWithAMessage) {
    CTestService service(L"PravikRestartNeverGone");
    ConfigKeys keys = consoleConfig(service);
    keys.push_back({L"stopTimeout", L"1000"});
    ASSERT_EQ(service.install(keys), 0u);
    HANDLE server = CreateNamedPipeW(pipeNameOf(service.name()).c_str(), PIPE_ACCESS_INBOUND, 0, 1, 4, 4, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE) << GetLastError();
    const CRunResult restart = runPravik({L"-s", service.name(), L"128"});
    EXPECT_EQ(restart.output, crlf("The control pipe of " + utf8(service.name()) +
                                   " did not close within 11000 ms; no new instance started\n"));
    // The stop went over the pipe first.
    char code[4] = {};
    DWORD got = 0;
    EXPECT_TRUE(ReadFile(server, code, sizeof(code), &got, nullptr));
    EXPECT_EQ(std::string(code, got), std::string("\x01\x00\x00\x00", 4));
    CloseHandle(server);
}

TEST(Restart, AJavaServiceRestartsItselfThroughSendServiceControl) {
    CTestService service(L"PravikRestartSelf");
    const std::wstring marker = unixPathOf(service.dir().file(L"restarted"));
    ASSERT_EQ(service.install(consoleConfig(service, L" -restartOnce " + marker)), 0u);
    ASSERT_TRUE(service.start()) << service.lastError();
    waitUntil([&] { return countLines(recordOf(service), "running") == 2; }, "the restarted service");
    service.waitFor(SERVICE_RUNNING);
    EXPECT_EQ(recordOf(service), "start\nrunning\nrestart true\ncontrol 1\nstopping\nstart\nrunning\n");
}

// Quoting: a program path with blanks and a service name with blanks survive
// "-s" through the manager, the relay, the restart of an installed service and
// that of a console-mode instance.
TEST(Restart, BlanksInTheProgramPathAndTheServiceNameWorkForEveryRoute) {
    CTestService service(L"Pravik Blank Service ");
    CTraceSetting trace(service.dir().file(L"trace.log"));
    const std::wstring copy = copyWithBlanks(service);
    ConfigKeys keys = consoleConfig(service, L" -relayTo \"" + service.name() + L"\" 201");
    keys.push_back({L"binaryPath", copy});
    ASSERT_EQ(service.install(keys), 0u);
    ASSERT_TRUE(service.start()) << service.lastError();
    service.waitFor(SERVICE_RUNNING);
    // The relay: the service process (the copy) starts "<copy>" -s "<name>" 201.
    waitUntil([&] { return contains(recordOf(service), "control 201\n"); }, "the relayed control");
    EXPECT_EQ(runProgram(copy, {L"-s", service.name(), L"SERVICE_CONTROL_PAUSE"}).output,
              crlf("Control sent OK, current service state : SERVICE_PAUSED\n"));

    // Restart of the installed service from the copy: the relay runs again in the new process.
    EXPECT_EQ(runProgram(copy, {L"-s", service.name(), L"SERVICE_CONTROL_RESTART"}).output, "");
    waitUntil([&] { return countLines(recordOf(service), "control 201") == 2; }, "the restarted service's relay");
    service.waitFor(SERVICE_RUNNING);
    ASSERT_TRUE(service.stop()) << service.lastError();
    service.waitForProcessEnd();

    // Console mode from the copy, restarted from the copy.
    {
        CConsoleInstance old(copy, service.name());
        waitUntil([&] { return countLines(recordOf(service), "running") == 3; }, "the console-mode instance");
        // Its relay to itself has gone over the pipe.
        waitUntil([&] { return countLines(recordOf(service), "control 201") == 3; }, "its relay");
        const std::wstring pipe = pipeNameOf(service.name());
        waitUntil([&] { return WaitNamedPipeW(pipe.c_str(), 1); }, "the pipe");
        EXPECT_EQ(runProgram(copy, {L"-s", service.name(), L"SERVICE_CONTROL_RESTART"}).output, "");
        EXPECT_EQ(old.waitForEnd(), 0u);
    }
    waitUntil([&] { return countLines(recordOf(service), "running") == 4; }, "the new console-mode instance");
    waitUntil([&] { return countLines(recordOf(service), "control 201") == 4; }, "the new instance's relay");
    stopConsoleInstance(copy, service, 3);
    const std::string lines = stripThreadIds(readFileBytes(service.dir().file(L"trace.log")));
    EXPECT_FALSE(contains(lines, "Unable to")) << lines;
    EXPECT_FALSE(contains(lines, "Unrecognized"));
}

// While Java takes 8 s over one control, the pipe is free: a second code and a
// restart go over it (nothing to the service control manager), the restart
// waits for the old instance to end, and only then starts one new instance.
TEST(Restart, ASlowControlLeavesThePipeToASecondCodeAndARestart) {
    CTestService service(L"PravikRestartSlow");
    ASSERT_EQ(service.install(consoleConfig(service, L" -slowControl 201")), 0u);
    CConsoleInstance old(pravikExe(), service.name());
    waitUntil([&] { return countLines(recordOf(service), "running") == 1; }, "the first instance");
    EXPECT_EQ(runPravik({L"-s", service.name(), L"201"}).output, "");
    waitUntil([&] { return contains(recordOf(service), "control 201\n"); }, "the slow control");
    EXPECT_EQ(runPravik({L"-s", service.name(), L"202"}).output, "");
    // The second sender was done before the slow control was.
    EXPECT_FALSE(contains(recordOf(service), "slow 201 done"));
    EXPECT_EQ(runPravik({L"-s", service.name(), L"SERVICE_CONTROL_RESTART"}).output, "");
    EXPECT_EQ(old.waitForEnd(), 0u);
    waitUntil([&] { return countLines(recordOf(service), "running") == 2; }, "the new instance");
    stopConsoleInstance(pravikExe(), service, 1);
    EXPECT_EQ(recordOf(service), "start\nrunning\ncontrol 201\nslow 201 done\ncontrol 202\ncontrol 1\nstopping\n"
                                 "start\nrunning\ncontrol 1\nstopping\n");
}
