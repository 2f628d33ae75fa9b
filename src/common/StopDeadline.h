#pragma once
// The arithmetic of the stop budget: when a service that was asked to stop has
// run out of time. The caller reads the clock (milliseconds, never wrapping:
// GetTickCount64 under Windows), so the rules are tested natively.
#include <cstdint>

class CStopDeadline {
public:
    // Answered by waitMs while nothing is armed.
    static constexpr std::uint64_t kNoDeadline = UINT64_MAX;

    // budgetMs 0 means no limit: the deadline never arms.
    explicit CStopDeadline(std::uint32_t budgetMs) : budget(budgetMs) {}

    std::uint32_t budgetMs() const { return budget; }
    // Starts the budget at now, unless it runs already: one budget covers the
    // whole stop, however many times it is asked for.
    void arm(std::uint64_t now);
    // A status report. As the service control manager counts progress, a
    // STOP_PENDING report whose check point is higher than the last report's
    // moves a running deadline to its wait hint from now.
    void report(std::uint64_t now, bool stopPending, std::uint32_t checkPoint, std::uint32_t waitHint);
    // Milliseconds left at now: 0 once the deadline has passed, kNoDeadline while not armed.
    std::uint64_t waitMs(std::uint64_t now) const;

private:
    std::uint32_t budget;
    bool armed = false;
    std::uint64_t deadline = 0;
    std::uint32_t lastCheckPoint = 0;
};
