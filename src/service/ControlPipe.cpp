#include "service/ControlPipe.h"

#include "common/CTextBuilder.h"

namespace {

// How long a client waits for a busy pipe before it gives up, in steps: well
// past the server's deadline for one client, so that one slow client does not
// turn another away.
const ULONGLONG kBusyPipePatienceMs = 5000;
const DWORD kBusyPipeStepMs = 500;

}  // namespace

CHeapText controlPipeName(const wchar_t* serviceName) {
    CTextBuilder name;
    name.append(L"\\\\.\\pipe\\").append(serviceName).append(L"_PravikPipe");
    return CHeapText(name.release());
}

// SECURITY_IDENTIFICATION: a server squatting on the pipe's name learns who
// the client is but cannot act as it. FILE_READ_ATTRIBUTES lets the client
// ask which process serves the pipe.
HANDLE openControlPipeOnce(const wchar_t* pipeName) {
    return CreateFileW(pipeName, GENERIC_WRITE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
}

DWORD openControlPipeClient(const wchar_t* pipeName, CFileHandle* pipe) {
    const ULONGLONG deadline = GetTickCount64() + kBusyPipePatienceMs;
    for (pipe->reset(openControlPipeOnce(pipeName)); !*pipe; pipe->reset(openControlPipeOnce(pipeName))) {
        const DWORD error = GetLastError();
        if (error != ERROR_PIPE_BUSY || GetTickCount64() >= deadline) {
            return error;
        }
        // Returns as soon as an instance is free, else after the step.
        WaitNamedPipeW(pipeName, kBusyPipeStepMs);
    }
    return 0;
}
