// Removing services with "-r" and "-u" against the real service control
// manager: only services of this program, stopped first when they run.
#include <gtest/gtest.h>

#include "common/Win32Handle.h"
#include "install/CInstaller.h"
#include "install/ServiceStop.h"
#include "log/CLogger.h"
#include "main/CParameters.h"
#include "registry/TraceSwitch.h"
#include "support/PravikRunner.h"
#include "support/ServiceFixture.h"
#include "support/TestRegistry.h"

namespace {

std::vector<std::string> serviceLines(const std::wstring& name, const std::vector<std::string>& more = {}) {
    std::vector<std::string> lines = {"serviceName=" + narrow(name), "serviceDisplayName=" + narrow(name) + " display",
                                      "ipravikClass=com.example.Service"};
    lines.insert(lines.end(), more.begin(), more.end());
    return lines;
}

// Installs the stoppable test service through pravik; how it stops is its command line.
std::wstring installStoppable(const CTempDir& directory, const std::wstring& name, const std::string& behaviour) {
    const std::wstring file = writeConfig(
        directory, name + L".cfg",
        serviceLines(name, {"binaryPath=" + narrow(stoppableServiceExe()), "commandLineParms=" + behaviour}));
    EXPECT_EQ(runPravik({L"-i", file}).exitCode, 0u);
    return file;
}

// Installs the stoppable test service and starts it; the test cannot go on unless it runs.
void runStoppable(const CTempDir& directory, const std::wstring& name, const std::string& behaviour,
                  std::wstring* configFile = nullptr) {
    const std::wstring file = installStoppable(directory, name, behaviour);
    if (configFile != nullptr) {
        *configFile = file;
    }
    ASSERT_TRUE(startService(name));
    ASSERT_TRUE(waitForServiceState(name, SERVICE_RUNNING));
}

bool isGone(const std::wstring& name) {
    return openServiceError(name) == ERROR_SERVICE_DOES_NOT_EXIST && !hklmKeyExists(serviceKeyPath(name));
}

std::string deletedMessage(const std::wstring& name) {
    return crlf("Service " + narrow(name) + " deleted successfully.\n");
}

// pravik with these arguments removes the service, says so alone and ends with 0.
void expectRemoved(const std::wstring& name, const std::vector<std::wstring>& arguments) {
    const CRunResult run = runPravik(arguments);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.output, deletedMessage(name));
    EXPECT_TRUE(isGone(name));
}

std::string refusedMessage(const std::wstring& name) {
    return crlf("The service " + narrow(name) +
                " is not a service created by Pravik.  Therefore it will not be removed.\nUninstall failed\n");
}

}  // namespace

TEST(Removal, ByNameAndByConfigFileOfAStoppedService) {
    CTempDir directory;
    const std::wstring name = uniqueServiceName(L"Stopped");
    CServiceCleanup cleanup(name);
    const std::wstring file = writeConfig(directory, L"stopped.cfg", serviceLines(name, {"jvmOption1=-Dx"}));

    ASSERT_EQ(runPravik({L"-i", file}).exitCode, 0u);
    expectRemoved(name, {L"-r", name});

    ASSERT_EQ(runPravik({L"-i", file}).exitCode, 0u);
    const CRunResult byFile = runPravik({L"-u", file});
    EXPECT_EQ(byFile.exitCode, 0u);
    EXPECT_EQ(byFile.output, echoOf(serviceLines(name, {"jvmOption1=-Dx"})) + deletedMessage(name));
    EXPECT_TRUE(isGone(name));
}

TEST(Removal, ServiceNameWinsOverConfigFile) {
    CTempDir directory;
    const std::wstring name = uniqueServiceName(L"NameWins");
    CServiceCleanup cleanup(name);
    ASSERT_EQ(runPravik({L"-i", writeConfig(directory, L"wins.cfg", serviceLines(name))}).exitCode, 0u);
    // The file does not exist: reading it would fail.
    expectRemoved(name, {L"-u", directory.file(L"absent.cfg"), L"-r", name});
}

TEST(Removal, ConfigFileProblemsEndRemovalBeforeAnythingIsDone) {
    CTempDir directory;
    const std::wstring name = uniqueServiceName(L"BadFile");
    CServiceCleanup cleanup(name);
    ASSERT_EQ(runPravik({L"-i", writeConfig(directory, L"good.cfg", serviceLines(name))}).exitCode, 0u);

    const std::wstring broken = writeConfig(directory, L"broken.cfg", serviceLines(name, {"description="}));
    const CRunResult parseError = runPravik({L"-u", broken});
    EXPECT_EQ(parseError.exitCode, 5u);
    EXPECT_EQ(parseError.output, echoOf(serviceLines(name)) +
                                     crlf("description has no value in configuration file. Operation failed.\n"
                                          "Uninstall failed\n"));
    EXPECT_TRUE(queryServiceConfig(name).has_value());

    const CRunResult unreadable = runPravik({L"-u", directory.file(L"absent.cfg")});
    EXPECT_EQ(unreadable.exitCode, 4u);
    EXPECT_EQ(outputLines(unreadable.output).back(), "Uninstall failed");
    EXPECT_TRUE(queryServiceConfig(name).has_value());

    // A file that names no service removes nothing and is no failure.
    const std::vector<std::string> nameless = {"serviceDisplayName=whatever", "ipravikClass=com.example.Service"};
    const CRunResult noName = runPravik({L"-u", writeConfig(directory, L"nameless.cfg", nameless)});
    EXPECT_EQ(noName.exitCode, 0u);
    EXPECT_EQ(noName.output, echoOf(nameless));
    EXPECT_TRUE(queryServiceConfig(name).has_value());
}

