// Names of service states and control codes for the trace.
#include "common/ServiceNames.h"
#include "service/CExecutor.h"

const wchar_t* CExecutor::getStatusDescription(DWORD state) { return describeServiceState(state); }

const wchar_t* CExecutor::getCtrlCodeDescription(DWORD code) { return describeControlCode(code); }
