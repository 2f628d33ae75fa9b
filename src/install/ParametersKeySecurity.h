#pragma once
// The Parameters key of a service that keeps secrets: a protected DACL (no
// entry inherited from the service key) that lets LocalSystem and
// Administrators do anything and the service's account read, nobody else.
#include <windows.h>

// accountName as given with -a; null for LocalSystem. Creates the key when
// missing. 0, or the Win32 error (the account lookup's among them).
DWORD restrictParametersKey(const wchar_t* serviceName, const wchar_t* accountName);
