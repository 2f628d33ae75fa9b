#pragma once
// The text of a call to HotSpot's vfprintf hook, formatted as printf would.
#include <cstdarg>
#include <cstdio>
#include <string>

// Formats into text; the length, or the negative answer of vsnprintf, which the hook passes on.
inline int formatHookText(const char* format, va_list args, std::string& text) {
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length < 0) {
        return length;
    }
    text.assign(static_cast<size_t>(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<size_t>(length));
    return length;
}
