#pragma once
// Reading and writing the values of a service's Parameters subkey
// (HKLM\SYSTEM\CurrentControlSet\Services\<name>\Parameters). A start reads
// them all at once (registry/StartSettings.h); each call here opens and closes
// its own key.
#include <windows.h>

#include "common/ExitCodes.h"
#include "common/HeapText.h"
#include "common/Win32Handle.h"

class CLogger;


// Writes text as REG_SZ (terminator included) under valueName of an open key,
// which stays open. 0, or 12 after logging the failure.
int setRegStrValue(HKEY key, const wchar_t* valueName, const wchar_t* text, CLogger* logger);

// The step of a Parameters read that failed.
enum class EParameterReadStep { none, keyOpen, sizeQuery, valueQuery };

// One Parameters value as read: its text as stored (null when there is none),
// or the failed step and the registry's answer.
struct CParameterRead {
    CHeapText text;
    EParameterReadStep failedStep = EParameterReadStep::none;
    LONG failure = ERROR_SUCCESS;
};

// Opens the service's Parameters key for queries into key; the failure, if
// any (a name too long for memory leaves key empty and says nothing).
CParameterRead openParametersKey(const wchar_t* serviceName, CRegKey* key);
// One value of an open Parameters key, unexpanded.
CParameterRead readParameter(HKEY key, const wchar_t* valueName);
// Says why a read found no value, with the system's reason; nothing when it did not fail.
void logParameterReadFailure(CLogger* logger, const wchar_t* serviceName, const wchar_t* valueName,
                             const CParameterRead& read);

// One Parameters value as a newly allocated string owned by the result, or null when the
// key or value is missing or unreadable. logErrors: report each failure through
// the logger; expandEnvironment: replace %NAME% references (expandEnvStrings).
CHeapText getRegServiceParam(const wchar_t* serviceName, const wchar_t* valueName, CLogger* logger, int logErrors,
                             int expandEnvironment);

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
