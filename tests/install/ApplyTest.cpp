// "-U": a configuration file applied to the service in place, against the real
// service control manager and registry: installing what is missing, changing
// only what differs, printing each change, and "-n" changing nothing.
#include <gtest/gtest.h>

#include "common/Win32Handle.h"
#include "support/PravikRunner.h"
#include "support/ServiceFixture.h"
#include "support/TestRegistry.h"

namespace {

std::vector<std::string> serviceLines(const std::wstring& name, const std::string& displayName,
                                      const std::vector<std::string>& more) {
    std::vector<std::string> lines = {"serviceName=" + narrow(name), "serviceDisplayName=" + displayName,
                                      "ipravikClass=com.example.Service"};
    lines.insert(lines.end(), more.begin(), more.end());
    return lines;
}

std::string upToDate(const std::wstring& name) { return "Service " + narrow(name) + " is up to date."; }

// The lines "-U" printed after the parser's echo of the file.
std::vector<std::string> printedAfterEcho(const CRunResult& run, const std::vector<std::string>& lines) {
    const std::vector<std::string> output = outputLines(run.output);
    const std::size_t echoed = outputLines(echoOf(lines)).size();
    return output.size() < echoed ? output : std::vector<std::string>(output.begin() + echoed, output.end());
}

// "-i" of the lines, written as old.cfg: its exit code.
unsigned long installOld(const CTempDir& directory, const std::vector<std::string>& lines) {
    return runPravik({L"-i", writeConfig(directory, L"old.cfg", lines)}).exitCode;
}

// "-U" of the lines, written as new.cfg.
CRunResult applyNew(const CTempDir& directory, const std::vector<std::string>& lines) {
    return runPravik({L"-U", writeConfig(directory, L"new.cfg", lines)});
}

DWORD preshutdownTimeout(const std::wstring& name) {
    const CServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    const CServiceHandle service(manager ? OpenServiceW(manager.get(), name.c_str(), SERVICE_QUERY_CONFIG) : nullptr);
    SERVICE_PRESHUTDOWN_INFO info = {};
    DWORD needed = 0;
    return service && QueryServiceConfig2W(service.get(), SERVICE_CONFIG_PRESHUTDOWN_INFO,
                                           reinterpret_cast<BYTE*>(&info), sizeof(info), &needed)
               ? info.dwPreshutdownTimeout
               : 0;
}

}  // namespace

TEST(Apply, InstallsAMissingServiceAsInstallDoes) {
    const std::wstring name = uniqueServiceName(L"ApplyNew");
    CServiceCleanup cleanup(name);
    CTempDir directory;
    const std::vector<std::string> lines = serviceLines(name, "New display", {"startType=SERVICE_DISABLED"});
    const CRunResult run = applyNew(directory, lines);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.output, echoOf(lines) + crlf("Service successfully installed.\nService " + narrow(name) +
                                               " installed.\n"));
    const auto config = queryServiceConfig(name);
    ASSERT_TRUE(config.has_value());
    EXPECT_EQ(config->startType, 4u);
    EXPECT_EQ(getHklmString(parametersKeyPath(name), L"IPravikClass"), L"com.example.Service");
}

TEST(Apply, TheFileItWasInstalledFromIsUpToDate) {
    const std::wstring name = uniqueServiceName(L"ApplySame");
    CServiceCleanup cleanup(name);
    CTempDir directory;
    const std::vector<std::string> lines =
        serviceLines(name, "Same", {"description=kept beside a manager setting", "startType=service_auto_start", "serviceDependencies=Alpha,Beta",
                                    "interactiveService=TRUE", "jvmOption1=-Da", "preshutdownTimeout=9000"});
    const std::wstring file = writeConfig(directory, L"same.cfg", lines);
    ASSERT_EQ(runPravik({L"-i", file}).exitCode, 0u);
    const auto before = snapshotKey(serviceKeyPath(name));
    const CRunResult run = runPravik({L"-U", file});
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(printedAfterEcho(run, lines), std::vector<std::string>{upToDate(name)});
    EXPECT_EQ(snapshotKey(serviceKeyPath(name)), before);
}

