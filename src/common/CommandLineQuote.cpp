#include "common/CommandLineQuote.h"

#include <cwchar>

#include "common/CTextBuilder.h"

void appendQuotedArgument(CTextBuilder& line, const wchar_t* argument) {
    if (argument == nullptr) {
        argument = L"";
    }
    if (argument[0] != L'\0' && std::wcspbrk(argument, L" \t\n\v\"") == nullptr) {
        line.append(argument);
        return;
    }
    line.appendChar(L'"');
    for (const wchar_t* at = argument;; ++at) {
        std::size_t backslashes = 0;
        while (*at == L'\\') {
            ++backslashes;
            ++at;
        }
        if (*at == L'\0') {
            // Before the closing quote every backslash is doubled.
            for (std::size_t count = 0; count < backslashes * 2; ++count) {
                line.appendChar(L'\\');
            }
            break;
        }
        const std::size_t emitted = *at == L'"' ? backslashes * 2 + 1 : backslashes;
        for (std::size_t count = 0; count < emitted; ++count) {
            line.appendChar(L'\\');
        }
        line.appendChar(*at);
    }
    line.appendChar(L'"');
}
