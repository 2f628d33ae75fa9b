// "-d" and "-e" against services seeded in the prefix's registry, and one
// created through the service control manager: what is printed and written,
// byte for byte.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Win32Handle.h"
#include "config/CConfigFile.h"
#include "config/CConfigOption.h"
#include "log/CLogger.h"
#include "support/PravikRunner.h"
#include "support/TestFiles.h"
#include "support/TestRegistry.h"

namespace {

std::string narrow(const std::wstring& text) {
    std::string bytes;
    for (wchar_t character : text) {
        EXPECT_LT(static_cast<unsigned>(character), 0x80u) << "test texts are ASCII";
        bytes += static_cast<char>(character);
    }
    return bytes;
}

std::string utf16(const std::wstring& text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

// The settings text as the console shows it: the runtime turns each LF of the
// text's CR LF into CR LF again, and the logger ends the message with a line end.
std::string onConsole(const std::string& text) { return crlf(text) + "\r\n"; }

// The first line says whether tracing is on; other tests switch it at any time,
// so either form is accepted here and the rest is returned.
std::string afterTraceStatus(const std::string& output) {
    const std::size_t end = output.find("\r\n");
    EXPECT_NE(end, std::string::npos) << output;
    if (end == std::string::npos) {
        return output;
    }
    const std::string status = output.substr(0, end);
    EXPECT_TRUE(status == "Tracing not enabled" || status.rfind("Tracing enabled to file ", 0) == 0) << status;
    return output.substr(end + 2);
}

// Long texts compared without printing them whole.
::testing::AssertionResult sameBytes(const std::string& actual, const std::string& expected) {
    if (actual == expected) {
        return ::testing::AssertionSuccess();
    }
    std::size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) {
        ++at;
    }
    return ::testing::AssertionFailure() << actual.size() << " bytes instead of " << expected.size()
                                         << ", first difference at " << at << ": \""
                                         << actual.substr(at > 20 ? at - 20 : 0, 60) << "\"";
}

class ServiceInfo : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::string name = std::string("PravikInfo") + test->name();
        serviceName.assign(name.begin(), name.end());
        serviceKey = std::wstring(kServicesKey) + L"\\" + serviceName;
        parametersKey = serviceKey + L"\\Parameters";
        deleteHklmTree(serviceKey);
    }
    void TearDown() override { deleteHklmTree(serviceKey); }

    // A service as the installer leaves it.
    void seedFullService() {
        setHklmString(serviceKey, L"DisplayName", L"Info Display");
        setHklmDword(serviceKey, L"Type", 0x110);
        setHklmDword(serviceKey, L"Start", 3);
        setHklmDword(serviceKey, L"ErrorControl", 2);
        setHklmString(serviceKey, L"ImagePath", L"\"C:\\Program Files\\app\\pravik.exe\" -Z \"" + serviceName + L"\"",
                      REG_EXPAND_SZ);
        setHklmMultiString(serviceKey, L"DependOnService", {L"Alpha", L"Beta"});
        setHklmString(serviceKey, L"Description", L"Seeded for the export");
        setHklmString(parametersKey, L"JVMdll", L"%PRAVIK_INFO_JRE%\\bin\\server\\jvm.dll");
        setHklmString(parametersKey, L"IPravikClass", L"com/example/InfoService");
        setHklmString(parametersKey, L"CommandLine", L"-home %PRAVIK_INFO_HOME% -x");
        setHklmString(parametersKey, L"VerboseFile", L"C:\\logs\\verbose.txt");
        setHklmString(parametersKey, L"PreInitCmd", L"cmd /c %PRAVIK_INFO_HOME%\\prepare.bat");
        setHklmString(parametersKey, L"PreInitHint", L"5000");
        setHklmString(parametersKey, L"StopTimeout", L"60000");
        setHklmString(parametersKey, L"PreshutdownTimeout", L"90000");
        setHklmString(parametersKey, L"WorkingDirectory", L"%PRAVIK_INFO_HOME%\\work");
        setHklmString(parametersKey, L"StandardOutput", L"%PRAVIK_INFO_HOME%\\out.log");
        setHklmString(parametersKey, L"StandardError", L"C:\\logs\\err.log");
        setHklmString(parametersKey, L"LogRotateSize", L"20");
        setHklmString(parametersKey, L"LogKeep", L"3");
        // Installed under the configuration key's spelling, read back case-insensitively.
        setHklmString(parametersKey, L"jvmOption1", L"-Xmx256m");
        setHklmString(parametersKey, L"JVMOption2", L"-Dhome=%PRAVIK_INFO_HOME%");
        setHklmString(parametersKey, L"JVMOption4", L"-Dafter=gap");
    }

    // The text of the seeded service, references as given.
    std::string fullText(const std::string& jre, const std::string& home) {
        const std::string name = narrow(serviceName);
        return "serviceDisplayName=Info Display\r\n"
               "serviceName=" + name + "\r\n"
               "interactiveService=TRUE\r\n"
               "startType=SERVICE_DEMAND_START\r\n"
               "errorControl=SERVICE_ERROR_SEVERE\r\n"
               "binaryPath=C:\\Program Files\\app\\pravik.exe\r\n"
               "serviceDependencies=Alpha,Beta\r\n"
               "description=Seeded for the export\r\n"
               "jvmDLL=" + jre + "\\bin\\server\\jvm.dll\r\n"
               "ipravikClass=com/example/InfoService\r\n"
               "commandLineParms=-home " + home + " -x\r\n"
               "verboseOutput=C:\\logs\\verbose.txt\r\n"
               "preinitCommand=cmd /c " + home + "\\prepare.bat\r\n"
               "preinitWaitHint=5000\r\n"
               "stopTimeout=60000\r\n"
               "preshutdownTimeout=90000\r\n"
               "workingDirectory=" + home + "\\work\r\n"
               "standardOutput=" + home + "\\out.log\r\n"
               "standardError=C:\\logs\\err.log\r\n"
               "logRotateSize=20\r\n"
               "logKeep=3\r\n"
               "JVMOption1=-Xmx256m\r\n"
               "JVMOption2=-Dhome=" + home + "\r\n";
    }

    std::wstring serviceName;
    std::wstring serviceKey;
    std::wstring parametersKey;
};

