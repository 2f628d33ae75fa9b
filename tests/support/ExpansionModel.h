#pragma once
// A plain second reading of the environment expansion rules, against which the
// program's expansion is checked: "\%" is a literal percent sign, %NAME% is the
// variable's value when it is defined and shorter than 4000 characters, and an
// unmatched "%" keeps itself and everything after it.
#include <cstddef>
#include <string>

// lookup(name) answers a pointer to the value, or null when the variable is undefined.
template <typename Lookup>
std::wstring expansionModel(const std::wstring& text, Lookup lookup) {
    std::wstring out;
    std::size_t at = 0;
    while (at < text.size()) {
        if (text[at] == L'\\' && at + 1 < text.size() && text[at + 1] == L'%') {
            out += L'%';
            at += 2;
        } else if (text[at] == L'%') {
            const std::size_t closing = text.find(L'%', at + 1);
            if (closing == std::wstring::npos) {
                out += text.substr(at);
                break;
            }
            const std::wstring* value = lookup(text.substr(at + 1, closing - at - 1));
            if (value != nullptr && value->size() < 4000) {
                out += *value;
            }
            at = closing + 1;
        } else {
            out += text[at++];
        }
    }
    return out;
}
