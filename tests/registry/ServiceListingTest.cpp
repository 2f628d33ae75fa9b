// Which services count as this program's, and what "-b" prints for them.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Win32Handle.h"
#include "registry/ServiceListing.h"
#include "support/PravikRunner.h"
#include "support/TestRegistry.h"

namespace {

const char* const kHeader = "SERVICE NAME : DISPLAY NAME\r\n---------------------------\r\n";

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// Services seeded by one test, removed again when it ends.
class CSeededServices {
public:
    ~CSeededServices() {
        for (const auto& name : names) {
            deleteHklmTree(std::wstring(kServicesKey) + L"\\" + name);
        }
    }
    std::wstring add(const std::wstring& name) {
        deleteHklmTree(std::wstring(kServicesKey) + L"\\" + name);
        names.push_back(name);
        return std::wstring(kServicesKey) + L"\\" + name;
    }

private:
    std::vector<std::wstring> names;
};

bool hasLine(const std::string& output, const std::string& line) {
    return output == line || output.rfind(line, 0) == 0 || output.find("\n" + line) != std::string::npos;
}

// Does the listing name this service at all, with or without a display name?
bool listsService(const std::string& output, const std::wstring& name) {
    return hasLine(output, narrow(name) + "\r\n") || hasLine(output, narrow(name) + " : ");
}

}  // namespace

TEST(ServiceRecognition, ImagePathOrClassValueMarksAService) {
    CSeededServices services;
    const std::wstring lower = services.add(L"PravikRecognisedLower");
    setHklmString(lower, L"ImagePath", L"\"C:\\apps\\pravik.exe\" -Z \"PravikRecognisedLower\"", REG_EXPAND_SZ);
    const std::wstring directory = services.add(L"PravikRecognisedDirectory");
    setHklmString(directory, L"ImagePath", L"C:\\tools\\pravik-2\\runner.exe");
    const std::wstring upper = services.add(L"PravikRecognisedUpper");
    setHklmString(upper, L"ImagePath", L"\"C:\\APPS\\PRAVIK.EXE\" -Z \"PravikRecognisedUpper\"");
    const std::wstring upperWithClass = services.add(L"PravikRecognisedUpperClass");
    setHklmString(upperWithClass, L"ImagePath", L"\"C:\\APPS\\PRAVIK.EXE\" -Z \"PravikRecognisedUpperClass\"");
    setHklmString(upperWithClass + L"\\Parameters", L"IPravikClass", L"com/example/Upper");
    const std::wstring numberClass = services.add(L"PravikRecognisedNumberClass");
    setHklmDword(numberClass + L"\\Parameters", L"IPravikClass", 7);
    const std::wstring emptyParameters = services.add(L"PravikRecognisedEmptyParameters");
    setHklmString(emptyParameters + L"\\Parameters", L"JVMdll", L"jvm.dll");
    const std::wstring other = services.add(L"PravikRecognisedOther");
    setHklmString(other, L"ImagePath", L"C:\\Windows\\system32\\other.exe");

    EXPECT_EQ(isPravikService(L"PravikRecognisedLower"), 1);
    EXPECT_EQ(isPravikService(L"PravikRecognisedDirectory"), 1);
    EXPECT_EQ(isPravikService(L"PravikRecognisedUpper"), 0);
    EXPECT_EQ(isPravikService(L"PravikRecognisedUpperClass"), 1);
    EXPECT_EQ(isPravikService(L"PravikRecognisedNumberClass"), 1);
    EXPECT_EQ(isPravikService(L"PravikRecognisedEmptyParameters"), 0);
    EXPECT_EQ(isPravikService(L"PravikRecognisedOther"), 0);
    EXPECT_EQ(isPravikService(L"PravikRecognisedNoSuchService"), 0);
}

TEST(ServiceRecognition, LongNamesAndValuesNeverOverrunTheBuffers) {
    CSeededServices services;
    // The longest key name the registry takes, marked only by its class value.
    const std::wstring longName = std::wstring(245, L'r') + L"PravikLong";
    const std::wstring longKey = services.add(longName);
    setHklmString(longKey + L"\\Parameters", L"IPravikClass", L"com/example/Long");
    EXPECT_EQ(isPravikService(longName.c_str()), 1);
    // A name longer than any key: nothing to find, and nothing cut or overrun on the way.
    EXPECT_EQ(isPravikService(std::wstring(5000, L'x').c_str()), 0);

    // Values longer than the 2046-byte read count as missing.
    const std::wstring longImage = services.add(L"PravikRecognisedLongImage");
    setHklmString(longImage, L"ImagePath", L"C:\\pravik\\" + std::wstring(2000, L'p') + L".exe");
    EXPECT_EQ(isPravikService(L"PravikRecognisedLongImage"), 0);
    const std::wstring longClass = services.add(L"PravikRecognisedLongClass");
    setHklmString(longClass + L"\\Parameters", L"IPravikClass", std::wstring(1023, L'c'));
    EXPECT_EQ(isPravikService(L"PravikRecognisedLongClass"), 0);
    // 1022 characters and the terminator fit.
    setHklmString(longClass + L"\\Parameters", L"IPravikClass", std::wstring(1022, L'c'));
    EXPECT_EQ(isPravikService(L"PravikRecognisedLongClass"), 1);
}

