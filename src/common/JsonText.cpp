#include "common/JsonText.h"

#include <cstring>

namespace {

const unsigned long kReplacementCharacter = 0xFFFD;
const unsigned long kLastCodePoint = 0x10FFFF;
// The characters JSON escapes as a backslash and a letter, and their letters.
const char kShortEscaped[] = "\"\\\b\f\n\r\t";
const char kShortEscapeLetters[] = "\"\\bfnrt";

bool isHighSurrogate(unsigned long unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(unsigned long unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

void CJsonText::separate() {
    if (valueBefore) {
        appendByte(',');
    }
    valueBefore = false;
}

CJsonText& CJsonText::open(char bracket) {
    separate();
    appendByte(bracket);
    return *this;
}

CJsonText& CJsonText::close(char bracket) {
    appendByte(bracket);
    valueBefore = true;
    return *this;
}

CJsonText& CJsonText::beginObject() { return open('{'); }

CJsonText& CJsonText::endObject() { return close('}'); }

CJsonText& CJsonText::beginArray() { return open('['); }

CJsonText& CJsonText::endArray() { return close(']'); }

CJsonText& CJsonText::key(const char* name) {
    separate();
    appendByte('"');
    appendBytes(name, std::strlen(name));
    appendBytes("\":", 2);
    return *this;
}

void CJsonText::appendCodePoint(unsigned long codePoint) {
    char bytes[4];
    std::size_t count = 0;
    if (codePoint < 0x80) {
        bytes[count++] = static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        bytes[count++] = static_cast<char>(0xC0 | (codePoint >> 6));
        bytes[count++] = static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        bytes[count++] = static_cast<char>(0xE0 | (codePoint >> 12));
        bytes[count++] = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        bytes[count++] = static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        bytes[count++] = static_cast<char>(0xF0 | (codePoint >> 18));
        bytes[count++] = static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        bytes[count++] = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        bytes[count++] = static_cast<char>(0x80 | (codePoint & 0x3F));
    }
    appendBytes(bytes, count);
}

CJsonText& CJsonText::string(const wchar_t* text) {
    separate();
    valueBefore = true;
    if (text == nullptr) {
        appendBytes("null", 4);
        return *this;
    }
    static const char hexDigits[] = "0123456789abcdef";
    appendByte('"');
    for (const wchar_t* at = text; *at != L'\0'; ++at) {
        // wchar_t is a UTF-16 code unit on Windows, a code point elsewhere.
        unsigned long unit = static_cast<unsigned long>(*at);
        const char* shortEscaped = unit < 0x80 ? std::strchr(kShortEscaped, static_cast<int>(unit)) : nullptr;
        if (shortEscaped != nullptr) {
            const char escaped[] = {'\\', kShortEscapeLetters[shortEscaped - kShortEscaped]};
            appendBytes(escaped, sizeof(escaped));
            continue;
        }
        if (unit < 0x20) {
            const char escaped[] = {'\\', 'u', '0', '0', hexDigits[unit >> 4], hexDigits[unit & 0xF]};
            appendBytes(escaped, sizeof(escaped));
            continue;
        }
        if (isHighSurrogate(unit) && isLowSurrogate(static_cast<unsigned long>(at[1]))) {
            ++at;
            unit = 0x10000 + ((unit - 0xD800) << 10) + (static_cast<unsigned long>(*at) - 0xDC00);
        } else if (isHighSurrogate(unit) || isLowSurrogate(unit) || unit > kLastCodePoint) {
            // UTF-8 has no bytes for half a pair.
            unit = kReplacementCharacter;
        }
        appendCodePoint(unit);
    }
    appendByte('"');
    return *this;
}

CJsonText& CJsonText::number(long long value) {
    separate();
    valueBefore = true;
    char digits[24];
    std::size_t start = sizeof(digits);
    unsigned long long magnitude =
        value < 0 ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
    do {
        digits[--start] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) {
        digits[--start] = '-';
    }
    appendBytes(digits + start, sizeof(digits) - start);
    return *this;
}

CJsonText& CJsonText::boolean(bool value) {
    separate();
    valueBefore = true;
    if (value) {
        appendBytes("true", 4);
    } else {
        appendBytes("false", 5);
    }
    return *this;
}
