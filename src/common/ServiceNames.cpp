#include "common/ServiceNames.h"

namespace {

// The controls from here on are not named in the trace.
const unsigned long kFirstUntracedControl = 11;

const CNamedValue kServiceStateNames[] = {
    {L"SERVICE_STOPPED", 1},       {L"SERVICE_START_PENDING", 2},    {L"SERVICE_STOP_PENDING", 3},
    {L"SERVICE_RUNNING", 4},       {L"SERVICE_CONTINUE_PENDING", 5}, {L"SERVICE_PAUSE_PENDING", 6},
    {L"SERVICE_PAUSED", 7},
};

}  // namespace

const CNamedValue kServiceControlNames[14] = {
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

const CNamedValue kStartTypeNames[3] = {
    {L"SERVICE_AUTO_START", 2},
    {L"SERVICE_DEMAND_START", 3},
    {L"SERVICE_DISABLED", 4},
};

const CNamedValue kErrorControlNames[4] = {
    {L"SERVICE_ERROR_IGNORE", 0},
    {L"SERVICE_ERROR_NORMAL", 1},
    {L"SERVICE_ERROR_SEVERE", 2},
    {L"SERVICE_ERROR_CRITICAL", 3},
};

const CNamedValue kServiceSidTypeNames[3] = {
    {L"NONE", 0},
    {L"UNRESTRICTED", 1},
    {L"RESTRICTED", 3},
};

const wchar_t* describeControlCode(unsigned long code) {
    const CNamedValue* entry = code < kFirstUntracedControl ? findValue(kServiceControlNames, code) : nullptr;
    return entry != nullptr ? entry->name : L"Unknown";
}

const wchar_t* describeServiceState(unsigned long state) {
    const CNamedValue* entry = findValue(kServiceStateNames, state);
    return entry != nullptr ? entry->name : L"Unknown";
}
