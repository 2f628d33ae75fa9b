#include "install/ServiceLogonRight.h"

#include <cwchar>

#include <sddl.h>

#include "common/HeapText.h"
#include "common/Win32Handle.h"
#include "install/ServiceSettings.h"

namespace {

const DWORD kInitialSidBytes = 128;
const DWORD kInitialDomainCharacters = 16;
const wchar_t* const kServiceLogonRight = L"SeServiceLogonRight";

// Grows the block to bytes; false, the block kept as it was, when memory is short.
bool growBlock(HANDLE heap, CProcessHeapBlock& block, DWORD bytes) {
    void* larger = HeapReAlloc(heap, 0, block.get(), bytes);
    if (larger == nullptr) {
        return false;
    }
    block.detach();
    block.reset(larger);
    return true;
}

// A domain's SID, looked up by the domain's name; false when it is not found.
bool domainSid(const wchar_t* systemName, const wchar_t* domain, BYTE (&sid)[SECURITY_MAX_SID_SIZE]) {
    DWORD sidSize = SECURITY_MAX_SID_SIZE;
    // A domain's name in any form fits: the lookup fails on a larger one rather than overflow.
    wchar_t found[256];
    DWORD foundSize = sizeof(found) / sizeof(found[0]);
    SID_NAME_USE use;
    return LookupAccountNameW(systemName, domain, sid, &sidSize, found, &foundSize, &use) != FALSE;
}

// Whether an account found in domain is the one named: a name with a domain
// part must have been found in that very domain, by name (letter case aside)
// or, for another name of it (CORP and corp.example.com, a localised NT
// AUTHORITY), by the domain's SID.
bool inNamedDomain(const wchar_t* systemName, const wchar_t* accountName, const wchar_t* domain) {
    const wchar_t* backslash = std::wcsrchr(accountName, L'\\');
    if (backslash == nullptr) {
        return true;
    }
    const int length = static_cast<int>(backslash - accountName);
    if (CompareStringOrdinal(accountName, length, domain, -1, TRUE) == CSTR_EQUAL) {
        return true;
    }
    CHeapText named = duplicateText(accountName);
    BYTE namedSid[SECURITY_MAX_SID_SIZE];
    BYTE foundSid[SECURITY_MAX_SID_SIZE];
    if (!named) {
        return false;
    }
    named.get()[length] = L'\0';
    return domainSid(systemName, named.get(), namedSid) && domainSid(systemName, domain, foundSid) &&
           EqualSid(namedSid, foundSid);
}

}  // namespace

void InitLsaString(LSA_UNICODE_STRING* string, const wchar_t* text) {
    if (text == nullptr) {
        string->Buffer = nullptr;
        string->Length = 0;
        string->MaximumLength = 0;
        return;
    }
    const std::size_t length = std::wcslen(text);
    string->Buffer = const_cast<wchar_t*>(text);
    string->Length = static_cast<USHORT>(length * sizeof(wchar_t));
    string->MaximumLength = static_cast<USHORT>((length + 1) * sizeof(wchar_t));
}

NTSTATUS OpenPolicy(const wchar_t* systemName, unsigned long desiredAccess, LSA_HANDLE* policy) {
    LSA_OBJECT_ATTRIBUTES attributes = {};
    LSA_UNICODE_STRING system = {};
    PLSA_UNICODE_STRING systemArgument = nullptr;
    if (systemName != nullptr) {
        InitLsaString(&system, systemName);
        systemArgument = &system;
    }
    return LsaOpenPolicy(systemArgument, &attributes, desiredAccess, policy);
}

int lookupAccountSid(const wchar_t* systemName, const wchar_t* accountName, PSID* sid, DWORD sidBytes,
                     DWORD domainCharacters) {
    HANDLE heap = GetProcessHeap();
    DWORD error = ERROR_NOT_ENOUGH_MEMORY;
    *sid = nullptr;
    wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD computerLength = MAX_COMPUTERNAME_LENGTH + 1;
    const bool local = accountName[0] == L'.' && accountName[1] == L'\\';
    if (local && !GetComputerNameW(computer, &computerLength)) {
        return 0;
    }
    const CHeapText lookupName = accountForLookup(accountName, computer);
    CProcessHeapBlock sidBlock(lookupName ? HeapAlloc(heap, 0, sidBytes) : nullptr);
    CProcessHeapBlock domain(sidBlock ? HeapAlloc(heap, 0, domainCharacters * sizeof(wchar_t)) : nullptr);
    while (domain) {
        SID_NAME_USE use;
        DWORD sidSize = sidBytes;
        DWORD domainSize = domainCharacters;
        if (LookupAccountNameW(systemName, lookupName.get(), sidBlock.get(), &sidSize,
                               static_cast<wchar_t*>(domain.get()), &domainSize, &use)) {
            if (!inNamedDomain(systemName, lookupName.get(), static_cast<const wchar_t*>(domain.get()))) {
                error = ERROR_NONE_MAPPED;
                break;
            }
            *sid = sidBlock.detach();
            return 1;
        }
        error = GetLastError();
        // Growing is only worth another lookup when the call asked for more room.
        if (error != ERROR_INSUFFICIENT_BUFFER || (sidSize <= sidBytes && domainSize <= domainCharacters)) {
            break;
        }
        if ((sidSize > sidBytes && !growBlock(heap, sidBlock, sidSize)) ||
            (domainSize > domainCharacters && !growBlock(heap, domain, domainSize * sizeof(wchar_t)))) {
            error = ERROR_NOT_ENOUGH_MEMORY;
            break;
        }
        sidBytes = sidSize > sidBytes ? sidSize : sidBytes;
        domainCharacters = domainSize > domainCharacters ? domainSize : domainCharacters;
    }
    // The owners keep the last error while they free the blocks.
    SetLastError(error);
    return 0;
}

int GetAccountSid(const wchar_t* systemName, const wchar_t* accountName, PSID* sid) {
    return lookupAccountSid(systemName, accountName, sid, kInitialSidBytes, kInitialDomainCharacters);
}

NTSTATUS SetPrivilegeOnAccount(LSA_HANDLE policy, PSID sid, const wchar_t* rightName, int enable) {
    LSA_UNICODE_STRING right;
    InitLsaString(&right, rightName);
    if (enable) {
        return LsaAddAccountRights(policy, sid, &right, 1);
    }
    return LsaRemoveAccountRights(policy, sid, FALSE, &right, 1);
}

long SetServiceRightW(const wchar_t* accountName, const wchar_t* systemName, CLocalMemory* sidText) {
    if (accountName == nullptr || accountName[0] == L'\0') {
        return ERROR_INVALID_PARAMETER;
    }
    CLsaHandle policy;
    const NTSTATUS opened = OpenPolicy(systemName, POLICY_CREATE_ACCOUNT | POLICY_LOOKUP_NAMES, policy.put());
    if (opened != 0) {
        // A failed open hands back no handle to close.
        policy.detach();
        return opened;
    }
    PSID sid = nullptr;
    if (!GetAccountSid(nullptr, accountName, &sid)) {
        return static_cast<long>(GetLastError());
    }
    const CProcessHeapBlock owner(sid);
    const NTSTATUS granted = SetPrivilegeOnAccount(policy.get(), sid, kServiceLogonRight, 1);
    if (granted == 0 && sidText != nullptr) {
        ConvertSidToStringSidW(sid, reinterpret_cast<LPWSTR*>(sidText->put()));
    }
    return granted;
}
