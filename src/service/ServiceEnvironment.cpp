#include "service/ServiceEnvironment.h"

#include <windows.h>

#include <cwchar>

#include "common/CTextBuilder.h"
#include "common/ExitCodes.h"
#include "common/HeapText.h"
#include "common/RegistryLayout.h"
#include "log/CLogger.h"
#include "log/TraceScope.h"
#include "registry/ParameterValues.h"
#include "registry/SecretProtection.h"
#include "registry/TextExpansion.h"

namespace {

void setEnvironmentValues(CLogger* logger, const wchar_t* serviceName) {
    CParameterValues values;
    const DWORD error = values.read(serviceName, kEnvironmentValuePrefix);
    if (error != 0) {
        logFailure(logger, L"Cannot read the service's environment variables", error);
        return;
    }
    const std::size_t prefixLength = std::wcslen(kEnvironmentValuePrefix);
    for (std::size_t index = 0; index < values.count(); ++index) {
        const CParameterValue& value = values.at(index);
        const wchar_t* name = value.name.get() + prefixLength;
        if (value.type != REG_SZ && value.type != REG_EXPAND_SZ) {
            logger->logMessage(L"The value is not a text and is not set: ", value.name.get());
            continue;
        }
        const CHeapText expanded = expandEnvStrings(value.text());
        if (!expanded || !SetEnvironmentVariableW(name, expanded.get())) {
            logFailure(logger, L"Cannot set the environment variable", expanded ? GetLastError() : ERROR_OUTOFMEMORY);
            logger->logMessage(L"The variable not set: ", name);
            continue;
        }
        CTextBuilder line;
        line.append(name).appendChar(L'=').append(expanded.get());
        logger->logMessage(L"Environment variable set: ", line.text());
    }
}

int setSecrets(CLogger* logger, const wchar_t* serviceName) {
    CParameterValues values;
    const DWORD read = values.read(serviceName, kSecretValuePrefix);
    if (read != 0) {
        logFailure(logger, L"Cannot read the service's secrets", read);
        return kSecretNotReadable;
    }
    const std::size_t prefixLength = std::wcslen(kSecretValuePrefix);
    for (std::size_t index = 0; index < values.count(); ++index) {
        const CParameterValue& value = values.at(index);
        CSecretText text;
        const DWORD error = value.type == REG_BINARY ? unprotectSecret(value.data.get(), value.size, &text)
                                                     : static_cast<DWORD>(ERROR_INVALID_DATATYPE);
        if (error != 0) {
            logger->logMessage(L"The secret cannot be unprotected: ", value.name.get());
            logFailure(logger, L"CryptUnprotectData failed", error);
            return kSecretNotReadable;
        }
        const wchar_t* name = value.name.get() + prefixLength;
        if (!SetEnvironmentVariableW(name, text.get())) {
            logFailure(logger, L"Cannot set the environment variable", GetLastError());
            logger->logMessage(L"The secret not set: ", value.name.get());
            return kSecretNotReadable;
        }
        logger->logMessage(L"Secret set as environment variable: ", name);
    }
    return 0;
}

}  // namespace

int applyServiceEnvironment(CLogger* logger, const wchar_t* serviceName) {
    CTraceScope trace(logger, L"applyServiceEnvironment");
    setEnvironmentValues(logger, serviceName);
    return trace.exit(setSecrets(logger, serviceName));
}
