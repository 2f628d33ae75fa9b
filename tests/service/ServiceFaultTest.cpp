// Java services that misbehave under the real service control manager and the
// real JVM: exceptions out of serviceMain and serviceControl, a serviceControl
// that blocks for seconds, a serviceMain that never reports RUNNING. pravik
// reports what it must and the service process ends cleanly every time.
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <thread>

#include "common/Win32Handle.h"
#include "support/Polling.h"
#include "support/PravikRunner.h"
#include "support/ServiceFixture.h"
#include "support/TestRegistry.h"

namespace {

const wchar_t* const kFaultyService = L"com.velsor.test.FaultyService";

std::string recordOf(const CTestService& service) { return readFileBytes(service.dir().file(L"record.txt")); }

std::string traceOf(const CTestService& service) {
    return stripThreadIds(readFileBytes(service.dir().file(L"trace.log")));
}

// Installs the faulty service with its fault (and more keys).
void installFaulty(CTestService& service, const std::wstring& fault, const ConfigKeys& extraKeys = {}) {
    ConfigKeys keys = service.baseConfig(kFaultyService);
    keys.push_back({L"commandLineParms", unixPathOf(service.dir().file(L"record.txt")) + L" " + fault});
    keys.insert(keys.end(), extraKeys.begin(), extraKeys.end());
    ASSERT_EQ(service.install(keys), 0u);
}

// Installs the faulty service with its fault and starts it.
void startFaulty(CTestService& service, const std::wstring& fault, const ConfigKeys& extraKeys = {}) {
    installFaulty(service, fault, extraKeys);
    ASSERT_TRUE(service.start()) << service.lastError();
}

// The faulty service's keys (and more) with a JVM library that fails at its
// creation as its -Dfake options ask (tests/jvm/bridge/BrokenJvm.cpp).
ConfigKeys fakeJvmConfig(const CTestService& service, const ConfigKeys& extraKeys) {
    ConfigKeys keys = service.baseConfig(kFaultyService);
    for (auto& [key, value] : keys) {
        if (key == L"jvmDLL") {
            value = brokenJvmDll(L"create-refused");
        }
    }
    keys.insert(keys.end(), extraKeys.begin(), extraKeys.end());
    return keys;
}

// Polls the record until it holds the text (fails the test after a minute).
void waitForRecord(const CTestService& service, const std::string& text) {
    pollUntil([&] { return contains(recordOf(service), text); });
    ASSERT_TRUE(contains(recordOf(service), text)) << recordOf(service);
}

}  // namespace

TEST(ServiceFault, AnExceptionOutOfServiceControlIsClearedAndTheServiceGoesOn) {
    CTestService service(L"PravikFaultControlThrows");
    CTraceSetting trace(service.dir().file(L"trace.log"));
    startFaulty(service, L"-throwInControl");
    service.waitFor(SERVICE_RUNNING);
    EXPECT_TRUE(service.control(201)) << service.lastError();
    EXPECT_TRUE(service.control(202)) << service.lastError();
    EXPECT_EQ(service.status().dwCurrentState, DWORD{SERVICE_RUNNING});
    ASSERT_TRUE(service.control(SERVICE_CONTROL_STOP)) << service.lastError();
    const SERVICE_STATUS_PROCESS stopped = service.waitFor(SERVICE_STOPPED);
    EXPECT_EQ(stopped.dwServiceSpecificExitCode, 0u);
    EXPECT_EQ(service.waitForProcessEnd(), 0u);

    EXPECT_TRUE(contains(recordOf(service), "control 201\ncontrol 202\ncontrol 1\nstopping\n")) << recordOf(service);
    const std::string lines = traceOf(service);
    // Each throw is cleared on the thread that called Java, before it detaches.
    const std::string cleared = "Java exception cleared after serviceControl\nCJvm::sendControlCommand Exit 0\n";
    const std::size_t first = lines.find(cleared);
    ASSERT_NE(first, std::string::npos) << lines;
    EXPECT_NE(lines.find(cleared, first + 1), std::string::npos) << lines;
    EXPECT_TRUE(contains(lines, "CExecutor::serviceMain Exit 0\n"));
    EXPECT_FALSE(contains(lines, "Service failed to start."));
}

