#pragma once
// The one logger of the process: messages to standard output (when switched
// on) and, when the registry names a trace file, every message plus entry and
// exit lines of traced operations, stamped with the writing thread's id.
#include "common/HeapText.h"

#if defined(_WIN32)
#include "common/Win32Handle.h"
#endif

class CLogger {
public:
    CLogger();
    ~CLogger();
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
    int stdoutEnabled = 0;
    int traceEnabled = 0;
#if defined(_WIN32)
    CFileHandle traceFile;
#endif
    CHeapPtr<wchar_t> wideLine;
    CHeapPtr<char> narrowLine;
    unsigned long lineCapacity = 0;
#if defined(_WIN32)
    // Serialises trace lines of the threads of this process (the shared line buffers).
    CKernelHandle mutex;
#endif
};

// A failed system call, reported the one way the program does it: the caller's
// text with the code, then the system's wording for the code on its own line.
void logFailure(CLogger* logger, const wchar_t* text, unsigned long code);
