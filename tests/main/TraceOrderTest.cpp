// What every process writes to the trace file around its one action.
#include <gtest/gtest.h>

#include "support/PravikRunner.h"
#include "support/TestFiles.h"
#include "support/TestRegistry.h"

TEST(TraceOrder, MainBracketsTheParserAndCarriesTheExitCode) {
    CTempDir dir;
    const std::wstring trace = dir.file(L"trace.log");
    CTraceSetting setting(trace);
    ASSERT_EQ(runPravik({L"-w", L"word"}).exitCode, 0u);
    ASSERT_EQ(runPravik({L"-i"}).exitCode, 1u);
    EXPECT_EQ(stripThreadIds(readFileBytes(trace)),
              "main Entry\n"
              "CParameters::parseCommandLine Entry 3\n"
              "CParameters::parseCommandLine Exit 0\n"
              "main Exit 0\n"
              "main Entry\n"
              "CParameters::parseCommandLine Entry 2\n"
              "-i option requires config file name\n"
              "CParameters::parseCommandLine Exit 1\n"
              "main Exit 1\n");
}

TEST(TraceOrder, NoArgumentsTracesOnlyEntryAndExit) {
    CTempDir dir;
    const std::wstring trace = dir.file(L"trace.log");
    CTraceSetting setting(trace);
    ASSERT_EQ(runPravik({}).exitCode, 2u);
    EXPECT_EQ(stripThreadIds(readFileBytes(trace)),
              "main Entry\n"
              "CParameters::parseCommandLine Entry 1\n"
              "CParameters::parseCommandLine Exit 2\n"
              "main Exit 2\n");
}

TEST(TraceSwitch, OnStoresThePathUnchangedAndOffRemovesIt) {
    deleteHklmTree(kProgramKey);
    CRunResult run = runPravik({L"-t", L"relative\\trace.log"});
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.output, crlf("Trace enabled.  Logging to file : relative\\trace.log will begin next time a Pravik "
                               "process starts.\n"));
    EXPECT_EQ(getHklmString(kProgramKey, L"Trace"), std::wstring(L"relative\\trace.log"));

    run = runPravik({L"-t", L"oFf"});
    EXPECT_EQ(run.output, crlf("Trace disabled.\n"));
    EXPECT_FALSE(getHklmString(kProgramKey, L"Trace").has_value());

    // The value is already gone but the key stays: still "disabled".
    run = runPravik({L"-t", L"OFF"});
    EXPECT_EQ(run.output, crlf("Trace disabled.\n"));

    // Without the program's key there is nothing to switch off, and nothing is said.
    deleteHklmTree(kProgramKey);
    run = runPravik({L"-t", L"OFF"});
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.output, "");
}

TEST(TraceSwitch, ActsWhileParsingEvenWhenALaterSwitchFails) {
    deleteHklmTree(kProgramKey);
    const CRunResult run = runPravik({L"-t", L"C:\\t.log", L"-i"});
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(getHklmString(kProgramKey, L"Trace"), std::wstring(L"C:\\t.log"));
    deleteHklmTree(kProgramKey);
}

// Characters the console's code page lacks become "?"; the rest of the message stays.
TEST(TraceSwitch, MessageKeepsItsWholeTextBeyondCharactersTheCodePageLacks) {
    deleteHklmTree(kProgramKey);
    const CRunResult run = runPravik({L"-t", L"C:\\caf\u00e9\\\u65e5\u672c.log"});
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.output, crlf("Trace enabled.  Logging to file : C:\\caf\xe9\\??.log will begin next time a Pravik "
                               "process starts.\n"));
    deleteHklmTree(kProgramKey);
}
