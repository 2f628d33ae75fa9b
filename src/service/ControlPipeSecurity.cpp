#include "service/ControlPipeSecurity.h"

#include <sddl.h>

#include "common/CTextBuilder.h"
#include "common/HeapText.h"

namespace {

// The longest path the system takes, terminator included.
const DWORD kLongestPath = 32768;

// A token's information of one kind, in a block of the size it needs; null on failure.
CHeapPtr<unsigned char> tokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind) {
    DWORD size = 0;
    GetTokenInformation(token, kind, nullptr, 0, &size);
    CHeapPtr<unsigned char> block = allocateZeroed<unsigned char>(size);
    if (size == 0 || !block || !GetTokenInformation(token, kind, block.get(), size, &size)) {
        return nullptr;
    }
    return block;
}

CHeapPtr<unsigned char> processUser(HANDLE process) {
    CKernelHandle token;
    if (!OpenProcessToken(process, TOKEN_QUERY, token.put())) {
        return nullptr;
    }
    return tokenInformation(token.get(), TokenUser);
}

const SID* userOf(const CHeapPtr<unsigned char>& tokenUser) {
    return static_cast<const SID*>(reinterpret_cast<const TOKEN_USER*>(tokenUser.get())->User.Sid);
}

// Whether the token holds the Administrators group enabled (not for deny only, as in a filtered token).
bool isAdministrator(HANDLE token) {
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof(administrators);
    CHeapPtr<unsigned char> block = tokenInformation(token, TokenGroups);
    if (!block || !CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &sidSize)) {
        return false;
    }
    const TOKEN_GROUPS* groups = reinterpret_cast<const TOKEN_GROUPS*>(block.get());
    for (DWORD index = 0; index < groups->GroupCount; ++index) {
        const SID_AND_ATTRIBUTES& group = groups->Groups[index];
        if ((group.Attributes & SE_GROUP_ENABLED) != 0 && (group.Attributes & SE_GROUP_USE_FOR_DENY_ONLY) == 0 &&
            EqualSid(group.Sid, administrators)) {
            return true;
        }
    }
    return false;
}

// Whether a process runs as this process's user, as LocalSystem or as an administrator.
bool isTrustedProcess(HANDLE process) {
    CKernelHandle token;
    if (!OpenProcessToken(process, TOKEN_QUERY, token.put())) {
        return false;
    }
    CHeapPtr<unsigned char> otherUser = tokenInformation(token.get(), TokenUser);
    CHeapPtr<unsigned char> ownUser = processUser(GetCurrentProcess());
    if (!otherUser || !ownUser) {
        return false;
    }
    SID* sid = const_cast<SID*>(userOf(otherUser));
    return EqualSid(sid, const_cast<SID*>(userOf(ownUser))) || IsWellKnownSid(sid, WinLocalSystemSid) ||
           isAdministrator(token.get());
}

// The full path of a process's program file; null when it cannot be had.
CHeapText programPathOf(HANDLE process) {
    DWORD size = kLongestPath;
    CHeapText path = allocateZeroed<wchar_t>(size);
    if (!path || !QueryFullProcessImageNameW(process, 0, path.get(), &size)) {
        return nullptr;
    }
    return path;
}

}  // namespace

CLocalMemory controlPipeSecurity(DWORD* error) {
    CHeapPtr<unsigned char> user = processUser(GetCurrentProcess());
    CLocalMemory userText;
    if (!user || !ConvertSidToStringSidW(const_cast<SID*>(userOf(user)), reinterpret_cast<LPWSTR*>(userText.put()))) {
        *error = GetLastError();
        return CLocalMemory();
    }
    // Protected, so that nothing is inherited; FA is all access to a file or pipe.
    CTextBuilder text;
    text.append(L"D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FA;;;").append(static_cast<const wchar_t*>(userText.get())).appendChar(L')');
    CLocalMemory descriptor;
    if (text.failed()) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
    } else if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(text.text(), SDDL_REVISION_1,
                                                                     descriptor.put(), nullptr)) {
        *error = GetLastError();
    }
    return descriptor;
}

bool isTrustedPipeServer(HANDLE pipe, ULONG* serverId) {
    *serverId = 0;
    if (!GetNamedPipeServerProcessId(pipe, serverId)) {
        return false;
    }
    const CKernelHandle server(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, *serverId));
    return server && isTrustedProcess(server.get());
}

bool isOwnInstancePipeServer(HANDLE pipe) {
    ULONG serverId = 0;
    if (!isTrustedPipeServer(pipe, &serverId)) {
        return false;
    }
    // The server holds the pipe, so its id still names it.
    const CKernelHandle server(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, serverId));
    // Both paths as the system names the image files, so the same file gives the same text.
    const CHeapText serverProgram = server ? programPathOf(server.get()) : nullptr;
    const CHeapText ownProgram = programPathOf(GetCurrentProcess());
    return serverProgram && ownProgram &&
           CompareStringOrdinal(serverProgram.get(), -1, ownProgram.get(), -1, TRUE) == CSTR_EQUAL;
}
