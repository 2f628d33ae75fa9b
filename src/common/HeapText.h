#pragma once
// Heap storage for text handed between functions: allocated with calloc/malloc,
// released with free, as every caller of the registry readers expects.
#include <cstddef>
#include <cstdlib>
#include <memory>

struct CFreeDeleter {
    void operator()(void* memory) const noexcept { std::free(memory); }
};

template <typename T>
using CHeapPtr = std::unique_ptr<T, CFreeDeleter>;

using CHeapText = CHeapPtr<wchar_t>;

// Zero-filled array of count elements, or null when memory is short or count overflows.
template <typename T>
CHeapPtr<T> allocateZeroed(std::size_t count) {
    return CHeapPtr<T>(static_cast<T*>(std::calloc(count == 0 ? 1 : count, sizeof(T))));
}

// A newly allocated copy of text, owned by the result (null for null text or when memory is short).
CHeapText duplicateText(const wchar_t* text);
