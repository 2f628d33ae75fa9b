// A Java service under the real service control manager and the real JVM:
// installed with "-i", started with StartServiceW, controlled and stopped.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "support/Polling.h"
#include "support/PravikRunner.h"
#include "support/ServiceFixture.h"
#include "support/TestRegistry.h"

namespace {

const wchar_t* const kRecordingService = L"com.velsor.test.RecordingService";

std::string recordOf(const CTestService& service) { return readFileBytes(service.dir().file(L"record.txt")); }

std::wstring recordArgument(const CTestService& service) { return unixPathOf(service.dir().file(L"record.txt")); }

std::string traceOf(const CTestService& service) {
    return stripThreadIds(readFileBytes(service.dir().file(L"trace.log")));
}

// Installs and starts RecordingService with the record file and these further arguments, and waits until it runs.
void startRecording(CTestService& service, const std::wstring& arguments, const ConfigKeys& moreKeys = {}) {
    ConfigKeys keys = service.baseConfig(kRecordingService);
    keys.push_back({L"commandLineParms", recordArgument(service) + arguments});
    keys.insert(keys.end(), moreKeys.begin(), moreKeys.end());
    ASSERT_NO_FATAL_FAILURE(service.run(keys));
}

}  // namespace

TEST(ServiceRun, ControlsReachJavaUnchangedAndJavasStopReportIsTheOnlyOne) {
    CTestService service(L"PravikRunControls");
    CTraceSetting trace(service.dir().file(L"trace.log"));
    ASSERT_NO_FATAL_FAILURE(startRecording(service, L" -a \"b c\" d\\ e %SystemRoot% -exitcode 7"));

    const SERVICE_STATUS_PROCESS running = service.status();
    EXPECT_EQ(running.dwControlsAccepted, DWORD{SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN |
                                                SERVICE_ACCEPT_PAUSE_CONTINUE});
    EXPECT_EQ(running.dwServiceType, DWORD{SERVICE_WIN32_OWN_PROCESS});
    ASSERT_TRUE(service.control(SERVICE_CONTROL_PAUSE)) << service.lastError();
    service.waitFor(SERVICE_PAUSED);
    ASSERT_TRUE(service.control(SERVICE_CONTROL_CONTINUE)) << service.lastError();
    service.waitFor(SERVICE_RUNNING);
    EXPECT_TRUE(service.control(SERVICE_CONTROL_INTERROGATE)) << service.lastError();
    EXPECT_TRUE(service.control(200)) << service.lastError();
    ASSERT_TRUE(service.stop()) << service.lastError();
    EXPECT_EQ(service.waitForProcessEnd(), 0u);

    // Java reported STOPPED with 7, which Windows reads behind ERROR_SERVICE_SPECIFIC_ERROR; a second
    // report by the executor would have left 0.
    const SERVICE_STATUS_PROCESS stopped = service.status();
    EXPECT_EQ(stopped.dwCurrentState, DWORD{SERVICE_STOPPED});
    EXPECT_EQ(stopped.dwWin32ExitCode, DWORD{ERROR_SERVICE_SPECIFIC_ERROR});
    EXPECT_EQ(stopped.dwServiceSpecificExitCode, 7u);

    EXPECT_EQ(recordOf(service), utf8(L"args 7\narg[0]=" + recordArgument(service) +
                                      L"\narg[1]=-a\narg[2]=b c\narg[3]=d e\narg[4]=%SystemRoot%\n"
                                      L"arg[5]=-exitcode\narg[6]=7\n"
                                      L"control 2\ncontrol 3\ncontrol 4\ncontrol 200\ncontrol 1\nstopping\n"));
    const std::string lines = traceOf(service);
    EXPECT_TRUE(contains(lines, "Sending service control : SERVICE_CONTROL_PAUSE\n")) << lines;
    EXPECT_TRUE(contains(lines, "Sending service control : SERVICE_CONTROL_INTERROGATE\n"));
    EXPECT_TRUE(contains(lines, "Sending service control : Unknown\n"));
    EXPECT_TRUE(contains(lines, "Set service to state SERVICE_PAUSED\n"));
    EXPECT_TRUE(contains(lines, "Set service to state SERVICE_STOPPED\n"));
    EXPECT_TRUE(inOrder(lines, "CJvm::getCommandLineArgs Exit 7\n", "CJvm::runServiceMain Entry\n"));
    EXPECT_TRUE(contains(lines, "CJvm::runServiceMain Exit 0\n"));
    EXPECT_TRUE(contains(lines, "CExecutor::serviceMain Exit 0\n"));
    EXPECT_FALSE(contains(lines, "Java exception cleared"));
}

