// The names of service states and control codes that the trace shows.
#include <gtest/gtest.h>

#include <string>

#include "service/CExecutor.h"

TEST(ServiceDescriptions, StatesOneToSevenHaveNames) {
    const wchar_t* const names[] = {L"SERVICE_STOPPED",          L"SERVICE_START_PENDING", L"SERVICE_STOP_PENDING",
                                    L"SERVICE_RUNNING",          L"SERVICE_CONTINUE_PENDING",
                                    L"SERVICE_PAUSE_PENDING",    L"SERVICE_PAUSED"};
    for (DWORD state = 1; state <= 7; ++state) {
        EXPECT_EQ(std::wstring(CExecutor::getStatusDescription(state)), names[state - 1]) << state;
    }
    EXPECT_EQ(std::wstring(CExecutor::getStatusDescription(0)), L"Unknown");
    EXPECT_EQ(std::wstring(CExecutor::getStatusDescription(8)), L"Unknown");
    EXPECT_EQ(std::wstring(CExecutor::getStatusDescription(0xFFFFFFFF)), L"Unknown");
}

TEST(ServiceDescriptions, ControlCodesOneToTenHaveNames) {
    const wchar_t* const names[] = {L"SERVICE_CONTROL_STOP",          L"SERVICE_CONTROL_PAUSE",
                                    L"SERVICE_CONTROL_CONTINUE",      L"SERVICE_CONTROL_INTERROGATE",
                                    L"SERVICE_CONTROL_SHUTDOWN",      L"SERVICE_CONTROL_PARAMCHANGE",
                                    L"SERVICE_CONTROL_NETBINDADD",    L"SERVICE_CONTROL_NETBINDREMOVE",
                                    L"SERVICE_CONTROL_NETBINDENABLE", L"SERVICE_CONTROL_NETBINDDISABLE"};
    for (DWORD code = 1; code <= 10; ++code) {
        EXPECT_EQ(std::wstring(CExecutor::getCtrlCodeDescription(code)), names[code - 1]) << code;
    }
    for (DWORD code : {0u, 11u, 12u, 13u, 128u, 250u, 251u}) {
        EXPECT_EQ(std::wstring(CExecutor::getCtrlCodeDescription(code)), L"Unknown") << code;
    }
}
