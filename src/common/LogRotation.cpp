#include "common/LogRotation.h"

#include <cstring>
#include <cwchar>

#include "common/DecimalText.h"

bool parseLogSetting(const wchar_t* text, unsigned long maximum, unsigned long* value) {
    unsigned long number = 0;
    if (!parseDecimalDword(text, &number) || number > maximum) {
        return false;
    }
    *value = number;
    return true;
}

bool rotationDue(std::uint64_t currentSize, std::uint64_t incoming, std::uint64_t limitBytes) {
    return limitBytes != 0 && currentSize != 0 && currentSize + incoming > limitBytes;
}

unsigned rotationStepCount(unsigned keep) { return keep + 1; }

CRotationStep rotationStep(unsigned keep, unsigned index) {
    // The oldest kept generation goes first, so that every rename finds its target free.
    if (index == 0) {
        return {keep, kDeletedGeneration};
    }
    return {keep - index, keep - index + 1};
}

CHeapText generationName(const wchar_t* name, unsigned generation) {
    if (generation == 0) {
        return duplicateText(name);
    }
    // A dot, at most ten digits and the terminator.
    const std::size_t capacity = std::wcslen(name) + 12;
    CHeapText text = allocateZeroed<wchar_t>(capacity);
    if (text) {
        std::swprintf(text.get(), capacity, L"%ls.%u", name, generation);
    }
    return text;
}

std::size_t bytesBeforeRotation(std::uint64_t currentSize, bool atLineStart, const char* data, std::size_t length,
                                std::uint64_t limitBytes) {
    if (!rotationDue(currentSize, length, limitBytes)) {
        return length;
    }
    if (!atLineStart) {
        // The line in progress ends in the file it began in, however long.
        const void* lineFeed = std::memchr(data, '\n', length);
        return lineFeed != nullptr ? static_cast<std::size_t>(static_cast<const char*>(lineFeed) - data) + 1 : length;
    }
    const std::uint64_t room = currentSize < limitBytes ? limitBytes - currentSize : 0;
    for (std::size_t at = room < length ? static_cast<std::size_t>(room) : length; at > 0; --at) {
        if (data[at - 1] == '\n') {
            return at;
        }
    }
    return 0;
}
