#pragma once
// The outcomes of a service run that the event log records, each under its
// stable ID (log/EventMessages.mc). Only a run under the service control
// manager writes them: a console run's outcomes are on its developer's screen.
#include <windows.h>

#include <atomic>

#include "log/CEventLog.h"

class CServiceEvents {
public:
    CServiceEvents(CLogger* logger, const wchar_t* serviceName);

    // Set before the service's threads exist, read by them.
    void enable() { enabled = true; }

    // The first RUNNING report, with the JVM library actually loaded.
    void started(const wchar_t* jvmLibrary);
    // 13 to 23: the service ended before Java's serviceMain ran.
    void startFailed(int exitCode);
    // Java reported STOPPED with a nonzero code.
    void stoppedWithCode(DWORD exitCode);
    void javaExited(int exitCode);
    void stopTimedOut();
    // An output file's rotation stopped at blockedFile, which could not move.
    void rotationBlocked(const wchar_t* blockedFile);
    // An output file that is a link or has another name, and is not used.
    void fileRefused(const wchar_t* refusedFile);

private:
    void writeCode(WORD type, DWORD eventId, long long code, const wchar_t* reason);

    CEventLog log;
    bool enabled = false;
    // RUNNING is reported again after each continue: only the first is the start.
    std::atomic<bool> startWritten{false};
};
