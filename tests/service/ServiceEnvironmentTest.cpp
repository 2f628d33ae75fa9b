// The env. and secret. keys of a service: set in its process before the JVM
// is created, so that Java's System.getenv sees them; a secret kept in clear
// nowhere, and a start that fails on a secret it cannot unprotect.
#include <gtest/gtest.h>

#include <aclapi.h>

#include "support/PravikRunner.h"
#include "support/ServiceFixture.h"
#include "support/TestRegistry.h"

namespace {

const wchar_t* const kRecordingService = L"com.velsor.test.RecordingService";
const std::wstring kSecret = L"Sesam-\u00f6ffne-dich-4711";

std::string recordOf(const CTestService& service) { return readFileBytes(service.dir().file(L"record.txt")); }

std::wstring recordArgument(const CTestService& service) { return unixPathOf(service.dir().file(L"record.txt")); }

// The text's UTF-16 bytes, as a registry value would hold them in clear.
std::string utf16Bytes(const std::wstring& text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

}  // namespace

TEST(ServiceEnvironment, EnvValuesExpandedAndSecretsReachJavaASecretWinningOverAnEnvValue) {
    CTestService service(L"PravikEnvReach");
    ConfigKeys keys = service.baseConfig(kRecordingService);
    keys.push_back({L"commandLineParms", recordArgument(service) +
                                             L" -env PRAVIK_HOME -env PRAVIK_LOGS -env PRAVIK_SHARED -env PRAVIK_KEY"});
    keys.push_back({L"ENV.PRAVIK_HOME", L"%SystemRoot%\\pravik"});
    // Expanded against the environment as it is when it is set: after PRAVIK_HOME.
    keys.push_back({L"env.PRAVIK_LOGS", L"%PRAVIK_HOME%\\logs"});
    keys.push_back({L"env.PRAVIK_SHARED", L"from env"});
    keys.push_back({L"secret.PRAVIK_SHARED", L"from secret"});
    keys.push_back({L"Secret.PRAVIK_KEY", kSecret});
    ASSERT_NO_FATAL_FAILURE(service.run(keys));
    ASSERT_TRUE(service.stop()) << service.lastError();

    wchar_t systemRoot[MAX_PATH] = {};
    ASSERT_GT(GetEnvironmentVariableW(L"SystemRoot", systemRoot, MAX_PATH), 0u);
    const std::string record = recordOf(service);
    EXPECT_TRUE(contains(record, utf8(L"env PRAVIK_HOME=" + std::wstring(systemRoot) + L"\\pravik\n"))) << record;
    EXPECT_TRUE(contains(record, utf8(L"env PRAVIK_LOGS=" + std::wstring(systemRoot) + L"\\pravik\\logs\n")));
    EXPECT_TRUE(contains(record, "env PRAVIK_SHARED=from secret\n"));
    EXPECT_TRUE(contains(record, utf8(L"env PRAVIK_KEY=" + kSecret + L"\n"))) << record;
}

TEST(ServiceEnvironment, ASecretIsInClearNeitherInTheRegistryNorTheTraceNorTheDisplay) {
    CTestService service(L"PravikEnvSecret");
    CTraceSetting trace(service.dir().file(L"trace.log"));
    ConfigKeys keys = service.baseConfig(kRecordingService);
    keys.push_back({L"commandLineParms", recordArgument(service) + L" -env PRAVIK_KEY"});
    keys.push_back({L"secret.PRAVIK_KEY", kSecret});
    ASSERT_NO_FATAL_FAILURE(service.run(keys));
    ASSERT_TRUE(service.stop()) << service.lastError();
    EXPECT_TRUE(contains(recordOf(service), utf8(L"env PRAVIK_KEY=" + kSecret + L"\n")));
    const CRunResult display = runPravik({L"-d", service.name()});

    const auto values = snapshotKey(parametersKeyPath(service.name()));
    const auto stored = values.find(L"secret.PRAVIK_KEY");
    ASSERT_NE(stored, values.end());
    EXPECT_EQ(stored->second.first, DWORD{REG_BINARY});
    EXPECT_FALSE(contains(stored->second.second, utf16Bytes(kSecret)));
    EXPECT_FALSE(contains(stored->second.second, utf8(kSecret)));
    const std::string lines = readFileBytes(service.dir().file(L"trace.log"));
    EXPECT_TRUE(contains(lines, "secret.PRAVIK_KEY=<protected>")) << lines;
    EXPECT_TRUE(contains(lines, "Secret set as environment variable: PRAVIK_KEY"));
    EXPECT_FALSE(contains(lines, "Sesam"));
    EXPECT_EQ(display.exitCode, 0u);
    EXPECT_TRUE(contains(display.output, "\nsecret.PRAVIK_KEY=<protected>\r")) << display.output;
    EXPECT_FALSE(contains(display.output, "Sesam"));

    // Only LocalSystem, Administrators and the account (LocalSystem here) may open the key.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, parametersKeyPath(service.name()).c_str(), 0, READ_CONTROL, &key),
              ERROR_SUCCESS);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    PACL dacl = nullptr;
    ASSERT_EQ(GetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                              &descriptor),
              DWORD{ERROR_SUCCESS});
    RegCloseKey(key);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(descriptor, &control, &revision);
    EXPECT_NE(control & SE_DACL_PROTECTED, 0);
    ASSERT_NE(dacl, nullptr);
    EXPECT_EQ(dacl->AceCount, 2u);
    LocalFree(descriptor);
}

TEST(ServiceEnvironment, ASecretThatCannotBeUnprotectedFailsTheStartWith28NamingIt) {
    CTestService service(L"PravikEnvBroken");
    CTraceSetting trace(service.dir().file(L"trace.log"));
    ConfigKeys keys = service.baseConfig(kRecordingService);
    keys.push_back({L"commandLineParms", recordArgument(service)});
    keys.push_back({L"secret.PRAVIK_KEY", kSecret});
    ASSERT_EQ(service.install(keys), 0u);
    setHklmBytes(parametersKeyPath(service.name()), L"secret.PRAVIK_KEY", {1, 2, 3, 4}, REG_BINARY);
    ASSERT_TRUE(service.start()) << service.lastError();
    const SERVICE_STATUS_PROCESS stopped = service.waitFor(SERVICE_STOPPED);
    EXPECT_EQ(stopped.dwWin32ExitCode, DWORD{ERROR_SERVICE_SPECIFIC_ERROR});
    EXPECT_EQ(stopped.dwServiceSpecificExitCode, 28u);
    const std::string lines = readFileBytes(service.dir().file(L"trace.log"));
    EXPECT_TRUE(contains(lines, "The secret cannot be unprotected: secret.PRAVIK_KEY")) << lines;
    // Neither the pre-initialisation command's step nor the JVM was reached.
    EXPECT_FALSE(contains(lines, "No preinit command specified."));
    EXPECT_FALSE(contains(lines, "CJvm::initialize"));
}
