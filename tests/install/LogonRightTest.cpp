// The logon-as-a-service right through the LSA of the Wine prefix. Wine's LSA
// finds accounts but stores no rights, so what is shown here is the lookup, the
// growing of its buffers, the results and the messages; whether the right
// really takes effect, and that CORP\svc finds the domain's svc, can only be
// seen on Windows (Wine's LookupAccountNameW knows no domain but the computer's,
// and answers its own account for any unknown domain: pravik refuses that answer).
#include <gtest/gtest.h>

#include <windows.h>

#include <lmcons.h>
#include <sddl.h>

#include "common/Win32Handle.h"
#include "install/ServiceLogonRight.h"
#include "support/PravikRunner.h"
#include "support/ServiceFixture.h"
#include "support/TestRegistry.h"

namespace {

std::wstring currentUser() {
    wchar_t name[UNLEN + 1] = {};
    DWORD length = UNLEN + 1;
    EXPECT_TRUE(GetUserNameW(name, &length));
    return name;
}

std::vector<BYTE> wellKnownSid(WELL_KNOWN_SID_TYPE type) {
    std::vector<BYTE> sid(SECURITY_MAX_SID_SIZE);
    DWORD size = SECURITY_MAX_SID_SIZE;
    EXPECT_TRUE(CreateWellKnownSid(type, nullptr, sid.data(), &size));
    sid.resize(size);
    return sid;
}

std::vector<BYTE> copyOf(PSID sid) {
    const BYTE* bytes = static_cast<const BYTE*>(sid);
    return std::vector<BYTE>(bytes, bytes + GetLengthSid(sid));
}

// The current user's SID as text, from this process's token.
std::string currentUserSid() {
    HANDLE token = nullptr;
    unsigned char user[256];
    DWORD size = 0;
    LPWSTR text = nullptr;
    EXPECT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    EXPECT_TRUE(GetTokenInformation(token, TokenUser, user, sizeof(user), &size));
    EXPECT_TRUE(ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &text));
    const std::string sid = narrow(text);
    LocalFree(text);
    CloseHandle(token);
    return sid;
}

std::vector<std::string> accountLines(const std::wstring& name) {
    return {"serviceName=" + narrow(name), "serviceDisplayName=" + narrow(name) + " display",
            "ipravikClass=com.example.Service"};
}

}  // namespace

TEST(LogonRight, LsaStringsReferTheirText) {
    LSA_UNICODE_STRING string;
    InitLsaString(&string, nullptr);
    EXPECT_EQ(string.Length, 0);
    EXPECT_EQ(string.MaximumLength, 0);
    EXPECT_EQ(string.Buffer, nullptr);

    const wchar_t empty[] = L"";
    InitLsaString(&string, empty);
    EXPECT_EQ(string.Length, 0);
    EXPECT_EQ(string.MaximumLength, 2);
    EXPECT_EQ(string.Buffer, empty);

    const wchar_t right[] = L"SeServiceLogonRight";
    InitLsaString(&string, right);
    EXPECT_EQ(string.Length, 38);
    EXPECT_EQ(string.MaximumLength, 40);
    EXPECT_EQ(string.Buffer, right);
}

TEST(LogonRight, AccountSidsAreFoundAndBuffersGrowAsTheLookupAsks) {
    PSID sid = nullptr;
    ASSERT_TRUE(GetAccountSid(nullptr, L"Administrators", &sid));
    ASSERT_NE(sid, nullptr);
    EXPECT_EQ(copyOf(sid), wellKnownSid(WinBuiltinAdministratorsSid));
    HeapFree(GetProcessHeap(), 0, sid);

    // Buffers of one byte and one character: both must grow before the lookup succeeds.
    for (const wchar_t* account : {L"Administrators", L"NT AUTHORITY\\SYSTEM"}) {
        PSID small = nullptr;
        ASSERT_TRUE(lookupAccountSid(nullptr, account, &small, 1, 1)) << narrow(account);
        PSID normal = nullptr;
        ASSERT_TRUE(GetAccountSid(nullptr, account, &normal));
        EXPECT_EQ(copyOf(small), copyOf(normal)) << narrow(account);
        HeapFree(GetProcessHeap(), 0, small);
        HeapFree(GetProcessHeap(), 0, normal);
    }
    PSID system = nullptr;
    ASSERT_TRUE(lookupAccountSid(nullptr, L"NT AUTHORITY\\SYSTEM", &system, 1, 1));
    EXPECT_EQ(copyOf(system), wellKnownSid(WinLocalSystemSid));
    HeapFree(GetProcessHeap(), 0, system);
}

TEST(LogonRight, UnknownAccountLeavesNoSidAndTheLookupsError) {
    for (DWORD sidBytes : {1u, 128u}) {
        PSID sid = reinterpret_cast<PSID>(static_cast<uintptr_t>(1));
        EXPECT_FALSE(lookupAccountSid(nullptr, L"NoSuchAccountHere", &sid, sidBytes, 16));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NONE_MAPPED));
        EXPECT_EQ(sid, nullptr);
    }
}

TEST(LogonRight, SetServiceRightResults) {
    EXPECT_EQ(SetServiceRightW(nullptr, nullptr), 87);
    EXPECT_EQ(SetServiceRightW(L"", nullptr), 87);
    EXPECT_EQ(SetServiceRightW(L"NoSuchAccountHere", nullptr), 1332);
    EXPECT_EQ(SetServiceRightW(L"Administrators", nullptr), 0);
    EXPECT_EQ(SetServiceRightW(currentUser().c_str(), nullptr), 0);
}

