#pragma once
// Readers of one registry value each, into storage the caller provides or a
// block of the size the value needs. They write no messages, so the logger
// can use them while it is being built.
#include <windows.h>

#include "common/HeapText.h"

// The value as stored (no type check, no terminator added); the buffer, or null
// when the key or value is missing or does not fit the capacity (in bytes).
wchar_t* getRegStrValue(HKEY root, const wchar_t* keyPath, const wchar_t* subkey, const wchar_t* valueName,
                        wchar_t* buffer, unsigned long capacity);

// A multi-string value joined in place with the separator; an empty list gives "".
wchar_t* getRegStrListValue(HKEY root, const wchar_t* keyPath, const wchar_t* subkey, const wchar_t* valueName,
                            wchar_t* buffer, unsigned long capacity, wchar_t separator);

// The 32-bit value, or the default when it cannot be read into four bytes.
unsigned long getRegDwValue(HKEY root, const wchar_t* keyPath, const wchar_t* subkey, const wchar_t* valueName,
                            unsigned long defaultValue);

// A string value (REG_SZ, or REG_EXPAND_SZ with its references expanded) of an
// open key or its subkey (may be null), owned by the result; null when absent or empty.
CHeapText readRegString(HKEY key, const wchar_t* subkey, const wchar_t* valueName);