TEST(ServiceFault, AServiceControlThatBlocksForSecondsHoldsOnlyItsControl) {
    CTestService service(L"PravikFaultControlBlocks");
    CTraceSetting trace(service.dir().file(L"trace.log"));
    startFaulty(service, L"-blockInControl 3000");
    service.waitFor(SERVICE_RUNNING);
    bool delivered = false;
    std::thread sender([&] { delivered = service.control(201); });
    waitForRecord(service, "control 201\n");
    // Java holds the control handler; the state it reported stays.
    EXPECT_EQ(service.status().dwCurrentState, DWORD{SERVICE_RUNNING});
    sender.join();
    EXPECT_TRUE(delivered);
    EXPECT_TRUE(contains(recordOf(service), "control 201\nunblocked 201\n")) << recordOf(service);
    ASSERT_TRUE(service.stop()) << service.lastError();
    EXPECT_EQ(service.waitForProcessEnd(), 0u);
    EXPECT_TRUE(contains(recordOf(service), "unblocked 201\ncontrol 1\nstopping\n")) << recordOf(service);
    EXPECT_TRUE(contains(traceOf(service), "CExecutor::serviceMain Exit 0\n"));
}

TEST(ServiceFault, AServiceThatNeverReportsRunningIsStoppedByTheExecutorWhenItReturns) {
    CTestService service(L"PravikFaultNeverRunning");
    CTraceSetting trace(service.dir().file(L"trace.log"));
    startFaulty(service, L"-neverRunning 3000");
    waitForRecord(service, "started -neverRunning\n");
    // Java has reported nothing: the watch has reported the slow start, and the service is still starting.
    EXPECT_EQ(service.status().dwCurrentState, DWORD{SERVICE_START_PENDING});
    // The status, not the trace, which the services of tests running alongside may write to.
    bool seenRunning = false;
    pollUntil([&] {
        const DWORD state = service.status().dwCurrentState;
        seenRunning = seenRunning || state == SERVICE_RUNNING;
        return state == SERVICE_STOPPED;
    });
    EXPECT_FALSE(seenRunning);
    const SERVICE_STATUS_PROCESS stopped = service.waitFor(SERVICE_STOPPED);
    EXPECT_EQ(stopped.dwWin32ExitCode, 0u);
    EXPECT_EQ(stopped.dwServiceSpecificExitCode, 0u);
    EXPECT_EQ(service.waitForProcessEnd(), 0u);
    EXPECT_EQ(recordOf(service), "started -neverRunning\nreturning\n");
    const std::string lines = traceOf(service);
    EXPECT_TRUE(inOrder(lines, "CJvm::runServiceMain Exit 0\n", "CExecutor::serviceMain Exit 0\n")) << lines;
}

TEST(ServiceFault, AnExceptionBeforeAnyStateReportEndsTheRunAsStoppedWithZero) {
    CTestService service(L"PravikFaultThrowAtStart");
    CTraceSetting trace(service.dir().file(L"trace.log"));
    const std::wstring error = service.dir().file(L"err.log");
    startFaulty(service, L"-throwAtStart", {{L"standardError", error}});
    const SERVICE_STATUS_PROCESS stopped = service.waitFor(SERVICE_STOPPED);
    EXPECT_EQ(stopped.dwServiceSpecificExitCode, 0u);
    EXPECT_EQ(service.waitForProcessEnd(), 0u);
    EXPECT_EQ(recordOf(service), "started -throwAtStart\n");
    // Java's own account of the exception is kept, stack trace and all.
    EXPECT_TRUE(contains(readFileBytes(error), "java.lang.IllegalStateException: thrown before any state was "
                                               "reported, on purpose"))
        << readFileBytes(error);
    EXPECT_TRUE(contains(readFileBytes(error), "at com.velsor.test.FaultyService.serviceMain")) << readFileBytes(error);
    const std::string lines = traceOf(service);
    EXPECT_TRUE(inOrder(lines, "Java exception cleared after serviceMain\n", "CJvm::runServiceMain Exit 0\n"))
        << lines;
    EXPECT_FALSE(contains(lines, "Set service to state"));
}

