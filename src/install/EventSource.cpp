#include "install/EventSource.h"

#include <windows.h>

#include <cwchar>

#include "common/AsciiCase.h"
#include "common/CTextBuilder.h"
#include "common/HeapText.h"
#include "common/OwnProgramPath.h"
#include "common/RegistryReaders.h"
#include "common/Win32Handle.h"
#include "log/CLogger.h"

namespace {

const wchar_t* const kApplicationSourcesKeyPath = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";
const wchar_t* const kMessageFileValue = L"EventMessageFile";
const wchar_t* const kTypesSupportedValue = L"TypesSupported";
const DWORD kTypesWritten = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;

// Not fatal: a running service whose events lack their texts beats no service.
void warnNotRegistered(CLogger* logger, unsigned long code) {
    logFailure(logger, L"Warning: cannot register the service as an event source of the Application log, error",
               code);
    logger->logMessage(L"The service is installed all the same; its events show without their texts.");
}

// Whether an existing source is pravik's own: its message file (references
// expanded) is a file named pravik.exe, in any folder and letter case, or the
// very program the service runs (a binaryPath of another name; null when not
// known). Any other key is another program's, and pravik neither changes nor deletes it.
bool isOwnSource(HKEY key, const wchar_t* serviceProgram, CHeapText* messageFile) {
    *messageFile = readRegString(key, nullptr, kMessageFileValue);
    if (!*messageFile) {
        return false;
    }
    if (serviceProgram != nullptr &&
        CompareStringOrdinal(messageFile->get(), -1, serviceProgram, -1, TRUE) == CSTR_EQUAL) {
        return true;
    }
    const wchar_t* name = messageFile->get();
    for (const wchar_t* cursor = name; *cursor != L'\0'; ++cursor) {
        if (*cursor == L'\\' || *cursor == L'/') {
            name = cursor + 1;
        }
    }
    return equalsIgnoringAsciiCase(name, L"pravik.exe");
}

// Another program's source of the same name is left alone (install and removal).
void reportForeignSource(CLogger* logger, const wchar_t* serviceName, const CHeapText& messageFile) {
    CTextBuilder text;
    text.append(L"Warning: the event source ").append(serviceName).append(L" of the Application log belongs to ");
    text.append(L"another program (").append(messageFile ? messageFile.get() : L"no EventMessageFile");
    text.append(L"); it is left as it is.");
    logger->logMessage(text.failed() ? L"Memory error." : text.text());
}

LONG writeSourceValues(HKEY key, const wchar_t* messageFile) {
    const DWORD fileBytes = static_cast<DWORD>((std::wcslen(messageFile) + 1) * sizeof(wchar_t));
    LONG result = RegSetValueExW(key, kMessageFileValue, 0, REG_EXPAND_SZ,
                                 reinterpret_cast<const BYTE*>(messageFile), fileBytes);
    if (result == ERROR_SUCCESS) {
        result = RegSetValueExW(key, kTypesSupportedValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&kTypesWritten),
                                sizeof(kTypesWritten));
    }
    return result;
}

}  // namespace

void registerEventSource(CLogger* logger, const wchar_t* serviceName, const wchar_t* messageFile) {
    CHeapText ownPath;
    if (messageFile == nullptr) {
        DWORD error = 0;
        ownPath = ownProgramPath(&error);
        if (!ownPath) {
            warnNotRegistered(logger, error);
            return;
        }
        messageFile = ownPath.get();
    }
    CTextBuilder keyPath;
    keyPath.append(kApplicationSourcesKeyPath).append(serviceName);
    if (keyPath.failed()) {
        warnNotRegistered(logger, ERROR_NOT_ENOUGH_MEMORY);
        return;
    }
    CRegKey key;
    DWORD disposition = 0;
    // An existing key of pravik's (a reinstall) is opened and its values overwritten.
    LONG result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath.text(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, key.put(), &disposition);
    CHeapText existingFile;
    if (result == ERROR_SUCCESS && disposition == REG_OPENED_EXISTING_KEY &&
        !isOwnSource(key.get(), messageFile, &existingFile)) {
        reportForeignSource(logger, serviceName, existingFile);
        return;
    }
    if (result == ERROR_SUCCESS) {
        result = writeSourceValues(key.get(), messageFile);
    }
    if (result != ERROR_SUCCESS) {
        warnNotRegistered(logger, static_cast<unsigned long>(result));
    }
}

void removeEventSource(CLogger* logger, const wchar_t* serviceName, const wchar_t* imagePath) {
    // The program is the image path's first argument, quoted as install writes it.
    CTextBuilder program;
    if (imagePath != nullptr && imagePath[0] == L'"') {
        for (const wchar_t* cursor = imagePath + 1; *cursor != L'\0' && *cursor != L'"'; ++cursor) {
            program.appendChar(*cursor);
        }
    }
    CTextBuilder keyPath;
    keyPath.append(kApplicationSourcesKeyPath).append(serviceName);
    CRegKey key;
    LONG result = keyPath.failed() ? ERROR_NOT_ENOUGH_MEMORY
                                   : RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.text(), 0, KEY_QUERY_VALUE, key.put());
    CHeapText existingFile;
    const wchar_t* serviceProgram = program.length() != 0 && !program.failed() ? program.text() : nullptr;
    if (result == ERROR_SUCCESS && !isOwnSource(key.get(), serviceProgram, &existingFile)) {
        reportForeignSource(logger, serviceName, existingFile);
        return;
    }
    if (result == ERROR_SUCCESS) {
        result = RegDeleteKeyW(HKEY_LOCAL_MACHINE, keyPath.text());
    }
    if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) {
        logFailure(logger, L"Cannot remove the service's event source.", static_cast<unsigned long>(result));
    }
}
