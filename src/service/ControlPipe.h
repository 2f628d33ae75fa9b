#pragma once
// The control pipe of a console-mode instance: its name, its client end, and
// the message, one control code as four bytes, least significant first.
#include <windows.h>

#include "common/HeapText.h"
#include "common/Win32Handle.h"

// "\\.\pipe\<service name>_PravikPipe"; null when memory ran out.
CHeapText controlPipeName(const wchar_t* serviceName);

// One attempt at the client end: the handle, or INVALID_HANDLE_VALUE and GetLastError.
HANDLE openControlPipeOnce(const wchar_t* pipeName);

// Opens the client end for writing a code, waiting up to 5 seconds while every
// instance is busy. 0 with *pipe open; else the last error, *pipe closed:
// ERROR_FILE_NOT_FOUND when there is no such pipe, ERROR_PIPE_BUSY when it stayed busy.
DWORD openControlPipeClient(const wchar_t* pipeName, CFileHandle* pipe);

inline void encodeControlCode(DWORD code, unsigned char (&bytes)[4]) {
    for (int index = 0; index < 4; ++index) {
        bytes[index] = static_cast<unsigned char>(code >> (8 * index));
    }
}

inline DWORD decodeControlCode(const unsigned char (&bytes)[4]) {
    return static_cast<DWORD>(bytes[0]) | static_cast<DWORD>(bytes[1]) << 8 | static_cast<DWORD>(bytes[2]) << 16 |
           static_cast<DWORD>(bytes[3]) << 24;
}
