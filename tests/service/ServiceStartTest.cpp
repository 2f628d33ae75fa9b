// Starting a service: the pre-initialisation command, the working directory,
// the JVM's creation arguments and verbose output, and every start failure
// with its service-specific exit code. Also what a hostile neighbour of a
// running service can do: plant programs in its working directory, hold the
// trace file's lock, or stop reporting progress while it stops.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "common/Win32Handle.h"
#include "support/Polling.h"
#include "support/PravikRunner.h"
#include "support/ServiceFixture.h"
#include "support/TestRegistry.h"

namespace {

struct CStartFailure {
    DWORD exitCode;
    std::string message;
};

// Starts the installed service, waits for its stop and checks the codes the SCM shows.
CStartFailure startAndFail(CTestService& service) {
    CStartFailure failure = {0, ""};
    if (!service.start()) {
        ADD_FAILURE() << "StartServiceW " << service.lastError();
        return failure;
    }
    const SERVICE_STATUS_PROCESS stopped = service.waitFor(SERVICE_STOPPED);
    // A failed start is an error to Windows (an event, the failure actions, net start's message).
    EXPECT_EQ(stopped.dwWin32ExitCode, DWORD{ERROR_SERVICE_SPECIFIC_ERROR});
    EXPECT_EQ(stopped.dwControlsAccepted, 0u);
    failure.exitCode = stopped.dwServiceSpecificExitCode;
    failure.message = stripThreadIds(readFileBytes(service.dir().file(L"trace.log")));
    return failure;
}

CStartFailure failWith(const std::wstring& name, const ConfigKeys& extra, const wchar_t* jvmDll,
                       const wchar_t* javaClass = L"com.velsor.test.RecordingService") {
    CTestService service(name);
    CTraceSetting trace(service.dir().file(L"trace.log"));
    ConfigKeys keys = service.baseConfig(javaClass);
    for (auto& [key, value] : keys) {
        if (key == L"jvmDLL" && jvmDll != nullptr) {
            value = jvmDll;
        }
    }
    keys.insert(keys.end(), extra.begin(), extra.end());
    if (service.install(keys) != 0) {
        return {0, "not installed"};
    }
    return startAndFail(service);
}

// A JDK's layout: the test JVM, in a variant that imports a stand-in for the C
// runtime, as home\bin\server\jvm.dll, and the stand-in only in home\bin.
void makeTestJdk(const std::wstring& home, const std::wstring& library = std::wstring(PRAVIK_JDK_JVM_DIR) +
                                                                           L"\\jvm.dll") {
    for (const wchar_t* folder : {L"", L"\\bin", L"\\bin\\server"}) {
        ASSERT_TRUE(CreateDirectoryW((home + folder).c_str(), nullptr)) << GetLastError();
    }
    ASSERT_TRUE(CopyFileW(library.c_str(), (home + L"\\bin\\server\\jvm.dll").c_str(), TRUE));
    const std::wstring runtime = std::wstring(PRAVIK_JDK_JVM_DIR) + L"\\pravik-jdk-runtime.dll";
    ASSERT_TRUE(CopyFileW(runtime.c_str(), (home + L"\\bin\\pravik-jdk-runtime.dll").c_str(), TRUE));
}

// The keys of a service whose JVM library records its creation arguments in
// record, then refuses to create the JVM (tests/jvm/bridge/BrokenJvm.cpp).
ConfigKeys recordingJvmConfig(const CTestService& service, const std::wstring& record) {
    ConfigKeys keys = service.baseConfig(L"com.velsor.test.RecordingService");
    for (auto& [key, value] : keys) {
        if (key == L"jvmDLL") {
            value = brokenJvmDll(L"create-refused");
        } else if (key == L"jvmOption1") {
            value = L"-Dfake.record=" + record;
        }
    }
    return keys;
}

ConfigKeys withoutJvmDll(ConfigKeys keys) {
    keys.erase(std::remove_if(keys.begin(), keys.end(), [](const auto& key) { return key.first == L"jvmDLL"; }),
               keys.end());
    return keys;
}

// Registry keys of the test, removed again however the test ends.
class CRegistryTrees {
public:
    explicit CRegistryTrees(std::vector<std::wstring> keys) : keys(std::move(keys)) {}
    ~CRegistryTrees() {
        for (const std::wstring& key : keys) {
            deleteHklmTree(key);
        }
    }

private:
    std::vector<std::wstring> keys;
};

// A copy of a 64-bit library with the machine field of another image: the
// check reads only the header, and the loader never sees the file.
std::wstring jvmDllOfMachine(const CTempDir& folder, unsigned machine) {
    std::string image = readFileBytes(brokenJvmDll(L"create-refused"));
    if (image.size() <= 0x40) {
        ADD_FAILURE() << "no PE image";
        return {};
    }
    const std::size_t peHeader = static_cast<unsigned char>(image[0x3c]) | static_cast<unsigned char>(image[0x3d]) << 8;
    if (image.size() < peHeader + 6 || image.compare(peHeader, 4, std::string("PE\0\0", 4)) != 0) {
        ADD_FAILURE() << "no PE header at " << peHeader;
        return {};
    }
    image[peHeader + 4] = static_cast<char>(machine & 0xff);
    image[peHeader + 5] = static_cast<char>(machine >> 8);
    const std::wstring library = folder.file(L"jvm.dll");
    writeFileBytes(library, image);
    return library;
}

// Runs RecordingService, with its record file and these keys, from its start to its stop.
void runRecordingOnce(CTestService& service, const ConfigKeys& moreKeys = {}) {
    ConfigKeys keys = service.baseConfig(L"com.velsor.test.RecordingService");
    keys.push_back({L"commandLineParms", unixPathOf(service.dir().file(L"record.txt"))});
    keys.insert(keys.end(), moreKeys.begin(), moreKeys.end());
    ASSERT_NO_FATAL_FAILURE(service.run(keys));
    ASSERT_TRUE(service.stop()) << service.lastError();
}

// A JVM library of another machine fails the start with 13 before it is loaded: it is named, then what fits.
void expectOtherMachineNamed(const std::wstring& name, unsigned machine, const std::string& advice) {
    CTempDir folder;
    const std::wstring library = jvmDllOfMachine(folder, machine);
    ASSERT_FALSE(library.empty());

    const CStartFailure failure = failWith(name, {}, library.c_str());
    EXPECT_EQ(failure.exitCode, 13u);
    EXPECT_TRUE(contains(failure.message, utf8(library) + advice)) << failure.message;
    EXPECT_FALSE(contains(failure.message, "Cannot load the JVM DLL")) << failure.message;
}

}  // namespace

