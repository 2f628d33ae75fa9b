#pragma once
// The tables of words that stand for numbers (control names, start types,
// error controls), and the one way they are looked up.
#include <cstddef>

#include "common/AsciiCase.h"

struct CNamedValue {
    const wchar_t* name;
    unsigned long value;
};

// The entry whose name equals text, A to Z folded; null when none does.
template <std::size_t Count>
const CNamedValue* findNamedValue(const CNamedValue (&table)[Count], const wchar_t* text) {
    for (const CNamedValue& entry : table) {
        if (equalsIgnoringAsciiCase(text, entry.name)) {
            return &entry;
        }
    }
    return nullptr;
}

// The entry whose value is value; null when none has it.
template <std::size_t Count>
const CNamedValue* findValue(const CNamedValue (&table)[Count], unsigned long value) {
    for (const CNamedValue& entry : table) {
        if (entry.value == value) {
            return &entry;
        }
    }
    return nullptr;
}