TEST(Removal, RefusesServicesOfOtherProgramsWith11) {
    CTempDir directory;
    const std::wstring name = uniqueServiceName(L"Foreign");
    CServiceCleanup cleanup(name);
    ASSERT_TRUE(createForeignService(name, L"C:\\windows\\system32\\notepad.exe"));

    const CRunResult byName = runPravik({L"-r", name});
    EXPECT_EQ(byName.exitCode, 11u);
    EXPECT_EQ(byName.output, refusedMessage(name));
    EXPECT_TRUE(queryServiceConfig(name).has_value());

    const std::vector<std::string> lines = {"serviceName=" + narrow(name)};
    const CRunResult byFile = runPravik({L"-u", writeConfig(directory, L"foreign.cfg", lines)});
    EXPECT_EQ(byFile.exitCode, 11u);
    EXPECT_EQ(byFile.output, echoOf(lines) + refusedMessage(name));
    EXPECT_TRUE(queryServiceConfig(name).has_value());

    const std::wstring unknown = uniqueServiceName(L"NeverInstalled");
    const CRunResult missing = runPravik({L"-r", unknown});
    EXPECT_EQ(missing.exitCode, 11u);
    EXPECT_EQ(missing.output, refusedMessage(unknown));
}

TEST(Removal, RunningServiceOfAnotherProgramIsNeitherStoppedNorDeleted) {
    // A copy of the test service at a path that does not name this program.
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring copy = std::wstring(temp) + L"foreign-" + std::to_wstring(GetCurrentProcessId()) + L".exe";
    ASSERT_TRUE(CopyFileW(stoppableServiceExe().c_str(), copy.c_str(), FALSE));
    const std::wstring name = uniqueServiceName(L"ForeignRunning");
    {
        CServiceCleanup cleanup(name);
        ASSERT_TRUE(createForeignService(name, L"\"" + copy + L"\""));
        CTempDir directory;
        setHklmString(parametersKeyPath(name), L"CommandLine",
                      L"pending 0 0 0 " + directory.file(L"marker.txt"));
        ASSERT_TRUE(startService(name));
        ASSERT_TRUE(waitForServiceState(name, SERVICE_RUNNING));

        const CRunResult run = runPravik({L"-r", name});
        EXPECT_EQ(run.exitCode, 11u);
        EXPECT_EQ(run.output, refusedMessage(name));
        EXPECT_EQ(serviceState(name), static_cast<DWORD>(SERVICE_RUNNING));
        EXPECT_EQ(readFileBytes(directory.file(L"marker.txt")), "running\r\n");
    }
    DeleteFileW(copy.c_str());
}

TEST(Removal, RunningServiceIsStoppedWhileItReportsStopPendingThenDeleted) {
    CTempDir directory;
    const std::wstring name = uniqueServiceName(L"Running");
    CServiceCleanup cleanup(name);
    const std::wstring marker = directory.file(L"marker.txt");
    // Three more reports of SERVICE_STOP_PENDING with a wait hint of 300 ms,
    // 300 ms apart, before SERVICE_STOPPED.
    ASSERT_NO_FATAL_FAILURE(runStoppable(directory, name, "pending 300 3 300 " + narrow(marker)));

    expectRemoved(name, {L"-r", name});
    // The service had finished stopping before removal went on.
    EXPECT_EQ(readFileBytes(marker), "running\r\nstopped\r\n");
}

TEST(Removal, ServiceWithoutWaitHintIsPolledUntilStoppedThroughTheConfigFile) {
    CTempDir directory;
    const std::wstring name = uniqueServiceName(L"NoHint");
    CServiceCleanup cleanup(name);
    const std::wstring marker = directory.file(L"marker.txt");
    // Stopping takes two steps of 700 ms while the service gives no wait hint.
    const std::string behaviour = "pending 0 2 700 " + narrow(marker);
    std::wstring file;
    ASSERT_NO_FATAL_FAILURE(runStoppable(directory, name, behaviour, &file));

    const CRunResult run = runPravik({L"-u", file});
    EXPECT_EQ(run.exitCode, 0u);
    const std::vector<std::string> lines =
        serviceLines(name, {"binaryPath=" + narrow(stoppableServiceExe()), "commandLineParms=" + behaviour});
    EXPECT_EQ(run.output, echoOf(lines) + deletedMessage(name));
    EXPECT_EQ(readFileBytes(marker), "running\r\nstopped\r\n");
    EXPECT_TRUE(isGone(name));
}

