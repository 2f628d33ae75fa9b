#pragma once
// The commented template that "-c" writes: 7-bit ASCII, CR LF line ends, the
// build date in its first line.
#include <cstddef>

#include "common/HeapText.h"

// A newly composed, zero-terminated copy of the template and its length in
// bytes without the terminator; null (length 0) when memory is short.
CHeapPtr<char> composeSkeletonText(std::size_t* length);
