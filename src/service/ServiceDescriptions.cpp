// Names of service states and control codes for the trace.
#include "service/CExecutor.h"

const wchar_t* CExecutor::getStatusDescription(DWORD state) {
    switch (state) {
        case 1:
            return L"SERVICE_STOPPED";
        case 2:
            return L"SERVICE_START_PENDING";
        case 3:
            return L"SERVICE_STOP_PENDING";
        case 4:
            return L"SERVICE_RUNNING";
        case 5:
            return L"SERVICE_CONTINUE_PENDING";
        case 6:
            return L"SERVICE_PAUSE_PENDING";
        case 7:
            return L"SERVICE_PAUSED";
        default:
            return L"Unknown";
    }
}

const wchar_t* CExecutor::getCtrlCodeDescription(DWORD code) {
    switch (code) {
        case 1:
            return L"SERVICE_CONTROL_STOP";
        case 2:
            return L"SERVICE_CONTROL_PAUSE";
        case 3:
            return L"SERVICE_CONTROL_CONTINUE";
        case 4:
            return L"SERVICE_CONTROL_INTERROGATE";
        case 5:
            return L"SERVICE_CONTROL_SHUTDOWN";
        case 6:
            return L"SERVICE_CONTROL_PARAMCHANGE";
        case 7:
            return L"SERVICE_CONTROL_NETBINDADD";
        case 8:
            return L"SERVICE_CONTROL_NETBINDREMOVE";
        case 9:
            return L"SERVICE_CONTROL_NETBINDENABLE";
        case 10:
            return L"SERVICE_CONTROL_NETBINDDISABLE";
        default:
            return L"Unknown";
    }
}
