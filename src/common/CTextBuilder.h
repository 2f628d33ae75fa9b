#pragma once
// A growable wide text. Every append is bounds-checked; a failed allocation is
// remembered so that callers check once, after building.
#include <cstddef>

class CTextBuilder {
public:
    CTextBuilder() = default;
    ~CTextBuilder();
    CTextBuilder(const CTextBuilder&) = delete;
    CTextBuilder& operator=(const CTextBuilder&) = delete;

    CTextBuilder& append(const wchar_t* text);
    CTextBuilder& append(const wchar_t* text, std::size_t count);
    CTextBuilder& appendChar(wchar_t character);
    CTextBuilder& appendDecimal(long long number);
    // Eight upper-case hexadecimal digits, zero-padded.
    CTextBuilder& appendHex8(unsigned long number);
    void clear();

    // Never null: an empty builder answers "".
    const wchar_t* text() const;
    std::size_t length() const { return used; }
    bool failed() const { return failure; }
    // Hands the text to the caller, who frees it with free(); null when building failed.
    wchar_t* release();

private:
    bool reserve(std::size_t extra);

    wchar_t* buffer = nullptr;
    std::size_t used = 0;
    std::size_t capacity = 0;
    bool failure = false;
};