TEST(ServiceStart, JvmLibraryFailuresAreTheServiceSpecificExitCode) {
    const std::wstring missing = L"Z:\\no\\such\\dir\\jvm.dll";
    CStartFailure failure = failWith(L"PravikStart13", {}, missing.c_str());
    EXPECT_EQ(failure.exitCode, 13u);
    EXPECT_TRUE(contains(failure.message, "Cannot load the JVM DLL : Z:\\no\\such\\dir\\jvm.dll\n")) << failure.message;
    EXPECT_TRUE(contains(failure.message, "The JVM DLL should be located in your jre/bin/classic subdirectory.\n"));
    EXPECT_TRUE(contains(failure.message, "Service failed to start.  13\n"));

    failure = failWith(L"PravikStart14a", {}, L"kernel32.dll");
    EXPECT_EQ(failure.exitCode, 14u);
    EXPECT_TRUE(contains(failure.message, "Cannot load JNI_CreateJavaVM from the JVM DLL : kernel32.dll\n"))
        << failure.message;

    const std::wstring noDefaultArgs = brokenJvmDll(L"no-init-args");
    failure = failWith(L"PravikStart14b", {}, noDefaultArgs.c_str());
    EXPECT_EQ(failure.exitCode, 14u);
    EXPECT_TRUE(contains(failure.message, "Cannot load JNI_GetDefaultJavaVMInitArgs from the JVM DLL : "))
        << failure.message;

    const std::wstring probeFails = brokenJvmDll(L"init-args-fail");
    failure = failWith(L"PravikStart15", {}, probeFails.c_str());
    EXPECT_EQ(failure.exitCode, 15u);
    EXPECT_TRUE(contains(failure.message, "JNI_GetDefaultJavaVMInitArgs failed! -3\n")) << failure.message;
    EXPECT_FALSE(contains(failure.message, "CJvm::createInitArgs"));

    const std::wstring createFails = brokenJvmDll(L"create-refused");
    failure = failWith(L"PravikStart16", {}, createFails.c_str());
    EXPECT_EQ(failure.exitCode, 16u);
    EXPECT_TRUE(contains(failure.message, "Failed to create Java VM rc= -1\n")) << failure.message;
    EXPECT_TRUE(contains(failure.message, "Service failed to start.  16\n"));
}