TEST(Apply, ChangesOnlyWhatDiffersAndPrintsEachChange) {
    const std::wstring name = uniqueServiceName(L"ApplyChange");
    CServiceCleanup cleanup(name);
    CTempDir directory;
    ASSERT_EQ(installOld(directory, serviceLines(name, "Old", {"description=old words", "commandLineParms=old",
                                                               "verboseOutput=v.txt", "jvmOption1=-Da",
                                                               "jvmOption2=-Db"})),
              0u);
    const std::vector<std::string> lines =
        serviceLines(name, "New", {"description=new words", "commandLineParms=new", "startType=SERVICE_AUTO_START",
                                   "jvmOption1=-Da", "workingDirectory=%TEMP%", "preshutdownTimeout=5000"});
    const CRunResult run = applyNew(directory, lines);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(printedAfterEcho(run, lines), (std::vector<std::string>{
                                                "serviceDisplayName: Old -> New",
                                                "startType: SERVICE_DEMAND_START -> SERVICE_AUTO_START",
                                                "description: old words -> new words",
                                                "commandLineParms: old -> new",
                                                "verboseOutput: v.txt -> (none)",
                                                "preshutdownTimeout: (none) -> 5000",
                                                "workingDirectory: (none) -> %TEMP%",
                                                "jvmOption2: -Db -> (none)",
                                                "Service " + narrow(name) + " updated: 8 settings changed.",
                                            }));

    const auto config = queryServiceConfig(name);
    ASSERT_TRUE(config.has_value());
    EXPECT_EQ(config->displayName, L"New");
    EXPECT_EQ(config->startType, 2u);
    EXPECT_EQ(getHklmString(serviceKeyPath(name), L"Description"), L"new words");
    const std::wstring parameters = parametersKeyPath(name);
    EXPECT_EQ(getHklmString(parameters, L"CommandLine"), L"new");
    EXPECT_EQ(getHklmString(parameters, L"WorkingDirectory"), L"%TEMP%");
    EXPECT_EQ(getHklmString(parameters, L"JVMOption1"), L"-Da");
    EXPECT_FALSE(getHklmString(parameters, L"VerboseFile").has_value());
    EXPECT_FALSE(getHklmString(parameters, L"JVMOption2").has_value());
    EXPECT_EQ(getHklmString(parameters, L"PreshutdownTimeout"), L"5000");
    EXPECT_EQ(preshutdownTimeout(name), 5000u);

    EXPECT_EQ(printedAfterEcho(applyNew(directory, lines), lines), std::vector<std::string>{upToDate(name)});
}

