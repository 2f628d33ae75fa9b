#pragma once
// Narrow text in the system ANSI code page, for the interfaces that take it
// (JNI, the runtime library, ANSI configuration files).
#include "common/HeapText.h"

// A newly allocated, terminated copy of text in the ANSI code page, owned by the
// result, sized by the conversion itself so that double-byte code pages fit. Null
// for null text, when memory ran out or when the conversion failed.
CHeapPtr<char> convertToMBCS(const wchar_t* text);