// Sets a variable of this process (inherited by the program) while it lives.
class CEnvironmentVariable {
public:
    CEnvironmentVariable(const wchar_t* name, const wchar_t* value) : name(name) {
        SetEnvironmentVariableW(name, value);
    }
    ~CEnvironmentVariable() { SetEnvironmentVariableW(name, nullptr); }

private:
    const wchar_t* name;
};

}  // namespace

TEST_F(ServiceInfo, ConsoleShowsEveryRowWithReferencesExpanded) {
    seedFullService();
    CEnvironmentVariable home(L"PRAVIK_INFO_HOME", L"D:\\svc home");
    CEnvironmentVariable jre(L"PRAVIK_INFO_JRE", L"C:\\jre");
    const CRunResult run = runPravik({L"-d", serviceName});
    EXPECT_EQ(run.exitCode, 0u);
    // The command line keeps its references: only the console expands them, and for every value.
    EXPECT_EQ(afterTraceStatus(run.output), onConsole(fullText("C:\\jre", "D:\\svc home")));
}

TEST_F(ServiceInfo, FileKeepsReferencesAsStored) {
    seedFullService();
    CEnvironmentVariable home(L"PRAVIK_INFO_HOME", L"D:\\svc home");
    CTempDir directory;
    const std::wstring file = directory.file(L"exported.cfg");
    const CRunResult run = runPravik({L"-e", serviceName, file});
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(afterTraceStatus(run.output), "Generating file " + narrow(file) + " \r\n");
    EXPECT_EQ(readFileBytes(file), fullText("%PRAVIK_INFO_JRE%", "%PRAVIK_INFO_HOME%"));
}

TEST_F(ServiceInfo, UnicodeFileIsUtf16WithoutByteOrderMark) {
    seedFullService();
    setHklmString(parametersKey, L"CommandLine", L"caf\u00e9 \u65e5\u672c");
    CTempDir directory;
    const std::wstring file = directory.file(L"exported-unicode.cfg");
    const CRunResult run = runPravik({L"-e", serviceName, file, L"-w"});
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(afterTraceStatus(run.output), "Generating file " + narrow(file) + " using unicode.\r\n");
    std::wstring expected;
    for (char byte : fullText("%PRAVIK_INFO_JRE%", "%PRAVIK_INFO_HOME%")) {
        expected += static_cast<wchar_t>(static_cast<unsigned char>(byte));
    }
    const std::wstring from = L"commandLineParms=-home %PRAVIK_INFO_HOME% -x";
    expected.replace(expected.find(from), from.size(), L"commandLineParms=caf\u00e9 \u65e5\u672c");
    EXPECT_EQ(readFileBytes(file), utf16(expected));
}

