// The exported settings text, line by line, from values as the registry gave them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "config/ServiceSettingsText.h"

namespace {

std::wstring build(const CServiceSettings& settings) {
    unsigned long capacity = 0;
    wchar_t* text = buildServiceSettingsText(settings, &capacity);
    EXPECT_NE(text, nullptr);
    if (text == nullptr) {
        return L"<null>";
    }
    std::wstring copy = text;
    std::free(text);
    return copy;
}

CServiceSettings named(const wchar_t* name) {
    CServiceSettings settings;
    settings.serviceName = name;
    return settings;
}

}  // namespace

TEST(ServiceSettingsText, EveryRowInItsOrder) {
    CServiceSettings settings = named(L"OrderSvc");
    settings.displayName = L"Order Service";
    settings.type = 0x110;
    settings.startType = 2;
    settings.errorControl = 1;
    settings.imagePath = L"\"C:\\apps\\pravik.exe\" -Z \"OrderSvc\"";
    settings.dependencies = L"A,B";
    settings.description = L"Runs orders";
    settings.jvmDll = L"C:\\jre\\bin\\server\\jvm.dll";
    settings.pravikClass = L"com/example/Orders";
    settings.commandLine = L"-port 80";
    settings.verboseFile = L"C:\\logs\\verbose.txt";
    settings.preInitCommand = L"cmd /c prepare.bat";
    settings.preInitHint = L"5000";
    settings.stopTimeout = L"60000";
    settings.preshutdownTimeout = L"90000";
    settings.workingDirectory = L"C:\\apps";
    settings.standardOutput = L"C:\\apps\\out.log";
    settings.standardError = L"C:\\apps\\err.log";
    settings.delayedAutoStart = true;
    settings.failureActions = L"restart/60000,run/0";
    settings.failureResetPeriod = L"86400";
    settings.failureCommand = L"cmd /c notify.bat";
    settings.nonCrashFailures = true;
    settings.serviceSidType = L"RESTRICTED";
    settings.logRotateSize = L"20";
    settings.logKeep = L"3";
    // A secret's text, were it ever read, is not written.
    const CVariableSetting variables[] = {
        {L"env.JAVA_HOME", L"C:\\jdk"}, {L"secret.DB_PASSWORD", L"never shown"}, {L"ENV.TZ", L"UTC"}};
    settings.variables = variables;
    settings.variableCount = 3;
    EXPECT_EQ(build(settings),
              L"serviceDisplayName=Order Service\r\n"
              L"serviceName=OrderSvc\r\n"
              L"interactiveService=TRUE\r\n"
              L"startType=SERVICE_AUTO_START\r\n"
              L"errorControl=SERVICE_ERROR_NORMAL\r\n"
              L"binaryPath=C:\\apps\\pravik.exe\r\n"
              L"serviceDependencies=A,B\r\n"
              L"description=Runs orders\r\n"
              L"jvmDLL=C:\\jre\\bin\\server\\jvm.dll\r\n"
              L"ipravikClass=com/example/Orders\r\n"
              L"commandLineParms=-port 80\r\n"
              L"verboseOutput=C:\\logs\\verbose.txt\r\n"
              L"preinitCommand=cmd /c prepare.bat\r\n"
              L"preinitWaitHint=5000\r\n"
              L"stopTimeout=60000\r\n"
              L"preshutdownTimeout=90000\r\n"
              L"workingDirectory=C:\\apps\r\n"
              L"standardOutput=C:\\apps\\out.log\r\n"
              L"standardError=C:\\apps\\err.log\r\n"
              L"env.JAVA_HOME=C:\\jdk\r\n"
              L"env.TZ=UTC\r\n"
              L"secret.DB_PASSWORD=<protected>\r\n"
              L"delayedAutoStart=TRUE\r\n"
              L"failureActions=restart/60000,run/0\r\n"
              L"failureResetPeriod=86400\r\n"
              L"failureCommand=cmd /c notify.bat\r\n"
              L"failureActionsOnNonCrashFailures=TRUE\r\n"
              L"serviceSidType=RESTRICTED\r\n"
              L"logRotateSize=20\r\n"
              L"logKeep=3\r\n");
}

TEST(ServiceSettingsText, MissingValuesLeaveTheirLinesOutButTheServiceName) {
    EXPECT_EQ(build(named(L"Bare")), L"serviceName=Bare\r\n");
    CServiceSettings settings = named(L"Some");
    settings.description = L"";
    settings.workingDirectory = L"";
    EXPECT_EQ(build(settings), L"serviceName=Some\r\ndescription=\r\nworkingDirectory=\r\n");
}

TEST(ServiceSettingsText, StartTypeAndErrorControlOnlyForKnownNumbers) {
    const struct {
        unsigned long number;
        const wchar_t* start;
        const wchar_t* error;
    } cases[] = {
        {0, nullptr, L"SERVICE_ERROR_IGNORE"},
        {1, nullptr, L"SERVICE_ERROR_NORMAL"},
        {2, L"SERVICE_AUTO_START", L"SERVICE_ERROR_SEVERE"},
        {3, L"SERVICE_DEMAND_START", L"SERVICE_ERROR_CRITICAL"},
        {4, L"SERVICE_DISABLED", nullptr},
        {5, nullptr, nullptr},
        {kMissingNumber, nullptr, nullptr},
    };
    for (const auto& entry : cases) {
        CServiceSettings settings = named(L"S");
        settings.startType = entry.number;
        settings.errorControl = entry.number;
        std::wstring expected = L"serviceName=S\r\n";
        if (entry.start != nullptr) {
            expected += std::wstring(L"startType=") + entry.start + L"\r\n";
        }
        if (entry.error != nullptr) {
            expected += std::wstring(L"errorControl=") + entry.error + L"\r\n";
        }
        EXPECT_EQ(build(settings), expected) << "number " << entry.number;
    }
}

