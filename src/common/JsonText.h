#pragma once
// One line of JSON text in UTF-8, built member by member. Strings arrive as
// the program's wide text (UTF-16 code units on Windows) and leave escaped as
// JSON requires; a failed allocation is remembered, as CTextBuilder does.
#include <cstddef>

#include "common/GrowableText.h"

class CJsonText {
public:
    CJsonText& beginObject();
    CJsonText& endObject();
    CJsonText& beginArray();
    CJsonText& endArray();
    // The member's name; its value is the next call.
    CJsonText& key(const char* name);
    // Null text is written as JSON's null.
    CJsonText& string(const wchar_t* text);
    CJsonText& number(long long value);
    CJsonText& boolean(bool value);

    // Never null: an empty text answers "".
    const char* text() const { return buffer.text(); }
    std::size_t length() const { return buffer.length(); }
    bool failed() const { return buffer.failed(); }

private:
    // The comma before a value or key that follows another in its container.
    void separate();
    // An object's or array's first and last bracket.
    CJsonText& open(char bracket);
    CJsonText& close(char bracket);
    void appendBytes(const char* bytes, std::size_t count) { buffer.append(bytes, count); }
    void appendByte(char byte) { appendBytes(&byte, 1); }
    void appendCodePoint(unsigned long codePoint);

    CGrowableText<char> buffer;
    bool valueBefore = false;
};
