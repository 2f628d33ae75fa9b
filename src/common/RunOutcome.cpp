#include "common/RunOutcome.h"

bool CRunOutcome::javaReport(std::uint32_t state, std::uint32_t serviceSpecificExitCode) {
    if (stopped) {
        return false;
    }
    ran = ran || state == kRunning;
    if (state == kStopped) {
        stopped = true;
        stoppedCode = serviceSpecificExitCode;
    }
    return true;
}
