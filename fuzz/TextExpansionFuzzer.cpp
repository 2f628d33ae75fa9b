// Expansion of %NAME% references and the text growth under it, against a
// plain reading of the rules. The first byte picks how the text is split into
// pieces for appendText; the rest is the text, one character per byte from a
// small alphabet rich in percent signs and backslashes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "registry/TextExpansion.h"
#include "support/ExpansionModel.h"

namespace {

const std::wstring& valueOf(const std::wstring& name, bool* defined) {
    static const std::wstring alpha = L"alpha";
    static const std::wstring fits(3999, L'f');
    static const std::wstring tooLong(4000, L'g');
    static const std::wstring empty;
    *defined = true;
    if (name == L"A") {
        return alpha;
    }
    if (name == L"F") {
        return fits;
    }
    if (name == L"G") {
        return tooLong;
    }
    if (name == L"E") {
        return empty;
    }
    *defined = false;
    return empty;
}

unsigned long lookup(const wchar_t* name, wchar_t* buffer, unsigned long capacity) {
    bool defined = false;
    const std::wstring& value = valueOf(name, &defined);
    if (!defined) {
        return 0;
    }
    if (value.size() + 1 > capacity) {
        return static_cast<unsigned long>(value.size() + 1);
    }
    std::wmemcpy(buffer, value.c_str(), value.size() + 1);
    return static_cast<unsigned long>(value.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    static const wchar_t alphabet[] = L"%%%\\\\AFGEx \u00e9\u65e5";
    const std::size_t letters = std::wcslen(alphabet);
    std::wstring text;
    for (size_t at = 1; at < size; ++at) {
        text += alphabet[data[at] % letters];
    }

    const CHeapText expanded = expandEnvStrings(text.c_str(), lookup);
    if (!expanded || expansionModel(text, [](const std::wstring& name) {
                         bool defined = false;
                         const std::wstring& value = valueOf(name, &defined);
                         return defined ? &value : nullptr;
                     }) != expanded.get()) {
        __builtin_trap();
    }

    // The same text appended in pieces of the chosen size comes out whole.
    const std::size_t piece = 1 + data[0] % 64;
    unsigned long capacity = 0;
    wchar_t* buffer = nullptr;
    for (std::size_t at = 0; at < text.size(); at += piece) {
        buffer = appendText(buffer, &capacity, text.substr(at, piece).c_str());
        if (buffer == nullptr || std::wcslen(buffer) >= capacity) {
            __builtin_trap();
        }
    }
    if (!text.empty() && text != buffer) {
        __builtin_trap();
    }
    std::free(buffer);
    return 0;
}
