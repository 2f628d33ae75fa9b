// Reading and writing Parameters values, environment expansion and the ANSI
// conversion, in process against the prefix's real registry and environment.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/HeapText.h"
#include "common/MbcsConversion.h"
#include "log/CLogger.h"
#include "registry/ServiceParameters.h"
#include "registry/TextExpansion.h"
#include "support/TestFiles.h"
#include "support/TestRegistry.h"

namespace {

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// A returned string as a std::wstring, released; "<null>" for none.
std::wstring taken(const CHeapText& text) { return text ? std::wstring(text.get()) : L"<null>"; }

class ServiceParameters : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::string name = std::string("PravikParam") + test->name();
        serviceName.assign(name.begin(), name.end());
        serviceKey = std::wstring(kServicesKey) + L"\\" + serviceName;
        parametersKey = serviceKey + L"\\Parameters";
        deleteHklmTree(serviceKey);
        // The logger's messages go to a file of this test only.
        logger.enableLogFile(logFile.c_str());
    }
    void TearDown() override { deleteHklmTree(serviceKey); }

    // Messages logged so far, one per line without the thread id.
    std::string logged() {
        logger.enableLogFile(nullptr);
        const std::string lines = stripThreadIds(readFileBytes(logFile));
        logger.enableLogFile(logFile.c_str());
        return lines;
    }

    std::wstring get(const wchar_t* value, int logErrors, int expand) {
        return taken(getRegServiceParam(serviceName.c_str(), value, &logger, logErrors, expand));
    }

    CTempDir directory;
    std::wstring logFile = directory.file(L"messages.txt");
    CLogger logger;
    std::wstring serviceName;
    std::wstring serviceKey;
    std::wstring parametersKey;
};

// Sets a variable of this process while it lives.
class CEnvironmentVariable {
public:
    CEnvironmentVariable(const wchar_t* name, const std::wstring& value) : name(name) {
        SetEnvironmentVariableW(name, value.c_str());
    }
    ~CEnvironmentVariable() { SetEnvironmentVariableW(name, nullptr); }

private:
    const wchar_t* name;
};

// The type and size in bytes of a stored value.
std::pair<DWORD, DWORD> typeAndSize(const std::wstring& keyPath, const wchar_t* name) {
    HKEY key = nullptr;
    DWORD type = 0;
    DWORD size = 0;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
        if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
            type = REG_NONE;
        }
        RegCloseKey(key);
    }
    return {type, size};
}

}  // namespace

TEST_F(ServiceParameters, ValuesAreExpandedOnlyWhenAsked) {
    CEnvironmentVariable home(L"PRAVIK_PARAM_HOME", L"D:\\param home");
    setHklmString(parametersKey, L"CommandLine", L"-dir %PRAVIK_PARAM_HOME%\\x 100\\%");
    setHklmString(parametersKey, L"WorkingDirectory", L"%PRAVIK_PARAM_HOME%\\x 100\\%");
    EXPECT_EQ(get(L"CommandLine", 0, 0), L"-dir %PRAVIK_PARAM_HOME%\\x 100\\%");
    EXPECT_EQ(get(L"WorkingDirectory", 0, 1), L"D:\\param home\\x 100%");
    EXPECT_EQ(taken(getRegServiceParameter(serviceName.c_str(), L"WorkingDirectory", &logger)),
              L"D:\\param home\\x 100%");
    // Value names are matched without regard to case.
    EXPECT_EQ(get(L"workingdirectory", 0, 0), L"%PRAVIK_PARAM_HOME%\\x 100\\%");
    EXPECT_EQ(logged(), "");
}

TEST_F(ServiceParameters, ExpansionWithTheProcessEnvironment) {
    CEnvironmentVariable fits(L"PRAVIK_PARAM_FITS", std::wstring(3999, L'f'));
    CEnvironmentVariable tooLong(L"PRAVIK_PARAM_LONG", std::wstring(4000, L'g'));
    CEnvironmentVariable empty(L"PRAVIK_PARAM_EMPTY", L"");
    EXPECT_EQ(taken(expandEnvStrings(L"[%PRAVIK_PARAM_FITS%]")), L"[" + std::wstring(3999, L'f') + L"]");
    EXPECT_EQ(taken(expandEnvStrings(L"[%PRAVIK_PARAM_LONG%]")), L"[]");
    EXPECT_EQ(taken(expandEnvStrings(L"%PRAVIK_PARAM_EMPTY%%PRAVIK_PARAM_UNDEFINED%")), L"");
    EXPECT_EQ(taken(expandEnvStrings(L"a%%b\\%c%")), L"ab%c%");
    EXPECT_EQ(taken(expandEnvStrings(L"C:\\no\\references")), L"C:\\no\\references");
}

