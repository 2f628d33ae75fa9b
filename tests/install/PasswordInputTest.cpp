// "-p -": the account password read from standard input, here a pipe.
#include <gtest/gtest.h>

#include <windows.h>

#include <lmcons.h>

#include "support/PravikRunner.h"
#include "support/ServiceFixture.h"
#include "support/TestRegistry.h"

namespace {

std::vector<std::string> passwordLines(const std::wstring& name) {
    return {"serviceName=" + narrow(name), "serviceDisplayName=" + narrow(name) + " display",
            "ipravikClass=com.example.Service"};
}

}  // namespace

// The first line is the password: given, so the right is granted as for "-p
// secret"; the password shows up nowhere, not even in the trace.
TEST(PasswordInput, APasswordFromAPipeInstallsTheServiceWithTheAccount) {
    CTempDir directory;
    const std::wstring traceFile = directory.file(L"trace.log");
    CTraceSetting trace(traceFile);
    wchar_t user[UNLEN + 1] = {};
    DWORD length = UNLEN + 1;
    ASSERT_TRUE(GetUserNameW(user, &length));
    const std::wstring account = std::wstring(L".\\") + user;
    const std::wstring name = uniqueServiceName(L"PipedPassword");
    CServiceCleanup cleanup(name);
    const std::wstring file = writeConfig(directory, L"piped.cfg", passwordLines(name));

    const CRunResult run = runPravikWithInput({L"-i", file, L"-a", account, L"-p", L"-"}, "Pipe\xc3\xa9Secret\r\nnext\r\n");
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.output, echoOf(passwordLines(name)) +
                              crlf("Setting logon as a service right on account " + narrow(account) +
                                   "\nLogon as a service right set successfullly.\nService successfully installed.\n"));
    const auto config = queryServiceConfig(name);
    ASSERT_TRUE(config.has_value());
    EXPECT_EQ(config->startName, account);
    EXPECT_FALSE(contains(readFileBytes(traceFile), "Secret"));
}

TEST(PasswordInput, APasswordThatCannotBeReadInstallsNothing) {
    CTempDir directory;
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "No password on standard input; nothing installed\n"},
        {"\r\nsecond line\r\n", "No password on standard input; nothing installed\n"},
        {std::string(257, 'x') + "\n", "The password on standard input is longer than 256 characters; nothing installed\n"},
    };
    int index = 0;
    for (const auto& [input, message] : cases) {
        const std::wstring name = uniqueServiceName(L"UnreadPassword" + std::to_wstring(++index));
        CServiceCleanup cleanup(name);
        const std::wstring file = writeConfig(directory, name + L".cfg", passwordLines(name));
        const CRunResult run = runPravikWithInput({L"-i", file, L"-a", L"someone", L"-p", L"-"}, input);
        EXPECT_EQ(run.exitCode, 1u) << index;
        EXPECT_EQ(run.output, crlf(message + "Installation failed\n")) << index;
        EXPECT_EQ(openServiceError(name), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST)) << index;
    }
}
