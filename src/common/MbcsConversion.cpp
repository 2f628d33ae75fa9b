#include "common/MbcsConversion.h"

#include <windows.h>

#include "common/HeapText.h"

CHeapPtr<char> convertToMBCS(const wchar_t* text) {
    if (text == nullptr) {
        return nullptr;
    }
    // Ask the conversion how many bytes it needs (terminator included): in a
    // double-byte code page one character can take two.
    const int needed = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) {
        return nullptr;
    }
    CHeapPtr<char> narrow = allocateZeroed<char>(static_cast<std::size_t>(needed) + 1);
    if (!narrow) {
        return nullptr;
    }
    if (WideCharToMultiByte(CP_ACP, 0, text, -1, narrow.get(), needed, nullptr, nullptr) <= 0) {
        return nullptr;
    }
    return narrow;
}
