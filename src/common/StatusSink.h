#pragma once
// Where a service's status reports go: a plain function and a context. The
// executor's reporter hands them to SetServiceStatus; native tests record them.
#include <cstdint>

// The fields of one report, in SERVICE_STATUS's order.
struct CStatusFields {
    std::uint32_t serviceType = 0;
    std::uint32_t currentState = 0;
    std::uint32_t controlsAccepted = 0;
    std::uint32_t win32ExitCode = 0;
    std::uint32_t serviceSpecificExitCode = 0;
    std::uint32_t checkPoint = 0;
    std::uint32_t waitHint = 0;
};

struct CStatusSink {
    void* context = nullptr;
    // One report: 0, or the system's code for its failure.
    unsigned long (*report)(void* context, const CStatusFields& status) = nullptr;
};
