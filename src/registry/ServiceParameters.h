#pragma once
// Reading and writing the values of a service's Parameters subkey
// (HKLM\SYSTEM\CurrentControlSet\Services\<name>\Parameters). Each call opens
// and closes its own key, unless a CParametersKeyScope of the calling thread
// holds that service's key open.
#include <windows.h>

#include "common/ExitCodes.h"
#include "common/HeapText.h"
#include "common/Win32Handle.h"

class CLogger;


// Writes text as REG_SZ (terminator included) under valueName of an open key,
// which stays open. 0, or 12 after logging the failure.
int setRegStrValue(HKEY key, const wchar_t* valueName, const wchar_t* text, CLogger* logger);

// One Parameters value as a newly allocated string owned by the result, or null when the
// key or value is missing or unreadable. logErrors: report each failure through
// the logger; expandEnvironment: replace %NAME% references (expandEnvStrings).
CHeapText getRegServiceParam(const wchar_t* serviceName, const wchar_t* valueName, CLogger* logger, int logErrors,
                             int expandEnvironment);

// Keeps one service's Parameters key open on the constructing thread while it
// lives: that thread's reads of the service's values share it (a start reads a
// dozen values, and each open and close is a round trip to the registry). The
// values are read afresh each time. When the key cannot be opened, reads open
// it themselves and report as they do without a scope.
class CParametersKeyScope {
public:
    explicit CParametersKeyScope(const wchar_t* serviceName);
    ~CParametersKeyScope();
    CParametersKeyScope(const CParametersKeyScope&) = delete;
    CParametersKeyScope& operator=(const CParametersKeyScope&) = delete;

    // The open key of this thread's scope for the service, or null.
    static HKEY keyFor(const wchar_t* serviceName);

private:
    const wchar_t* serviceName;
    CRegKey key;
    // The scope this one hides, restored when it ends.
    CParametersKeyScope* outer;
};

// getRegServiceParam with failures reported and references expanded.
CHeapText getRegServiceParameter(const wchar_t* serviceName, const wchar_t* valueName, CLogger* logger);

// Creates the Parameters subkey if needed and stores text as REG_SZ; null text
// deletes the value instead (a value that does not exist is no error).
// 0, 9 (memory) or 12 (registry), failures logged.
int setRegServiceParameter(const wchar_t* serviceName, const wchar_t* valueName, const wchar_t* text,
                           CLogger* logger);

// Creates the Parameters subkey if needed and stores the bytes as REG_BINARY:
// 0, 9 or 12, failures logged (the bytes never).
int setRegServiceBinary(const wchar_t* serviceName, const wchar_t* valueName, const unsigned char* bytes,
                        DWORD size, CLogger* logger);
