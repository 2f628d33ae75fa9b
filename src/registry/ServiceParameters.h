#pragma once
// Reading and writing the values of a service's Parameters subkey
// (HKLM\SYSTEM\CurrentControlSet\Services\<name>\Parameters). Each call opens
// and closes its own key; nothing is kept between calls.
#include <windows.h>

#include "common/ExitCodes.h"
#include "common/HeapText.h"

class CLogger;


// Writes text as REG_SZ (terminator included) under valueName of an open key,
// which stays open. 0, or 12 after logging the failure.
int setRegStrValue(HKEY key, const wchar_t* valueName, const wchar_t* text, CLogger* logger);

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
