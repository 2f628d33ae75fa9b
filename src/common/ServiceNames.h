#pragma once
// The names of service control codes, service states, start types and error controls.
#include "common/NamedValue.h"

// SERVICE_CONTROL_STOP (1) to SERVICE_CONTROL_POWEREVENT (13), then SERVICE_CONTROL_RESTART (128).
extern const CNamedValue kServiceControlNames[14];

// The trace's name of a control code: the codes 1 to 10 by name, any other
// (the device, hardware, power and restart codes too) "Unknown".
const wchar_t* describeControlCode(unsigned long code);

// SERVICE_STOPPED (1) to SERVICE_PAUSED (7) by name, any other "Unknown".
const wchar_t* describeServiceState(unsigned long state);

// SERVICE_AUTO_START (2) to SERVICE_DISABLED (4), the start types a service of this program can have.
extern const CNamedValue kStartTypeNames[3];
// SERVICE_ERROR_IGNORE (0) to SERVICE_ERROR_CRITICAL (3).
extern const CNamedValue kErrorControlNames[4];
// SERVICE_SID_TYPE_NONE (0), SERVICE_SID_TYPE_UNRESTRICTED (1), SERVICE_SID_TYPE_RESTRICTED (3), as the
// serviceSidType key spells them.
extern const CNamedValue kServiceSidTypeNames[3];
