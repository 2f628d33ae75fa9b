// Java programs that report no state themselves, run by pravik.jar's own
// service classes: an unmodified server through MainClassService, and a
// PravikService through PravikServiceRunner.
#include <winsock2.h>

#include <gtest/gtest.h>

#include "ConsoleTestSupport.h"
#include "support/PravikRunner.h"
#include "support/Polling.h"
#include "support/ServiceFixture.h"

namespace {

// A socket bound to a port on 127.0.0.1 that nothing else uses; listening when asked.
SOCKET loopbackSocket(unsigned short& port, bool listening) {
    WSADATA data;
    EXPECT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof(address);
    EXPECT_EQ(bind(probe, reinterpret_cast<sockaddr*>(&address), size), 0) << WSAGetLastError();
    EXPECT_EQ(getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size), 0) << WSAGetLastError();
    EXPECT_TRUE(!listening || listen(probe, 1) == 0) << WSAGetLastError();
    port = ntohs(address.sin_port);
    return probe;
}

// A TCP port on 127.0.0.1 that nothing listens on right now.
unsigned short freeLoopbackPort() {
    unsigned short port = 0;
    closesocket(loopbackSocket(port, false));
    return port;
}

bool portAnswers(unsigned short port) {
    SOCKET client = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const bool connected = connect(client, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    closesocket(client);
    return connected;
}

// Java's own START_PENDING reports raise the check point; pravik's report before Java has 0.
void expectStartPendingWithRisingCheckPoint(CTestService& service) {
    SERVICE_STATUS_PROCESS now = {};
    EXPECT_TRUE(pollUntil([&] {
        now = service.status();
        return now.dwCurrentState != SERVICE_START_PENDING || now.dwCheckPoint >= 2;
    }));
    EXPECT_EQ(now.dwCurrentState, DWORD{SERVICE_START_PENDING});
    EXPECT_GE(now.dwCheckPoint, 2u);
}

// A program that ends itself on the stop (System.exit) may end before the
// dispatcher has answered the control: Wine's ControlService then says 109,
// and what counts is that the service stops with 0.
void expectStoppedWithZero(CTestService& service, bool mayEndBeforeAnswering = false) {
    const bool answered = service.control(SERVICE_CONTROL_STOP);
    ASSERT_TRUE(answered || (mayEndBeforeAnswering && service.lastError() == ERROR_BROKEN_PIPE))
        << service.lastError();
    const SERVICE_STATUS_PROCESS stopped = service.waitFor(SERVICE_STOPPED);
    EXPECT_EQ(stopped.dwWin32ExitCode, 0u);
    EXPECT_EQ(stopped.dwServiceSpecificExitCode, 0u);
    EXPECT_EQ(service.waitForProcessEnd(), 0u);
}

// A stop that never ends, however often Java raises its check point, is ended
// by the stop budget: STOPPED with 26, and the process's exit code 26.
void expectStopBudgetSpent(CTestService& service) {
    ASSERT_TRUE(service.control(SERVICE_CONTROL_STOP)) << service.lastError();
    EXPECT_EQ(service.waitFor(SERVICE_STOPPED).dwServiceSpecificExitCode, 26u);
    EXPECT_EQ(service.waitForProcessEnd(), 26u);
}

// GatedService on the base class: it starts once the gate file exists and records its calls.
ConfigKeys gatedServiceKeys(CTestService& service, const std::wstring& gate, const std::wstring& record,
                            const std::wstring& extraArgument = L"") {
    ConfigKeys keys = service.baseConfig(L"com.velsor.core.orb.PravikServiceRunner");
    keys.push_back({L"jvmOption2", L"-Dpravik.service=com.velsor.test.GatedService"});
    keys.push_back({L"commandLineParms", unixPathOf(gate) + L" " + unixPathOf(record) + extraArgument});
    return keys;
}

// How MainClassService sees SlowHttpServer ready: by its port, which it binds
// once the gate file exists; by its URL, which it serves at once with 503
// until the gate exists; or by the gate file, left over from an earlier run.
enum class EReadyBy { port, url, staleGate };

// SlowHttpServer through MainClassService on the port, with the readiness
// option and the stop method named (or none); its output in err.log.
ConfigKeys slowServerKeys(CTestService& service, unsigned short port, const std::wstring& readyOption,
                          const wchar_t* stopMethod, const wchar_t* mode = L"") {
    ConfigKeys keys = service.baseConfig(L"com.velsor.core.orb.MainClassService");
    keys.push_back({L"jvmOption2", readyOption});
    if (stopMethod != nullptr) {
        keys.push_back({L"jvmOption3", std::wstring(L"-Dpravik.stop=") + stopMethod});
    }
    keys.push_back({L"commandLineParms", L"com.velsor.test.SlowHttpServer " + std::to_wstring(port) + L" " +
                                             unixPathOf(service.dir().file(L"gate")) + L" " +
                                             unixPathOf(service.dir().file(L"record.txt")) + mode});
    keys.push_back({L"standardError", service.dir().file(L"err.log")});
    return keys;
}

}  // namespace