TEST_F(ServiceInfo, ExistingFileIsNeverOverwritten) {
    seedFullService();
    CTempDir directory;
    const std::wstring file = directory.file(L"taken.cfg");
    writeFileBytes(file, "keep me\r\n");
    for (const std::vector<std::wstring>& args :
         {std::vector<std::wstring>{L"-e", serviceName, file}, std::vector<std::wstring>{L"-w", L"-e", serviceName, file}}) {
        const CRunResult run = runPravik(args);
        EXPECT_EQ(run.exitCode, 0u);
        const std::string rest = afterTraceStatus(run.output);
        const std::string refusal = "Cannot open file " + narrow(file) + "\r\n";
        ASSERT_EQ(rest.substr(0, refusal.size()), refusal);
        // Then the system's wording of the error, on its own line, and nothing else.
        const std::string systemText = rest.substr(refusal.size());
        EXPECT_GT(systemText.size(), 2u);
        EXPECT_EQ(systemText.find("Generating"), std::string::npos) << systemText;
        EXPECT_EQ(readFileBytes(file), "keep me\r\n");
    }
}

TEST_F(ServiceInfo, MissingServiceGivesOnlyItsNameAndTheClassReadFailure) {
    const CRunResult run = runPravik({L"-d", serviceName});
    EXPECT_EQ(run.exitCode, 0u);
    const std::string rest = afterTraceStatus(run.output);
    const std::string opening =
        "Cannot open registry key SYSTEM\\CurrentControlSet\\Services\\" + narrow(serviceName) + "\\Parameters\r\n";
    ASSERT_EQ(rest.substr(0, opening.size()), opening);
    const std::string tail = onConsole("serviceName=" + narrow(serviceName) + "\r\n");
    ASSERT_GT(rest.size(), opening.size() + tail.size());
    EXPECT_EQ(rest.substr(rest.size() - tail.size()), tail);
    // Between them only the system text of the failed open.
    const std::string systemText = rest.substr(opening.size(), rest.size() - opening.size() - tail.size());
    EXPECT_EQ(systemText.find('='), std::string::npos) << systemText;
}

TEST_F(ServiceInfo, MissingClassIsTheOnlyReportedValue) {
    setHklmString(parametersKey, L"JVMOption2", L"-Dno=first");
    setHklmDword(serviceKey, L"Start", 1);
    setHklmDword(serviceKey, L"ErrorControl", 4);
    setHklmDword(serviceKey, L"Type", 0x10);
    setHklmString(serviceKey, L"ImagePath", L"C:\\plain\\pravik.exe -Z name");
    setHklmString(serviceKey, L"Description", L"");
    setHklmMultiString(serviceKey, L"DependOnService", {});
    const CRunResult run = runPravik({L"-d", serviceName});
    EXPECT_EQ(run.exitCode, 0u);
    const std::string rest = afterTraceStatus(run.output);
    const std::string opening = "Error getting size of value IPravikClass\r\n";
    ASSERT_EQ(rest.substr(0, opening.size()), opening);
    // Boot start, an unknown error control and a type without the interactive bit give no lines;
    // an unquoted image path is taken whole; empty values give empty lines; JVMOption2 without 1 nothing.
    const std::string tail = onConsole("serviceName=" + narrow(serviceName) +
                                       "\r\n"
                                       "binaryPath=C:\\plain\\pravik.exe -Z name\r\n"
                                       "serviceDependencies=\r\n"
                                       "description=\r\n");
    ASSERT_GT(rest.size(), opening.size() + tail.size());
    EXPECT_EQ(rest.substr(rest.size() - tail.size()), tail);
}

TEST_F(ServiceInfo, LongValuesAreNeitherCutNorOverrun) {
    // 4000 bytes without a terminator fill the read exactly and must still end
    // where they end (stored as binary: the registry adds no terminator to those).
    const std::wstring display(2000, L'D');
    setHklmBytes(serviceKey, L"DisplayName",
                 std::vector<BYTE>(reinterpret_cast<const BYTE*>(display.data()),
                                   reinterpret_cast<const BYTE*>(display.data()) + 4000),
                 REG_BINARY);
    // 4002 bytes do not fit the service-key read and count as missing.
    setHklmString(serviceKey, L"Description", std::wstring(2000, L'x'));
    // Parameters values have no such limit.
    const std::wstring commandLine(100000, L'c');
    setHklmString(parametersKey, L"IPravikClass", L"com/example/Long");
    setHklmString(parametersKey, L"CommandLine", commandLine);
    CTempDir directory;
    const std::wstring file = directory.file(L"long.cfg");
    const CRunResult run = runPravik({L"-e", serviceName, file});
    EXPECT_EQ(afterTraceStatus(run.output), "Generating file " + narrow(file) + " \r\n");
    EXPECT_TRUE(sameBytes(readFileBytes(file), "serviceDisplayName=" + narrow(display) + "\r\nserviceName=" +
                                                   narrow(serviceName) +
                                                   "\r\nipravikClass=com/example/Long\r\ncommandLineParms=" +
                                                   narrow(commandLine) + "\r\n"));
}

