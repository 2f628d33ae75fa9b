// Any signal text is either a code or refused by its group; nothing else.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzInput.h"
#include "service/SignalText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::wstring text = wideFromUtf16Bytes(data, size);
    unsigned long code = 0;
    const ESignalText result = parseSignalText(text.c_str(), &code);
    if (result == ESignalText::code && code > 0xFFFFFFFFUL) {
        __builtin_trap();
    }
    const wchar_t first = text.empty() ? L'\0' : text[0];
    if (result == ESignalText::unknownServiceControl && first != L'S' && first != L's') {
        __builtin_trap();
    }
    if (result == ESignalText::unknownControlSignal && first != L'C' && first != L'c') {
        __builtin_trap();
    }
    return 0;
}
