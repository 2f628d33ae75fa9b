// Quoting any argument and splitting the line again gives the argument back.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/CTextBuilder.h"
#include "common/CommandLineQuote.h"
#include "fuzz/FuzzInput.h"
#include "support/ArgvSplit.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::wstring argument = wideFromUtf16Bytes(data, size);
    if (argument.find(L'\0') != std::wstring::npos) {
        return 0;
    }
    CTextBuilder line;
    line.append(L"pravik.exe ");
    appendQuotedArgument(line, argument.c_str());
    line.append(L" -x");
    const auto split = splitLikeTheRuntime(line.text());
    if (split.size() != 3 || split[1] != argument || split[2] != L"-x") {
        __builtin_trap();
    }
    return 0;
}
