// Installing from configuration files against the real service control manager
// and registry: what "-i" creates, what it writes, and what it refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>

#include "common/Win32Handle.h"
#include "support/PravikRunner.h"
#include "support/ServiceFixture.h"
#include "support/TestRegistry.h"

namespace {

std::vector<std::string> requiredLines(const std::wstring& name) {
    return {"serviceName=" + narrow(name), "serviceDisplayName=" + narrow(name) + " display",
            "ipravikClass=com.example.Service"};
}

std::vector<std::string> plus(std::vector<std::string> lines, const std::vector<std::string>& more) {
    lines.insert(lines.end(), more.begin(), more.end());
    return lines;
}

std::wstring ownImagePath(const std::wstring& name) { return L"\"" + pravikExe() + L"\" -Z \"" + name + L"\""; }

bool serviceIsAbsent(const std::wstring& name) {
    return openServiceError(name) == ERROR_SERVICE_DOES_NOT_EXIST && !hklmKeyExists(serviceKeyPath(name));
}

// "-i" of the lines (and further arguments) must end with the exit code after echoing them, saying why
// and "Installation failed", and leave nothing of the service behind.
void expectRefused(const std::wstring& name, const std::vector<std::string>& lines, unsigned long exitCode,
                   const std::string& why, const std::vector<std::wstring>& moreArguments = {}) {
    CTempDir directory;
    std::vector<std::wstring> arguments = {L"-i", writeConfig(directory, L"refused.cfg", lines)};
    arguments.insert(arguments.end(), moreArguments.begin(), moreArguments.end());
    const CRunResult run = runPravik(arguments);
    EXPECT_EQ(run.exitCode, exitCode);
    EXPECT_EQ(run.output, echoOf(lines) + crlf(why + "Installation failed\n"));
    EXPECT_TRUE(serviceIsAbsent(name));
}

// The same for the required lines and these, of a service name of this test: the exit code is 5.
void expectBadValueRefused(const std::wstring& baseName, const std::vector<std::string>& moreLines,
                           const std::string& why) {
    const std::wstring name = uniqueServiceName(baseName);
    CServiceCleanup cleanup(name);
    expectRefused(name, plus(requiredLines(name), moreLines), 5, why);
}

}  // namespace