TEST_F(ServiceInfo, LongServiceNameIsWhole) {
    // Registry key names end at 255 characters; use all of them.
    serviceName = std::wstring(255 - 10, L'n') + L"PravikLong";
    serviceKey = std::wstring(kServicesKey) + L"\\" + serviceName;
    parametersKey = serviceKey + L"\\Parameters";
    setHklmString(parametersKey, L"IPravikClass", L"com/example/LongName");
    setHklmString(parametersKey, L"JVMOption1", L"-Dlong=name");
    const CRunResult run = runPravik({L"-d", serviceName});
    EXPECT_EQ(afterTraceStatus(run.output), onConsole("serviceName=" + narrow(serviceName) +
                                                      "\r\nipravikClass=com/example/LongName\r\n"
                                                      "JVMOption1=-Dlong=name\r\n"));
}

TEST_F(ServiceInfo, ServiceCreatedByTheServiceManagerExportsItsArguments) {
    CServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    ASSERT_NE(manager.get(), nullptr) << GetLastError();
    const std::wstring imagePath = L"\"" + pravikExe() + L"\" -Z \"" + serviceName + L"\"";
    SC_HANDLE created = CreateServiceW(manager.get(), serviceName.c_str(), L"Created Display", SERVICE_ALL_ACCESS,
                                       SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS, SERVICE_DISABLED,
                                       SERVICE_ERROR_CRITICAL, imagePath.c_str(), nullptr, nullptr,
                                       L"Dep1\0Dep2\0", nullptr, nullptr);
    ASSERT_NE(created, nullptr) << GetLastError();
    CServiceHandle service(created);
    setHklmString(parametersKey, L"IPravikClass", L"com/example/Created");
    const CRunResult run = runPravik({L"-d", serviceName});
    DeleteService(service.get());
    EXPECT_EQ(afterTraceStatus(run.output), onConsole("serviceDisplayName=Created Display\r\n"
                                                      "serviceName=" + narrow(serviceName) + "\r\n"
                                                      "interactiveService=TRUE\r\n"
                                                      "startType=SERVICE_DISABLED\r\n"
                                                      "errorControl=SERVICE_ERROR_CRITICAL\r\n"
                                                      "binaryPath=" + narrow(pravikExe()) + "\r\n"
                                                      "serviceDependencies=Dep1,Dep2\r\n"
                                                      "ipravikClass=com/example/Created\r\n"));
}

// Runs alone (RUN_SERIAL): it switches the trace itself and reads the status line.
TEST_F(ServiceInfo, TraceStatusComesFirst) {
    setHklmString(parametersKey, L"IPravikClass", L"com/example/Traced");
    const std::string text = onConsole("serviceName=" + narrow(serviceName) + "\r\nipravikClass=com/example/Traced\r\n");
    deleteHklmValue(kProgramKey, L"Trace");
    EXPECT_EQ(runPravik({L"-d", serviceName}).output, "Tracing not enabled\r\n" + text);

    CTempDir directory;
    const std::wstring traceFile = directory.file(L"info-trace.txt");
    {
        CTraceSetting trace(traceFile);
        EXPECT_EQ(runPravik({L"-d", serviceName}).output,
                  "Tracing enabled to file " + narrow(traceFile) + "\r\n" + text);
    }
    const std::string trace = stripThreadIds(readFileBytes(traceFile));
    // stripThreadIds gives LF line ends.
    const std::size_t entry = trace.find("CConfigFile::showServiceInfo Entry\n");
    const std::size_t statusAt = trace.find("Tracing enabled to file " + narrow(traceFile) + "\n");
    const std::size_t textAt = trace.find("serviceName=" + narrow(serviceName) + "\n");
    const std::size_t exit = trace.find("CConfigFile::showServiceInfo Exit 0\n");
    ASSERT_NE(entry, std::string::npos) << trace;
    ASSERT_NE(exit, std::string::npos) << trace;
    EXPECT_LT(entry, statusAt);
    EXPECT_LT(statusAt, textAt);
    EXPECT_LT(textAt, exit);
}

