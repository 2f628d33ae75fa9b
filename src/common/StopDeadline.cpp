#include "common/StopDeadline.h"

void CStopDeadline::arm(std::uint64_t now) {
    if (budget != 0 && !armed) {
        armed = true;
        deadline = now + budget;
    }
}

void CStopDeadline::report(std::uint64_t now, bool stopPending, std::uint32_t checkPoint, std::uint32_t waitHint) {
    if (armed && stopPending && checkPoint > lastCheckPoint) {
        deadline = now + waitHint;
    }
    lastCheckPoint = checkPoint;
}

std::uint64_t CStopDeadline::waitMs(std::uint64_t now) const {
    if (!armed) {
        return kNoDeadline;
    }
    return now >= deadline ? 0 : deadline - now;
}