TEST(ServiceListing, ListsOwnServicesWithTheirDisplayNames) {
    CSeededServices services;
    const std::wstring named = services.add(L"PravikListedNamed");
    setHklmString(named, L"ImagePath", L"\"C:\\apps\\pravik.exe\" -Z \"PravikListedNamed\"");
    setHklmString(named, L"DisplayName", L"Listed With A Name");
    const std::wstring unnamed = services.add(L"PravikListedUnnamed");
    setHklmString(unnamed + L"\\Parameters", L"IPravikClass", L"com/example/Unnamed");
    // A display name that does not fit 2000 bytes counts as missing.
    const std::wstring longDisplay = services.add(L"PravikListedLongDisplay");
    setHklmString(longDisplay + L"\\Parameters", L"IPravikClass", L"com/example/LongDisplay");
    setHklmString(longDisplay, L"DisplayName", std::wstring(1000, L'd'));
    const std::wstring fitting = services.add(L"PravikListedFittingDisplay");
    setHklmString(fitting + L"\\Parameters", L"IPravikClass", L"com/example/Fitting");
    setHklmString(fitting, L"DisplayName", std::wstring(999, L'f'));
    // Characters of other code pages become "?"; the line goes on after them.
    const std::wstring accents = services.add(L"PravikListedAccents");
    setHklmString(accents + L"\\Parameters", L"IPravikClass", L"com/example/Accents");
    setHklmString(accents, L"DisplayName", L"caf\u00e9 \u65e5\u672c end");
    const std::wstring foreign = services.add(L"PravikListedForeign");
    setHklmString(foreign, L"ImagePath", L"C:\\PRAVIK\\foreign.exe");
    setHklmString(foreign, L"DisplayName", L"Not One Of Ours");

    const CRunResult run = runPravik({L"-b"});
    EXPECT_EQ(run.exitCode, 0u);
    const std::string& output = run.output;
    ASSERT_EQ(output.substr(0, std::string(kHeader).size()), kHeader) << output;
    EXPECT_TRUE(hasLine(output, "PravikListedNamed : Listed With A Name\r\n")) << output;
    EXPECT_TRUE(hasLine(output, "PravikListedUnnamed\r\n")) << output;
    EXPECT_TRUE(hasLine(output, "PravikListedLongDisplay\r\n")) << output;
    EXPECT_TRUE(hasLine(output, "PravikListedFittingDisplay : " + std::string(999, 'f') + "\r\n"));
    EXPECT_TRUE(hasLine(output, "PravikListedAccents : caf\xe9 ?? end\r\n")) << output;
    EXPECT_FALSE(listsService(output, L"PravikListedForeign")) << output;
    EXPECT_EQ(output.find("No services found"), std::string::npos);
    EXPECT_EQ(output.find("Recieved an error"), std::string::npos);
}

TEST(ServiceListing, ServiceCreatedByTheServiceManagerIsListed) {
    CServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    ASSERT_TRUE(manager) << GetLastError();
    const std::wstring name = L"PravikListedCreated";
    const std::wstring imagePath = L"\"" + pravikExe() + L"\" -Z \"" + name + L"\"";
    CServiceHandle service(CreateServiceW(manager.get(), name.c_str(), L"Created For Listing", SERVICE_ALL_ACCESS,
                                          SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                          imagePath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    ASSERT_TRUE(service) << GetLastError();
    // Known through its image path alone: no Parameters subkey was written.
    const int recognised = isPravikService(name.c_str());
    const CRunResult run = runPravik({L"-b"});
    DeleteService(service.get());
    EXPECT_EQ(recognised, 1);
    EXPECT_TRUE(hasLine(run.output, "PravikListedCreated : Created For Listing\r\n")) << run.output;
    // Gone again once deleted.
    service.reset();
    EXPECT_FALSE(listsService(runPravik({L"-b"}).output, name));
}

// The listing predicted by walking every service key here and judging it by the recognition rules.
std::string predictedListing() {
    CRegKey root;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kServicesKey, 0, KEY_ENUMERATE_SUB_KEYS, root.put()), ERROR_SUCCESS);
    std::string expected = kHeader;
    bool any = false;
    wchar_t name[300];
    for (DWORD index = 0;; ++index) {
        DWORD length = 300;
        if (RegEnumKeyExW(root.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
            break;
        }
        const std::wstring keyPath = std::wstring(kServicesKey) + L"\\" + name;
        const auto image = getHklmString(keyPath, L"ImagePath");
        const bool byImage = image && image->size() < 1023 && image->find(L"pravik") != std::wstring::npos;
        const auto pravikClass = getHklmString(keyPath + L"\\Parameters", L"IPravikClass");
        if (!byImage && !(pravikClass && pravikClass->size() < 1023)) {
            continue;
        }
        any = true;
        const auto display = getHklmString(keyPath, L"DisplayName");
        expected += narrow(name);
        expected += display && display->size() < 1000 ? " : " + narrow(*display) + "\r\n" : "\r\n";
    }
    if (!any) {
        expected += "No services found that use Pravik\r\n";
    }
    return expected;
}

// Runs alone (RUN_SERIAL), so the whole listing can be predicted. In a prefix
// without services of this program the first listing is the "none found" one.
TEST(ServiceListing, WholeListingIsExactlyTheRecognisedServices) {
    EXPECT_EQ(runPravik({L"-b"}).output, predictedListing());
    CSeededServices services;
    setHklmString(services.add(L"PravikWholeOne") + L"\\Parameters", L"IPravikClass", L"com/example/One");
    const std::string withOne = predictedListing();
    EXPECT_NE(withOne.find("PravikWholeOne\r\n"), std::string::npos);
    EXPECT_EQ(runPravik({L"-b"}).output, withOne);
}
