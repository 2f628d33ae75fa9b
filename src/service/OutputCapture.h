#pragma once
// A service has no console: what Java and native libraries print to standard
// output and error is lost unless it goes to a file. The capture points the
// process's standard handles and the C runtime's descriptors 1 and 2 at pipes
// into the files the service names (COutputCopier), before the JVM library is
// loaded, so that the JVM, its C runtime and Java's System.out and System.err
// all pick them up, and the files rotate by size without cutting a line.
#include <windows.h>

#include <cstdint>

#include "service/OutputCopier.h"

class CLogger;
class CServiceEvents;
class CStartSettings;

class COutputCapture {
public:
    // Takes the JVM output hook's flush away and gives the standard handles
    // back, then the copier writes what is left.
    ~COutputCapture();

    // Captures into the service's StandardOutput and StandardError files
    // (references expanded), rotated by its LogRotateSize and LogKeep; a
    // stream without a file is left as it is. events tells of a rotation that
    // a file blocks; the copier's thread uses it until finish.
    void start(CLogger* logger, const CStartSettings& settings, CServiceEvents* events);
    // The same for the files named (either may be null), rotated past
    // rotateBytes (0: never) with keep older files. A file that cannot be
    // opened is logged with the system's reason and its stream left as it is.
    // With standard output captured, the JVM's output hook waits for the
    // copier (setJvmOutputFlush).
    void capture(CLogger* logger, const wchar_t* outputName, const wchar_t* errorName, std::uint64_t rotateBytes,
                 unsigned keep, CServiceEvents* events);
    // Everything written so far reaches the files, within patienceMs: before
    // the service reports STOPPED, and before the process ends.
    void finish(DWORD patienceMs) { copier.finish(patienceMs); }

private:
    // Makes the pipe the stream's standard handle and C runtime descriptor.
    void redirect(CLogger* logger, HANDLE pipe, DWORD standardHandle, int descriptor);
    // The JVM output hook's wait for the copier (setJvmOutputFlush).
    static void flushForJvm(void* capture);

    COutputCopier copier;
    // The standard handles before the capture, given back by the destructor.
    HANDLE previousOutput = nullptr;
    HANDLE previousError = nullptr;
    // Standard output's pipe once captured (the copier owns it).
    HANDLE outputPipe = nullptr;
    bool errorCaptured = false;
};