TEST_F(ServiceInfo, ExportedFilesParseBackInTheirEncoding) {
    seedFullService();
    CTempDir directory;
    for (int unicode : {0, 1}) {
        const std::wstring file = directory.file(unicode ? L"back-unicode.cfg" : L"back-ansi.cfg");
        std::vector<std::wstring> args = {L"-e", serviceName, file};
        if (unicode) {
            args.push_back(L"-w");
        }
        runPravik(args);
        CLogger logger;
        CConfigFile config(&logger);
        ASSERT_EQ(config.parseConfigFile(file.c_str(), unicode), 0) << "unicode " << unicode;
        // Every exported line is one option, in order, key and value as written.
        const std::wstring expected[][2] = {
            {L"serviceDisplayName", L"Info Display"},
            {L"serviceName", serviceName},
            {L"interactiveService", L"TRUE"},
            {L"startType", L"SERVICE_DEMAND_START"},
            {L"errorControl", L"SERVICE_ERROR_SEVERE"},
            {L"binaryPath", L"C:\\Program Files\\app\\pravik.exe"},
            {L"serviceDependencies", L"Alpha,Beta"},
            {L"description", L"Seeded for the export"},
            {L"jvmDLL", L"%PRAVIK_INFO_JRE%\\bin\\server\\jvm.dll"},
            {L"ipravikClass", L"com/example/InfoService"},
            {L"commandLineParms", L"-home %PRAVIK_INFO_HOME% -x"},
            {L"verboseOutput", L"C:\\logs\\verbose.txt"},
            {L"preinitCommand", L"cmd /c %PRAVIK_INFO_HOME%\\prepare.bat"},
            {L"preinitWaitHint", L"5000"},
            {L"stopTimeout", L"60000"},
            {L"preshutdownTimeout", L"90000"},
            {L"workingDirectory", L"%PRAVIK_INFO_HOME%\\work"},
            {L"standardOutput", L"%PRAVIK_INFO_HOME%\\out.log"},
            {L"standardError", L"C:\\logs\\err.log"},
            {L"logRotateSize", L"20"},
            {L"logKeep", L"3"},
            {L"JVMOption1", L"-Xmx256m"},
            {L"JVMOption2", L"-Dhome=%PRAVIK_INFO_HOME%"},
        };
        ASSERT_EQ(config.getOptionCount(), 23) << "unicode " << unicode;
        const auto options = config.options();
        auto option = options.begin();
        for (const auto& pair : expected) {
            ASSERT_NE(option, options.end());
            EXPECT_EQ(std::wstring((*option)->getName()), pair[0]);
            EXPECT_EQ(std::wstring((*option)->getValue()), pair[1]);
            ++option;
        }
        // The installer's own spelling finds the option lines.
        EXPECT_STREQ(config.getStrOptionValue(L"jvmOption2", nullptr), L"-Dhome=%PRAVIK_INFO_HOME%");
    }
}

TEST_F(ServiceInfo, DisplayWinsOverTheActionsAfterIt) {
    setHklmString(parametersKey, L"IPravikClass", L"com/example/First");
    const std::string text = onConsole("serviceName=" + narrow(serviceName) + "\r\nipravikClass=com/example/First\r\n");
    const CRunResult shown = runPravik({L"-b", L"-d", serviceName});
    EXPECT_EQ(shown.exitCode, 0u);
    EXPECT_EQ(afterTraceStatus(shown.output), text);

    // The configuration file name is one for every switch: with "-i" the display
    // becomes an export to the install file, which it refuses to overwrite.
    CTempDir directory;
    const std::wstring install = directory.file(L"install.cfg");
    const std::wstring other = L"PravikInfoNotInstalled";
    const std::string content = "serviceDisplayName=Not Installed\r\nserviceName=" + narrow(other) +
                                "\r\nipravikClass=com/example/Never\r\n";
    writeFileBytes(install, content);
    const CRunResult run = runPravik({L"-i", install, L"-d", serviceName});
    EXPECT_EQ(run.exitCode, 0u);
    const std::string refusal = "Cannot open file " + narrow(install) + "\r\n";
    EXPECT_EQ(afterTraceStatus(run.output).substr(0, refusal.size()), refusal);
    EXPECT_EQ(readFileBytes(install), content);
    EXPECT_FALSE(hklmKeyExists(std::wstring(kServicesKey) + L"\\" + other));
    deleteHklmTree(std::wstring(kServicesKey) + L"\\" + other);
}

TEST_F(ServiceInfo, ListingWinsOverTheSkeleton) {
    CTempDir directory;
    const std::wstring skeleton = directory.file(L"skeleton.cfg");
    const CRunResult run = runPravik({L"-c", skeleton, L"-b"});
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.output.rfind("SERVICE NAME : DISPLAY NAME\r\n---------------------------\r\n", 0), 0u) << run.output;
    EXPECT_FALSE(fileExists(skeleton));
}