TEST(ServiceRun, TheExecutorReportsStoppedWhenJavaDoesNot) {
    CTestService service(L"PravikRunNoStop");
    CTraceSetting trace(service.dir().file(L"trace.log"));
    ASSERT_NO_FATAL_FAILURE(startRecording(service, L" -noStopReport"));
    ASSERT_TRUE(service.control(SERVICE_CONTROL_STOP)) << service.lastError();
    const SERVICE_STATUS_PROCESS stopped = service.waitFor(SERVICE_STOPPED);
    EXPECT_EQ(stopped.dwWin32ExitCode, 0u);
    EXPECT_EQ(stopped.dwServiceSpecificExitCode, 0u);
    EXPECT_EQ(service.waitForProcessEnd(), 0u);
    const std::string lines = traceOf(service);
    EXPECT_TRUE(contains(lines, "Set service to state SERVICE_STOP_PENDING\n")) << lines;
    EXPECT_FALSE(contains(lines, "Set service to state SERVICE_STOPPED"));
    EXPECT_TRUE(contains(recordOf(service), "control 1\nstopping\n"));
}

TEST(ServiceRun, AnExceptionOutOfServiceMainIsClearedAndEndsTheRunWithZero) {
    CTestService service(L"PravikRunThrow");
    CTraceSetting trace(service.dir().file(L"trace.log"));
    ASSERT_NO_FATAL_FAILURE(startRecording(service, L" -noStopReport -throw"));
    ASSERT_TRUE(service.control(SERVICE_CONTROL_STOP)) << service.lastError();
    const SERVICE_STATUS_PROCESS stopped = service.waitFor(SERVICE_STOPPED);
    EXPECT_EQ(stopped.dwServiceSpecificExitCode, 0u);
    EXPECT_EQ(service.waitForProcessEnd(), 0u);
    const std::string lines = traceOf(service);
    EXPECT_TRUE(inOrder(lines, "Java exception cleared after serviceMain\n", "CJvm::runServiceMain Exit 0\n"))
        << lines;
    EXPECT_FALSE(contains(lines, "Service failed to start."));
}

TEST(ServiceRun, NonAsciiClassNameAndArgumentsReachJavaIntact) {
    CTestService service(L"PravikRunUnicode");
    ConfigKeys keys = service.baseConfig(L"com.velsor.test.Gr\u00fc\u00dfeService");
    // Outside the ANSI code page: Chinese and a character beyond the basic plane.
    keys.push_back({L"commandLineParms", recordArgument(service) + L" gr\u00fc\u00dfe \u4e2d\u6587 \U0001F600\u20ac"});
    ASSERT_EQ(service.install(keys, true), 0u);
    ASSERT_TRUE(service.start()) << service.lastError();
    service.waitFor(SERVICE_RUNNING);
    ASSERT_TRUE(service.stop()) << service.lastError();
    EXPECT_EQ(service.waitForProcessEnd(), 0u);
    EXPECT_EQ(recordOf(service), utf8(L"args 4\narg[0]=" + recordArgument(service) +
                                      L"\narg[1]=gr\u00fc\u00dfe\narg[2]=\u4e2d\u6587\narg[3]=\U0001F600\u20ac\n"
                                      L"control 1\nstopping\n"));
}

TEST(ServiceRun, ConsoleEventCodesNeverReachServiceControlAndTheJvmWritesToTheVerboseFile) {
    CTestService service(L"PravikRunSignals");
    CTraceSetting trace(service.dir().file(L"trace.log"));
    ASSERT_NO_FATAL_FAILURE(startRecording(
        service, L"", {{L"jvmOption2", L"-verbose:gc"}, {L"verboseOutput", service.dir().file(L"verbose.log")}}));
    EXPECT_TRUE(service.control(251)) << service.lastError();
    // The dump is written by a JVM thread of its own: wait for it before stopping.
    const std::wstring verboseFile = service.dir().file(L"verbose.log");
    pollUntil([&] { return contains(readFileBytes(verboseFile), "Full thread dump"); });
    EXPECT_TRUE(service.control(250)) << service.lastError();
    ASSERT_TRUE(service.stop()) << service.lastError();
    EXPECT_EQ(service.waitForProcessEnd(), 0u);
    EXPECT_EQ(recordOf(service), utf8(L"args 1\narg[0]=" + recordArgument(service) + L"\ncontrol 1\nstopping\n"));
    const std::string lines = traceOf(service);
    EXPECT_TRUE(contains(lines, "Generating control break event.\n")) << lines;
    // A service process has no console to send Ctrl+C to.
    EXPECT_TRUE(inOrder(lines, "Generating control c event.\n", "Failed to generate control c event.  "));
    // The JVM's own signal entry answers Ctrl+Break with a thread dump on its output.
    const std::string verbose = readFileBytes(verboseFile);
    EXPECT_TRUE(contains(verbose, "Full thread dump")) << verbose;
    // The output that -verbose:gc asks for goes there too.
    EXPECT_TRUE(contains(verbose, "[gc]")) << verbose;
}