// A service has no console: what Java prints lands in the files it names,
// appended to an earlier run's, or in one file named for both.
TEST(ServiceFault, WhatJavaPrintsBeforeItFailsIsInTheOutputFiles) {
    for (const bool oneFile : {false, true}) {
        CTestService service(oneFile ? L"PravikFaultPrintsToOneFile" : L"PravikFaultPrints");
        const std::wstring output = service.dir().file(L"out.log");
        const std::wstring error = oneFile ? output : service.dir().file(L"err.log");
        if (!oneFile) {
            writeFileBytes(error, "an earlier run\n");
        }
        startFaulty(service, L"-printAndFail", {{L"standardOutput", output}, {L"standardError", error}});
        EXPECT_EQ(service.waitFor(SERVICE_STOPPED).dwServiceSpecificExitCode, 1u);
        EXPECT_EQ(service.waitForProcessEnd(), 0u);
        const std::string printed = readFileBytes(output);
        const std::string trace = readFileBytes(error);
        EXPECT_TRUE(contains(printed, "printed to System.out")) << printed;
        EXPECT_EQ(trace.rfind(oneFile ? "" : "an earlier run\n", 0), 0u) << trace;
        EXPECT_TRUE(contains(trace, "java.lang.IllegalStateException: printed to System.err on purpose")) << trace;
        EXPECT_TRUE(contains(trace, "at com.velsor.test.FaultyService.serviceMain")) << trace;
        EXPECT_EQ(contains(printed, "IllegalStateException"), oneFile) << printed;
    }
}

// Java threads that report states in a loop while the service ends reach
// nothing that is gone: every run ends with exit code 0 and stays stopped.
TEST(ServiceFault, JavaThreadsReportingWhileTheServiceEndsReachNothingFreed) {
    CTestService service(L"PravikFaultStorm");
    startFaulty(service, L"-reportStorm 4");
    for (int run = 0; run < 6; ++run) {
        ASSERT_TRUE(run == 0 || service.start()) << service.lastError();
        service.waitFor(SERVICE_RUNNING);
        ASSERT_TRUE(service.stop()) << service.lastError();
        EXPECT_EQ(service.waitForProcessEnd(), 0u) << "run " << run;
        EXPECT_EQ(service.status().dwCurrentState, DWORD{SERVICE_STOPPED}) << "run " << run;
    }
}

TEST(ServiceFault, SystemExitStopsTheServiceWithItsCode) {
    CTestService service(L"PravikFaultExit");
    CTraceSetting trace(service.dir().file(L"trace.log"));
    startFaulty(service, L"-exit 3");
    const SERVICE_STATUS_PROCESS stopped = service.waitFor(SERVICE_STOPPED);
    EXPECT_EQ(stopped.dwWin32ExitCode, DWORD{ERROR_SERVICE_SPECIFIC_ERROR});
    EXPECT_EQ(stopped.dwServiceSpecificExitCode, 3u);
    EXPECT_EQ(service.waitForProcessEnd(), 3u);
    EXPECT_TRUE(contains(traceOf(service), "Java called System.exit with 3\n")) << traceOf(service);
}

TEST(ServiceFault, ShutdownHooksRunAfterServiceMainReturns) {
    CTestService service(L"PravikFaultHook");
    startFaulty(service, L"-shutdownHook");
    service.waitFor(SERVICE_RUNNING);
    ASSERT_TRUE(service.control(SERVICE_CONTROL_STOP)) << service.lastError();
    EXPECT_EQ(service.waitFor(SERVICE_STOPPED).dwServiceSpecificExitCode, 0u);
    EXPECT_EQ(service.waitForProcessEnd(), 0u);
    // The JVM shut down before the final report.
    EXPECT_TRUE(contains(recordOf(service), "stopping\nhook ran\n")) << recordOf(service);
}

