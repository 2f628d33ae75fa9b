#include "common/CTextBuilder.h"

#include <cstdint>
#include <cstdlib>
#include <cwchar>

CTextBuilder::~CTextBuilder() { std::free(buffer); }

bool CTextBuilder::reserve(std::size_t extra) {
    if (failure) {
        return false;
    }
    if (extra >= SIZE_MAX / sizeof(wchar_t) - used - 1) {
        failure = true;
        return false;
    }
    const std::size_t needed = used + extra + 1;
    if (needed <= capacity) {
        return true;
    }
    std::size_t grown = capacity < 64 ? 64 : capacity;
    while (grown < needed) {
        grown = grown > SIZE_MAX / 4 ? needed : grown * 2;
    }
    auto* larger = static_cast<wchar_t*>(std::realloc(buffer, grown * sizeof(wchar_t)));
    if (larger == nullptr) {
        failure = true;
        return false;
    }
    buffer = larger;
    capacity = grown;
    return true;
}

CTextBuilder& CTextBuilder::append(const wchar_t* text, std::size_t count) {
    if (text != nullptr && count != 0 && reserve(count)) {
        std::wmemcpy(buffer + used, text, count);
        used += count;
        buffer[used] = L'\0';
    }
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

void CTextBuilder::clear() {
    used = 0;
    if (buffer != nullptr) {
        buffer[0] = L'\0';
    }
}

const wchar_t* CTextBuilder::text() const { return buffer != nullptr ? buffer : L""; }

wchar_t* CTextBuilder::release() {
    if (failure) {
        return nullptr;
    }
    if (buffer == nullptr && !reserve(0)) {
        return nullptr;
    }
    buffer[used] = L'\0';
    wchar_t* result = buffer;
    buffer = nullptr;
    used = capacity = 0;
    return result;
}
