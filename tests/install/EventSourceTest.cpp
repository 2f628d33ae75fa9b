// The service as an event source of the Application log: install registers it
// with the message table of the program the service runs, over what an earlier
// installation left; removal deletes it. Another program's source of the same
// name is left alone.
#include <gtest/gtest.h>

#include "common/Win32Handle.h"
#include "support/PravikRunner.h"
#include "support/ServiceFixture.h"
#include "support/TestRegistry.h"

namespace {

std::wstring sourceKeyPath(const std::wstring& name) {
    return L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\" + name;
}

std::vector<std::string> sourceLines(const std::wstring& name) {
    return {"serviceName=" + narrow(name), "serviceDisplayName=" + narrow(name) + " display",
            "ipravikClass=com.example.Service"};
}

// A registry value as snapshotKey shows it.
std::pair<DWORD, std::string> expandText(const std::wstring& text) {
    return {REG_EXPAND_SZ, std::string(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * sizeof(wchar_t))};
}

std::pair<DWORD, std::string> dword(DWORD value) {
    return {REG_DWORD, std::string(reinterpret_cast<const char*>(&value), sizeof(value))};
}

// An empty access list on the source's key: nobody may write its values.
void lockKey(const std::wstring& keyPath) {
    CRegKey key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, WRITE_DAC, key.put()), ERROR_SUCCESS);
    ACL empty;
    InitializeAcl(&empty, sizeof(empty), ACL_REVISION);
    SECURITY_DESCRIPTOR descriptor;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, &empty, FALSE);
    ASSERT_EQ(RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, &descriptor), ERROR_SUCCESS);
}

}  // namespace

TEST(EventSource, InstallRegistersOverAnEarlierSourceAndRemovalDeletesIt) {
    const std::wstring name = uniqueServiceName(L"Source");
    CServiceCleanup cleanup(name);
    CTempDir directory;
    setHklmString(sourceKeyPath(name), L"EventMessageFile", L"C:\\gone\\pravik.exe", REG_EXPAND_SZ);

    const CRunResult installed = runPravik({L"-i", writeConfig(directory, L"source.cfg", sourceLines(name))});
    ASSERT_EQ(installed.exitCode, 0u);
    EXPECT_EQ(installed.output, echoOf(sourceLines(name)) + crlf("Service successfully installed.\n"));
    const auto values = snapshotKey(sourceKeyPath(name));
    EXPECT_EQ(values.size(), 2u);
    EXPECT_EQ(values.at(L"EventMessageFile"), expandText(pravikExe()));
    EXPECT_EQ(values.at(L"TypesSupported"),
              dword(EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE));

    EXPECT_EQ(runPravik({L"-r", name}).exitCode, 0u);
    EXPECT_FALSE(hklmKeyExists(sourceKeyPath(name)));
}

TEST(EventSource, ASourceThatCannotBeWrittenIsAWarningAndTheServiceIsInstalled) {
    const std::wstring name = uniqueServiceName(L"Locked");
    CServiceCleanup cleanup(name);
    CTempDir directory;
    setHklmString(sourceKeyPath(name), L"EventMessageFile", L"C:\\gone\\pravik.exe", REG_EXPAND_SZ);
    lockKey(sourceKeyPath(name));

    const CRunResult installed = runPravik({L"-i", writeConfig(directory, L"locked.cfg", sourceLines(name))});
    EXPECT_EQ(installed.exitCode, 0u);
    const std::vector<std::string> lines = nonEmptyLines(installed.output);
    ASSERT_EQ(lines.size(), 7u) << installed.output;
    EXPECT_EQ(lines[3], "Warning: cannot register the service as an event source of the Application log, error 5");
    EXPECT_EQ(lines[5], "The service is installed all the same; its events show without their texts.");
    EXPECT_EQ(lines[6], "Service successfully installed.");
    EXPECT_EQ(getHklmString(parametersKeyPath(name), L"IPravikClass"), L"com.example.Service");
}

TEST(EventSource, AnotherProgramsSourceOfTheSameNameIsLeftAloneAtInstallAndRemoval) {
    const std::wstring name = uniqueServiceName(L"Foreign");
    CServiceCleanup cleanup(name);
    CTempDir directory;
    setHklmString(sourceKeyPath(name), L"EventMessageFile", L"C:\\other\\messages.dll", REG_EXPAND_SZ);
    const auto before = snapshotKey(sourceKeyPath(name));
    const std::string leftAlone = crlf("Warning: the event source " + narrow(name) +
                                       " of the Application log belongs to another program (C:\\other\\messages.dll);"
                                       " it is left as it is.\n");

    const CRunResult installed = runPravik({L"-i", writeConfig(directory, L"foreign.cfg", sourceLines(name))});
    EXPECT_EQ(installed.exitCode, 0u);
    EXPECT_EQ(installed.output, echoOf(sourceLines(name)) + leftAlone + crlf("Service successfully installed.\n"));
    EXPECT_EQ(snapshotKey(sourceKeyPath(name)), before);

    const CRunResult removed = runPravik({L"-r", name});
    EXPECT_EQ(removed.exitCode, 0u);
    EXPECT_EQ(removed.output, crlf("Service " + narrow(name) + " deleted successfully.\n") + leftAlone);
    EXPECT_EQ(snapshotKey(sourceKeyPath(name)), before);
    deleteHklmTree(sourceKeyPath(name));
}
