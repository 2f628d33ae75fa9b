// Environment expansion on any text: always a new text, unchanged when there is
// no reference, and never longer than the text plus what the variables add.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "fuzz/FuzzInput.h"
#include "registry/TextExpansion.h"

namespace {

const std::wstring kLongValue(4000, L'v');

// A fixed environment: A is short, EMPTY is empty, LONG does not fit, the rest is undefined.
unsigned long lookup(const wchar_t* name, wchar_t* buffer, unsigned long capacity) {
    const wchar_t* value = nullptr;
    if (std::wcscmp(name, L"A") == 0) {
        value = L"expanded";
    } else if (std::wcscmp(name, L"EMPTY") == 0) {
        value = L"";
    } else if (std::wcscmp(name, L"LONG") == 0) {
        return static_cast<unsigned long>(kLongValue.size() + 1);
    }
    if (value == nullptr) {
        return 0;
    }
    const size_t length = std::wcslen(value);
    if (length + 1 > capacity) {
        return static_cast<unsigned long>(length + 1);
    }
    std::wmemcpy(buffer, value, length + 1);
    return static_cast<unsigned long>(length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::wstring text = wideFromBytes(data, size);
    const size_t end = text.find(L'\0');
    if (end != std::wstring::npos) {
        text.resize(end);
    }
    wchar_t* expanded = expandEnvStrings(text.c_str(), lookup);
    if (expanded == nullptr) {
        __builtin_trap();
    }
    const std::wstring result(expanded);
    std::free(expanded);
    if (text.find(L'%') == std::wstring::npos && result != text) {
        __builtin_trap();
    }
    // Each reference needs at least two percent signs and adds at most 8 characters.
    if (result.size() > text.size() + 8 * (text.size() / 2 + 1)) {
        __builtin_trap();
    }
    return 0;
}