TEST(ServiceRun, JavaAsksForControlsThroughHiddenSenderInstances) {
    CTestService service(L"PravikRunRelay");
    CTraceSetting trace(service.dir().file(L"trace.log"));
    ASSERT_NO_FATAL_FAILURE(startRecording(service, L" -relay"));
    pollUntil([&] { return contains(recordOf(service), "relay true\nrelay true\n"); });
    EXPECT_TRUE(contains(recordOf(service), "relay true\nrelay true\n")) << recordOf(service);
    // Each sender parses four arguments: its path, -s, the name (blanks and all) and the code.
    const std::wstring traceFile = service.dir().file(L"trace.log");
    auto senders = [&] {
        const std::string lines = stripThreadIds(readFileBytes(traceFile));
        int count = 0;
        for (std::size_t at = lines.find("CParameters::parseCommandLine Entry 4\n"); at != std::string::npos;
             at = lines.find("CParameters::parseCommandLine Entry 4\n", at + 1)) {
            ++count;
        }
        return count;
    };
    pollUntil([&] { return senders() >= 2; });
    EXPECT_EQ(senders(), 2);
    // Wine's SCM kills a service that gets a control after STOP: the relayed
    // 202 must have arrived before the test stops the service.
    pollUntil([&] { return contains(recordOf(service), "control 202\n"); });
    EXPECT_TRUE(contains(recordOf(service), "control 202\n")) << recordOf(service);
    ASSERT_TRUE(service.stop()) << service.lastError();
    EXPECT_EQ(service.waitForProcessEnd(), 0u);
    const std::string lines = stripThreadIds(readFileBytes(traceFile));
    EXPECT_TRUE(contains(lines, "CExecutor::sendControlSignal((pServiceName, dwSignal)) Exit 0\n")) << lines;
    EXPECT_FALSE(contains(lines, "Unable to create process."));
    EXPECT_FALSE(contains(lines, "CParameters::parseCommandLine Entry 6\n"));
}

// Wine's SCM kills a service that gets any control after STOP while it still
// runs, so here the service ends on its own (at the 30th user control, which
// lingers in Java) while the storm goes on.
TEST(ServiceRun, AStormOfControlsWhileTheServiceStopsNeitherCrashesNorHangs) {
    CTestService service(L"PravikRunStorm");
    CTraceSetting trace(service.dir().file(L"trace.log"));
    ASSERT_NO_FATAL_FAILURE(startRecording(service, L" -noStopReport -stopAfter 30"));

    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE target = OpenServiceW(manager, service.name().c_str(), SERVICE_USER_DEFINED_CONTROL |
                                                                         SERVICE_INTERROGATE | SERVICE_QUERY_STATUS);
    ASSERT_NE(target, nullptr);
    std::atomic<bool> stormOver{false};
    std::thread storm([&] {
        for (DWORD code = 129; !stormOver.load(); code = code == 249 ? 129 : code + 1) {
            SERVICE_STATUS answer = {};
            ControlService(target, code, &answer);
            ControlService(target, SERVICE_CONTROL_INTERROGATE, &answer);
        }
    });
    const DWORD exitCode = service.waitForProcessEnd();
    stormOver = true;
    storm.join();
    CloseServiceHandle(target);
    CloseServiceHandle(manager);

    EXPECT_EQ(exitCode, 0u);
    const SERVICE_STATUS_PROCESS stopped = service.status();
    EXPECT_EQ(stopped.dwCurrentState, DWORD{SERVICE_STOPPED});
    EXPECT_EQ(stopped.dwServiceSpecificExitCode, 0u);
    const std::string record = recordOf(service);
    EXPECT_TRUE(inOrder(record, "control 158\n", "stopping\n")) << record;
    EXPECT_TRUE(contains(record, "lingered\n"));

    // The host was destroyed only after the lingering forwarding had ended, and
    // no forwarding began after that.
    const std::string lines = traceOf(service);
    const std::size_t taskEnd = lines.find("CExecutor::startServiceTask Exit 0\n");
    ASSERT_NE(taskEnd, std::string::npos) << lines;
    const std::size_t lastForwardingEnd = lines.rfind("CJvm::sendControlCommand Exit 0\n");
    ASSERT_NE(lastForwardingEnd, std::string::npos);
    EXPECT_LT(lastForwardingEnd, taskEnd);
    EXPECT_EQ(lines.find("CJvm::sendControlCommand Entry", taskEnd), std::string::npos);
}

TEST(ScmRun, DashZTypedByHandReportsTheDispatcherFailure) {
    CTempDir dir;
    CTraceSetting trace(dir.file(L"trace.log"));
    const CRunResult run = runPravik({L"-Z", L"PravikNotAService"});
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.output, "");
    const std::string lines = stripThreadIds(readFileBytes(dir.file(L"trace.log")));
    EXPECT_TRUE(contains(lines, "CExecutor::startSCMDispatcher Entry\nStartServiceCtrlDispatcher failed 1063\n"))
        << lines;
    // The system's wording for 1063 stands between (Wine's differs from Windows').
    EXPECT_TRUE(inOrder(lines, "StartServiceCtrlDispatcher failed 1063\n",
                        "CExecutor::startSCMDispatcher Exit 0\nCExecutor::execute Exit 0\nmain Exit 0\n"));
    EXPECT_FALSE(contains(lines, "CExecutor::serviceMain"));
}
