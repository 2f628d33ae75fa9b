#include "service/SignalText.h"

#include "common/AsciiCase.h"
#include "common/DecimalText.h"
#include "common/ServiceNames.h"

namespace {

const CNamedValue kConsoleEvents[] = {
    {L"CTRL_C_EVENT", 250},
    {L"CTRL_BREAK_EVENT", 251},
};

template <std::size_t Count>
bool findName(const CNamedValue (&names)[Count], const wchar_t* text, unsigned long* code) {
    const CNamedValue* entry = findNamedValue(names, text);
    if (entry != nullptr) {
        *code = entry->value;
    }
    return entry != nullptr;
}

}  // namespace

ESignalText parseSignalText(const wchar_t* text, unsigned long* code) {
    const wchar_t first = toUpperAscii(text[0]);
    if (first == L'S') {
        return findName(kServiceControlNames, text, code) ? ESignalText::code : ESignalText::unknownServiceControl;
    }
    if (first == L'C') {
        return findName(kConsoleEvents, text, code) ? ESignalText::code : ESignalText::unknownControlSignal;
    }
    // A number is used as a 32-bit unsigned code, so "-1" is 0xFFFFFFFF.
    *code = static_cast<unsigned long>(parseLeadingInteger(text)) & 0xFFFFFFFFUL;
    return ESignalText::code;
}