TEST_F(ServiceParameters, MissingValueIsNullAndReportedOnlyWhenAsked) {
    setHklmString(parametersKey, L"Other", L"x");
    EXPECT_EQ(get(L"JVMdll", 0, 1), L"<null>");
    EXPECT_EQ(logged(), "");
    EXPECT_EQ(get(L"JVMdll", 1, 1), L"<null>");
    const std::string lines = logged();
    const std::string first = "Error getting size of value JVMdll\n";
    ASSERT_EQ(lines.substr(0, first.size()), first) << lines;
    EXPECT_GT(lines.size(), first.size()) << "the system text follows";
}

TEST_F(ServiceParameters, MissingParametersKeyIsNullForEveryValue) {
    setHklmString(serviceKey, L"DisplayName", L"no parameters");
    for (const wchar_t* value : {L"JVMdll", L"IPravikClass", L"CommandLine", L"WorkingDirectory"}) {
        EXPECT_EQ(get(value, 0, 0), L"<null>");
    }
    EXPECT_EQ(logged(), "");
    EXPECT_EQ(taken(getRegServiceParameter(serviceName.c_str(), L"IPravikClass", &logger)), L"<null>");
    const std::string lines = logged();
    const std::string first = "Cannot open registry key " + narrow(parametersKey) + "\n";
    ASSERT_EQ(lines.substr(0, first.size()), first) << lines;
    EXPECT_GT(lines.size(), first.size()) << "the system text follows";
}

TEST_F(ServiceParameters, ValuesOfAnyTypeAndSizeComeBackTerminated) {
    setHklmDword(parametersKey, L"Number", 0x00410042);
    setHklmBytes(parametersKey, L"Odd", {'a', 0, 'b'}, REG_BINARY);
    setHklmBytes(parametersKey, L"Unterminated", {'x', 0, 'y', 0, 'z', 0}, REG_BINARY);
    setHklmMultiString(parametersKey, L"List", {L"first", L"second"});
    setHklmString(parametersKey, L"Empty", L"");
    const std::wstring huge(100000, L'h');
    setHklmString(parametersKey, L"Huge", huge);
    EXPECT_EQ(get(L"Number", 1, 0), L"BA");
    // The odd byte becomes a character of its own with the zeroed byte after it.
    EXPECT_EQ(get(L"Odd", 1, 0), L"ab");
    EXPECT_EQ(get(L"Unterminated", 1, 0), L"xyz");
    EXPECT_EQ(get(L"List", 1, 0), L"first");
    EXPECT_EQ(get(L"Empty", 1, 1), L"");
    EXPECT_TRUE(get(L"Huge", 1, 1) == huge);
    EXPECT_EQ(logged(), "");
}

TEST_F(ServiceParameters, EachReadSeesTheValueAsItIsNow) {
    setHklmString(parametersKey, L"JVMdll", L"first");
    EXPECT_EQ(get(L"JVMdll", 1, 0), L"first");
    const std::wstring grown(5000, L'g');
    setHklmString(parametersKey, L"JVMdll", grown);
    EXPECT_TRUE(get(L"JVMdll", 1, 0) == grown);
    EXPECT_EQ(get(L"Missing", 1, 0), L"<null>");
    EXPECT_EQ(logged().substr(0, 35), "Error getting size of value Missing");
    // Another service's values are not read from this service's key.
    EXPECT_EQ(taken(getRegServiceParam(L"PravikParamNoSuchService", L"JVMdll", &logger, 1, 0)), L"<null>");
    EXPECT_NE(logged().find("Cannot open registry key "), std::string::npos) << logged();
    deleteHklmTree(parametersKey);
    EXPECT_EQ(get(L"JVMdll", 0, 0), L"<null>");
    setHklmString(parametersKey, L"JVMdll", L"again");
    EXPECT_EQ(get(L"JVMdll", 1, 0), L"again");
}

