#pragma once
// The control pipe of a console-mode instance: its name, and the message, one
// control code as four bytes, least significant first.
#include <windows.h>

#include "common/HeapText.h"

// "\\.\pipe\<service name>_PravikPipe"; null when memory ran out.
CHeapText controlPipeName(const wchar_t* serviceName);

inline void encodeControlCode(DWORD code, unsigned char (&bytes)[4]) {
    for (int index = 0; index < 4; ++index) {
        bytes[index] = static_cast<unsigned char>(code >> (8 * index));
    }
}

inline DWORD decodeControlCode(const unsigned char (&bytes)[4]) {
    return static_cast<DWORD>(bytes[0]) | static_cast<DWORD>(bytes[1]) << 8 | static_cast<DWORD>(bytes[2]) << 16 |
           static_cast<DWORD>(bytes[3]) << 24;
}
