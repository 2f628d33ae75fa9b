#include "registry/TraceSwitch.h"

#include <cwchar>

#include "common/RegistryLayout.h"
#include "common/Win32Handle.h"
#include "log/CLogger.h"

void enableTracing(const wchar_t* path, CLogger* logger) {
    if (path != nullptr && _wcsicmp(path, L"OFF") != 0) {
        CRegKey key;
        LONG status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kProgramKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                                      nullptr, key.put(), nullptr);
        if (status != ERROR_SUCCESS) {
            logFailure(logger, L"Cannot open registry to turn on trace.", static_cast<unsigned long>(status));
            return;
        }
        const DWORD bytes = static_cast<DWORD>((std::wcslen(path) + 1) * sizeof(wchar_t));
        status = RegSetValueExW(key.get(), kTraceValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(path), bytes);
        if (status != ERROR_SUCCESS) {
            logFailure(logger, L"Error enabling trace.  Cannot write to registry.", static_cast<unsigned long>(status));
        } else {
            logger->logMessage(L"Trace enabled.  Logging to file : ", path,
                               L" will begin next time a Pravik process starts.");
        }
        return;
    }
    CRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProgramKeyPath, 0, KEY_WRITE, key.put()) != ERROR_SUCCESS) {
        return;
    }
    const LONG status = RegDeleteValueW(key.get(), kTraceValue);
    if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) {
        logger->logMessage(L"Trace disabled.");
    } else {
        logFailure(logger, L"Error disabling trace.  Cannot write to registry.", static_cast<unsigned long>(status));
    }
}
