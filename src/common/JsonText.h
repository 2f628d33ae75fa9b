#pragma once
// One line of JSON text in UTF-8, built member by member. Strings arrive as
// the program's wide text (UTF-16 code units on Windows) and leave escaped as
// JSON requires; a failed allocation is remembered, as CTextBuilder does.
#include <cstddef>

class CJsonText {
public:
    CJsonText() = default;
    ~CJsonText();
    CJsonText(const CJsonText&) = delete;
    CJsonText& operator=(const CJsonText&) = delete;

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
    const char* text() const;
    std::size_t length() const { return used; }
    bool failed() const { return failure; }

private:
    // The comma before a value or key that follows another in its container.
    void separate();
    void appendBytes(const char* bytes, std::size_t count);
    void appendByte(char byte) { appendBytes(&byte, 1); }
    void appendCodePoint(unsigned long codePoint);

    char* buffer = nullptr;
    std::size_t used = 0;
    std::size_t capacity = 0;
    bool failure = false;
    bool valueBefore = false;
};