TEST_F(ServiceParameters, WritingCreatesTheKeyAndStoresTerminatedText) {
    EXPECT_FALSE(hklmKeyExists(parametersKey));
    // Deleting what does not exist succeeds and still creates the subkey.
    EXPECT_EQ(setRegServiceParameter(serviceName.c_str(), L"VerboseFile", nullptr, &logger), 0);
    EXPECT_TRUE(hklmKeyExists(parametersKey));

    EXPECT_EQ(setRegServiceParameter(serviceName.c_str(), L"VerboseFile", L"C:\\logs\\v.txt", &logger), 0);
    EXPECT_EQ(getHklmString(parametersKey, L"VerboseFile"), std::optional<std::wstring>(L"C:\\logs\\v.txt"));
    EXPECT_EQ(typeAndSize(parametersKey, L"VerboseFile"), std::make_pair(DWORD{REG_SZ}, DWORD{2 * 13 + 2}));
    EXPECT_EQ(setRegServiceParameter(serviceName.c_str(), L"PreInitHint", L"", &logger), 0);
    EXPECT_EQ(typeAndSize(parametersKey, L"PreInitHint"), std::make_pair(DWORD{REG_SZ}, DWORD{2}));

    // Written under the configuration key's spelling, read under the value's.
    EXPECT_EQ(setRegServiceParameter(serviceName.c_str(), L"jvmOption3", L"-Xss1m", &logger), 0);
    EXPECT_EQ(get(L"JVMOption3", 1, 1), L"-Xss1m");

    EXPECT_EQ(setRegServiceParameter(serviceName.c_str(), L"VerboseFile", nullptr, &logger), 0);
    EXPECT_EQ(getHklmString(parametersKey, L"VerboseFile"), std::nullopt);
    EXPECT_EQ(getHklmString(parametersKey, L"JVMOption3"), std::optional<std::wstring>(L"-Xss1m"));

    const std::wstring huge(100000, L'w');
    EXPECT_EQ(setRegServiceParameter(serviceName.c_str(), L"CommandLine", huge.c_str(), &logger), 0);
    EXPECT_TRUE(get(L"CommandLine", 1, 0) == huge);
    EXPECT_EQ(logged(), "");
}

TEST_F(ServiceParameters, LongNamesAreUsedWhole) {
    // 255 characters is the longest key name the registry takes.
    serviceName = std::wstring(245, L's') + L"PravikLong";
    serviceKey = std::wstring(kServicesKey) + L"\\" + serviceName;
    parametersKey = serviceKey + L"\\Parameters";
    const std::wstring valueName(5000, L'v');
    EXPECT_EQ(setRegServiceParameter(serviceName.c_str(), valueName.c_str(), L"long names", &logger), 0);
    EXPECT_EQ(get(valueName.c_str(), 1, 1), L"long names");
    EXPECT_EQ(getHklmString(parametersKey, valueName), std::optional<std::wstring>(L"long names"));
    deleteHklmTree(serviceKey);
}

TEST_F(ServiceParameters, FailuresAreReportedWithTheirCodes) {
    // A key name longer than the registry allows cannot be opened or created.
    const std::wstring tooLong(300, L'L');
    EXPECT_EQ(setRegServiceParameter(tooLong.c_str(), L"JVMdll", L"jvm.dll", &logger), 12);
    EXPECT_EQ(getRegServiceParam(tooLong.c_str(), L"JVMdll", &logger, 1, 1), nullptr);
    std::string lines = logged();
    const std::string create = "Cannot open registry to save config information.  Service will not run correctly. ";
    ASSERT_EQ(lines.substr(0, create.size()), create) << lines;
    const std::string open =
        "Cannot open registry key SYSTEM\\CurrentControlSet\\Services\\" + narrow(tooLong) + "\\Parameters\n";
    EXPECT_NE(lines.find(open), std::string::npos) << lines;

    // A key opened for reading only refuses the write.
    setHklmString(parametersKey, L"Existing", L"old");
    HKEY readOnly = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, parametersKey.c_str(), 0, KEY_QUERY_VALUE, &readOnly), ERROR_SUCCESS);
    EXPECT_EQ(setRegStrValue(readOnly, L"Existing", L"new", &logger), 12);
    RegCloseKey(readOnly);
    EXPECT_EQ(getHklmString(parametersKey, L"Existing"), std::optional<std::wstring>(L"old"));
    lines = logged();
    const std::string refused = "Error setting value in registry for Existing\nError code:  5\n";
    EXPECT_NE(lines.find(refused), std::string::npos) << lines;
}

TEST_F(ServiceParameters, AnsiConversionKeepsEveryCharacter) {
    EXPECT_EQ(convertToMBCS(nullptr), nullptr);
    ASSERT_EQ(GetACP(), 1252u) << "the prefix's default code page";
    CHeapPtr<char> latin(convertToMBCS(L"caf\u00e9 \u00fcber"));
    ASSERT_NE(latin, nullptr);
    EXPECT_STREQ(latin.get(), "caf\xe9 \xfc" "ber");
    CHeapPtr<char> empty(convertToMBCS(L""));
    ASSERT_NE(empty, nullptr);
    EXPECT_STREQ(empty.get(), "");
    const std::wstring huge(100000, L'a');
    CHeapPtr<char> whole(convertToMBCS(huge.c_str()));
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(std::string(whole.get()), std::string(100000, 'a'));
}
