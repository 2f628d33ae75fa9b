#pragma once
// The clear text of a secret (a password, an unprotected value) in heap
// memory, overwritten before the block is freed, so that no freed block keeps it.
#include <windows.h>

#include <cstddef>
#include <cstdlib>
#include <memory>

// Frees a calloc/malloc block after overwriting its bytes.
struct CWipingDeleter {
    std::size_t bytes = 0;
    void operator()(void* memory) const noexcept {
        SecureZeroMemory(memory, bytes);
        std::free(memory);
    }
};

template <typename T>
using CWipedPtr = std::unique_ptr<T, CWipingDeleter>;

// count zero-filled elements, all wiped when freed; null when memory is short.
template <typename T>
CWipedPtr<T> allocateWiped(std::size_t count) {
    return CWipedPtr<T>(static_cast<T*>(std::calloc(count, sizeof(T))), CWipingDeleter{count * sizeof(T)});
}

// A secret's wide text, zero-terminated; null until there is one.
using CSecretText = CWipedPtr<wchar_t>;