TEST(ServiceStart, JavaContractFailuresAreTheServiceSpecificExitCode) {
    {
        CTestService service(L"PravikStart17");
        CTraceSetting trace(service.dir().file(L"trace.log"));
        ASSERT_EQ(service.install(service.baseConfig(L"com.velsor.test.RecordingService")), 0u);
        deleteHklmValue(std::wstring(kServicesKey) + L"\\" + service.name() + L"\\Parameters", L"IPravikClass");
        const CStartFailure failure = startAndFail(service);
        EXPECT_EQ(failure.exitCode, 17u);
        EXPECT_TRUE(inOrder(failure.message, "Error getting size of value IPravikClass\n",
                            "No Java class implementing service routines was specified.\n"))
            << failure.message;
    }
    CStartFailure failure = failWith(L"PravikStart18", {}, nullptr, L"com.velsor.test.Missing");
    EXPECT_EQ(failure.exitCode, 18u);
    EXPECT_TRUE(contains(failure.message, "Cannot find the class com/velsor/test/Missing\n")) << failure.message;

    failure = failWith(L"PravikStart19", {}, nullptr, L"com/velsor/test/NoMainService");
    EXPECT_EQ(failure.exitCode, 19u);
    EXPECT_TRUE(contains(failure.message, "serviceMain method does not exist in class com/velsor/test/NoMainService\n"))
        << failure.message;

    {
        CTestService service(L"PravikStart20");
        CTraceSetting trace(service.dir().file(L"trace.log"));
        ConfigKeys keys = service.baseConfig(L"com.velsor.test.NoControlService");
        keys.push_back({L"commandLineParms", unixPathOf(service.dir().file(L"main-ran.txt"))});
        ASSERT_EQ(service.install(keys), 0u);
        const CStartFailure noControl = startAndFail(service);
        EXPECT_EQ(noControl.exitCode, 20u);
        EXPECT_TRUE(contains(noControl.message,
                             "serviceControl method does not exist in class com/velsor/test/NoControlService\n"))
            << noControl.message;
        EXPECT_FALSE(fileExists(service.dir().file(L"main-ran.txt")));
    }
    {
        CTestService service(L"PravikStart21");
        CTraceSetting trace(service.dir().file(L"trace.log"));
        ConfigKeys keys = service.baseConfig(L"com.velsor.test.PlainService");
        for (auto& [key, value] : keys) {
            if (key == L"jvmOption1") {
                value = L"-Djava.class.path=" + serviceTestJar();
            }
        }
        ASSERT_EQ(service.install(keys), 0u);
        const CStartFailure noManager = startAndFail(service);
        EXPECT_EQ(noManager.exitCode, 21u);
        EXPECT_TRUE(contains(noManager.message, "Cannot find PravikManager class.\n")) << noManager.message;
        EXPECT_FALSE(contains(noManager.message, "Cannot find the class"));
    }
}

