#include "common/DecimalText.h"

#include <cwctype>

long parseLeadingInteger(const wchar_t* text) {
    if (text == nullptr) {
        return 0;
    }
    while (*text == L' ' || (*text >= L'\t' && *text <= L'\r')) {
        ++text;
    }
    bool negative = false;
    if (*text == L'+' || *text == L'-') {
        negative = *text == L'-';
        ++text;
    }
    const long long limit = negative ? 2147483648LL : 2147483647LL;
    long long magnitude = 0;
    for (; *text >= L'0' && *text <= L'9'; ++text) {
        magnitude = magnitude * 10 + (*text - L'0');
        if (magnitude > limit) {
            magnitude = limit;
        }
    }
    return static_cast<long>(negative ? -magnitude : magnitude);
}

bool parseDecimalDword(const wchar_t* text, unsigned long* value) {
    if (text == nullptr || *text == L'\0') {
        return false;
    }
    unsigned long long number = 0;
    for (; *text != L'\0'; ++text) {
        if (*text < L'0' || *text > L'9') {
            return false;
        }
        number = number * 10 + static_cast<unsigned long long>(*text - L'0');
        if (number > 0xFFFFFFFFULL) {
            return false;
        }
    }
    *value = static_cast<unsigned long>(number);
    return true;
}
