#pragma once
// What UTF-8 a wide text should become, worked out apart from the product: the
// text read as UTF-16 code units (a pair makes one code point, half a pair is
// U+FFFD), each code point then encoded by the length its value needs.
#include <string>
#include <vector>

inline std::vector<unsigned long> codePointsOf(const std::wstring& text) {
    std::vector<unsigned long> points;
    for (size_t at = 0; at < text.size(); ++at) {
        const unsigned long unit = static_cast<unsigned long>(text[at]);
        const unsigned long next = at + 1 < text.size() ? static_cast<unsigned long>(text[at + 1]) : 0;
        if (unit >= 0xD800 && unit < 0xDC00 && next >= 0xDC00 && next < 0xE000) {
            points.push_back(0x10000 + (unit - 0xD800) * 0x400 + (next - 0xDC00));
            ++at;
        } else if ((unit >= 0xD800 && unit < 0xE000) || unit > 0x10FFFF) {
            points.push_back(0xFFFD);
        } else {
            points.push_back(unit);
        }
    }
    return points;
}

inline std::string utf8Model(const std::wstring& text) {
    std::string bytes;
    for (const unsigned long point : codePointsOf(text)) {
        if (point < 0x80) {
            bytes += static_cast<char>(point);
            continue;
        }
        // Continuation bytes carry six bits each; the lead byte marks how many follow.
        const int trailing = point < 0x800 ? 1 : point < 0x10000 ? 2 : 3;
        const unsigned char leadMarks[] = {0, 0xC0, 0xE0, 0xF0};
        bytes += static_cast<char>(leadMarks[trailing] | (point >> (6 * trailing)));
        for (int shift = 6 * (trailing - 1); shift >= 0; shift -= 6) {
            bytes += static_cast<char>(0x80 | ((point >> shift) & 0x3F));
        }
    }
    return bytes;
}
