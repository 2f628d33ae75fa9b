#pragma once
// The server of a console-mode instance's control pipe. One thread takes the
// codes that other instances send, each client within a deadline; another
// hands them, in order, to the callback, so that the pipe listens again while
// a control is still being handled. Both run until the server is stopped.
#include <windows.h>

#include "common/Win32Handle.h"
#include "service/CControlCodeQueue.h"

class CLogger;

// What start() did.
enum class EPipeServerStart {
    // The pipe is there and the threads serve it.
    serving,
    // The pipe could not be made (reported) or its threads not started: the run goes on without it.
    withoutPipe,
    withoutThreads,
    // Another program holds the pipe's name (not reported): the service must not run.
    nameTaken,
};

class CControlPipeServer {
public:
    // Runs on the forwarding thread, once for each whole code received.
    using Forward = void (*)(void* context, DWORD code);

    CControlPipeServer(CLogger* logger, const wchar_t* serviceName, Forward forward, void* context);
    // Stops the threads if they still run.
    ~CControlPipeServer();
    CControlPipeServer(const CControlPipeServer&) = delete;
    CControlPipeServer& operator=(const CControlPipeServer&) = delete;

    // Creates this instance's pipe: the first one (FILE_FLAG_FIRST_PIPE_INSTANCE),
    // or the second when another console-mode instance of this program serves
    // the first. Then starts the threads.
    EPipeServerStart start();
    // Tells the threads to end, cancelling what the pipe waits for, and waits
    // until they have; the codes not yet forwarded are dropped.
    void stop();

private:
    static DWORD WINAPI runListener(LPVOID server);
    static DWORD WINAPI runForwarder(LPVOID server);
    EPipeServerStart createPipe();
    void serve();
    // Waits for the next client; false on stop or an unexpected error.
    bool awaitClient(HANDLE pipe, OVERLAPPED* overlapped);
    // Reads one code of a connected client within the deadline; false when no whole code came.
    bool readCode(HANDLE pipe, OVERLAPPED* overlapped, DWORD* code);
    // Waits for the pending operation of the record, at most timeoutMs and
    // never past a stop; cancels it when it did not complete. Whether it
    // completed, with *transferred.
    bool finishPending(HANDLE pipe, OVERLAPPED* overlapped, DWORD timeoutMs, DWORD* transferred);

    CLogger* logger;
    const wchar_t* serviceName;
    Forward forward;
    void* context;
    CControlCodeQueue queue;
    CKernelHandle stopEvent{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    CFileHandle pipe;
    CKernelHandle ioEvent;
    CKernelHandle listener;
    CKernelHandle forwarder;
};
