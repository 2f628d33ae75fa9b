#include "registry/TextExpansion.h"

#include <cstdlib>
#include <cwchar>

#include "common/HeapText.h"

namespace {

const std::size_t kGrowth = 1000;
// Values of this many characters or more do not fit and contribute nothing.
const unsigned long kValueCapacity = 4000;

// appendText for the first count characters of text.
wchar_t* appendCounted(wchar_t* buffer, unsigned long* capacity, const wchar_t* text, std::size_t count) {
    if (count == 0) {
        return buffer;
    }
    std::size_t used = 0;
    std::size_t room = *capacity;
    if (buffer == nullptr || room == 0) {
        std::free(buffer);
        buffer = nullptr;
        room = count + kGrowth;
    } else {
        used = std::wcslen(buffer);
    }
    // Grow in steps of 1000 until the free room exceeds the text, taken in one
    // allocation rather than one per step so that long texts stay cheap.
    std::size_t grown = room;
    if (grown - used <= count) {
        const std::size_t missing = count + 1 - (grown - used);
        grown += (missing + kGrowth - 1) / kGrowth * kGrowth;
    }
    if (buffer == nullptr || grown != room) {
        // A capacity that wrapped around or does not fit the caller's counter is out of memory too.
        CHeapText larger;
        if (grown >= room && static_cast<unsigned long>(grown) == grown) {
            larger = allocateZeroed<wchar_t>(grown);
        }
        if (!larger) {
            std::free(buffer);
            *capacity = 0;
            return nullptr;
        }
        if (buffer != nullptr) {
            std::wmemcpy(larger.get(), buffer, used);
            std::free(buffer);
        }
        buffer = larger.release();
        *capacity = static_cast<unsigned long>(grown);
    }
    std::wmemcpy(buffer + used, text, count);
    buffer[used + count] = L'\0';
    return buffer;
}

// Appends a piece; false when memory ran out (the buffer is then released).
bool appendPiece(CHeapText& buffer, unsigned long* capacity, const wchar_t* text, std::size_t count) {
    buffer.reset(appendCounted(buffer.release(), capacity, text, count));
    return count == 0 || buffer;
}

}  // namespace

wchar_t* appendText(wchar_t* buffer, unsigned long* capacity, const wchar_t* text) {
    if (text == nullptr) {
        return buffer;
    }
    return appendCounted(buffer, capacity, text, std::wcslen(text));
}

CHeapText expandEnvStrings(const wchar_t* text, EnvironmentLookup lookup) {
    if (text == nullptr) {
        return nullptr;
    }
    CHeapText value;
    if (std::wcschr(text, L'%') != nullptr) {
        value = allocateZeroed<wchar_t>(kValueCapacity);
    }
    if (!value) {
        return duplicateText(text);
    }

    CHeapText result;
    unsigned long capacity = 0;
    const wchar_t* segment = text;
    const wchar_t* at = text;
    CHeapText name;
    while (*at != L'\0') {
        if (*at == L'%') {
            const wchar_t* closing = std::wcschr(at + 1, L'%');
            if (closing == nullptr) {
                // Unmatched: it and everything after it stay literal.
                break;
            }
            if (!appendPiece(result, &capacity, segment, static_cast<std::size_t>(at - segment))) {
                return nullptr;
            }
            const std::size_t nameLength = static_cast<std::size_t>(closing - at - 1);
            name = allocateZeroed<wchar_t>(nameLength + 1);
            if (!name) {
                return nullptr;
            }
            std::wmemcpy(name.get(), at + 1, nameLength);
            value.get()[0] = L'\0';
            const unsigned long found = nameLength == 0 ? 0 : lookup(name.get(), value.get(), kValueCapacity);
            if (found != 0 && found < kValueCapacity && value.get()[0] != L'\0') {
                value.get()[kValueCapacity - 1] = L'\0';
                if (!appendPiece(result, &capacity, value.get(), std::wcslen(value.get()))) {
                    return nullptr;
                }
            }
            segment = closing + 1;
            at = closing + 1;
        } else if (*at == L'\\' && at[1] == L'%') {
            // An escaped percent sign: drop the backslash, keep the sign as text.
            if (!appendPiece(result, &capacity, segment, static_cast<std::size_t>(at - segment))) {
                return nullptr;
            }
            segment = at + 1;
            at += 2;
        } else {
            ++at;
        }
    }
    if (!appendPiece(result, &capacity, segment, std::wcslen(segment))) {
        return nullptr;
    }
    // The accumulator is oversized; hand back an exact copy (an empty one when nothing remained).
    return duplicateText(result ? result.get() : L"");
}