// Whoever reads the output when STOPPED shows finds the stop's last line and
// the line of a shutdown hook that runs a second after it.
TEST(ServiceFault, TheOutputFileHoldsTheLastLinesWhenStoppedShows) {
    CTestService service(L"PravikFaultLastLines");
    const std::wstring output = service.dir().file(L"out.log");
    startFaulty(service, L"-printAtEnd", {{L"standardOutput", output}});
    service.waitFor(SERVICE_RUNNING);
    ASSERT_TRUE(service.stop()) << service.lastError();
    const std::string printed = readFileBytes(output);
    EXPECT_TRUE(inOrder(printed, "the stop's last line", "the hook's line")) << printed;
    EXPECT_EQ(service.waitForProcessEnd(), 0u);
}

namespace {

// Sends STOP to a service that will not stop with a stop budget of two
// seconds: STOPPED with 26 once the budget is spent, a dump in the trace.
void expectStopBudgetSpent(const std::wstring& baseName, const std::wstring& fault) {
    CTestService service(baseName);
    CTraceSetting trace(service.dir().file(L"trace.log"));
    startFaulty(service, fault, {{L"stopTimeout", L"2000"}});
    service.waitFor(SERVICE_RUNNING);
    const ULONGLONG asked = GetTickCount64();
    std::thread stopper([&] { service.control(SERVICE_CONTROL_STOP); });
    const SERVICE_STATUS_PROCESS stopped = service.waitFor(SERVICE_STOPPED);
    const ULONGLONG elapsed = GetTickCount64() - asked;
    stopper.join();
    EXPECT_EQ(stopped.dwWin32ExitCode, DWORD{ERROR_SERVICE_SPECIFIC_ERROR});
    EXPECT_EQ(stopped.dwServiceSpecificExitCode, 26u);
    EXPECT_GE(elapsed, 2000u);
    EXPECT_EQ(service.waitForProcessEnd(), 26u);
    EXPECT_TRUE(contains(recordOf(service), "control 1\n")) << recordOf(service);
    const std::string lines = traceOf(service);
    EXPECT_TRUE(inOrder(lines, "Full thread dump", "Service did not stop within 2000 ms\n")) << lines;
}

}  // namespace

TEST(ServiceFault, AServiceThatTakesStopAndNeverStopsIsStoppedWhenTheBudgetIsSpent) {
    expectStopBudgetSpent(L"PravikFaultNeverStop", L"-neverStop");
}

TEST(ServiceFault, AServiceControlThatBlocksDuringAStopIsBoundedByTheBudget) {
    expectStopBudgetSpent(L"PravikFaultBlockOnStop", L"-blockOnStop");
}

// Control 15 (preshutdown) starts the stop budget as a stop does: a service
// that takes it and goes on running is ended with 26 once the budget is spent.
// Only the system sends 15 to a service, so it comes over a console-mode pipe.
TEST(ServiceFault, APreshutdownControlStartsTheStopBudgetAsAStopDoes) {
    CTestService service(L"PravikFaultPreshutdown");
    installFaulty(service, L"-neverStop", {{L"stopTimeout", L"2000"}});
    CRunResult run;
    std::thread console([&] { run = runPravik({L"-x", service.name()}); });
    waitForRecord(service, "started -neverStop\n");
    // The pipe is served from just after serviceMain is called.
    pollUntil([&] { return runPravik({L"-s", service.name(), L"15"}).output.empty(); });
    console.join();
    EXPECT_EQ(run.exitCode, 26u);
    EXPECT_TRUE(contains(recordOf(service), "control 15\n")) << recordOf(service);
}