// Runs SlowHttpServer through MainClassService, ready as readyBy says, with
// the stop method named (or none) and more keys; RUNNING at the end.
void runSlowServer(CTestService& service, const wchar_t* stopMethod, EReadyBy readyBy = EReadyBy::port,
                   const ConfigKeys& extraKeys = {}) {
    const unsigned short port = freeLoopbackPort();
    const std::wstring portText = std::to_wstring(port);
    const std::wstring gate = service.dir().file(L"gate");
    const std::wstring readyOption = readyBy == EReadyBy::port ? L"-Dpravik.ready.port=" + portText
                                     : readyBy == EReadyBy::url
                                         ? L"-Dpravik.ready.url=http://127.0.0.1:" + portText + L"/app"
                                         : L"-Dpravik.ready.file=" + unixPathOf(gate);
    const bool early = readyBy == EReadyBy::url;
    ConfigKeys keys = slowServerKeys(service, port, readyOption, stopMethod, early ? L" early" : L"");
    keys.insert(keys.end(), extraKeys.begin(), extraKeys.end());
    ASSERT_EQ(service.install(keys), 0u);
    if (readyBy == EReadyBy::staleGate) {
        writeFileBytes(gate, "");
    }
    ASSERT_TRUE(service.start()) << service.lastError();

    expectStartPendingWithRisingCheckPoint(service);
    EXPECT_FALSE(fileExists(gate));
    // Served early, the port answers while the service still waits for the URL.
    EXPECT_TRUE(pollUntil([&] { return portAnswers(port) == early; }));
    EXPECT_EQ(service.status().dwCurrentState, DWORD{SERVICE_START_PENDING});
    writeFileBytes(gate, "");
    const SERVICE_STATUS_PROCESS running = service.waitFor(SERVICE_RUNNING);
    EXPECT_EQ(running.dwControlsAccepted, DWORD{SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN});
    EXPECT_TRUE(portAnswers(port));
}

TEST(ProgramService, AnUnmodifiedServerRunsOnceItsPortAnswersAndItsStopMethodEndsIt) {
    CTestService service(L"PravikProgram");
    runSlowServer(service, L"com.velsor.test.SlowHttpServer.shutdown");
    expectStoppedWithZero(service);
    // The JVM is shut down in order after the program: its hook runs too.
    EXPECT_EQ(readFileBytes(service.dir().file(L"record.txt")), "shutdown\nhook\n");
}

TEST(ProgramService, WithoutAStopMethodSystemExitEndsTheProgramThroughItsHooks) {
    CTestService service(L"PravikProgramExit");
    runSlowServer(service, nullptr);
    expectStoppedWithZero(service, true);
    EXPECT_EQ(readFileBytes(service.dir().file(L"record.txt")), "hook\n");
}

TEST(ProgramService, AServerThatBindsBeforeItIsReadyRunsOnceItsUrlAnswers) {
    CTestService service(L"PravikProgramUrl");
    runSlowServer(service, L"com.velsor.test.SlowHttpServer.shutdown", EReadyBy::url);
    expectStoppedWithZero(service);
}

// As a launcher's main is called with "stop" to stop what it started.
TEST(ProgramService, AStopWithWordsCallsItsMethodWithThem) {
    CTestService service(L"PravikProgramStopWords");
    runSlowServer(service, L"com.velsor.test.SlowHttpServer.main stop \"right now\"");
    expectStoppedWithZero(service);
    EXPECT_EQ(readFileBytes(service.dir().file(L"record.txt")), "stop|right now\nhook\n");
}

TEST(ProgramService, AReadyFileLeftFromBeforeIsDeletedAndDoesNotCount) {
    CTestService service(L"PravikProgramStaleFile");
    runSlowServer(service, L"com.velsor.test.SlowHttpServer.shutdown", EReadyBy::staleGate);
    expectStoppedWithZero(service);
}

TEST(ProgramService, AReadyPortThatAnswersBeforeMainFailsTheStart) {
    CTestService service(L"PravikProgramPortTaken");
    unsigned short port = 0;
    const SOCKET listener = loopbackSocket(port, true);
    ASSERT_EQ(service.install(slowServerKeys(service, port, L"-Dpravik.ready.port=" + std::to_wstring(port), nullptr)),
              0u);
    ASSERT_TRUE(service.start()) << service.lastError();
    const SERVICE_STATUS_PROCESS stopped = service.waitFor(SERVICE_STOPPED);
    closesocket(listener);
    EXPECT_EQ(stopped.dwWin32ExitCode, DWORD{ERROR_SERVICE_SPECIFIC_ERROR});
    EXPECT_EQ(stopped.dwServiceSpecificExitCode, 27u);
    EXPECT_EQ(service.waitForProcessEnd(), 0u);
    const std::string error = readFileBytes(service.dir().file(L"err.log"));
    EXPECT_TRUE(contains(error, "MainClassService: port " + std::to_string(port) +
                                    " already answers before com.velsor.test.SlowHttpServer started"))
        << error;
}