TEST(LogonRight, PolicyOpensAndRightsAreAddedAndRemoved) {
    CLsaHandle policy;
    ASSERT_EQ(OpenPolicy(nullptr, POLICY_CREATE_ACCOUNT | POLICY_LOOKUP_NAMES, policy.put()), 0);
    ASSERT_TRUE(policy);
    PSID sid = nullptr;
    ASSERT_TRUE(GetAccountSid(nullptr, L"Administrators", &sid));
    EXPECT_EQ(SetPrivilegeOnAccount(policy.get(), sid, L"SeServiceLogonRight", 1), 0);
    EXPECT_EQ(SetPrivilegeOnAccount(policy.get(), sid, L"SeServiceLogonRight", 0), 0);
    HeapFree(GetProcessHeap(), 0, sid);
}

// The right goes to exactly the account named: ".\\user" is this computer's
// user (the trace names its SID), SOMEDOMAIN\\user is not.
TEST(LogonRight, InstallWithAccountAndPasswordGrantsTheRightToExactlyTheAccountNamed) {
    CTempDir directory;
    const std::wstring traceFile = directory.file(L"trace.log");
    CTraceSetting trace(traceFile);
    const std::wstring user = currentUser();
    const std::vector<std::pair<std::wstring, std::string>> cases = {
        {L".\\" + user, "Logon as a service right set successfullly.\n"},
        {L"SOMEDOMAIN\\" + user, "Failed to set logon as a service right. 1332\n"},
        {L"OTHERDOMAIN\\NoSuchAccountHere", "Failed to set logon as a service right. 1332\n"},
    };
    int index = 0;
    for (const auto& [account, result] : cases) {
        const std::wstring name = uniqueServiceName(L"Account" + std::to_wstring(++index));
        CServiceCleanup cleanup(name);
        const std::wstring file = writeConfig(directory, name + L".cfg", accountLines(name));
        const CRunResult run = runPravik({L"-i", file, L"-a", account, L"-p", L"secret"});
        EXPECT_EQ(run.exitCode, 0u) << index;
        EXPECT_EQ(run.output, echoOf(accountLines(name)) +
                                  crlf("Setting logon as a service right on account " + narrow(account) + "\n" +
                                       result + "Service successfully installed.\n"))
            << index;
        const auto config = queryServiceConfig(name);
        ASSERT_TRUE(config.has_value()) << index;
        // The service logs on as the account exactly as given, domain included.
        EXPECT_EQ(config->startName, account) << index;
    }
    const std::string lines = readFileBytes(traceFile);
    const std::string granted = "The logon right went to SID ";
    EXPECT_TRUE(contains(lines, granted + currentUserSid() + "\r\n")) << lines;
    EXPECT_EQ(lines.find(granted), lines.rfind(granted)) << lines;
}

TEST(LogonRight, AccountWithoutPasswordGrantsNothingButIsStillTheLogon) {
    CTempDir directory;
    const std::wstring name = uniqueServiceName(L"NoPassword");
    CServiceCleanup cleanup(name);
    const std::wstring file = writeConfig(directory, L"nopassword.cfg", accountLines(name));
    const CRunResult run = runPravik({L"-i", file, L"-a", L"Administrators"});
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.output, echoOf(accountLines(name)) + crlf("Service successfully installed.\n"));
    const auto config = queryServiceConfig(name);
    ASSERT_TRUE(config.has_value());
    EXPECT_EQ(config->startName, L"Administrators");
}

// Virtual and group managed accounts install without a password. Wine's LSA
// knows neither (1332, also once the service exists), so the right's failure is
// what shows here: for the virtual account after the creation, and so not at
// all when the creation fails; for the managed one before it.
TEST(LogonRight, LeastPrivilegeAccountsNeedNoPasswordAndGetTheRightWhenTheyExist) {
    CTempDir directory;
    const std::wstring name = uniqueServiceName(L"Virtual");
    CServiceCleanup cleanup(name);
    const std::wstring file = writeConfig(directory, L"virtual.cfg", accountLines(name));
    const std::wstring virtualAccount = L"NT SERVICE\\" + name;
    const std::string tried = "Setting logon as a service right on account " + narrow(virtualAccount) +
                              "\nFailed to set logon as a service right. 1332\n";
    const CRunResult run = runPravik({L"-i", file, L"-a", virtualAccount});
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.output, echoOf(accountLines(name)) + crlf(tried + "Service successfully installed.\n"));
    const auto config = queryServiceConfig(name);
    ASSERT_TRUE(config.has_value());
    EXPECT_EQ(config->startName, virtualAccount);

    const CRunResult again = runPravik({L"-i", file, L"-a", virtualAccount});
    EXPECT_EQ(again.exitCode, 8u);
    EXPECT_FALSE(contains(again.output, "logon as a service")) << again.output;

    const std::wstring managedName = uniqueServiceName(L"Managed");
    CServiceCleanup managedCleanup(managedName);
    const std::wstring managedFile = writeConfig(directory, L"managed.cfg", accountLines(managedName));
    const CRunResult managed = runPravik({L"-i", managedFile, L"-a", L"CONTOSO\\web$"});
    EXPECT_EQ(managed.exitCode, 0u);
    EXPECT_EQ(managed.output, echoOf(accountLines(managedName)) +
                                  crlf("Setting logon as a service right on account CONTOSO\\web$\n"
                                       "Failed to set logon as a service right. 1332\nService successfully installed.\n"));
    const auto managedConfig = queryServiceConfig(managedName);
    ASSERT_TRUE(managedConfig.has_value());
    EXPECT_EQ(managedConfig->startName, L"CONTOSO\\web$");
}