TEST(Install, WritesEverySettingOfTheFile) {
    const std::wstring name = uniqueServiceName(L"Full");
    CServiceCleanup cleanup(name);
    CTempDir directory;
    const std::vector<std::string> lines = plus(
        {"# every key of the skeleton", "serviceName = " + narrow(name) + " ",
         "serviceDisplayName=" + narrow(name) + " display", "ipravikClass=com.example.Service",
         "description=Runs %APPNAME% for 50% of the time", "startType=service_auto_start",
         "errorControl=SERVICE_ERROR_SEVERE", "serviceDependencies=Alpha,Beta,Gamma",
         "jvmDLL=%JAVA_HOME%\\bin\\server\\jvm.dll", "jvmOption1=-Djava.class.path=.;C:\\classes",
         "jvmOption2=-Xmx%HEAP%"},
        {"commandLineParms=one \"two words\" %THREE%", "verboseOutput=C:\\logs\\verbose.txt",
         "preinitCommand=cmd /c echo %DATE%", "preinitWaitHint=5000", "stopTimeout=60000",
         "workingDirectory=%TEMP%\\work", "standardOutput=%TEMP%\\out.log", "standardError=C:\\logs\\err.log",
         "logRotateSize=20", "logKeep=3"});
    const std::wstring file = writeConfig(directory, L"full.cfg", lines);

    const CRunResult run = runPravik({L"-i", file});
    EXPECT_EQ(run.exitCode, 0u);
    std::vector<std::string> echoed = lines;
    echoed[1] = "serviceName=" + narrow(name);
    EXPECT_EQ(run.output, echoOf(echoed) + crlf("Service successfully installed.\n"));

    const auto config = queryServiceConfig(name);
    ASSERT_TRUE(config.has_value());
    EXPECT_EQ(config->serviceType, 0x10u);
    EXPECT_EQ(config->startType, 2u);
    EXPECT_EQ(config->errorControl, 2u);
    EXPECT_EQ(config->binaryPath, ownImagePath(name));
    EXPECT_EQ(config->displayName, name + L" display");
    EXPECT_EQ(config->startName, L"LocalSystem");
    EXPECT_EQ(getHklmMultiString(serviceKeyPath(name), L"DependOnService"),
              (std::vector<std::wstring>{L"Alpha", L"Beta", L"Gamma"}));
    EXPECT_EQ(getHklmString(serviceKeyPath(name), L"Description"), L"Runs %APPNAME% for 50% of the time");

    // Every value under its own name, as written in the file: references stay unexpanded.
    const std::map<std::wstring, std::wstring> expected = {
        {L"JVMdll", L"%JAVA_HOME%\\bin\\server\\jvm.dll"},
        {L"jvmOption1", L"-Djava.class.path=.;C:\\classes"},
        {L"jvmOption2", L"-Xmx%HEAP%"},
        {L"CommandLine", L"one \"two words\" %THREE%"},
        {L"IPravikClass", L"com.example.Service"},
        {L"VerboseFile", L"C:\\logs\\verbose.txt"},
        {L"PreInitCmd", L"cmd /c echo %DATE%"},
        {L"PreInitHint", L"5000"},
        {L"StopTimeout", L"60000"},
        {L"WorkingDirectory", L"%TEMP%\\work"},
        {L"StandardOutput", L"%TEMP%\\out.log"},
        {L"StandardError", L"C:\\logs\\err.log"},
        {L"LogRotateSize", L"20"},
        {L"LogKeep", L"3"},
    };
    auto stored = [&name] {
        std::map<std::wstring, std::wstring> values;
        for (const auto& [valueName, typed] : snapshotKey(parametersKeyPath(name))) {
            EXPECT_EQ(typed.first, static_cast<DWORD>(REG_SZ)) << narrow(valueName);
            values[valueName] = getHklmString(parametersKeyPath(name), valueName).value_or(L"?");
        }
        return values;
    };
    EXPECT_EQ(stored(), expected);

    // Exported, removed and installed again from the export, every value comes back as it was.
    const std::wstring exported = directory.file(L"exported.cfg");
    EXPECT_EQ(runPravik({L"-e", name, exported}).exitCode, 0u);
    ASSERT_EQ(runPravik({L"-r", name}).exitCode, 0u);
    ASSERT_EQ(runPravik({L"-i", exported}).exitCode, 0u);
    EXPECT_EQ(stored(), expected);
}

TEST(Install, SameServiceTwiceFailsWith8AndKeepsTheFirst) {
    const std::wstring name = uniqueServiceName(L"Twice");
    CServiceCleanup cleanup(name);
    CTempDir directory;
    const std::wstring first =
        writeConfig(directory, L"first.cfg",
                    plus(requiredLines(name), {"description=first", "jvmOption1=-Dfirst", "commandLineParms=first",
                                               "startType=SERVICE_DISABLED", "serviceDependencies=Alpha"}));
    ASSERT_EQ(runPravik({L"-i", first}).exitCode, 0u);
    const auto serviceBefore = snapshotKey(serviceKeyPath(name));
    const auto parametersBefore = snapshotKey(parametersKeyPath(name));
    const auto configBefore = queryServiceConfig(name);
    ASSERT_TRUE(configBefore.has_value());

    const CRunResult sameFile = runPravik({L"-i", first});
    EXPECT_EQ(sameFile.exitCode, 8u);
    EXPECT_EQ(nonEmptyLines(sameFile.output).back(), "Installation failed");
    EXPECT_EQ(snapshotKey(serviceKeyPath(name)), serviceBefore);
    EXPECT_EQ(snapshotKey(parametersKeyPath(name)), parametersBefore);

    // A different file of the same name changes nothing either.
    const std::vector<std::string> secondLines = {
        "serviceName=" + narrow(name), "serviceDisplayName=" + narrow(name) + " other display",
        "ipravikClass=com.example.Other", "binaryPath=C:\\other\\program.exe", "jvmDLL=other.dll",
        "jvmOption1=-Dsecond", "jvmOption2=-Dmore", "verboseOutput=second.txt", "startType=SERVICE_AUTO_START",
        "interactiveService=TRUE"};
    const std::wstring second = writeConfig(directory, L"second.cfg", secondLines);
    const CRunResult run = runPravik({L"-i", second});
    EXPECT_EQ(run.exitCode, 8u);
    const std::vector<std::string> output = nonEmptyLines(run.output);
    const std::vector<std::string> echoed = outputLines(echoOf(secondLines));
    ASSERT_EQ(output.size(), echoed.size() + 3) << run.output;
    EXPECT_EQ(std::vector<std::string>(output.begin(), output.begin() + echoed.size()), echoed);
    EXPECT_EQ(output[echoed.size()], "Could create service 1073");
    EXPECT_EQ(output.back(), "Installation failed");

    EXPECT_EQ(snapshotKey(serviceKeyPath(name)), serviceBefore);
    EXPECT_EQ(snapshotKey(parametersKeyPath(name)), parametersBefore);
    const auto configAfter = queryServiceConfig(name);
    ASSERT_TRUE(configAfter.has_value());
    EXPECT_EQ(configAfter->displayName, configBefore->displayName);
    EXPECT_EQ(configAfter->binaryPath, ownImagePath(name));
    EXPECT_EQ(configAfter->startType, 4u);
    EXPECT_EQ(configAfter->serviceType, 0x10u);
    EXPECT_EQ(getHklmString(parametersKeyPath(name), L"CommandLine"), L"first");
}

