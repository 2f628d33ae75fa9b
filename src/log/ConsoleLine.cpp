#include "log/ConsoleLine.h"

#include <cstdio>

#include "common/CTextBuilder.h"
#include "common/HeapText.h"
#include "common/MbcsConversion.h"

namespace {

const wchar_t* orEmpty(const wchar_t* text) { return text != nullptr ? text : L""; }

}  // namespace

void printConsoleLine(const wchar_t* text, const wchar_t* text2, const wchar_t* text3) {
    CTextBuilder line;
    line.append(text).append(text2).append(text3).appendChar(L'\n');
    CHeapPtr<char> narrow(line.failed() ? nullptr : convertToMBCS(line.text()));
    if (narrow) {
        std::fputs(narrow.get(), stdout);
    } else {
        std::wprintf(L"%ls%ls%ls\n", orEmpty(text), orEmpty(text2), orEmpty(text3));
    }
}
