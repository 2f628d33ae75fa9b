#pragma once
// A service has no console: what Java and native libraries print to standard
// output and error is lost unless it goes to a file. The capture points the
// process's standard handles and the C runtime's descriptors 1 and 2 at the
// files the service names, before the JVM library is loaded, so that the
// JVM, its C runtime and Java's System.out and System.err all pick them up.
#include <windows.h>

#include "common/Win32Handle.h"

class CLogger;

class COutputCapture {
public:
    COutputCapture() = default;
    // Gives the standard handles back before the files are closed.
    ~COutputCapture();
    COutputCapture(const COutputCapture&) = delete;
    COutputCapture& operator=(const COutputCapture&) = delete;

    // Captures into the service's StandardOutput and StandardError files
    // (references expanded); a stream without a file is left as it is.
    void start(CLogger* logger, const wchar_t* serviceName);
    // The same for the files named (either may be null). A file that cannot be
    // opened is logged with the system's reason and its stream left as it is.
    void capture(CLogger* logger, const wchar_t* outputName, const wchar_t* errorName);

private:
    // Makes the file the stream's standard handle and C runtime descriptor.
    void redirect(CLogger* logger, HANDLE file, DWORD standardHandle, int descriptor);

    CFileHandle outputFile;
    // Null when standard error shares outputFile.
    CFileHandle errorFile;
    // The standard handles before the capture, given back by the destructor.
    HANDLE previousOutput = nullptr;
    HANDLE previousError = nullptr;
    bool outputCaptured = false;
    bool errorCaptured = false;
};
