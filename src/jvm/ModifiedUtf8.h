#pragma once
// The modified UTF-8 that JNI takes for class and member names: every UTF-16
// unit on its own (a surrogate pair gives two three-byte sequences) and no
// zero byte inside the text.
#include "common/HeapText.h"

// A newly allocated, zero-terminated conversion of the UTF-16 text, or null
// for null text or when memory is short.
CHeapPtr<char> toModifiedUtf8(const wchar_t* text);