TEST(ServiceStart, CreationArgumentsStopAtTheFirstMissingOptionAndCarryTheVerboseHook) {
    CTestService service(L"PravikStartArgs");
    const std::wstring record = service.dir().file(L"jvm-args.txt");
    // The verbose file is named through an environment reference, with characters
    // that the ANSI code page cannot hold.
    const std::wstring verboseName = L"verbose \u4e2d\u6587.log";
    std::wstring verbose = service.dir().file(verboseName);
    ASSERT_EQ(verbose.substr(0, 2), L"C:");
    verbose = L"%SystemDrive%" + verbose.substr(2);
    ConfigKeys keys = recordingJvmConfig(service, record);
    keys.push_back({L"jvmOption2", L"-Xexpanded=%SystemDrive%"});
    keys.push_back({L"jvmOption5", L"-Xafter-the-gap"});
    keys.push_back({L"verboseOutput", verbose});
    ASSERT_EQ(service.install(keys, true), 0u);
    // A value that exists but is empty still counts (a configuration file cannot say so).
    setHklmString(std::wstring(kServicesKey) + L"\\" + service.name() + L"\\Parameters", L"JVMOption3", L"");
    for (int run = 0; run < 2; ++run) {
        ASSERT_TRUE(service.start()) << service.lastError();
        EXPECT_EQ(service.waitFor(SERVICE_STOPPED).dwServiceSpecificExitCode, 16u);
    }
    EXPECT_EQ(readFileBytes(record), "version=10002 ignoreUnrecognized=1 options=5\r\n"
                                     "[-Dfake.record=" + utf8(record) + "] -\r\n"
                                     "[-Xexpanded=C:] -\r\n"
                                     "[] -\r\n"
                                     "[vfprintf] hook\r\n"
                                     "[exit] hook\r\n");
    // Created on the first output, appended to on the next run.
    const std::string once = "fake JVM says hello 42\r\nand once more\r\n";
    EXPECT_EQ(readFileBytes(service.dir().file(verboseName)), once + once);
}

TEST(ServiceStart, ThePreinitCommandRunsInTheWorkingDirectoryBeforeTheJvm) {
    CTestService service(L"PravikStartPreinit");
    CTraceSetting trace(service.dir().file(L"trace.log"));
    const std::wstring release = service.dir().file(L"release");
    ConfigKeys keys = service.baseConfig(L"com.velsor.test.RecordingService");
    keys.push_back({L"commandLineParms", unixPathOf(service.dir().file(L"record.txt"))});
    keys.push_back({L"preinitCommand", preinitProbe() + L" probe.txt " + release + L" %SystemRoot%"});
    keys.push_back({L"preinitWaitHint", L"7000"});
    keys.push_back({L"workingDirectory", service.dir().path()});
    ASSERT_EQ(service.install(keys), 0u);
    ASSERT_TRUE(service.start()) << service.lastError();

    // The probe writes its file in the service's current directory, then waits.
    const std::wstring probe = service.dir().file(L"probe.txt");
    pollUntil([&] { return fileExists(probe); });
    ASSERT_TRUE(fileExists(probe));
    const SERVICE_STATUS_PROCESS pending = service.status();
    EXPECT_EQ(pending.dwCurrentState, DWORD{SERVICE_START_PENDING});
    EXPECT_EQ(pending.dwWaitHint, 7000u);
    EXPECT_EQ(pending.dwCheckPoint, 0u);
    EXPECT_EQ(pending.dwControlsAccepted, 0u);
    const std::string whilePending = stripThreadIds(readFileBytes(service.dir().file(L"trace.log")));
    EXPECT_FALSE(contains(whilePending, "CJvm::initialize")) << whilePending;

    writeFileBytes(release, "go");
    service.waitFor(SERVICE_RUNNING);
    ASSERT_TRUE(service.stop()) << service.lastError();
    EXPECT_EQ(service.waitForProcessEnd(), 0u);

    EXPECT_EQ(readFileBytes(probe), utf8(L"cwd=" + service.dir().path() + L"\narg=C:\\windows\n"));
    const std::string lines = stripThreadIds(readFileBytes(service.dir().file(L"trace.log")));
    EXPECT_TRUE(contains(lines, utf8(L"Executing command: " + preinitProbe() + L" probe.txt " + release +
                                     L" C:\\windows\n")))
        << lines;
    EXPECT_TRUE(inOrder(lines, "Command completed.\n", "CJvm::initialize Entry\n"));
    EXPECT_TRUE(contains(lines, "CExecutor::executePreinitCommand Exit 0\n"));
}

