// The configuration words and texts that installation hands to the service
// control manager, built natively.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "install/ServiceSettings.h"

namespace {

std::wstring entriesOf(const wchar_t* list) {
    std::wstring joined;
    for (const wchar_t* entry = list; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
        joined += L"[" + std::wstring(entry) + L"]";
    }
    return joined;
}

}  // namespace

TEST(ServiceSettings, StartTypeWords) {
    const std::pair<const wchar_t*, unsigned long> known[] = {
        {L"SERVICE_AUTO_START", 2}, {L"service_auto_start", 2},   {L"SERVICE_DEMAND_START", 3},
        {L"Service_Demand_Start", 3}, {L"SERVICE_DISABLED", 4}, {L"service_disabled", 4},
    };
    for (const auto& [word, startType] : known) {
        int recognised = 0;
        EXPECT_EQ(startTypeFromWord(word, &recognised), startType);
        EXPECT_EQ(recognised, 1);
    }
    int recognised = 0;
    EXPECT_EQ(startTypeFromWord(nullptr, &recognised), 3u);
    EXPECT_EQ(recognised, 1);
    for (const wchar_t* word : {L"SERVICE_BOOT_START", L"SERVICE_AUTO_STAR", L"SERVICE_AUTO_STARTX", L"", L"2",
                                L" SERVICE_AUTO_START"}) {
        recognised = 1;
        EXPECT_EQ(startTypeFromWord(word, &recognised), 3u);
        EXPECT_EQ(recognised, 0);
    }
}

TEST(ServiceSettings, ErrorControlWords) {
    const std::pair<const wchar_t*, unsigned long> known[] = {
        {L"SERVICE_ERROR_IGNORE", 0}, {L"service_error_ignore", 0}, {L"SERVICE_ERROR_NORMAL", 1},
        {L"SERVICE_ERROR_SEVERE", 2}, {L"Service_Error_Severe", 2}, {L"SERVICE_ERROR_CRITICAL", 3},
    };
    for (const auto& [word, errorControl] : known) {
        int recognised = 0;
        EXPECT_EQ(errorControlFromWord(word, &recognised), errorControl);
        EXPECT_EQ(recognised, 1);
    }
    int recognised = 0;
    EXPECT_EQ(errorControlFromWord(nullptr, &recognised), 1u);
    EXPECT_EQ(recognised, 1);
    recognised = 1;
    EXPECT_EQ(errorControlFromWord(L"SERVICE_ERROR_FATAL", &recognised), 1u);
    EXPECT_EQ(recognised, 0);
}

TEST(ServiceSettings, ImagePathQuotesProgramAndServiceAtAnyLength) {
    EXPECT_EQ(std::wstring(buildImagePath(L"C:\\Program Files\\pravik.exe", L"My Service").get()),
              L"\"C:\\Program Files\\pravik.exe\" -Z \"My Service\"");
    EXPECT_EQ(std::wstring(buildImagePath(L"", L"Svc").get()), L"\"\" -Z \"Svc\"");
    // Longer than any fixed buffer would have held: nothing is cut.
    const std::wstring program = L"C:\\" + std::wstring(5000, L'p') + L".exe";
    const std::wstring service(3000, L's');
    const std::wstring built = buildImagePath(program.c_str(), service.c_str()).get();
    EXPECT_EQ(built, L"\"" + program + L"\" -Z \"" + service + L"\"");
    EXPECT_EQ(built.size(), program.size() + service.size() + 8);
}

TEST(ServiceSettings, DependencyListIsDoubleTerminated) {
    EXPECT_EQ(entriesOf(buildDependencyList(L"A,B,C").get()), L"[A][B][C]");
    EXPECT_EQ(entriesOf(buildDependencyList(L"Solo").get()), L"[Solo]");
    EXPECT_EQ(entriesOf(buildDependencyList(L"A, B").get()), L"[A][ B]");
    const CHeapText list = buildDependencyList(L"Tcpip,Dhcp");
    const wchar_t expected[] = L"Tcpip\0Dhcp\0";
    EXPECT_EQ(std::wmemcmp(list.get(), expected, sizeof(expected) / sizeof(wchar_t)), 0);
}

// The domain stays: CORP\svc must never be taken for this computer's svc.
TEST(ServiceSettings, TheAccountIsLookedUpWithItsDomainAndTheDotIsThisComputer) {
    EXPECT_STREQ(accountForLookup(L"DOMAIN\\user", L"HOST").get(), L"DOMAIN\\user");
    EXPECT_STREQ(accountForLookup(L"user", L"HOST").get(), L"user");
    EXPECT_STREQ(accountForLookup(L".\\user", L"HOST").get(), L"HOST\\user");
    EXPECT_STREQ(accountForLookup(L".\\", L"HOST").get(), L"HOST\\");
    EXPECT_STREQ(accountForLookup(L".user", L"HOST").get(), L".user");
}

TEST(ServiceSettings, VirtualAndGroupManagedAccountsAreKnownByTheirForm) {
    EXPECT_EQ(accountKindOf(L"NT SERVICE\\MySvc"), EAccountKind::virtualAccount);
    EXPECT_EQ(accountKindOf(L"nt service\\MySvc"), EAccountKind::virtualAccount);
    EXPECT_EQ(accountKindOf(L"CONTOSO\\web$"), EAccountKind::groupManaged);
    EXPECT_EQ(accountKindOf(L"web$"), EAccountKind::groupManaged);
    for (const wchar_t* ordinary : {L"NT SERVICE\\", L"NT SERVICES\\x", L"DOMAIN\\user", L"LocalSystem", L"$", L""}) {
        EXPECT_EQ(accountKindOf(ordinary), EAccountKind::ordinary) << ordinary;
    }
}

TEST(ServiceSettings, ServiceKeyPathHoldsAnyName) {
    EXPECT_EQ(std::wstring(buildServiceKeyPath(L"MySvc").get()), L"SYSTEM\\CurrentControlSet\\Services\\MySvc");
    const std::wstring name(2000, L'n');
    EXPECT_EQ(std::wstring(buildServiceKeyPath(name.c_str()).get()),
              L"SYSTEM\\CurrentControlSet\\Services\\" + name);
}
