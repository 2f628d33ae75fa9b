#include "registry/ServiceParameters.h"

#include <cwchar>
#include <utility>

#include "common/CTextBuilder.h"
#include "common/HeapText.h"
#include "common/RegistryLayout.h"
#include "common/Win32Handle.h"
#include "log/CLogger.h"
#include "registry/TextExpansion.h"

namespace {

// Most values are short: one query reads them whole.
constexpr DWORD kFirstGuessBytes = 512;

}  // namespace

CParameterRead readParameter(HKEY key, const wchar_t* valueName) {
    CParameterRead read;
    DWORD size = kFirstGuessBytes;
    // Read into a zeroed block over twice the size announced to the query, so
    // that whatever the stored type the text ends in at least two zero
    // characters. One query when the value fits the first guess, else a second
    // with its size; a value that grows between the queries asks for a third.
    for (int query = 0;; ++query) {
        const std::size_t announced = static_cast<std::size_t>(size) + 4;
        CHeapText value = allocateZeroed<wchar_t>(announced + 4);
        if (!value || static_cast<DWORD>(announced) != announced) {
            return read;
        }
        DWORD capacity = static_cast<DWORD>(announced);
        const LONG status =
            RegQueryValueExW(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(value.get()), &capacity);
        if (status == ERROR_SUCCESS) {
            read.text = std::move(value);
            return read;
        }
        if (status != ERROR_MORE_DATA || query == 2) {
            read.failedStep = query == 0 ? EParameterReadStep::sizeQuery : EParameterReadStep::valueQuery;
            read.failure = status;
            return read;
        }
        size = capacity;
    }
}

CParameterRead openParametersKey(const wchar_t* serviceName, CRegKey* key) {
    CParameterRead failure;
    CTextBuilder path;
    appendParametersKeyPath(path, serviceName);
    if (!path.failed()) {
        const LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.text(), 0, KEY_QUERY_VALUE, key->put());
        if (status != ERROR_SUCCESS) {
            failure.failedStep = EParameterReadStep::keyOpen;
            failure.failure = status;
        }
    }
    return failure;
}

void logParameterReadFailure(CLogger* logger, const wchar_t* serviceName, const wchar_t* valueName,
                             const CParameterRead& read) {
    if (read.failedStep == EParameterReadStep::keyOpen) {
        CTextBuilder path;
        appendParametersKeyPath(path, serviceName);
        logger->logMessage(L"Cannot open registry key ", path.text());
    } else if (read.failedStep != EParameterReadStep::none) {
        logger->logMessage(read.failedStep == EParameterReadStep::sizeQuery ? L"Error getting size of value "
                                                                           : L"Error getting value ",
                           valueName);
    } else {
        return;
    }
    logger->logSystemError(static_cast<unsigned long>(read.failure));
}

int setRegStrValue(HKEY key, const wchar_t* valueName, const wchar_t* text, CLogger* logger) {
    const std::size_t bytes = (std::wcslen(text) + 1) * sizeof(wchar_t);
    LONG status = ERROR_INVALID_PARAMETER;
    if (static_cast<DWORD>(bytes) == bytes) {
        status = RegSetValueExW(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                static_cast<DWORD>(bytes));
    }
    if (status != ERROR_SUCCESS) {
        logger->logMessage(L"Error setting value in registry for ", valueName);
        logFailure(logger, L"Error code: ", static_cast<unsigned long>(status));
        return kRegistryWriteError;
    }
    return 0;
}

CHeapText getRegServiceParam(const wchar_t* serviceName, const wchar_t* valueName, CLogger* logger, int logErrors,
                             int expandEnvironment) {
    CRegKey key;
    CParameterRead read = openParametersKey(serviceName, &key);
    if (key) {
        read = readParameter(key.get(), valueName);
    }
    if (logErrors) {
        logParameterReadFailure(logger, serviceName, valueName, read);
    }
    if (read.text && expandEnvironment) {
        return expandEnvStrings(read.text.get());
    }
    return std::move(read.text);
}

CHeapText getRegServiceParameter(const wchar_t* serviceName, const wchar_t* valueName, CLogger* logger) {
    return getRegServiceParam(serviceName, valueName, logger, 1, 1);
}

namespace {

// Creates or opens the Parameters subkey for writing: 0, 9 or 12, failures logged.
int openParametersForWriting(const wchar_t* serviceName, CLogger* logger, CRegKey* key) {
    CTextBuilder path;
    appendParametersKeyPath(path, serviceName);
    if (path.failed()) {
        logger->logMessage(L"Memory Error in setRegServiceParameter");
        return kMemoryError;
    }
    const LONG status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.text(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                        KEY_WRITE, nullptr, key->put(), nullptr);
    if (status != ERROR_SUCCESS) {
        logFailure(logger, L"Cannot open registry to save config information.  Service will not run correctly.",
                   static_cast<unsigned long>(status));
        return kRegistryWriteError;
    }
    return 0;
}

}  // namespace

int setRegServiceParameter(const wchar_t* serviceName, const wchar_t* valueName, const wchar_t* text,
                           CLogger* logger) {
    CRegKey key;
    const int opened = openParametersForWriting(serviceName, logger, &key);
    if (opened != 0) {
        return opened;
    }
    if (text == nullptr) {
        // Deleting a value that is not there is what the caller wanted too.
        RegDeleteValueW(key.get(), valueName);
        return 0;
    }
    return setRegStrValue(key.get(), valueName, text, logger);
}

int setRegServiceBinary(const wchar_t* serviceName, const wchar_t* valueName, const unsigned char* bytes,
                        DWORD size, CLogger* logger) {
    CRegKey key;
    const int opened = openParametersForWriting(serviceName, logger, &key);
    if (opened != 0) {
        return opened;
    }
    const LONG status = RegSetValueExW(key.get(), valueName, 0, REG_BINARY, bytes, size);
    if (status != ERROR_SUCCESS) {
        logger->logMessage(L"Error setting value in registry for ", valueName);
        logFailure(logger, L"Error code: ", static_cast<unsigned long>(status));
        return kRegistryWriteError;
    }
    return 0;
}
