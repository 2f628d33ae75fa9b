#pragma once
// A growable wide text. Every append is bounds-checked; a failed allocation is
// remembered so that callers check once, after building.
#include <cstddef>

#include "common/GrowableText.h"

class CTextBuilder {
public:
    CTextBuilder& append(const wchar_t* text);
    CTextBuilder& append(const wchar_t* text, std::size_t count);
    CTextBuilder& appendChar(wchar_t character);
    CTextBuilder& appendDecimal(long long number);
    // Eight upper-case hexadecimal digits, zero-padded.
    CTextBuilder& appendHex8(unsigned long number);
    void clear() { buffer.clear(); }

    // Never null: an empty builder answers "".
    const wchar_t* text() const { return buffer.text(); }
    std::size_t length() const { return buffer.length(); }
    bool failed() const { return buffer.failed(); }
    // Hands the text to the caller, who frees it with free(); null when building failed.
    wchar_t* release() { return buffer.release(); }

private:
    CGrowableText<wchar_t> buffer;
};