TEST(Install, MissingRequiredKeyFailsWith7NamingOnlyTheFirst) {
    const std::wstring name = uniqueServiceName(L"Missing");
    CServiceCleanup cleanup(name);
    CTempDir directory;
    const std::string serviceLine = "serviceName=" + narrow(name);
    const std::string displayLine = "serviceDisplayName=" + narrow(name) + " display";
    const std::string classLine = "ipravikClass=com.example.Service";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{serviceLine, "description=no display name and no class"}, "serviceDisplayName"},
        {{displayLine, "description=no name and no class"}, "serviceName"},
        {{classLine, displayLine}, "serviceName"},
        {{serviceLine, displayLine}, "ipravikClass"},
    };
    int index = 0;
    for (const auto& [lines, missingKey] : cases) {
        const std::wstring file = writeConfig(directory, L"missing" + std::to_wstring(++index) + L".cfg", lines);
        const CRunResult run = runPravik({L"-i", file});
        EXPECT_EQ(run.exitCode, 7u) << index;
        EXPECT_EQ(run.output, echoOf(lines) + crlf("Missing config option : " + missingKey + "\nInstallation failed\n"))
            << index;
        EXPECT_TRUE(serviceIsAbsent(name)) << index;
    }
}

TEST(Install, EmptyValueFailsWith5AndCreatesNothing) {
    const std::wstring name = uniqueServiceName(L"Empty");
    CServiceCleanup cleanup(name);
    CTempDir directory;
    const std::wstring file =
        writeConfig(directory, L"empty.cfg", plus(requiredLines(name), {"description=   ", "jvmOption1=-Dx"}));
    const CRunResult run = runPravik({L"-i", file});
    EXPECT_EQ(run.exitCode, 5u);
    EXPECT_EQ(run.output, echoOf(requiredLines(name)) +
                              crlf("description has no value in configuration file. Operation failed.\n"
                                   "jvmOption1=-Dx\n"
                                   "Installation failed\n"));
    EXPECT_TRUE(serviceIsAbsent(name));
}

TEST(Install, AnEnvKeyWithoutAVariableNameFailsWith5AndCreatesNothing) {
    expectBadValueRefused(L"EnvName", {"env.JAVA_HOME=C:\\jdk", "Env.=x"},
                          "Bad key \"Env.\": write the variable's name after the dot, without \"=\"\n");
}

TEST(Install, TheExportsSecretPlaceholderFailsWith5AndCreatesNothing) {
    expectBadValueRefused(L"SecretMark", {"secret.DB_PASSWORD=<protected>"},
                          "Bad value of \"secret.DB_PASSWORD\": <protected> stands for a stored secret; give the "
                          "secret\n");
}

TEST(Install, ALogSettingThatIsNotANumberInRangeFailsWith5AndCreatesNothing) {
    expectBadValueRefused(L"BadLog", {"logRotateSize=10", "logKeep=5 files"},
                          "logKeep must be a whole number from 0 to 1000, not 5 files\n");
}

