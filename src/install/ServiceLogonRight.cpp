#include "install/ServiceLogonRight.h"

#include <cwchar>

#include "common/Win32Handle.h"

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
    CProcessHeapBlock sidBlock(HeapAlloc(heap, 0, sidBytes));
    CProcessHeapBlock domain(sidBlock ? HeapAlloc(heap, 0, domainCharacters * sizeof(wchar_t)) : nullptr);
    *sid = nullptr;
    while (domain) {
        SID_NAME_USE use;
        DWORD sidSize = sidBytes;
        DWORD domainSize = domainCharacters;
        if (LookupAccountNameW(systemName, accountName, sidBlock.get(), &sidSize,
                               static_cast<wchar_t*>(domain.get()), &domainSize, &use)) {
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

long SetServiceRightW(const wchar_t* accountName, const wchar_t* systemName) {
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
    return SetPrivilegeOnAccount(policy.get(), sid, kServiceLogonRight, 1);
}