// The output file rotates by size between lines while Java writes on, and a
// restart appends: the generations, oldest first, hold every line of both
// runs whole and in order, and none is larger than the limit.
TEST(ServiceFault, OutputRotatesBetweenLinesAndARestartAppends) {
    CTestService service(L"PravikFaultRotates");
    const std::wstring output = service.dir().file(L"out.log");
    const int lines = 16000;
    startFaulty(service, L"-printLines " + std::to_wstring(lines),
                {{L"standardOutput", output}, {L"logRotateSize", L"1"}, {L"logKeep", L"5"}});
    EXPECT_EQ(service.waitFor(SERVICE_STOPPED).dwServiceSpecificExitCode, 0u);
    EXPECT_EQ(service.waitForProcessEnd(), 0u);
    ASSERT_TRUE(service.start()) << service.lastError();
    EXPECT_EQ(service.waitFor(SERVICE_STOPPED).dwServiceSpecificExitCode, 0u);
    EXPECT_EQ(service.waitForProcessEnd(), 0u);

    // Two runs of 1.6 MB each in 1 MiB files: the file and three older ones.
    EXPECT_FALSE(fileExists(output + L".4"));
    std::string all;
    for (const wchar_t* suffix : {L".3", L".2", L".1", L""}) {
        const std::string part = readFileBytes(output + suffix);
        EXPECT_FALSE(part.empty()) << narrow(suffix);
        EXPECT_LE(part.size(), 1024u * 1024u) << narrow(suffix);
        EXPECT_EQ(part.back(), '\n') << narrow(suffix);
        all += part;
    }
    std::string expected;
    for (int run = 0; run < 2; ++run) {
        for (int number = 1; number <= lines; ++number) {
            char line[32];
            std::snprintf(line, sizeof line, "line %08d ", number);
            expected += line + std::string(85, 'x') + "\n";
        }
    }
    EXPECT_EQ(all.size(), expected.size());
    EXPECT_TRUE(all == expected);
}

