// Splitting the Java service's argument text: the arguments fit the block the
// capacity rule gives, and their number is one more than the blanks that
// separate them.
#include <cstddef>
#include <cstdint>
#include <cwchar>
#include <string>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "jvm/CommandLineSplit.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::wstring text = wideFromUtf16Bytes(data, size);
    const size_t end = text.find(L'\0');
    if (end != std::wstring::npos) {
        text.resize(end);
    }
    // Exactly the capacity, on the heap, so that AddressSanitizer sees any overrun.
    std::vector<wchar_t> block(commandLineBlockCapacity(text.size()), L'\0');
    const int count = splitCommandLine(text.c_str(), block.data());
    if (count < 1) {
        __builtin_trap();
    }
    const wchar_t* argument = block.data();
    for (int index = 1; index < count; ++index) {
        argument = nextArgument(argument);
        if (argument >= block.data() + block.size()) {
            __builtin_trap();
        }
    }
    if (argument + std::wcslen(argument) >= block.data() + block.size()) {
        __builtin_trap();
    }
    return 0;
}
