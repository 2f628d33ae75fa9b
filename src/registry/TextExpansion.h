#pragma once
// Growing a wide text piece by piece, and replacing %NAME% references in a text
// with the values of environment variables. Portable: the variable lookup is
// passed in (the Windows build answers it with GetEnvironmentVariableW).
#include "common/HeapText.h"

// Looks up a variable: copies its value, terminated, into buffer (capacity in
// characters) and answers its length; answers 0 when it is undefined, and a
// number not below the capacity when the value does not fit.
using EnvironmentLookup = unsigned long (*)(const wchar_t* name, wchar_t* buffer, unsigned long capacity);

// Appends text to buffer (a terminated wide string, or null) of *capacity wide
// characters, growing it by 1000 characters at a time so that the room always
// exceeds the text; a new buffer replaces (and releases) the old one. Null or
// empty text leaves everything as it is. Answers the buffer, which the caller
// releases with free(); null when memory ran out, the old buffer then released
// and *capacity 0.
wchar_t* appendText(wchar_t* buffer, unsigned long* capacity, const wchar_t* text);

// A newly allocated copy of text, owned by the result, with every reference %NAME%
// replaced by the variable's value; undefined or empty variables, "%%" and
// values of 4000 characters or more contribute nothing. "\%" gives a literal
// "%"; an unmatched "%" and everything after it stay as they are. A text that
// expands to nothing gives a new empty string. Null only for null text or when
// memory ran out.
CHeapText expandEnvStrings(const wchar_t* text, EnvironmentLookup lookup);

#if defined(_WIN32)
// expandEnvStrings with the process environment.
CHeapText expandEnvStrings(const wchar_t* text);
#endif
