#pragma once
// The one logger of the process: messages to standard output (when switched
// on) and, when a trace file is named, every message plus entry and exit lines
// of traced operations. Where the lines go is the sink's part (log/LogSink.h).
#include "log/LogSink.h"

#if defined(_WIN32)
#include "log/CTraceFile.h"
#endif

class CLogger {
public:
#if defined(_WIN32)
    // The process's logger: the console, and the trace file that the
    // registry's Trace value names (log/ProcessLogger.cpp).
    CLogger();
#endif
    // Lines go to the sink; the trace is opened at once when tracePath names one.
    CLogger(const CLogSink& sink, const wchar_t* tracePath);
    ~CLogger() = default;
    CLogger(const CLogger&) = delete;
    CLogger& operator=(const CLogger&) = delete;

    void writeEntry(const wchar_t* text, const wchar_t* text2, const wchar_t* text3);

    void logEntry(const wchar_t* name);
    void logEntry(const wchar_t* name, int number);
    void logExit(const wchar_t* name, int number);

    void logMessage(const wchar_t* text);
    void logMessage(const wchar_t* text, const wchar_t* text2);
    void logMessage(const wchar_t* text, const wchar_t* text2, const wchar_t* text3);
    void logMessage(const wchar_t* text, unsigned long number);

    void logSystemError(unsigned long code);

    void enableStdout(int value);
    void enableLogFile(const wchar_t* path);

private:
    CLogSink sink;
    int stdoutEnabled = 0;
    int traceEnabled = 0;
#if defined(_WIN32)
    // The process logger's trace, which its sink writes; unused with another sink.
    CTraceFile traceFile;
#endif
};

// A failed system call, reported the one way the program does it: the caller's
// text with the code, then the system's wording for the code on its own line.
void logFailure(CLogger* logger, const wchar_t* text, unsigned long code);
