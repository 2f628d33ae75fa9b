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