// A wait hint of 0xFFFFFFFF (INFINITE to Sleep) must not stall the removal: each
// poll sleeps at most ten seconds, so this finishes long before the test's limit.
TEST(Removal, HugeWaitHintDoesNotStallTheRemoval) {
    CTempDir directory;
    const std::wstring name = uniqueServiceName(L"HugeHint");
    CServiceCleanup cleanup(name);
    const std::wstring marker = directory.file(L"marker.txt");
    ASSERT_NO_FATAL_FAILURE(runStoppable(directory, name, "pending 4294967295 1 300 " + narrow(marker)));

    expectRemoved(name, {L"-r", name});
}

TEST(Removal, ServiceThatRefusesToStopStaysInstalled) {
    CTempDir directory;
    const std::wstring name = uniqueServiceName(L"Refuses");
    CServiceCleanup cleanup(name);
    ASSERT_NO_FATAL_FAILURE(runStoppable(directory, name, "refuse 0 0 0 " + narrow(directory.file(L"marker.txt"))));

    const CRunResult run = runPravik({L"-r", name});
    // The service is still there, so the removal failed and says so in its exit code.
    EXPECT_EQ(run.exitCode, 25u);
    // The failed stop and the system's wording for it, then the failure: no deletion was tried.
    const std::vector<std::string> output = nonEmptyLines(run.output);
    ASSERT_EQ(output.size(), 3u) << run.output;
    EXPECT_EQ(output[0], "Error stopping service rc =  1052");
    EXPECT_EQ(output[2], "Uninstall failed");
    EXPECT_EQ(serviceState(name), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_TRUE(queryServiceConfig(name).has_value());
    EXPECT_TRUE(hklmKeyExists(parametersKeyPath(name)));
}

TEST(Removal, StopServiceAnswersForEachStateOfTheService) {
    CTempDir directory;
    const std::wstring name = uniqueServiceName(L"StopCalls");
    CServiceCleanup cleanup(name);
    installStoppable(directory, name, "refuse 0 0 0 " + narrow(directory.file(L"marker.txt")));
    CLogger logger;
    const CServiceHandle manager(OpenSCManagerW(nullptr, nullptr, GENERIC_WRITE | GENERIC_EXECUTE));
    ASSERT_TRUE(manager);

    // Not running: nothing to stop.
    EXPECT_EQ(stopService(&logger, manager.get(), name.c_str()), 1);
    // Not there: removal still goes on to the deletion attempt.
    EXPECT_EQ(stopService(&logger, manager.get(), uniqueServiceName(L"NoSuchService").c_str()), 1);
    // Running and refusing the stop control.
    ASSERT_TRUE(startService(name));
    ASSERT_TRUE(waitForServiceState(name, SERVICE_RUNNING));
    EXPECT_EQ(stopService(&logger, manager.get(), name.c_str()), 0);
    EXPECT_EQ(serviceState(name), static_cast<DWORD>(SERVICE_RUNNING));
}

TEST(Removal, NeitherServiceNameNorConfigFileIs10) {
    CLogger logger;
    CParameters parameters(&logger, enableTracing);
    wchar_t program[] = L"pravik.exe";
    wchar_t unicode[] = L"-w";
    wchar_t* argv[] = {program, unicode, nullptr};
    ASSERT_EQ(parameters.parseCommandLine(2, argv), 0);
    CInstaller installer(&logger, parameters.installRequest());
    EXPECT_EQ(installer.uninstall(), 10);
}

TEST(Removal, Utf16ConfigFileWithW) {
    CTempDir directory;
    const std::wstring name = uniqueServiceName(L"Wide") + L"\u0416";
    CServiceCleanup cleanup(name);
    const std::wstring text =
        L"serviceName=" + name + L"\r\nserviceDisplayName=" + name + L" display\r\nipravikClass=com.example.S\r\n";
    const std::wstring file = directory.file(L"wide.cfg");
    writeFileBytes(file, std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t)));
    ASSERT_EQ(runPravik({L"-i", file, L"-w"}).exitCode, 0u);
    ASSERT_TRUE(queryServiceConfig(name).has_value());

    // Read as ANSI the file ends at its first zero byte: a one-character line without value.
    const CRunResult asAnsi = runPravik({L"-u", file});
    EXPECT_EQ(asAnsi.exitCode, 5u);
    EXPECT_TRUE(queryServiceConfig(name).has_value());

    const CRunResult run = runPravik({L"-w", L"-u", file});
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(isGone(name));
}