TEST(Install, StartTypeAndErrorControlWords) {
    struct CCase {
        std::vector<std::string> lines;
        DWORD startType;
        DWORD errorControl;
        std::string messages;
    };
    const std::vector<CCase> cases = {
        {{}, 3, 1, ""},
        {{"startType=SERVICE_DEMAND_START", "errorControl=SERVICE_ERROR_NORMAL"}, 3, 1, ""},
        {{"startType=service_auto_start", "errorControl=service_error_ignore"}, 2, 0, ""},
        {{"startType=Service_Disabled", "errorControl=SERVICE_ERROR_CRITICAL"}, 4, 3, ""},
        {{"startType=SERVICE_BOOT_START", "errorControl=SERVICE_ERROR_FATAL"},
         3,
         1,
         "SERVICE_BOOT_START unreconized for startType; assuming SERVICE_DEMAND_START\n"
         "SERVICE_ERROR_FATAL unreconized for errorControl; assuming SERVICE_ERROR_NORMAL\n"},
    };
    CTempDir directory;
    int index = 0;
    for (const CCase& item : cases) {
        const std::wstring name = uniqueServiceName(L"Words" + std::to_wstring(++index));
        CServiceCleanup cleanup(name);
        const std::vector<std::string> lines = plus(requiredLines(name), item.lines);
        const CRunResult run = runPravik({L"-i", writeConfig(directory, name + L".cfg", lines)});
        EXPECT_EQ(run.exitCode, 0u) << index;
        EXPECT_EQ(run.output, echoOf(lines) + crlf(item.messages + "Service successfully installed.\n")) << index;
        const auto config = queryServiceConfig(name);
        ASSERT_TRUE(config.has_value()) << index;
        EXPECT_EQ(config->startType, item.startType) << index;
        EXPECT_EQ(config->errorControl, item.errorControl) << index;
    }
}

TEST(Install, InteractiveServiceOnlyForTrue) {
    const std::vector<std::tuple<std::string, DWORD, std::string>> cases = {
        {"interactiveService=true", 0x110, ""},
        {"interactiveService=FALSE", 0x10, ""},
        {"interactiveService=yes", 0x10, "interactiveService has an unrecognized value, using default: FALSE\n"},
    };
    CTempDir directory;
    int index = 0;
    for (const auto& [line, serviceType, message] : cases) {
        const std::wstring name = uniqueServiceName(L"Interactive" + std::to_wstring(++index));
        CServiceCleanup cleanup(name);
        const std::vector<std::string> lines = plus(requiredLines(name), {line});
        const CRunResult run = runPravik({L"-i", writeConfig(directory, name + L".cfg", lines)});
        EXPECT_EQ(run.exitCode, 0u) << line;
        EXPECT_EQ(run.output, echoOf(lines) + crlf(message + "Service successfully installed.\n")) << line;
        const auto config = queryServiceConfig(name);
        ASSERT_TRUE(config.has_value()) << line;
        EXPECT_EQ(config->serviceType, serviceType) << line;
    }
}

TEST(Install, DependenciesAreSplitAtCommasOnly) {
    const std::vector<std::pair<std::string, std::optional<std::vector<std::wstring>>>> cases = {
        {"serviceDependencies=Solo", std::vector<std::wstring>{L"Solo"}},
        {"serviceDependencies=Alpha, Beta", std::vector<std::wstring>{L"Alpha", L" Beta"}},
        {"", std::nullopt},
    };
    CTempDir directory;
    int index = 0;
    for (const auto& [line, dependencies] : cases) {
        const std::wstring name = uniqueServiceName(L"Depends" + std::to_wstring(++index));
        CServiceCleanup cleanup(name);
        const std::vector<std::string> lines =
            line.empty() ? requiredLines(name) : plus(requiredLines(name), {line});
        ASSERT_EQ(runPravik({L"-i", writeConfig(directory, name + L".cfg", lines)}).exitCode, 0u) << index;
        EXPECT_EQ(getHklmMultiString(serviceKeyPath(name), L"DependOnService"), dependencies) << index;
    }
}

