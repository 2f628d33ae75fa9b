#include "jvm/ModifiedUtf8.h"

#include <cstdint>

namespace {

// Units wider than 16 bits only occur where wchar_t is 32 bits wide; they are
// written as the surrogate pair that UTF-16 would hold.
template <typename Sink>
void forEachUnit(const wchar_t* text, Sink sink) {
    for (const wchar_t* at = text; *at != L'\0'; ++at) {
        const auto value = static_cast<std::uint32_t>(*at);
        if (value > 0xFFFF) {
            const std::uint32_t offset = value - 0x10000;
            sink(0xD800 + ((offset >> 10) & 0x3FF));
            sink(0xDC00 + (offset & 0x3FF));
        } else {
            sink(value);
        }
    }
}

std::size_t encodedLength(std::uint32_t unit) {
    if (unit >= 0x01 && unit <= 0x7F) {
        return 1;
    }
    return unit <= 0x7FF ? 2 : 3;
}

}  // namespace

CHeapPtr<char> toModifiedUtf8(const wchar_t* text) {
    if (text == nullptr) {
        return nullptr;
    }
    std::size_t bytes = 0;
    forEachUnit(text, [&bytes](std::uint32_t unit) { bytes += encodedLength(unit); });
    CHeapPtr<char> result = allocateZeroed<char>(bytes + 1);
    if (!result) {
        return nullptr;
    }
    unsigned char* out = reinterpret_cast<unsigned char*>(result.get());
    forEachUnit(text, [&out](std::uint32_t unit) {
        switch (encodedLength(unit)) {
            case 1:
                *out++ = static_cast<unsigned char>(unit);
                break;
            case 2:
                *out++ = static_cast<unsigned char>(0xC0 | (unit >> 6));
                *out++ = static_cast<unsigned char>(0x80 | (unit & 0x3F));
                break;
            default:
                *out++ = static_cast<unsigned char>(0xE0 | (unit >> 12));
                *out++ = static_cast<unsigned char>(0x80 | ((unit >> 6) & 0x3F));
                *out++ = static_cast<unsigned char>(0x80 | (unit & 0x3F));
                break;
        }
    });
    return result;
}
