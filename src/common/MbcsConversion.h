#pragma once
// Narrow text in the system ANSI code page, for the interfaces that take it
// (JNI, the runtime library, ANSI configuration files).

// A newly allocated, terminated copy of text in the ANSI code page (free() it),
// sized by the conversion itself so that double-byte code pages fit. Null for
// null text, when memory ran out or when the conversion failed.
char* convertToMBCS(const wchar_t* text);
