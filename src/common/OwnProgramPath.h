#pragma once
// The full path of this program's own executable, or of a module it loaded.
#include <windows.h>

#include "common/HeapText.h"

// The whole path, however long; null with the system's code in *error when it
// cannot be had.
CHeapText ownProgramPath(DWORD* error);
// The same for a loaded module (null: this program).
CHeapText modulePath(HMODULE module, DWORD* error);
