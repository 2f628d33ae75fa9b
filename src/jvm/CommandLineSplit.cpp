#include "jvm/CommandLineSplit.h"

#include <cwchar>

std::size_t commandLineBlockCapacity(std::size_t textLength) { return textLength + 10; }

int splitCommandLine(const wchar_t* text, wchar_t* block) {
    int count = 1;
    bool escaped = false;
    bool quoted = false;
    wchar_t* out = block;
    for (const wchar_t* at = text; *at != L'\0'; ++at) {
        const wchar_t character = *at;
        if (escaped) {
            *out++ = character;
            escaped = false;
        } else if (character == L'"') {
            quoted = !quoted;
        } else if (character == L'\\') {
            escaped = true;
        } else if (character == L' ' && !quoted) {
            *out++ = L'\0';
            ++count;
        } else {
            *out++ = character;
        }
    }
    *out = L'\0';
    return count;
}

const wchar_t* nextArgument(const wchar_t* argument) { return argument + std::wcslen(argument) + 1; }