TEST(Install, BinaryPathReplacesTheProgramPathAtAnyLengthTheManagerTakes) {
    CTempDir directory;
    const std::wstring name = uniqueServiceName(L"Binary");
    const std::wstring shortPath = L"C:\\Program Files\\My App\\app.exe";
    // Far beyond what a fixed 2,000-character buffer would hold, and exactly the
    // longest image path a service can have.
    const std::wstring longPath = L"C:\\" + std::wstring(2500, L'l') + L".exe";
    const std::wstring longestPath = L"C:\\" + std::wstring(32766 - 8 - name.size() - 3, L'm');
    for (const std::wstring& path : {shortPath, longPath, longestPath}) {
        CServiceCleanup cleanup(name);
        const std::vector<std::string> lines = plus(requiredLines(name), {"binaryPath=" + narrow(path)});
        const CRunResult run = runPravik({L"-i", writeConfig(directory, L"binary.cfg", lines)});
        EXPECT_EQ(run.exitCode, 0u) << path.size();
        const auto config = queryServiceConfig(name);
        ASSERT_TRUE(config.has_value()) << path.size();
        EXPECT_EQ(config->binaryPath, L"\"" + path + L"\" -Z \"" + name + L"\"") << path.size();
        EXPECT_EQ(getHklmString(serviceKeyPath(name), L"ImagePath"), config->binaryPath) << path.size();
    }
}

TEST(Install, ImagePathTooLongForTheManagerIsRefusedBeforeAnythingIsCreated) {
    const std::wstring name = uniqueServiceName(L"TooLongPath");
    CServiceCleanup cleanup(name);
    const std::wstring path = L"C:\\" + std::wstring(32766 - 8 - name.size() - 2, L'm');
    expectRefused(name, plus(requiredLines(name), {"binaryPath=" + narrow(path)}), 8,
                  "The image path is longer than the 32766 characters a service can have: 32767\n",
                  {L"-a", L"DOMAIN\\someone", L"-p", L"secret"});
}

TEST(Install, ServiceNameLengthIsCheckedAgainstTheManagersLimit) {
    CTempDir directory;
    const std::wstring longest = L"PrvInst" + std::to_wstring(GetCurrentProcessId()) + L"N";
    const std::wstring atLimit = longest + std::wstring(256 - longest.size(), L'n');
    const std::wstring beyond = atLimit + L"n";
    {
        CServiceCleanup cleanup(atLimit);
        const std::vector<std::string> lines = plus(requiredLines(atLimit), {"jvmOption1=-Dx"});
        const CRunResult run = runPravik({L"-i", writeConfig(directory, L"limit.cfg", lines)});
        EXPECT_EQ(run.exitCode, 0u) << run.output;
        const auto config = queryServiceConfig(atLimit);
        ASSERT_TRUE(config.has_value());
        EXPECT_EQ(config->binaryPath, ownImagePath(atLimit));
        EXPECT_EQ(getHklmString(parametersKeyPath(atLimit), L"jvmOption1"), L"-Dx");
    }
    CServiceCleanup cleanup(beyond);
    expectRefused(beyond, requiredLines(beyond), 8,
                  "The service name is longer than the 256 characters a service name can have: " + narrow(beyond) +
                      "\n");
}

TEST(Install, ServiceNameWithADoubleQuoteIsRefusedBeforeAnythingIsCreated) {
    const std::wstring name = uniqueServiceName(L"Quote") + L"\" -Z \"x";
    CServiceCleanup cleanup(name);
    expectRefused(name, requiredLines(name), 8, "The service name cannot hold a double quote: " + narrow(name) + "\n");
}

