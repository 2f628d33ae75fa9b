#pragma once
// The thread that owns a service's standard output and error files. The
// process writes to pipes; this thread copies from their read ends to the
// files, appending, and rotates a file between lines once the next write would
// take it past its size. Since only this thread writes to the files, Java can
// go on writing while a file rotates, and no line is cut or lost. It serves
// the streams in turn, so that neither waits on the other.
#include <windows.h>

#include <cstdint>
#include <memory>

#include "common/Win32Handle.h"

class CLogger;
class CServiceEvents;

class COutputCopier {
public:
    COutputCopier();
    // Drains and ends the thread (finish).
    ~COutputCopier();
    COutputCopier(const COutputCopier&) = delete;
    COutputCopier& operator=(const COutputCopier&) = delete;

    // Opens the file (appending, created if missing) and a pipe into it: the
    // pipe's write end, or null when either could not be made (logged). A
    // second call with the same name shares the first one's pipe; events
    // tells of a file refused as a link. Before start.
    HANDLE addFile(CLogger* logger, const wchar_t* name, CServiceEvents* events);
    // Rotation past limitBytes (0: never), keeping keep older files. Before start.
    void setRotation(std::uint64_t limitBytes, unsigned keep);
    // Starts copying, events telling of a blocked rotation (used by the thread
    // until it ends); false when the thread could not be made (logged).
    bool start(CLogger* logger, CServiceEvents* events);
    // Everything written to the pipes before the call, a last partial line
    // included, reaches the files; then the thread ends. Waits at most
    // patienceMs (a file on a stalled disk must not hold the process up).
    // Any thread, any number of times.
    void finish(DWORD patienceMs);
    // Everything written to pipe (an answer of addFile) before the call
    // reaches its file, the thread going on. Waits at most patienceMs, and not
    // at all once a wait has run out until the thread has caught up; at once
    // without the thread (not started, or ended). Any thread, at any time
    // while this object lives.
    void flush(HANDLE pipe, DWORD patienceMs);

    // How long the destructor waits for the last output to be written.
    static constexpr DWORD kFinishPatienceMs = 5000;

    struct CState;

private:
    static DWORD WINAPI copy(LPVOID state);

    // Shared with the thread; left to it when it outlasts finish's patience,
    // since it may still use it while the process ends.
    std::unique_ptr<CState> state;
    // The same, for flush: finish may let go of state while flush reads it.
    CState* shared = nullptr;
    CKernelHandle thread;
    // Serialises finish, which the service's thread, a Java thread in
    // System.exit and the stop budget's thread may call at once.
    SRWLOCK finishLock = SRWLOCK_INIT;
};