TEST(ProgramService, APravikServiceWithoutStateCodeStartsRunsAndStops) {
    CTestService service(L"PravikBaseClass");
    const std::wstring gate = service.dir().file(L"gate");
    const std::wstring record = service.dir().file(L"record.txt");
    ConfigKeys keys = gatedServiceKeys(service, gate, record);
    ASSERT_EQ(service.install(keys), 0u);
    ASSERT_TRUE(service.start()) << service.lastError();

    expectStartPendingWithRisingCheckPoint(service);
    writeFileBytes(gate, "");
    const SERVICE_STATUS_PROCESS running = service.waitFor(SERVICE_RUNNING);
    EXPECT_EQ(running.dwControlsAccepted, DWORD{SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN});

    expectStoppedWithZero(service);
    EXPECT_EQ(readFileBytes(record), "started\nstopped\n");
}

// Installed with a preshutdownTimeout, the base class accepts preshutdown and
// stops on control 15 as on a stop. Only the system sends 15 to a service
// (ControlService refuses it, Wine's with 87): here it comes from "-s" over the
// control pipe of a console-mode run.
TEST(ProgramService, WithAPreshutdownTimeoutTheBaseClassAcceptsPreshutdownAndStopsOnIt) {
    CTestService service(L"PravikPreshutdown");
    const std::wstring gate = service.dir().file(L"gate");
    const std::wstring record = service.dir().file(L"record.txt");
    ConfigKeys keys = gatedServiceKeys(service, gate, record);
    keys.push_back({L"preshutdownTimeout", L"60000"});
    ASSERT_EQ(service.install(keys), 0u);
    writeFileBytes(gate, "");
    ASSERT_TRUE(service.start()) << service.lastError();
    const SERVICE_STATUS_PROCESS running = service.waitFor(SERVICE_RUNNING);
    EXPECT_EQ(running.dwControlsAccepted,
              DWORD{SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_PRESHUTDOWN});
    expectStoppedWithZero(service);

    CConsoleInstance instance(pravikExe(), service.name());
    ASSERT_TRUE(instance.started());
    waitUntil([&] { return readFileBytes(record) == "started\nstopped\nstarted\n"; }, "the console-mode start");
    const CRunResult sent = runPravik({L"-s", service.name(), L"15"});
    EXPECT_EQ(sent.output, "");
    EXPECT_EQ(instance.waitForEnd(), 0u);
    EXPECT_EQ(readFileBytes(record), "started\nstopped\nstarted\nstopped\n");
}

TEST(ProgramService, AThreadThatOutlivesTheStopIsEndedByTheStopBudget) {
    CTestService service(L"PravikProgramTimer");
    runSlowServer(service, L"com.velsor.test.SlowHttpServer.shutdownForgettingATimer", EReadyBy::port,
                  {{L"stopTimeout", L"3000"}});
    expectStopBudgetSpent(service);
}

TEST(ProgramService, AStopMethodThatHangsIsEndedByTheStopBudget) {
    CTestService service(L"PravikBaseClassHangs");
    const std::wstring gate = service.dir().file(L"gate");
    ConfigKeys keys = gatedServiceKeys(service, gate, service.dir().file(L"record.txt"), L" -hangInStop");
    keys.push_back({L"stopTimeout", L"3000"});
    ASSERT_EQ(service.install(keys), 0u);
    writeFileBytes(gate, "");
    ASSERT_TRUE(service.start()) << service.lastError();
    service.waitFor(SERVICE_RUNNING);
    expectStopBudgetSpent(service);
}

// Not ready in time while main still waits for its gate: the process ends
// right after its STOPPED, with 0, not once the stop budget (26) is spent.
TEST(ProgramService, AFailedStartEndsItsProcessWhateverThreadsTheProgramLeft) {
    CTestService service(L"PravikProgramNotReady");
    const unsigned short port = freeLoopbackPort();
    ConfigKeys keys = slowServerKeys(service, port, L"-Dpravik.ready.port=" + std::to_wstring(port), nullptr);
    keys.push_back({L"jvmOption3", L"-Dpravik.ready.timeout=1000"});
    ASSERT_EQ(service.install(keys), 0u);
    ASSERT_TRUE(service.start()) << service.lastError();
    EXPECT_EQ(service.waitFor(SERVICE_STOPPED).dwServiceSpecificExitCode, 27u);
    EXPECT_EQ(service.waitForProcessEnd(), 0u);
}
