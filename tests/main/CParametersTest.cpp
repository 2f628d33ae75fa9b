// The parser alone, natively: which fields each command line fills.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log/CLogger.h"
#include "main/CParameters.h"
#include "support/LogRecorder.h"

namespace {

// The trace switch is the parser's one side effect; here it only records its calls.
std::vector<std::wstring> g_traceSwitches;

void recordTraceSwitch(const wchar_t* path, CLogger*) { g_traceSwitches.push_back(path != nullptr ? path : L"(null)"); }

class ParsedLine {
public:
    explicit ParsedLine(std::vector<std::wstring> words) : arguments(std::move(words)) {
        arguments.insert(arguments.begin(), L"C:\\pravik\\pravik.exe");
        for (auto& argument : arguments) {
            pointers.push_back(argument.data());
        }
        pointers.push_back(nullptr);
        clearLoggerRecord();
        g_traceSwitches.clear();
        result = parameters.parseCommandLine(static_cast<int>(arguments.size()), pointers.data());
    }
    CLogger logger{recordingLogSink(), kRecordedTrace};
    CParameters parameters{&logger, recordTraceSwitch};
    std::vector<std::wstring> arguments;
    std::vector<wchar_t*> pointers;
    int result = -1;
};

}  // namespace

TEST(CParameters, EveryValueSwitchFillsItsField) {
    ParsedLine line({L"-i", L"a.cfg", L"-a", L"DOMAIN\\user", L"-p", L"-secret-", L"-w", L"-b", L"-?"});
    ASSERT_EQ(line.result, 0);
    const CParameters& parsed = line.parameters;
    EXPECT_TRUE(parsed.installRequested());
    EXPECT_STREQ(parsed.getConfigFileName(), L"a.cfg");
    EXPECT_STREQ(parsed.getAccountName(), L"DOMAIN\\user");
    EXPECT_STREQ(parsed.getAccountPassword(), L"-secret-");  // a value may begin with "-"
    EXPECT_TRUE(parsed.isConfigFileUnicode());
    EXPECT_TRUE(parsed.displayAllRequested());
    EXPECT_TRUE(parsed.helpRequested());
    EXPECT_FALSE(parsed.uninstallRequested());
    EXPECT_FALSE(parsed.signalRequested());
}

TEST(CParameters, TwoValueSwitchesFillTwoFields) {
    ParsedLine exported({L"-e", L"Echo", L"out.cfg"});
    EXPECT_TRUE(exported.parameters.displayRequested());
    EXPECT_STREQ(exported.parameters.getServiceName(), L"Echo");
    EXPECT_STREQ(exported.parameters.getConfigFileName(), L"out.cfg");

    ParsedLine signal({L"-s", L"Echo", L"SERVICE_CONTROL_STOP"});
    EXPECT_TRUE(signal.parameters.signalRequested());
    EXPECT_STREQ(signal.parameters.getServiceName(), L"Echo");
    EXPECT_STREQ(signal.parameters.getSignal(), L"SERVICE_CONTROL_STOP");

    ParsedLine single({L"-s", L"Echo"});
    EXPECT_EQ(single.result, 1);
    EXPECT_TRUE(single.parameters.signalRequested());
    EXPECT_EQ(single.parameters.getServiceName(), nullptr);
    EXPECT_EQ(loggerRecord().messages, std::vector<std::wstring>{L"-s option requires service name and signal."});
}

TEST(CParameters, LaterValuesWinAndSharedFieldsOverwrite) {
    ParsedLine twice({L"-d", L"a", L"-d", L"b"});
    EXPECT_STREQ(twice.parameters.getServiceName(), L"b");
    ParsedLine shared({L"-r", L"Removed", L"-x", L"Console"});
    EXPECT_TRUE(shared.parameters.uninstallRequested());
    EXPECT_TRUE(shared.parameters.executeWithoutSCM());
    EXPECT_STREQ(shared.parameters.getServiceName(), L"Console");
}

TEST(CParameters, SwitchesAreExactAndValuesAreTakenVerbatim) {
    ParsedLine upper({L"-I", L"file.cfg"});
    EXPECT_EQ(upper.result, 0);
    EXPECT_FALSE(upper.parameters.installRequested());
    EXPECT_EQ(upper.parameters.getConfigFileName(), nullptr);

    ParsedLine swallowed({L"-i", L"-w"});
    EXPECT_TRUE(swallowed.parameters.installRequested());
    EXPECT_STREQ(swallowed.parameters.getConfigFileName(), L"-w");
    EXPECT_FALSE(swallowed.parameters.isConfigFileUnicode());
}

TEST(CParameters, FlagIsSetEvenWhenItsValueIsMissing) {
    ParsedLine line({L"-c"});
    EXPECT_EQ(line.result, 1);
    EXPECT_TRUE(line.parameters.skeletonFileNeeded());
    EXPECT_EQ(line.parameters.getConfigFileName(), nullptr);
}

TEST(CParameters, TraceSwitchActsAtOnceAndAgain) {
    ParsedLine line({L"-t", L"first.log", L"-t", L"OFF", L"-i"});
    EXPECT_EQ(line.result, 1);
    EXPECT_EQ(g_traceSwitches, (std::vector<std::wstring>{L"first.log", L"OFF"}));
}

TEST(CParameters, NoArgumentsAsksForTheUsageText) {
    ParsedLine line({});
    EXPECT_EQ(line.result, 2);
    EXPECT_TRUE(loggerRecord().messages.empty());
    EXPECT_EQ(loggerRecord().trace,
              (std::vector<std::wstring>{L"CParameters::parseCommandLine Entry 1", L"CParameters::parseCommandLine Exit 2"}));
}