TEST(ServiceStart, AMissingPreinitProgramIsReportedAndTheServiceStillStarts) {
    CTestService service(L"PravikStartNoPreinit");
    CTraceSetting trace(service.dir().file(L"trace.log"));
    ASSERT_NO_FATAL_FAILURE(runRecordingOnce(service, {{L"preinitCommand", L"Z:\\no\\such\\program.exe --flag"}}));
    const std::string lines = stripThreadIds(readFileBytes(service.dir().file(L"trace.log")));
    EXPECT_TRUE(contains(lines, "Unable to create process. rc= ")) << lines;
    EXPECT_TRUE(inOrder(lines, "CExecutor::executePreinitCommand Exit 24\n", "CJvm::initialize Entry\n"));
    EXPECT_TRUE(contains(readFileBytes(service.dir().file(L"record.txt")), "control 1\n"));
}

TEST(ServiceStart, WithoutAPreinitCommandNoneRunsAndJavaReportsItsStates) {
    CTestService service(L"PravikStartPlain");
    CTraceSetting trace(service.dir().file(L"trace.log"));
    ASSERT_NO_FATAL_FAILURE(runRecordingOnce(service));
    const std::string lines = stripThreadIds(readFileBytes(service.dir().file(L"trace.log")));
    EXPECT_TRUE(inOrder(lines, "No preinit command specified.\n", "CJvm::initialize Entry\n")) << lines;
    EXPECT_TRUE(inOrder(lines, "CJvm::initialize Exit 0\n", "Set service to state SERVICE_START_PENDING\n"));
}