// A reader holds out.log.2 without delete sharing: the rotation stops there,
// no generation is replaced, and the output goes on to out.log, whole.
TEST(ServiceFault, AHeldGenerationStopsTheRotationWithoutReplacingAnything) {
    CTestService service(L"PravikFaultHeldGeneration");
    CTraceSetting trace(service.dir().file(L"trace.log"));
    const std::wstring output = service.dir().file(L"out.log");
    writeFileBytes(output + L".1", "generation 1\n");
    writeFileBytes(output + L".2", "generation 2\n");
    const CFileHandle reader(CreateFileW((output + L".2").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(reader);
    startFaulty(service, L"-printLines 12000",
                {{L"standardOutput", output}, {L"logRotateSize", L"1"}, {L"logKeep", L"5"}});
    EXPECT_EQ(service.waitFor(SERVICE_STOPPED).dwServiceSpecificExitCode, 0u);
    EXPECT_EQ(service.waitForProcessEnd(), 0u);
    EXPECT_TRUE(readFileBytes(output + L".1") == "generation 1\n");
    EXPECT_TRUE(readFileBytes(output + L".2") == "generation 2\n");
    EXPECT_FALSE(fileExists(output + L".3"));
    EXPECT_EQ(readFileBytes(output).size(), 12000u * 100u);
    EXPECT_TRUE(contains(traceOf(service), "The rotation stops at " + utf8(output) +
                                               ".2, which cannot be moved; nothing was replaced\n"))
        << traceOf(service);
}

// Standard output that never pauses keeps standard error waiting no more than
// the other way round: the error lines go out while the output floods (not
// only once 32 MiB of it have), all of them reach their file, and the run ends.
TEST(ServiceFault, StandardErrorIsCopiedWhileStandardOutputFloods) {
    CTestService service(L"PravikFaultFlood");
    const std::wstring error = service.dir().file(L"err.log");
    const int lines = 20000;
    ASSERT_EQ(service.install(fakeJvmConfig(service, {{L"jvmOption2", L"-Dfake.flood=" + std::to_wstring(lines)},
                                                      {L"jvmOption3", L"-Dfake.record=" + service.dir().file(L"record.txt")},
                                                      {L"standardOutput", service.dir().file(L"out.log")},
                                                      {L"standardError", error},
                                                      {L"logKeep", L"0"}})),
              0u);
    ASSERT_TRUE(service.start()) << service.lastError();
    EXPECT_EQ(service.waitFor(SERVICE_STOPPED).dwServiceSpecificExitCode, 16u);
    EXPECT_TRUE(contains(recordOf(service), "error lines written while output flooded\r\n")) << recordOf(service);
    std::string expected;
    for (int number = 1; number <= lines; ++number) {
        expected += "error line " + std::to_string(number) + "\n";
    }
    EXPECT_TRUE(readFileBytes(error) == expected);
}

// The JVM's message before an abrupt end (an _exit, as after
// -XX:+ExitOnOutOfMemoryError) is in the output file once the process is gone.
TEST(ServiceFault, TheJvmsLastMessageBeforeAnAbruptEndIsInTheOutputFile) {
    CTestService service(L"PravikFaultJvmExit");
    const std::wstring output = service.dir().file(L"out.log");
    ASSERT_EQ(service.install(fakeJvmConfig(service, {{L"jvmOption2", L"-Dfake.exit=3"}, {L"standardOutput", output}})),
              0u);
    // The process ends before its first report: StartServiceW fails then (Wine: 1053).
    EXPECT_FALSE(service.start());
    EXPECT_EQ(readFileBytes(output), "fake JVM says hello 42\nand once more\n");
}

// A file planted under the output's names as a second name of another file:
// as the error file it is not opened, as a generation it stops the rotation,
// and the file it names is left as it was. Wine makes hard links; it cannot
// make a reparse point (CreateSymbolicLinkW makes a plain file), which the
// same check refuses on Windows.
TEST(ServiceFault, AnOutputFileWithASecondNameIsNeitherWrittenNorRotated) {
    CTestService service(L"PravikFaultHardLink");
    CTraceSetting trace(service.dir().file(L"trace.log"));
    const std::wstring victim = service.dir().file(L"victim.txt");
    const std::wstring output = service.dir().file(L"out.log");
    const std::wstring error = service.dir().file(L"err.log");
    writeFileBytes(victim, "not the service's\n");
    ASSERT_TRUE(CreateHardLinkW(error.c_str(), victim.c_str(), nullptr)) << GetLastError();
    ASSERT_TRUE(CreateHardLinkW((output + L".1").c_str(), victim.c_str(), nullptr)) << GetLastError();
    startFaulty(service, L"-printLines 12000",
                {{L"standardOutput", output}, {L"standardError", error}, {L"logRotateSize", L"1"}});
    EXPECT_EQ(service.waitFor(SERVICE_STOPPED).dwServiceSpecificExitCode, 0u);
    EXPECT_EQ(service.waitForProcessEnd(), 0u);
    EXPECT_TRUE(readFileBytes(victim) == "not the service's\n");
    EXPECT_EQ(readFileBytes(output).size(), 12000u * 100u);
    const std::string lines = traceOf(service);
    EXPECT_TRUE(contains(lines, "The file is a link or has another name and is not used: " + utf8(error) + "\n"))
        << lines;
    EXPECT_TRUE(contains(lines, "The rotation stops at " + utf8(output) + ".1, which cannot be moved")) << lines;
}

// The output and trace files that pravik creates grant no one but LocalSystem,
// Administrators and the service's account: under a shared folder the folder's
// entries (Everyone may read, say) are not inherited. Wine keeps no ACL of its
// own; it answers one from the file's Unix mode, which the DACL sets.
TEST(ServiceFault, TheFilesAServiceCreatesGrantOnlyItsAccountAndTheAdministrators) {
    CTestService service(L"PravikFaultFileAcl");
    CTraceSetting trace(service.dir().file(L"trace.log"));
    const std::wstring output = service.dir().file(L"out.log");
    startFaulty(service, L"-printLines 1", {{L"standardOutput", output}});
    EXPECT_EQ(service.waitFor(SERVICE_STOPPED).dwServiceSpecificExitCode, 0u);
    for (const std::wstring& file : {output, service.dir().file(L"trace.log")}) {
        PACL dacl = nullptr;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_EQ(GetNamedSecurityInfoW(file.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                        &dacl, nullptr, &descriptor),
                  0u);
        const CLocalMemory owned(descriptor);
        LPWSTR text = nullptr;
        ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1,
                                                                         DACL_SECURITY_INFORMATION, &text, nullptr));
        const CLocalMemory ownedText(text);
        const std::string sddl = narrow(text);
        EXPECT_TRUE(contains(sddl, "(A;;FA;;;SY)")) << sddl;
        for (const char* stranger : {";WD)", ";BU)", ";AU)"}) {
            EXPECT_FALSE(contains(sddl, stranger)) << narrow(file) << ": " << sddl;
        }
    }
}
