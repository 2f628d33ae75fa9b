#pragma once
// The server of a console-mode instance's control pipe: a thread of its own
// takes the codes that other instances send and hands each to the callback,
// until it is stopped.
#include <windows.h>

#include "common/Win32Handle.h"

class CLogger;

class CControlPipeServer {
public:
    // Runs on the server's thread, once for each whole code received.
    using Forward = void (*)(void* context, DWORD code);

    CControlPipeServer(CLogger* logger, const wchar_t* serviceName, Forward forward, void* context);
    // Stops the thread if it still runs.
    ~CControlPipeServer();
    CControlPipeServer(const CControlPipeServer&) = delete;
    CControlPipeServer& operator=(const CControlPipeServer&) = delete;

    // Starts the thread: false when it could not be created.
    bool start();
    // Tells the thread to end and waits until it has.
    void stop();

private:
    static DWORD WINAPI run(LPVOID server);
    void serve();

    CLogger* logger;
    const wchar_t* serviceName;
    Forward forward;
    void* context;
    CKernelHandle stopEvent{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    CKernelHandle thread;
};
