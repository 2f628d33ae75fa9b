#include "common/HeapText.h"

#include <cwchar>

CHeapText duplicateText(const wchar_t* text) {
    if (text == nullptr) {
        return nullptr;
    }
    const std::size_t length = std::wcslen(text);
    CHeapText copy = allocateZeroed<wchar_t>(length + 1);
    if (copy) {
        std::wmemcpy(copy.get(), text, length);
    }
    return copy;
}
