#include "common/StopDeadline.h"

void CStopDeadline::arm(std::uint64_t now) {
    if (budget != 0 && !armed) {
        armed = true;
        deadline = now + budget;
    }
}

void CStopDeadline::armWithin(std::uint64_t now, std::uint32_t limitMs) {
    const std::uint64_t latest = now + limitMs;
    if (!armed || latest < deadline) {
        armed = true;
        deadline = latest;
    }
}

std::uint64_t CStopDeadline::waitMs(std::uint64_t now) const {
    if (!armed) {
        return kNoDeadline;
    }
    return now >= deadline ? 0 : deadline - now;
}

std::uint32_t CStopDeadline::waitHintMs(std::uint64_t now, std::uint32_t marginMs) const {
    if (!armed && budget == 0) {
        return UINT32_MAX;
    }
    const std::uint64_t hint = (armed ? waitMs(now) : budget) + marginMs;
    return hint < UINT32_MAX ? static_cast<std::uint32_t>(hint) : UINT32_MAX;
}
