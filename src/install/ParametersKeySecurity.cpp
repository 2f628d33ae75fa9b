#include "install/ParametersKeySecurity.h"

#include <sddl.h>

#include "common/AsciiCase.h"
#include "common/ExitCodes.h"
#include "common/CTextBuilder.h"
#include "common/RegistryLayout.h"
#include "common/Win32Handle.h"
#include "install/ServiceLogonRight.h"
#include "log/CLogger.h"
#include "registry/SecretProtection.h"
#include "registry/ServiceParameters.h"

namespace {

// The names the service control manager takes for LocalSystem, which LookupAccountNameW does not know.
bool isLocalSystem(const wchar_t* accountName) {
    return accountName == nullptr || equalsIgnoringAsciiCase(accountName, L"LocalSystem") ||
           equalsIgnoringAsciiCase(accountName, L".\\LocalSystem");
}

}  // namespace

DWORD restrictParametersKey(const wchar_t* serviceName, const wchar_t* accountName) {
    CTextBuilder sddl;
    sddl.append(L"D:P(A;;KA;;;SY)(A;;KA;;;BA)");
    if (!isLocalSystem(accountName)) {
        PSID sid = nullptr;
        if (!GetAccountSid(nullptr, accountName, &sid)) {
            return GetLastError();
        }
        const CProcessHeapBlock owner(sid);
        LPWSTR sidText = nullptr;
        if (!ConvertSidToStringSidW(sid, &sidText)) {
            return GetLastError();
        }
        const CLocalMemory text(sidText);
        sddl.append(L"(A;;KR;;;").append(sidText).appendChar(L')');
    }
    CTextBuilder path;
    appendParametersKeyPath(path, serviceName);
    if (sddl.failed() || path.failed()) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    PSECURITY_DESCRIPTOR made = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.text(), SDDL_REVISION_1, &made, nullptr)) {
        return GetLastError();
    }
    const CLocalMemory descriptor(made);
    CRegKey key;
    const LONG opened = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.text(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                        WRITE_DAC, nullptr, key.put(), nullptr);
    if (opened != ERROR_SUCCESS) {
        return static_cast<DWORD>(opened);
    }
    // The descriptor carries SE_DACL_PROTECTED ("D:P"), which SetSecurityInfo's
    // PROTECTED_DACL_SECURITY_INFORMATION would set; Wine 8 keeps it only this way.
    return static_cast<DWORD>(RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, made));
}

int restrictParametersKeyForSecrets(const wchar_t* serviceName, const wchar_t* accountName, CLogger* logger) {
    const DWORD error = restrictParametersKey(serviceName, accountName);
    if (error != 0) {
        logFailure(logger, L"Cannot restrict the Parameters key to the service's account; no secret is stored", error);
        return kRegistryWriteError;
    }
    return 0;
}

int writeProtectedSecret(const wchar_t* serviceName, const wchar_t* valueName, const wchar_t* text,
                         CLogger* logger) {
    CSecretBlob blob;
    const DWORD error = protectSecret(text, &blob);
    if (error != 0) {
        logger->logMessage(L"Cannot protect the value of ", valueName);
        logFailure(logger, L"CryptProtectData failed", error);
        return kRegistryWriteError;
    }
    return setRegServiceBinary(serviceName, valueName, blob.bytes.get(), blob.size, logger);
}