// The manager always has a preshutdown timeout (180000 ms unless set): only the
// one the file sets is exported.
TEST(Install, PreshutdownTimeoutReachesTheManagerAndOnlyASetOneIsExported) {
    CTempDir directory;
    for (const std::string timeout : {"45000", ""}) {
        const std::wstring name = uniqueServiceName(timeout.empty() ? L"NoPreshutdown" : L"Preshutdown");
        CServiceCleanup cleanup(name);
        const std::vector<std::string> lines =
            timeout.empty() ? requiredLines(name) : plus(requiredLines(name), {"preshutdownTimeout=" + timeout});
        ASSERT_EQ(runPravik({L"-i", writeConfig(directory, name + L".cfg", lines)}).exitCode, 0u);

        const CServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
        const CServiceHandle service(OpenServiceW(manager.get(), name.c_str(), SERVICE_QUERY_CONFIG));
        SERVICE_PRESHUTDOWN_INFO info = {};
        DWORD needed = 0;
        ASSERT_TRUE(QueryServiceConfig2W(service.get(), SERVICE_CONFIG_PRESHUTDOWN_INFO,
                                         reinterpret_cast<BYTE*>(&info), sizeof(info), &needed));
        EXPECT_EQ(info.dwPreshutdownTimeout, timeout.empty() ? 180000u : 45000u);
        const std::string exported = runPravik({L"-d", name}).output;
        EXPECT_EQ(contains(exported, "preshutdownTimeout"), !timeout.empty()) << exported;
        EXPECT_EQ(contains(exported, "preshutdownTimeout=45000"), !timeout.empty()) << exported;
    }
}

TEST(Install, PreshutdownTimeoutThatIsNoNumberFailsWith5AndCreatesNothing) {
    expectBadValueRefused(L"BadPreshutdown", {"preshutdownTimeout=3min"},
                          "Bad preshutdownTimeout value \"3min\": give the milliseconds as digits, as in 180000\n");
}

TEST(Install, OptionsEndAtTheFirstGapAndLeftoversOfAnEarlierInstallationGo) {
    const std::wstring name = uniqueServiceName(L"Options");
    CServiceCleanup cleanup(name);
    // What an earlier installation of the same name left behind.
    for (const wchar_t* value : {L"JVMOption1", L"JVMOption2", L"JVMOption3", L"JVMOption4", L"JVMdll",
                                 L"CommandLine", L"VerboseFile", L"PreInitCmd", L"PreInitHint", L"WorkingDirectory"}) {
        setHklmString(parametersKeyPath(name), value, L"old");
    }
    CTempDir directory;
    const std::vector<std::string> lines =
        plus(requiredLines(name), {"jvmOption2=-Dtwo", "jvmOption1=-Done", "jvmOption4=-Dfour"});
    const CRunResult run = runPravik({L"-i", writeConfig(directory, L"options.cfg", lines)});
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.output, echoOf(lines) + crlf("Service successfully installed.\n"));
    // Value names are matched without regard to case, so they are compared in capitals.
    std::map<std::wstring, std::wstring> stored;
    for (const auto& entry : snapshotKey(parametersKeyPath(name))) {
        std::wstring upper = entry.first;
        for (wchar_t& character : upper) {
            character = static_cast<wchar_t>(towupper(character));
        }
        stored[upper] = getHklmString(parametersKeyPath(name), entry.first).value_or(L"?");
    }
    const std::map<std::wstring, std::wstring> expected = {
        {L"JVMOPTION1", L"-Done"}, {L"JVMOPTION2", L"-Dtwo"}, {L"IPRAVIKCLASS", L"com.example.Service"}};
    EXPECT_EQ(stored, expected);
    EXPECT_EQ(getHklmString(serviceKeyPath(name), L"Description"), std::nullopt);
}

TEST(Install, Utf16FileWithW) {
    const std::wstring name = uniqueServiceName(L"Wide") + L"\u00e9";
    CServiceCleanup cleanup(name);
    CTempDir directory;
    const std::wstring text = L"serviceName=" + name + L"\nserviceDisplayName=" + name +
                              L" display\nipravikClass=com.example.\u00c9t\u00e9\ndescription=\u0416\u00e9\n";
    const std::wstring file = directory.file(L"wide.cfg");
    writeFileBytes(file, std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t)));
    const CRunResult run = runPravik({L"-w", L"-i", file});
    EXPECT_EQ(run.exitCode, 0u);
    ASSERT_TRUE(queryServiceConfig(name).has_value());
    EXPECT_EQ(getHklmString(parametersKeyPath(name), L"IPravikClass"), L"com.example.\u00c9t\u00e9");
    EXPECT_EQ(getHklmString(serviceKeyPath(name), L"Description"), L"\u0416\u00e9");
}

