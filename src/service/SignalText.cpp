#include "service/SignalText.h"

#include "common/AsciiCase.h"
#include "common/DecimalText.h"

namespace {

struct CSignalName {
    const wchar_t* name;
    unsigned long code;
};

const CSignalName kServiceControls[] = {
    {L"SERVICE_CONTROL_STOP", 1},
    {L"SERVICE_CONTROL_PAUSE", 2},
    {L"SERVICE_CONTROL_CONTINUE", 3},
    {L"SERVICE_CONTROL_INTERROGATE", 4},
    {L"SERVICE_CONTROL_SHUTDOWN", 5},
    {L"SERVICE_CONTROL_PARAMCHANGE", 6},
    {L"SERVICE_CONTROL_NETBINDADD", 7},
    {L"SERVICE_CONTROL_NETBINDREMOVE", 8},
    {L"SERVICE_CONTROL_NETBINDENABLE", 9},
    {L"SERVICE_CONTROL_NETBINDDISABLE", 10},
    {L"SERVICE_CONTROL_DEVICEEVENT", 11},
    {L"SERVICE_CONTROL_HARDWAREPROFILECHANGE", 12},
    {L"SERVICE_CONTROL_POWEREVENT", 13},
    {L"SERVICE_CONTROL_RESTART", 128},
};

const CSignalName kConsoleEvents[] = {
    {L"CTRL_C_EVENT", 250},
    {L"CTRL_BREAK_EVENT", 251},
};

template <unsigned long Count>
bool findName(const CSignalName (&names)[Count], const wchar_t* text, unsigned long* code) {
    for (const CSignalName& candidate : names) {
        if (equalsIgnoringAsciiCase(text, candidate.name)) {
            *code = candidate.code;
            return true;
        }
    }
    return false;
}

}  // namespace

ESignalText parseSignalText(const wchar_t* text, unsigned long* code) {
    const wchar_t first = toUpperAscii(text[0]);
    if (first == L'S') {
        return findName(kServiceControls, text, code) ? ESignalText::code : ESignalText::unknownServiceControl;
    }
    if (first == L'C') {
        return findName(kConsoleEvents, text, code) ? ESignalText::code : ESignalText::unknownControlSignal;
    }
    // A number is used as a 32-bit unsigned code, so "-1" is 0xFFFFFFFF.
    *code = static_cast<unsigned long>(parseLeadingInteger(text)) & 0xFFFFFFFFUL;
    return ESignalText::code;
}
