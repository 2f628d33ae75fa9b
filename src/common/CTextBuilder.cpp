#include "common/CTextBuilder.h"

#include <cwchar>

CTextBuilder& CTextBuilder::append(const wchar_t* text, std::size_t count) {
    buffer.append(text, count);
    return *this;
}

CTextBuilder& CTextBuilder::append(const wchar_t* text) {
    return text == nullptr ? *this : append(text, std::wcslen(text));
}

CTextBuilder& CTextBuilder::appendChar(wchar_t character) { return append(&character, 1); }

CTextBuilder& CTextBuilder::appendDecimal(long long number) {
    wchar_t digits[24];
    std::size_t start = sizeof(digits) / sizeof(digits[0]);
    // Work on the magnitude as unsigned so that the most negative value is safe.
    unsigned long long magnitude = number < 0 ? 0ULL - static_cast<unsigned long long>(number)
                                              : static_cast<unsigned long long>(number);
    do {
        digits[--start] = static_cast<wchar_t>(L'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (number < 0) {
        digits[--start] = L'-';
    }
    return append(digits + start, sizeof(digits) / sizeof(digits[0]) - start);
}

CTextBuilder& CTextBuilder::appendHex8(unsigned long number) {
    static const wchar_t hexDigits[] = L"0123456789ABCDEF";
    wchar_t digits[8];
    for (int index = 7; index >= 0; --index) {
        digits[index] = hexDigits[number & 0xF];
        number >>= 4;
    }
    return append(digits, 8);
}
