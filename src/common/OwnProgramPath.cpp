#include "common/OwnProgramPath.h"

// GetModuleFileNameW cuts a path that does not fit without saying so clearly:
// grow until the whole path fits, up to the longest path the system has.
CHeapText ownProgramPath(DWORD* error) { return modulePath(nullptr, error); }

CHeapText modulePath(HMODULE module, DWORD* error) {
    for (DWORD capacity = MAX_PATH; capacity <= 32768; capacity *= 2) {
        CHeapText path = allocateZeroed<wchar_t>(capacity);
        if (!path) {
            *error = ERROR_NOT_ENOUGH_MEMORY;
            return nullptr;
        }
        SetLastError(ERROR_SUCCESS);
        const DWORD length = GetModuleFileNameW(module, path.get(), capacity);
        if (length == 0) {
            *error = GetLastError();
            return nullptr;
        }
        if (length < capacity && GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            return path;
        }
    }
    *error = ERROR_INSUFFICIENT_BUFFER;
    return nullptr;
}
