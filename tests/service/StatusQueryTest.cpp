// "-q": a service's status as one line of JSON, read here by a real JSON
// parser, and the exit code a script tests.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <map>

#include "ConsoleTestSupport.h"
#include "support/PravikRunner.h"
#include "support/TestRegistry.h"

namespace {

struct CStatusAnswer {
    unsigned long exitCode = 0;
    nlohmann::json json;
};

// Runs "-q name": standard output must be exactly one line, and that line JSON.
CStatusAnswer queryStatus(const std::wstring& serviceName) {
    const CRunResult run = runPravik({L"-q", serviceName});
    const std::vector<std::string> lines = outputLines(run.output);
    EXPECT_EQ(lines.size(), 1u) << run.output;
    EXPECT_EQ(run.output, lines.empty() ? std::string() : lines[0] + "\r\n");
    return {run.exitCode, nlohmann::json::parse(run.output, nullptr, false)};
}

std::string text(const std::wstring& wide) { return utf8(wide); }

}  // namespace

TEST(StatusQuery, ARunningServiceAnswers0WithItsProcessAndConfiguration) {
    CTestService service(L"PravikStatusRunning");
    ConfigKeys keys = consoleConfig(service);
    keys.push_back({L"startType", L"SERVICE_AUTO_START"});
    ASSERT_EQ(service.install(keys), 0u);
    ASSERT_TRUE(service.start()) << service.lastError();
    const SERVICE_STATUS_PROCESS status = service.waitFor(SERVICE_RUNNING);
    const auto config = queryServiceConfig(service.name());
    ASSERT_TRUE(config.has_value());

    const CStatusAnswer answer = queryStatus(service.name());
    EXPECT_EQ(answer.exitCode, 0u);
    EXPECT_EQ(answer.json, nlohmann::json({{"name", text(service.name())},
                                           {"displayName", text(L"pravik test " + service.name())},
                                           {"state", "RUNNING"},
                                           {"pid", status.dwProcessId},
                                           {"win32ExitCode", 0},
                                           {"serviceExitCode", 0},
                                           {"startType", "SERVICE_AUTO_START"},
                                           {"account", text(config->startName)},
                                           {"consoleMode", false}}));
    service.control(SERVICE_CONTROL_STOP);
    service.waitFor(SERVICE_STOPPED);
}

// With the trace on too: the trace gets its lines, standard output only the JSON.
TEST(StatusQuery, AStoppedServiceAnswers3WithoutAProcess) {
    CTestService service(L"PravikStatusStopped");
    ASSERT_EQ(service.install(consoleConfig(service)), 0u);
    CTraceSetting trace(service.dir().file(L"trace.log"));

    const CStatusAnswer answer = queryStatus(service.name());
    EXPECT_EQ(answer.exitCode, 3u);
    EXPECT_EQ(answer.json.at("state"), "STOPPED");
    EXPECT_EQ(answer.json.at("pid"), 0);
    EXPECT_EQ(answer.json.at("startType"), "SERVICE_DEMAND_START");
    EXPECT_EQ(answer.json.at("consoleMode"), false);
    EXPECT_TRUE(contains(readFileBytes(service.dir().file(L"trace.log")), "queryServiceStatus"));
}

TEST(StatusQuery, AConsoleModeRunServingThePipeIsConsoleMode) {
    CTestService service(L"PravikStatusConsole");
    ASSERT_EQ(service.install(consoleConfig(service)), 0u);
    CConsoleInstance instance(pravikExe(), service.name());
    ASSERT_TRUE(instance.started());
    waitUntil([&] { return contains(recordOf(service), "running\n"); }, "the service to run");

    const CStatusAnswer answer = queryStatus(service.name());
    // The manager's service is not running; the console-mode run is.
    EXPECT_EQ(answer.exitCode, 3u);
    EXPECT_EQ(answer.json.at("consoleMode"), true);
    EXPECT_EQ(runPravik({L"-s", service.name(), L"SERVICE_CONTROL_STOP"}).exitCode, 0u);
    EXPECT_EQ(instance.waitForEnd(), 0u);
}

TEST(StatusQuery, AServiceThatIsNotInstalledAnswers4) {
    const std::wstring name = uniqueServiceName(L"StatusMissing");
    const CStatusAnswer answer = queryStatus(name);
    EXPECT_EQ(answer.exitCode, 4u);
    EXPECT_EQ(answer.json, nlohmann::json({{"name", text(name)}, {"installed", false}}));
}

TEST(StatusQuery, AServiceNotCreatedByPravikAnswers11) {
    const std::wstring name = uniqueServiceName(L"StatusForeign");
    CServiceCleanup cleanup(name);
    ASSERT_TRUE(createForeignService(name, L"C:\\windows\\system32\\notepad.exe"));
    const CStatusAnswer answer = queryStatus(name);
    EXPECT_EQ(answer.exitCode, 11u);
    EXPECT_EQ(answer.json.at("name"), text(name));
    EXPECT_EQ(answer.json.at("state"), "STOPPED");
}

// Names and display names beyond ASCII and with quotes reach a pipe as UTF-8 JSON.
TEST(StatusQuery, EveryServiceIsOneArrayOfPravikServicesOnly) {
    CTestService first(L"PravikStatusEvery\u00e9");
    CTestService second(L"PravikStatusEveryTwo");
    ConfigKeys keys = consoleConfig(first);
    const std::wstring displayName = L"Gr\u00fc\u00dfe \u2603 \"quoted\" \\ \U0001F600";
    keys[0].second = displayName;
    ASSERT_EQ(first.install(keys, true), 0u);
    ASSERT_EQ(second.install(consoleConfig(second)), 0u);
    const std::wstring foreign = uniqueServiceName(L"StatusEveryForeign");
    CServiceCleanup cleanup(foreign);
    ASSERT_TRUE(createForeignService(foreign, L"C:\\windows\\system32\\notepad.exe"));

    const CStatusAnswer answer = queryStatus(L"*");
    EXPECT_EQ(answer.exitCode, 0u);
    ASSERT_TRUE(answer.json.is_array()) << answer.json;
    std::map<std::string, nlohmann::json> byName;
    for (const auto& entry : answer.json) {
        byName[entry.at("name").get<std::string>()] = entry;
    }
    ASSERT_EQ(byName.count(text(first.name())), 1u);
    EXPECT_EQ(byName[text(first.name())]["displayName"], text(displayName));
    EXPECT_EQ(byName[text(second.name())]["state"], "STOPPED");
    EXPECT_EQ(byName.count(text(foreign)), 0u);
}