TEST(Apply, DryRunPrintsTheChangesAndChangesNothing) {
    const std::wstring name = uniqueServiceName(L"ApplyDry");
    CServiceCleanup cleanup(name);
    CTempDir directory;
    ASSERT_EQ(installOld(directory, serviceLines(name, "Old", {"jvmDLL=old.dll"})), 0u);
    const auto serviceBefore = snapshotKey(serviceKeyPath(name));
    const auto parametersBefore = snapshotKey(parametersKeyPath(name));
    const std::vector<std::string> lines = serviceLines(name, "Old", {"errorControl=SERVICE_ERROR_IGNORE"});
    const CRunResult run = runPravik({L"-n", L"-U", writeConfig(directory, L"new.cfg", lines)});
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(printedAfterEcho(run, lines),
              (std::vector<std::string>{"errorControl: SERVICE_ERROR_NORMAL -> SERVICE_ERROR_IGNORE",
                                        "jvmDLL: old.dll -> (none)",
                                        "Service " + narrow(name) + " would be updated: 2 settings would change."}));
    EXPECT_EQ(snapshotKey(serviceKeyPath(name)), serviceBefore);
    EXPECT_EQ(snapshotKey(parametersKeyPath(name)), parametersBefore);

    const std::wstring missing = uniqueServiceName(L"ApplyDryNew");
    CServiceCleanup missingCleanup(missing);
    const std::vector<std::string> newLines = serviceLines(missing, "New", {});
    const CRunResult install = runPravik({L"-U", writeConfig(directory, L"missing.cfg", newLines), L"-n"});
    EXPECT_EQ(install.output, echoOf(newLines) + crlf("Service " + narrow(missing) + " would be installed.\n"));
    EXPECT_EQ(openServiceError(missing), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
}

// The export and the installer must agree on every key's words and defaults.
TEST(Apply, TheExportOfAnInstalledServiceIsUpToDate) {
    const std::wstring name = uniqueServiceName(L"ApplyExport");
    CServiceCleanup cleanup(name);
    CTempDir directory;
    const std::wstring file = writeConfig(
        directory, L"full.cfg",
        serviceLines(name, "Exported", {"description=Runs %APP%", "errorControl=SERVICE_ERROR_SEVERE",
                                        "serviceDependencies=Alpha", "jvmDLL=%JAVA_HOME%\\jvm.dll",
                                        "jvmOption1=-Dx=1", "jvmOption2=-Xmx%HEAP%", "commandLineParms=a b",
                                        "verboseOutput=v.txt", "preinitCommand=cmd /c x", "preinitWaitHint=5000",
                                        "stopTimeout=1000", "preshutdownTimeout=7000", "workingDirectory=%TEMP%",
                                        "standardOutput=o.log", "standardError=e.log", "logRotateSize=2",
                                        "logKeep=4", "env.HOME_DIR=%TEMP%\\home", "secret.TOKEN=t0ken"}));
    ASSERT_EQ(runPravik({L"-i", file}).exitCode, 0u);
    const std::wstring exported = directory.file(L"exported.cfg");
    ASSERT_EQ(runPravik({L"-e", name, exported}).exitCode, 0u);
    const CRunResult run = runPravik({L"-U", exported});
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(outputLines(run.output).back(), upToDate(name)) << run.output;
}

TEST(Apply, EnvironmentAndSecretValuesChangeAndNoSecretIsShown) {
    const std::wstring name = uniqueServiceName(L"ApplyVariables");
    CServiceCleanup cleanup(name);
    CTempDir directory;
    ASSERT_EQ(installOld(directory, serviceLines(name, "Vars", {"env.KEEP=1", "env.CHANGE=old", "env.GONE=x",
                                                                "secret.SAME=s4me", "secret.ROTATE=r0tate1",
                                                                "secret.KEPT=k3pt"})),
              0u);
    const std::vector<std::string> lines =
        serviceLines(name, "Vars", {"env.KEEP=1", "env.CHANGE=new", "env.ADDED=y", "secret.SAME=s4me",
                                    "secret.ROTATE=r0tate2", "secret.KEPT=<protected>"});
    const CRunResult run = applyNew(directory, lines);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(printedAfterEcho(run, lines), (std::vector<std::string>{
                                                "env.CHANGE: old -> new",
                                                "env.GONE: x -> (none)",
                                                "env.ADDED: (none) -> y",
                                                "secret.ROTATE: <protected> -> <protected>",
                                                "Service " + narrow(name) + " updated: 4 settings changed.",
                                            }));
    for (const char* clear : {"s4me", "r0tate", "k3pt"}) {
        EXPECT_FALSE(contains(run.output, clear)) << clear;
    }
    const std::wstring parameters = parametersKeyPath(name);
    EXPECT_EQ(getHklmString(parameters, L"env.CHANGE"), L"new");
    EXPECT_EQ(getHklmString(parameters, L"env.ADDED"), L"y");
    EXPECT_FALSE(getHklmString(parameters, L"env.GONE").has_value());
    // The rotated secret now holds the new text, and the placeholder kept the stored one.
    EXPECT_EQ(printedAfterEcho(applyNew(directory, lines), lines), std::vector<std::string>{upToDate(name)});

    const std::vector<std::string> unknown = serviceLines(name, "Vars", {"secret.NEVER=<protected>"});
    const CRunResult refused = runPravik({L"-U", writeConfig(directory, L"unknown.cfg", unknown)});
    EXPECT_EQ(refused.exitCode, 5u);
    EXPECT_EQ(getHklmString(parameters, L"env.CHANGE"), L"new");
}

// Wine's manager refuses delayedAutoStart (124): the change before it stays, the one after it is not made.
TEST(Apply, ARefusedChangeEndsWith12AfterTheChangesBeforeIt) {
    const std::wstring name = uniqueServiceName(L"ApplyRefused");
    CServiceCleanup cleanup(name);
    CTempDir directory;
    ASSERT_EQ(installOld(directory, serviceLines(name, "Refused", {"jvmOption1=-Dold"})), 0u);
    const std::vector<std::string> lines = serviceLines(
        name, "Refused", {"description=made", "startType=SERVICE_AUTO_START", "delayedAutoStart=TRUE", "jvmOption1=-Dnew"});
    const CRunResult run = applyNew(directory, lines);
    EXPECT_EQ(run.exitCode, 12u);
    EXPECT_TRUE(inOrder(run.output, "delayedAutoStart: (none) -> TRUE",
                        "delayedAutoStart was not changed: the changes above it are made, none after it."))
        << run.output;
    EXPECT_FALSE(contains(run.output, "jvmOption1:"));
    EXPECT_EQ(nonEmptyLines(run.output).back(), "Installation failed");
    EXPECT_EQ(getHklmString(serviceKeyPath(name), L"Description"), L"made");
    EXPECT_EQ(getHklmString(parametersKeyPath(name), L"JVMOption1"), L"-Dold");
}

TEST(Apply, AServiceNotMadeByPravikIsRefusedWith11) {
    const std::wstring name = uniqueServiceName(L"ApplyForeign");
    CServiceCleanup cleanup(name);
    ASSERT_TRUE(createForeignService(name, L"C:\\windows\\system32\\notepad.exe"));
    CTempDir directory;
    const std::vector<std::string> lines = serviceLines(name, "Taken over", {});
    const CRunResult run = runPravik({L"-U", writeConfig(directory, L"foreign.cfg", lines)});
    EXPECT_EQ(run.exitCode, 11u);
    EXPECT_EQ(run.output, echoOf(lines) + crlf("The service " + narrow(name) +
                                               " is not a service created by Pravik.  Therefore it will not be "
                                               "changed.\nInstallation failed\n"));
    const auto config = queryServiceConfig(name);
    ASSERT_TRUE(config.has_value());
    EXPECT_NE(config->displayName, L"Taken over");
}
