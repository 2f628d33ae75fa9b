#pragma once
// Granting an account the right to log on as a service, through the Local
// Security Authority of a computer. Nothing here logs: callers report results.
#include <windows.h>
#include <ntsecapi.h>

#include "common/Win32Handle.h"

// Points the string at text (not copied: text must outlive every use); null
// text gives an empty string without buffer.
void InitLsaString(LSA_UNICODE_STRING* string, const wchar_t* text);

// LsaOpenPolicy of the named computer (null: this one).
NTSTATUS OpenPolicy(const wchar_t* systemName, unsigned long desiredAccess, LSA_HANDLE* policy);

// Non-zero when the account's SID was found; *sid then holds it in process-heap
// memory that the caller releases with HeapFree. On failure *sid is null, no
// memory is left allocated and GetLastError tells why. The account is exactly
// the one named: ".\name" is this computer's, and a DOMAIN\name found in
// another domain (which Wine 8 answers for any unknown domain) fails with
// ERROR_NONE_MAPPED.
int GetAccountSid(const wchar_t* systemName, const wchar_t* accountName, PSID* sid);

// GetAccountSid with the first lookup made with the given buffer sizes (bytes
// of SID, characters of domain name); the buffers grow as the lookup asks.
int lookupAccountSid(const wchar_t* systemName, const wchar_t* accountName, PSID* sid, DWORD sidBytes,
                     DWORD domainCharacters);

// Adds (enable non-zero) or removes the one right; the status of the LSA call.
NTSTATUS SetPrivilegeOnAccount(LSA_HANDLE policy, PSID sid, const wchar_t* rightName, int enable);

// Grants "SeServiceLogonRight" to the account: 0, or a Windows error code
// (87 for no account, the lookup's error for an unknown one) or an NTSTATUS.
// *sidText (when given) then holds the SID it went to, as text (null when that
// could not be made).
long SetServiceRightW(const wchar_t* accountName, const wchar_t* systemName, CLocalMemory* sidText = nullptr);