TEST(Install, UnreadableFileEndsWithTheParsersCode) {
    CTempDir directory;
    const CRunResult run = runPravik({L"-i", directory.file(L"does-not-exist.cfg")});
    EXPECT_EQ(run.exitCode, 4u);
    const std::vector<std::string> output = outputLines(run.output);
    ASSERT_FALSE(output.empty());
    EXPECT_EQ(output.front(), "Cannot open config file : " + narrow(directory.file(L"does-not-exist.cfg")));
    EXPECT_EQ(output.back(), "Installation failed");
}

TEST(Install, InstallTogetherWithUninstallDoesNeither) {
    const std::wstring name = uniqueServiceName(L"Conflict");
    CServiceCleanup cleanup(name);
    CTempDir directory;
    const std::wstring file = writeConfig(directory, L"conflict.cfg", requiredLines(name));
    const CRunResult run = runPravik({L"-i", file, L"-r", name});
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(run.output, crlf("Cannot specify install and uninstall\n"));
    EXPECT_TRUE(serviceIsAbsent(name));

    ASSERT_EQ(runPravik({L"-i", file}).exitCode, 0u);
    const CRunResult again = runPravik({L"-u", file, L"-i", file});
    EXPECT_EQ(again.exitCode, 1u);
    EXPECT_EQ(again.output, crlf("Cannot specify install and uninstall\n"));
    EXPECT_TRUE(queryServiceConfig(name).has_value());

    const CRunResult applied = runPravik({L"-U", file, L"-r", name});
    EXPECT_EQ(applied.exitCode, 1u);
    EXPECT_EQ(applied.output, crlf("Cannot specify install and uninstall\n"));
    EXPECT_TRUE(queryServiceConfig(name).has_value());
}

namespace {

// The CInstaller lines that one pravik run wrote to a fresh trace file: the
// lines of the thread whose messages include marker, thread ids removed.
std::vector<std::string> installerTrace(const std::vector<std::wstring>& args, const std::string& marker) {
    CTempDir directory;
    const std::wstring traceFile = directory.file(L"trace.log");
    {
        CTraceSetting trace(traceFile);
        runPravik(args);
    }
    std::map<std::string, std::vector<std::string>> byThread;
    for (const auto& line : outputLines(readFileBytes(traceFile))) {
        if (line.size() > 9) {
            byThread[line.substr(0, 8)].push_back(line.substr(9));
        }
    }
    for (const auto& [thread, lines] : byThread) {
        if (std::find(lines.begin(), lines.end(), marker) != lines.end()) {
            std::vector<std::string> installer;
            for (const auto& line : lines) {
                if (line.rfind("CInstaller::", 0) == 0) {
                    installer.push_back(line);
                }
            }
            return installer;
        }
    }
    ADD_FAILURE() << "no trace line " << marker;
    return {};
}

}  // namespace

TEST(Install, TraceShowsEveryStepWithItsResult) {
    const std::wstring name = uniqueServiceName(L"Trace");
    CServiceCleanup cleanup(name);
    CTempDir directory;
    const std::wstring file = writeConfig(directory, L"trace.cfg", requiredLines(name));
    const std::string echo = "serviceName=" + narrow(name);

    EXPECT_EQ(installerTrace({L"-i", file}, echo),
              (std::vector<std::string>{"CInstaller::install Entry", "CInstaller::createMSService Entry",
                                        "CInstaller::createMSService Exit 0",
                                        "CInstaller::installOtherProperties Entry",
                                        "CInstaller::installOtherProperties Exit 0", "CInstaller::install Exit 0"}));
    EXPECT_EQ(installerTrace({L"-i", file}, echo),
              (std::vector<std::string>{"CInstaller::install Entry", "CInstaller::createMSService Entry",
                                        "CInstaller::createMSService Exit 8", "CInstaller::install Exit 8"}));
    // The stop step shows what it answered: 1, the service was not running.
    EXPECT_EQ(installerTrace({L"-r", name}, "Service " + narrow(name) + " deleted successfully."),
              (std::vector<std::string>{"CInstaller::uninstall Entry", "CInstaller::stopService Entry",
                                        "CInstaller::stopService Exit 1", "CInstaller::uninstall Exit 0"}));

    const std::wstring tooLong = name + std::wstring(257 - name.size(), L'x');
    const std::wstring longFile = writeConfig(directory, L"long.cfg", requiredLines(tooLong));
    EXPECT_EQ(installerTrace({L"-i", longFile}, "serviceName=" + narrow(tooLong)),
              (std::vector<std::string>{"CInstaller::install Entry", "CInstaller::createMSService Entry",
                                        "CInstaller::createMSService Exit 8", "CInstaller::install Exit 8"}));
}