TEST(ServiceStart, BareNamesAreNotLookedUpInTheWorkingDirectory) {
    CTestService service(L"PravikStartPlanted");
    CTraceSetting trace(service.dir().file(L"trace.log"));
    // What anyone who can write to the working directory might leave there.
    ASSERT_TRUE(CopyFileW(brokenJvmDll(L"create-refused").c_str(), service.dir().file(L"jvm.dll").c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(preinitProbe().c_str(), service.dir().file(L"cmd.exe").c_str(), FALSE));
    writeFileBytes(service.dir().file(L"real.cmd"), "echo real> real.txt\r\n");
    ConfigKeys keys = service.baseConfig(L"com.velsor.test.RecordingService");
    keys = withoutJvmDll(keys);
    keys.push_back({L"preinitCommand", L"cmd.exe /c " + service.dir().file(L"real.cmd")});
    keys.push_back({L"workingDirectory", service.dir().path()});
    ASSERT_EQ(service.install(keys), 0u);

    // The system's cmd.exe ran the batch file; the default jvm.dll is nowhere
    // on the safe search path.
    CStartFailure failure = startAndFail(service);
    EXPECT_EQ(readFileBytes(service.dir().file(L"real.txt")), "real\r\n");
    EXPECT_EQ(failure.exitCode, 13u);
    EXPECT_TRUE(contains(failure.message, "Cannot load the JVM DLL : jvm.dll\n")) << failure.message;
    EXPECT_TRUE(contains(failure.message,
                         "No JVM DLL was found at: %JAVA_HOME% (not set); HKLM\\SOFTWARE\\JavaSoft\\JDK; "
                         "HKLM\\SOFTWARE\\JavaSoft\\Java Development Kit; HKLM\\SOFTWARE\\JavaSoft\\JRE; "
                         "HKLM\\SOFTWARE\\JavaSoft\\Java Runtime Environment; "
                         "HKLM\\SOFTWARE\\Eclipse Adoptium\\JDK; HKLM\\SOFTWARE\\Eclipse Adoptium\\JRE; "
                         "HKLM\\SOFTWARE\\AdoptOpenJDK\\JDK; HKLM\\SOFTWARE\\AdoptOpenJDK\\JRE; "
                         "HKLM\\SOFTWARE\\Azul Systems\\Zulu; HKLM\\SOFTWARE\\Microsoft\\JDK; "
                         "jvm.dll on the safe DLL search path\n"))
        << failure.message;

    // A path with a folder part is the administrator's choice, relative to the working directory.
    setHklmString(std::wstring(kServicesKey) + L"\\" + service.name() + L"\\Parameters", L"JVMdll", L".\\jvm.dll");
    failure = startAndFail(service);
    EXPECT_EQ(failure.exitCode, 16u);
    EXPECT_TRUE(contains(failure.message, "JVM DLL .\\jvm.dll loaded successfully.\n")) << failure.message;
}

TEST(ServiceStart, AHeldTraceLockDelaysTracingButBlocksNothing) {
    CTestService service(L"PravikStartTraceLock");
    const std::wstring traceFile = service.dir().file(L"trace.log");
    CTraceSetting trace(traceFile);
    ConfigKeys keys = service.baseConfig(L"com.velsor.test.RecordingService");
    keys.push_back({L"commandLineParms", unixPathOf(service.dir().file(L"record.txt"))});
    ASSERT_EQ(service.install(keys), 0u);
    ASSERT_TRUE(service.start()) << service.lastError();
    service.waitFor(SERVICE_RUNNING);

    // This process takes the byte that keeps the lines of processes apart, and keeps it. The
    // service may still be writing its lines of the start: the byte is taken once it is free.
    const CFileHandle holder(CreateFileW(traceFile.c_str(), GENERIC_READ | GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);
    OVERLAPPED lockRange = {};
    lockRange.OffsetHigh = 0x7FFFFFFF;
    ASSERT_TRUE(pollUntil([&] {
        const DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY;
        return LockFileEx(holder.get(), flags, 0, 1, 0, &lockRange) != FALSE;
    }));

    const CRunResult listing = runPravik({L"-b"}, 30000);
    EXPECT_EQ(listing.exitCode, 0u);
    EXPECT_TRUE(contains(listing.output, utf8(service.name()))) << listing.output;
    // A control handler that hung on the lock would make these time out.
    EXPECT_TRUE(service.control(SERVICE_CONTROL_PAUSE)) << service.lastError();
    EXPECT_TRUE(service.control(SERVICE_CONTROL_CONTINUE)) << service.lastError();
    ASSERT_TRUE(service.stop()) << service.lastError();
    EXPECT_EQ(service.waitForProcessEnd(), 0u);
    UnlockFileEx(holder.get(), 0, 1, 0, &lockRange);

    // The lines went out without the lock.
    const std::string lines = stripThreadIds(readFileBytes(traceFile));
    EXPECT_TRUE(inOrder(lines, "Set service to state SERVICE_PAUSED\n", "Set service to state SERVICE_STOPPED\n"))
        << lines;
}

TEST(ServiceStart, RemovalAndRestartGiveUpOnAServiceThatStopsMakingProgress) {
    // Each answers the stop control with one SERVICE_STOP_PENDING and then falls silent.
    CTestService removed(L"PravikStartStuckRemoval");
    CTestService restarted(L"PravikStartStuckRestart");
    for (CTestService* service : {&removed, &restarted}) {
        ConfigKeys keys = service->baseConfig(L"com.velsor.test.RecordingService");
        // Silent for 15 s after its one report, then it stops after all.
        keys.push_back({L"commandLineParms", unixPathOf(service->dir().file(L"record.txt")) + L" -stuckStop 15000"});
        ASSERT_EQ(service->install(keys), 0u);
        ASSERT_TRUE(service->start()) << service->lastError();
        service->waitFor(SERVICE_RUNNING);
    }

    const CRunResult removal = runPravik({L"-r", removed.name()});
    EXPECT_EQ(removal.exitCode, 25u);
    EXPECT_EQ(removal.output, crlf("Service " + utf8(removed.name()) + " did not stop.\nUninstall failed\n"));
    EXPECT_TRUE(hklmKeyExists(std::wstring(kServicesKey) + L"\\" + removed.name()));

    const DWORD processId = restarted.status().dwProcessId;
    const CRunResult restart = runPravik({L"-s", restarted.name(), L"SERVICE_CONTROL_RESTART"});
    EXPECT_EQ(restart.output, crlf("Service " + utf8(restarted.name()) + " did not stop.\n"));
    const SERVICE_STATUS_PROCESS after = restarted.status();
    EXPECT_EQ(after.dwCurrentState, DWORD{SERVICE_STOP_PENDING});
    EXPECT_EQ(after.dwProcessId, processId);

    for (CTestService* service : {&removed, &restarted}) {
        service->waitFor(SERVICE_STOPPED);
    }
}

TEST(ServiceStart, WithoutJvmDllTheJdkOfJavaHomeRunsWithTheRuntimeDllsOfItsBinFolder) {
    CTestService service(L"PravikStartJavaHome");
    CTraceSetting trace(service.dir().file(L"trace.log"));
    const std::wstring home = service.dir().file(L"jdk");
    makeTestJdk(home);
    ConfigKeys keys = withoutJvmDll(service.baseConfig(L"com.velsor.test.PlainService"));
    keys.push_back({L"jvmOption2", std::wstring(L"-Dpravik.test.jvmhost=") + PRAVIK_TEST_JVMHOST});
    ASSERT_EQ(service.install(keys), 0u);
    // In console mode JAVA_HOME comes from the console's environment (Wine's
    // service control manager passes on no variable set after it started).
    ASSERT_TRUE(SetEnvironmentVariableW(L"JAVA_HOME", home.c_str()));
    const CRunResult run = runPravik({L"-x", service.name()});
    SetEnvironmentVariableW(L"JAVA_HOME", nullptr);
    EXPECT_EQ(run.exitCode, 0u);
    const std::string lines = stripThreadIds(readFileBytes(service.dir().file(L"trace.log")));
    const std::string library = utf8(home) + "\\bin\\server\\jvm.dll";
    EXPECT_TRUE(inOrder(lines, "Looking for the JVM DLL at " + library + "\n",
                        "JVM DLL " + library + " loaded successfully.\n"))
        << lines;
    EXPECT_TRUE(inOrder(lines, "CJvm::initialize Exit 0\n", "CJvm::runServiceMain Exit 0\n"));
}

// A relative JAVA_HOME, or an installer's key with a relative path, would mean
// a JDK below whatever folder the service runs in: both are skipped, and the
// JDK that "jdk" names in that folder is not loaded.
TEST(ServiceStart, RelativeJdkPathsOfJavaHomeAndTheInstallersKeysAreSkipped) {
    CTestService service(L"PravikStartRelativeHome");
    CTraceSetting trace(service.dir().file(L"trace.log"));
    makeTestJdk(service.dir().file(L"jdk"));
    const CRegistryTrees written({L"SOFTWARE\\Eclipse Adoptium"});
    setHklmString(L"SOFTWARE\\Eclipse Adoptium\\JDK\\17.0.9.9\\hotspot\\MSI", L"Path", L"jdk");
    ConfigKeys keys = withoutJvmDll(service.baseConfig(L"com.velsor.test.PlainService"));
    keys.push_back({L"jvmOption2", std::wstring(L"-Dpravik.test.jvmhost=") + PRAVIK_TEST_JVMHOST});
    ASSERT_EQ(service.install(keys), 0u);
    // A console-mode run works in this process's folder: there "jdk" is the test's JDK.
    wchar_t folder[MAX_PATH] = {};
    ASSERT_NE(GetCurrentDirectoryW(MAX_PATH, folder), 0u);
    ASSERT_TRUE(SetCurrentDirectoryW(service.dir().path().c_str()));
    ASSERT_TRUE(SetEnvironmentVariableW(L"JAVA_HOME", L"jdk"));
    runPravik({L"-x", service.name()});
    SetEnvironmentVariableW(L"JAVA_HOME", nullptr);
    SetCurrentDirectoryW(folder);
    const std::string lines = stripThreadIds(readFileBytes(service.dir().file(L"trace.log")));
    EXPECT_TRUE(contains(lines, "Looking for the JVM DLL: skipped jdk, not an absolute path, of JAVA_HOME\n")) << lines;
    EXPECT_TRUE(contains(lines, "Looking for the JVM DLL: skipped jdk, not an absolute path, of "
                                "HKLM\\SOFTWARE\\Eclipse Adoptium\\JDK\\17.0.9.9\n"))
        << lines;
    EXPECT_FALSE(contains(lines, "loaded successfully")) << lines;
}

// HotSpot loads a JNI library with a plain LoadLibrary of its path: after
// pravik's own load of the JVM library, that library's imports are still
// found through PATH, as under java.exe.
TEST(ServiceStart, AJniLibraryFindsItsImportsThroughPath) {
    CTestService service(L"PravikStartJniPath");
    const std::wstring onPath = service.dir().file(L"on-path");
    ASSERT_TRUE(CreateDirectoryW(onPath.c_str(), nullptr)) << GetLastError();
    const std::wstring runtime = std::wstring(PRAVIK_JDK_JVM_DIR) + L"\\pravik-jdk-runtime.dll";
    ASSERT_TRUE(CopyFileW(runtime.c_str(), (onPath + L"\\pravik-jdk-runtime.dll").c_str(), TRUE));
    const std::wstring record = service.dir().file(L"record.txt");
    ConfigKeys keys = recordingJvmConfig(service, record);
    keys.push_back({L"jvmOption2", std::wstring(L"-Dfake.load=") + PRAVIK_JNI_PROBE_DLL});
    ASSERT_EQ(service.install(keys), 0u);
    // Console mode, as for JAVA_HOME: the service control manager passes on no new PATH.
    std::wstring path(GetEnvironmentVariableW(L"PATH", nullptr, 0), L'\0');
    path.resize(GetEnvironmentVariableW(L"PATH", path.data(), static_cast<DWORD>(path.size())));
    ASSERT_TRUE(SetEnvironmentVariableW(L"PATH", (onPath + L";" + path).c_str()));
    runPravik({L"-x", service.name()});
    SetEnvironmentVariableW(L"PATH", path.c_str());
    const std::string recorded = readFileBytes(record);
    EXPECT_TRUE(contains(recorded, "[exit] hook\r\nloaded\r\n")) << recorded;
}

TEST(ServiceStart, WithoutJavaHomeTheInstallersKeysGiveTheHighestVersion) {
    CTempDir jdks;
    const std::wstring createFails = brokenJvmDll(L"create-refused");
    makeTestJdk(jdks.file(L"temurin-17"), createFails);
    makeTestJdk(jdks.file(L"temurin-8"), createFails);
    const CRegistryTrees written({L"SOFTWARE\\JavaSoft", L"SOFTWARE\\Eclipse Adoptium"});
    // The current version of the JavaSoft key comes first, but its JDK is gone.
    setHklmString(L"SOFTWARE\\JavaSoft\\JDK", L"CurrentVersion", L"21");
    setHklmString(L"SOFTWARE\\JavaSoft\\JDK\\21", L"JavaHome", jdks.file(L"removed"));
    setHklmString(L"SOFTWARE\\Eclipse Adoptium\\JDK\\8.0.392.8\\hotspot\\MSI", L"Path", jdks.file(L"temurin-8"));
    setHklmString(L"SOFTWARE\\Eclipse Adoptium\\JDK\\17.0.9.9\\hotspot\\MSI", L"Path", jdks.file(L"temurin-17"));

    CTestService service(L"PravikStartRegistered");
    CTraceSetting trace(service.dir().file(L"trace.log"));
    ASSERT_EQ(service.install(withoutJvmDll(service.baseConfig(L"com.velsor.test.RecordingService"))), 0u);
    const CStartFailure failure = startAndFail(service);
    EXPECT_EQ(failure.exitCode, 16u);
    const std::string removed = utf8(jdks.file(L"removed")) + "\\bin\\server\\jvm.dll";
    const std::string chosen = utf8(jdks.file(L"temurin-17")) + "\\bin\\server\\jvm.dll";
    EXPECT_TRUE(inOrder(failure.message, "Looking for the JVM DLL at " + removed + "\n",
                        "JVM DLL " + chosen + " loaded successfully.\n"))
        << failure.message;
    EXPECT_FALSE(contains(failure.message, "temurin-8")) << failure.message;
}

TEST(ServiceStart, AJvmLibraryOfTheOtherBitnessIsNamedBeforeLoading) {
    expectOtherMachineNamed(L"PravikStartBitness", 0x014c,
                            " is a 32-bit JVM library and this pravik.exe is 64-bit: use a 64-bit JDK or the 32-bit "
                            "pravik.exe\n");
}

TEST(ServiceStart, AnArm64JvmLibraryAsksForAnArm64Pravik) {
    expectOtherMachineNamed(L"PravikStartArm64", 0xaa64,
                            " is an ARM64 JVM library and this pravik.exe is 64-bit x86: use a 64-bit x86 JDK or an "
                            "ARM64 pravik.exe\n");
}
