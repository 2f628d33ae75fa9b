#include "common/HeapText.h"

#include <cwchar>

wchar_t* duplicateText(const wchar_t* text) {
    if (text == nullptr) {
        return nullptr;
    }
    const std::size_t length = std::wcslen(text);
    auto* copy = static_cast<wchar_t*>(std::calloc(length + 1, sizeof(wchar_t)));
    if (copy != nullptr) {
        std::wmemcpy(copy, text, length);
    }
    return copy;
}
