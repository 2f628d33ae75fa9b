#include <windows.h>

#include "registry/TextExpansion.h"

namespace {

// The process environment as the expansion asks for it.
unsigned long lookupProcessEnvironment(const wchar_t* name, wchar_t* buffer, unsigned long capacity) {
    return GetEnvironmentVariableW(name, buffer, capacity);
}

}  // namespace

CHeapText expandEnvStrings(const wchar_t* text) { return expandEnvStrings(text, lookupProcessEnvironment); }
