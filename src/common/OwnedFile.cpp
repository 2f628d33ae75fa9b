#include "common/OwnedFile.h"

#include <sddl.h>

#include "common/CTextBuilder.h"
#include "common/HeapText.h"
#include "common/Win32Handle.h"

namespace {

// The SID text of the token's user, and of its service SID when it has one
// (S-1-5-80-...): the account the service runs as.
bool appendOwnAccounts(CTextBuilder& sddl) {
    CKernelHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) {
        return false;
    }
    for (TOKEN_INFORMATION_CLASS kind : {TokenUser, TokenGroups}) {
        DWORD size = 0;
        GetTokenInformation(token.get(), kind, nullptr, 0, &size);
        CHeapPtr<unsigned char> block = allocateZeroed<unsigned char>(size);
        if (!block || !GetTokenInformation(token.get(), kind, block.get(), size, &size)) {
            return false;
        }
        auto grant = [&sddl](PSID sid) {
            CLocalMemory text;
            LPWSTR sidText = nullptr;
            if (ConvertSidToStringSidW(sid, &sidText)) {
                text.reset(sidText);
                sddl.append(L"(A;;FA;;;").append(sidText).appendChar(L')');
            }
        };
        if (kind == TokenUser) {
            grant(reinterpret_cast<TOKEN_USER*>(block.get())->User.Sid);
            continue;
        }
        const auto* groups = reinterpret_cast<TOKEN_GROUPS*>(block.get());
        SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
        for (DWORD index = 0; index < groups->GroupCount; ++index) {
            PSID sid = groups->Groups[index].Sid;
            const SID_IDENTIFIER_AUTHORITY* authority = GetSidIdentifierAuthority(sid);
            if (memcmp(authority, &nt, sizeof(nt)) == 0 && *GetSidSubAuthorityCount(sid) > 0 &&
                *GetSidSubAuthority(sid, 0) == SECURITY_SERVICE_ID_BASE_RID) {
                grant(sid);
            }
        }
    }
    return !sddl.failed();
}

// Protected from the folder's inherited entries: under a shared folder the
// output would otherwise be every user's to read.
bool ownerOnlyDescriptor(CLocalMemory* descriptor) {
    CTextBuilder sddl;
    sddl.append(L"D:P(A;;FA;;;SY)(A;;FA;;;BA)");
    PSECURITY_DESCRIPTOR made = nullptr;
    if (!appendOwnAccounts(sddl) ||
        !ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.text(), SDDL_REVISION_1, &made, nullptr)) {
        return false;
    }
    descriptor->reset(made);
    return true;
}

// A reparse point, or a file with another name besides this one.
bool isRefused(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!GetFileInformationByHandle(file, &information)) {
        return true;
    }
    return (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || information.nNumberOfLinks > 1;
}

}  // namespace

HANDLE openOwnedFile(const wchar_t* name, DWORD access, DWORD share) {
    CLocalMemory descriptor;
    if (!ownerOnlyDescriptor(&descriptor)) {
        return INVALID_HANDLE_VALUE;
    }
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor.get(), FALSE};
    // The descriptor applies only when the file is created; an existing file keeps its own.
    // Reading the attributes is what tells a link from the file itself.
    CFileHandle file(CreateFileW(name, access | FILE_READ_ATTRIBUTES, share, &attributes, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (file && isRefused(file.get())) {
        file.reset();
        SetLastError(kFileNotOwnable);
    }
    return file.detach();
}

bool isOwnableFile(const wchar_t* name) {
    const CFileHandle file(CreateFileW(name, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                       nullptr));
    if (!file) {
        return false;
    }
    if (isRefused(file.get())) {
        SetLastError(kFileNotOwnable);
        return false;
    }
    return true;
}
