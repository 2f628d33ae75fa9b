#include "common/AsciiCase.h"

wchar_t toUpperAscii(wchar_t character) {
    return (character >= L'a' && character <= L'z') ? static_cast<wchar_t>(character - L'a' + L'A') : character;
}

bool equalsIgnoringAsciiCase(const wchar_t* left, const wchar_t* right) {
    for (;; ++left, ++right) {
        if (toUpperAscii(*left) != toUpperAscii(*right)) {
            return false;
        }
        if (*left == L'\0') {
            return true;
        }
    }
}

const wchar_t* afterPrefixIgnoringAsciiCase(const wchar_t* text, const wchar_t* prefix) {
    for (; *prefix != L'\0'; ++text, ++prefix) {
        if (toUpperAscii(*text) != toUpperAscii(*prefix)) {
            return nullptr;
        }
    }
    return text;
}