TEST(Install, RefusedSafetyNetWordsEndWith5BeforeAnythingIsCreated) {
    const std::wstring name = uniqueServiceName(L"BadNet");
    CServiceCleanup cleanup(name);
    CTempDir directory;
    const struct {
        const char* line;
        const char* message;
    } cases[] = {
        {"failureActions=restart/60000,rebot/0",
         "Bad failureActions value \"rebot\": the actions are restart, reboot, run and none"},
        {"failureActions=restart/1m",
         "Bad failureActions value \"1m\": each action takes its delay in milliseconds, as in restart/60000"},
        {"failureResetPeriod=1d", "Bad failureResetPeriod value \"1d\": give the seconds as digits, as in 86400"},
        {"serviceSidType=LIMITED",
         "Bad serviceSidType value \"LIMITED\": the types are NONE, UNRESTRICTED and RESTRICTED"},
        {"failureActions=run/0", "failureActions has a run action but no failureCommand to run"},
    };
    int number = 0;
    for (const auto& each : cases) {
        const std::vector<std::string> lines = plus(requiredLines(name), {each.line});
        const std::wstring file = writeConfig(directory, L"bad" + std::to_wstring(++number) + L".cfg", lines);
        const CRunResult run = runPravik({L"-i", file});
        EXPECT_EQ(run.exitCode, 5u) << each.line;
        EXPECT_EQ(run.output, echoOf(lines) + crlf(std::string(each.message) + "\nInstallation failed\n"));
        EXPECT_TRUE(serviceIsAbsent(name)) << each.line;
    }
}

// Wine's manager takes failure actions without storing them and answers no
// query for them; it refuses delayed start, the non-crash flag and the SID type (124).
TEST(Install, SafetyNetsAreSetLastAndARefusedOneIsReported) {
    const std::wstring name = uniqueServiceName(L"Nets");
    CServiceCleanup cleanup(name);
    CTempDir directory;
    const std::wstring file = writeConfig(
        directory, L"nets.cfg",
        plus(requiredLines(name), {"failureActions=restart/60000,reboot/0,RUN/1000", "failureResetPeriod=3600",
                                   "failureCommand=cmd /c echo failed"}));
    const CRunResult run = runPravik({L"-i", file});
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    const std::wstring first = directory.file(L"first.cfg");
    const std::wstring second = directory.file(L"second.cfg");
    ASSERT_EQ(runPravik({L"-e", name, first}).exitCode, 0u);
    ASSERT_EQ(runPravik({L"-r", name}).exitCode, 0u);
    ASSERT_EQ(runPravik({L"-i", first}).exitCode, 0u);
    ASSERT_EQ(runPravik({L"-e", name, second}).exitCode, 0u);
    EXPECT_EQ(readFileBytes(second), readFileBytes(first));
    ASSERT_EQ(runPravik({L"-r", name}).exitCode, 0u);

    const std::vector<std::string> lines =
        plus(requiredLines(name), {"startType=SERVICE_DEMAND_START", "delayedAutoStart=TRUE"});
    const CRunResult refused = runPravik({L"-i", writeConfig(directory, L"delayed.cfg", lines)});
    EXPECT_EQ(refused.exitCode, 12u);
    const std::vector<std::string> output = nonEmptyLines(refused.output);
    const std::vector<std::string> echoed = outputLines(echoOf(lines));
    ASSERT_EQ(output.size(), echoed.size() + 4) << refused.output;
    EXPECT_EQ(output[echoed.size()],
              "delayedAutoStart=TRUE applies only to startType=SERVICE_AUTO_START: it is stored, and takes effect "
              "once the start type is SERVICE_AUTO_START");
    EXPECT_EQ(output[echoed.size() + 1],
              "The service control manager did not take delayedAutoStart; the service stays installed without it 124");
    EXPECT_EQ(output.back(), "Installation failed");
    // The service is whole apart from the refused setting.
    EXPECT_EQ(getHklmString(parametersKeyPath(name), L"IPravikClass"), L"com.example.Service");
}
