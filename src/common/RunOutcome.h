#pragma once
// How one service run ends, as far as Java has told: whether it has reported
// STOPPED and with which service-specific exit code, and whether it ever ran.
// Java's STOPPED is its last word and the exit code of the run, reported only
// once the JVM has shut down and the output is in its files. Portable, so
// that the rules are tested natively; the executor guards it.
#include <cstdint>

class CRunOutcome {
public:
    // The states as SERVICE_STATUS carries them.
    static constexpr std::uint32_t kStopped = 1;
    static constexpr std::uint32_t kRunning = 4;

    // A state Java reports; false when it is dropped, coming after Java's STOPPED.
    bool javaReport(std::uint32_t state, std::uint32_t serviceSpecificExitCode);
    bool javaStopped() const { return stopped; }
    // The exit code of the run: Java's own once it has reported STOPPED, else otherwise.
    std::uint32_t exitCode(std::uint32_t otherwise) const { return stopped ? stoppedCode : otherwise; }
    // Whether a run that ends with pravik's own result (0, or 13 to 22) is a
    // failed start: its exit code is not 0, and it never reported RUNNING.
    bool startFailed(std::uint32_t result) const { return exitCode(result) != 0 && !ran; }

private:
    bool stopped = false;
    std::uint32_t stoppedCode = 0;
    bool ran = false;
};
