#pragma once
// Timing and reporting shared by the benchmark programs. Every figure is
// printed as one line "figure|floor|pravik|unit" (an empty floor where there
// is none, "pending" where it could not be measured); scripts/bench.sh makes
// the table.
#include <algorithm>
#include <cstdio>
#include <vector>

#if defined(_WIN32)
#include <windows.h>

inline double nowMs() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER value;
        QueryPerformanceFrequency(&value);
        return value;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}
#else
#include <chrono>

inline double nowMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
#endif

inline double median(std::vector<double> values) {
    if (values.empty()) {
        return -1;
    }
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

inline void printFigure(const char* figure, double floor, double pravik, const char* unit) {
    char floorText[32] = "";
    char pravikText[32] = "pending";
    if (floor >= 0) {
        std::snprintf(floorText, sizeof floorText, "%.3f", floor);
    }
    if (pravik >= 0) {
        std::snprintf(pravikText, sizeof pravikText, "%.3f", pravik);
    }
    std::printf("%s|%s|%s|%s\n", figure, floorText, pravikText, unit);
    std::fflush(stdout);
}