TEST(ServiceSettingsText, InteractiveOnlyWithTheInteractiveBit) {
    for (unsigned long type : {0x10UL, 0x20UL, 0UL, kMissingNumber}) {
        CServiceSettings settings = named(L"S");
        settings.type = type;
        EXPECT_EQ(build(settings), L"serviceName=S\r\n") << "type " << type;
    }
    for (unsigned long type : {0x100UL, 0x110UL, 0x120UL}) {
        CServiceSettings settings = named(L"S");
        settings.type = type;
        EXPECT_EQ(build(settings), L"serviceName=S\r\ninteractiveService=TRUE\r\n") << "type " << type;
    }
}

TEST(ServiceSettingsText, BinaryPathIsTheTextUpToTheSecondQuote) {
    const struct {
        const wchar_t* imagePath;
        const wchar_t* binaryPath;
    } cases[] = {
        {L"\"C:\\a b\\pravik.exe\" -Z \"Svc\"", L"C:\\a b\\pravik.exe"},
        {L"C:\\apps\\pravik.exe -Z Svc", L"C:\\apps\\pravik.exe -Z Svc"},
        {L"\"C:\\unterminated", L"\"C:\\unterminated"},
        {L"\"\"", L""},
        {L"\"", L"\""},
        {L"", L""},
        // The first character is dropped whatever it is when a quote follows.
        {L"xC:\\odd\" rest", L"C:\\odd"},
    };
    for (const auto& entry : cases) {
        CServiceSettings settings = named(L"S");
        settings.imagePath = entry.imagePath;
        EXPECT_EQ(build(settings), std::wstring(L"serviceName=S\r\nbinaryPath=") + entry.binaryPath + L"\r\n")
            << testing::PrintToString(std::wstring(entry.imagePath));
    }
}

TEST(ServiceSettingsText, OptionLinesFollowWithTheirNumberedNames) {
    unsigned long capacity = 0;
    wchar_t* text = buildServiceSettingsText(named(L"Opt"), &capacity);
    wchar_t name[32];
    for (int number = 1; number <= 12; ++number) {
        formatJvmOptionName(name, 32, number);
        text = appendSettingLine(text, &capacity, name, (L"-Dn=" + std::to_wstring(number)).c_str());
    }
    formatJvmOptionName(name, 32, -2147483647 - 1);
    EXPECT_STREQ(name, L"JVMOption-2147483648");
    text = appendSettingLine(text, &capacity, L"ignored", nullptr);
    ASSERT_NE(text, nullptr);
    std::wstring expected = L"serviceName=Opt\r\n";
    for (int number = 1; number <= 12; ++number) {
        expected += L"JVMOption" + std::to_wstring(number) + L"=-Dn=" + std::to_wstring(number) + L"\r\n";
    }
    EXPECT_EQ(std::wstring(text), expected);
    std::free(text);
}

TEST(ServiceSettingsText, LongValuesAreWhole) {
    const std::wstring longText(50000, L'q');
    const std::wstring name(300, L'n');
    CServiceSettings settings = named(name.c_str());
    settings.commandLine = longText.c_str();
    settings.description = longText.c_str();
    EXPECT_EQ(build(settings), L"serviceName=" + name + L"\r\ndescription=" + longText + L"\r\ncommandLineParms=" +
                                   longText + L"\r\n");
}

// "-U" compares in the export's words: a service and a file that describe the
// same settings give the same values, whatever texts the numbers came from.
TEST(ServiceSettingsText, ExportedValuesAreTheExportsWords) {
    CServiceSettings settings = named(L"Words");
    settings.type = 0x10;
    settings.startType = 4;
    settings.errorControl = 7;
    settings.imagePath = L"\"C:\\p.exe\" -Z \"Words\"";
    settings.nonCrashFailures = true;
    CExportedValues exported;
    ASSERT_TRUE(exportedValuesOf(settings, &exported));
    const auto value = [&exported](EConfigKey key) { return exported.values[static_cast<std::size_t>(key)]; };
    EXPECT_EQ(value(EConfigKey::interactiveService), nullptr);
    EXPECT_STREQ(value(EConfigKey::startType), L"SERVICE_DISABLED");
    EXPECT_EQ(value(EConfigKey::errorControl), nullptr);
    EXPECT_STREQ(value(EConfigKey::binaryPath), L"C:\\p.exe");
    EXPECT_EQ(value(EConfigKey::delayedAutoStart), nullptr);
    EXPECT_STREQ(value(EConfigKey::failureActionsOnNonCrashFailures), L"TRUE");
}

TEST(ServiceSettingsText, AChangeShowsAnAbsentSideAsNone) {
    const auto line = [](const wchar_t* installed, const wchar_t* wanted) {
        wchar_t* text = describeSettingChange(L"key", installed, wanted);
        std::wstring copy = text != nullptr ? text : L"<null>";
        std::free(text);
        return copy;
    };
    EXPECT_EQ(line(L"a", L"b"), L"key: a -> b");
    EXPECT_EQ(line(nullptr, L"b"), L"key: (none) -> b");
    EXPECT_EQ(line(L"a", nullptr), L"key: a -> (none)");
    EXPECT_FALSE(sameSetting(L"", nullptr));
    EXPECT_FALSE(sameSetting(L"Text", L"text"));
    EXPECT_TRUE(sameSetting(nullptr, nullptr));
}
