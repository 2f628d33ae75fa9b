#pragma once
// Turning the fuzzer's bytes into the program's wide text.
#include <cstddef>
#include <cstdint>
#include <string>

// Little-endian UTF-16 code units, as the program's text is on Windows; an odd last byte is dropped.
inline std::wstring wideFromUtf16Bytes(const uint8_t* data, size_t size) {
    std::wstring text;
    for (size_t at = 0; at + 1 < size; at += 2) {
        text.push_back(static_cast<wchar_t>(data[at] | (data[at + 1] << 8)));
    }
    return text;
}

// Each byte one character, as an ANSI file reads in code page 1252's Latin range.
inline std::wstring wideFromBytes(const uint8_t* data, size_t size) {
    std::wstring text;
    for (size_t at = 0; at < size; ++at) {
        text.push_back(static_cast<wchar_t>(data[at]));
    }
    return text;
}
