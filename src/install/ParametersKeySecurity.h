#pragma once
// The Parameters key of a service that keeps secrets: a protected DACL (no
// entry inherited from the service key) that lets LocalSystem and
// Administrators do anything and the service's account read, nobody else.
#include <windows.h>

class CLogger;

// accountName as given with -a; null for LocalSystem. Creates the key when
// missing. 0, or the Win32 error (the account lookup's among them).
DWORD restrictParametersKey(const wchar_t* serviceName, const wchar_t* accountName);

// Restricts the key before a first secret is written, so that no secret ever
// stands under an open key: 0, or kRegistryWriteError with the message logged.
int restrictParametersKeyForSecrets(const wchar_t* serviceName, const wchar_t* accountName, CLogger* logger);

// Writes text, protected for this computer, as the Parameters value valueName
// (REG_BINARY): 0, or the write's error with the message logged.
int writeProtectedSecret(const wchar_t* serviceName, const wchar_t* valueName, const wchar_t* text,
                         CLogger* logger);
