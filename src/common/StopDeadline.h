#pragma once
// The arithmetic of the stop budget: when a service that was asked to stop has
// run out of time. The budget is a hard bound: it runs from the first request
// for the stop, and no report of progress extends it. The caller reads the
// clock (milliseconds, never wrapping: GetTickCount64 under Windows), so the
// rules are tested natively.
#include <cstdint>

class CStopDeadline {
public:
    // Answered by waitMs while nothing is armed.
    static constexpr std::uint64_t kNoDeadline = UINT64_MAX;

    // budgetMs 0 means no limit: arm never arms the deadline.
    explicit CStopDeadline(std::uint32_t budgetMs) : budget(budgetMs) {}

    std::uint32_t budgetMs() const { return budget; }
    // Starts the budget at now, unless it runs already: one budget covers the
    // whole stop, however many times it is asked for.
    void arm(std::uint64_t now);
    // The end comes limitMs from now at the latest, with or without a budget;
    // a deadline that comes sooner stays.
    void armWithin(std::uint64_t now, std::uint32_t limitMs);
    // Milliseconds left at now: 0 once the deadline has passed, kNoDeadline while not armed.
    std::uint64_t waitMs(std::uint64_t now) const;
    // The wait hint of a report of the stop at now: what the budget has left
    // (all of it before it runs) plus marginMs, the time the end may take
    // after the deadline; UINT32_MAX (no end foreseen) without a limit.
    std::uint32_t waitHintMs(std::uint64_t now, std::uint32_t marginMs) const;

private:
    std::uint32_t budget;
    bool armed = false;
    std::uint64_t deadline = 0;
};
