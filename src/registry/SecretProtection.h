#pragma once
// A secret's value kept encrypted for this computer with DPAPI (machine
// scope, no UI): the only place that protects or unprotects one. The clear
// text lives only in buffers that are wiped before they are freed.
#include <windows.h>

#include <cstddef>

#include "common/HeapText.h"
#include "common/SecretText.h"

// An owned byte block and its size.
struct CSecretBlob {
    CHeapPtr<unsigned char> bytes;
    DWORD size = 0;
};

// Encrypts the UTF-16 form of text (its terminator left out) into *blob: 0, or the Win32 error.
DWORD protectSecret(const wchar_t* text, CSecretBlob* blob);

// Decrypts what protectSecret made into *text: 0, or the Win32 error
// (ERROR_INVALID_DATA for a blob that is no UTF-16 text).
DWORD unprotectSecret(const unsigned char* bytes, DWORD size, CSecretText* text);
