#include "service/CControlPipeServer.h"

#include <initializer_list>

#include "common/HeapText.h"
#include "log/CLogger.h"
#include "log/TraceScope.h"
#include "service/ControlPipe.h"
#include "service/ControlPipeSecurity.h"

namespace {

const DWORD kPipeOpenMode = PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED;
const DWORD kPipeMode = PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS;
const DWORD kPipeInstances = 2;
const DWORD kPipeBufferSize = 4;
const DWORD kPipeTimeoutMs = 500;
// How long one client may take to send its code: a client that sends less
// and keeps its end open would otherwise hold the pipe for good.
const DWORD kClientDeadlineMs = 1000;

}  // namespace

CControlPipeServer::CControlPipeServer(CLogger* logger, const wchar_t* serviceName, Forward forward, void* context)
    : logger(logger), serviceName(serviceName), forward(forward), context(context) {}

CControlPipeServer::~CControlPipeServer() { stop(); }

EPipeServerStart CControlPipeServer::start() {
    const EPipeServerStart created = createPipe();
    if (created != EPipeServerStart::serving) {
        return created;
    }
    forwarder.reset(CreateThread(nullptr, 0, runForwarder, this, 0, nullptr));
    if (forwarder) {
        listener.reset(CreateThread(nullptr, 0, runListener, this, 0, nullptr));
    }
    if (!listener) {
        stop();
        return EPipeServerStart::withoutThreads;
    }
    return EPipeServerStart::serving;
}

EPipeServerStart CControlPipeServer::createPipe() {
    CHeapText pipeName(controlPipeName(serviceName));
    if (!pipeName) {
        logger->logMessage(L"Memory Error");
        return EPipeServerStart::withoutPipe;
    }
    DWORD error = 0;
    CLocalMemory descriptor(controlPipeSecurity(&error));
    if (!descriptor) {
        logFailure(logger, L"Could not build the control pipe's security descriptor rc=", error);
        return EPipeServerStart::withoutPipe;
    }
    // Whoever makes the first instance sets the pipe's DACL and serves it: a
    // pipe of another program's would hand it the codes of this one's senders
    // and let it send its own. The flag closes that race on Windows; Wine 8
    // ignores it, and there the look at the name beforehand is what tells.
    DWORD firstInstance = FILE_FLAG_FIRST_PIPE_INSTANCE;
    CFileHandle existing;
    const DWORD found = openControlPipeClient(pipeName.get(), &existing);
    if (found != ERROR_FILE_NOT_FOUND) {
        // A connection without a code: the other instance forwards nothing.
        if (found != 0 || !isOwnInstancePipeServer(existing.get())) {
            return EPipeServerStart::nameTaken;
        }
        firstInstance = 0;
    }
    existing.reset();
    SECURITY_ATTRIBUTES security = {sizeof(security), descriptor.get(), FALSE};
    pipe.reset(CreateNamedPipeW(pipeName.get(), kPipeOpenMode | firstInstance, kPipeMode, kPipeInstances,
                                kPipeBufferSize, kPipeBufferSize, kPipeTimeoutMs, &security));
    if (!pipe) {
        error = GetLastError();
        // Made by someone else since the look.
        if (firstInstance != 0 && error == ERROR_ACCESS_DENIED) {
            return EPipeServerStart::nameTaken;
        }
        logFailure(logger, L"Could not create named pipe rc=", error);
        return EPipeServerStart::withoutPipe;
    }
    ioEvent.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!ioEvent) {
        logFailure(logger, L"Could not create the control pipe's event rc=", GetLastError());
        pipe.reset();
        return EPipeServerStart::withoutPipe;
    }
    return EPipeServerStart::serving;
}

void CControlPipeServer::stop() {
    SetEvent(stopEvent.get());
    queue.close();
    // Both end promptly: the listener's waits end at the stop event, and the
    // owner stops the server only once no control can reach Java any more.
    for (CKernelHandle* thread : {&listener, &forwarder}) {
        if (*thread) {
            WaitForSingleObject(thread->get(), INFINITE);
            thread->reset();
        }
    }
    // Gone with the listener, as a restart waits for the pipe to go.
    pipe.reset();
}

DWORD WINAPI CControlPipeServer::runListener(LPVOID server) {
    static_cast<CControlPipeServer*>(server)->serve();
    return 0;
}

DWORD WINAPI CControlPipeServer::runForwarder(LPVOID server) {
    CControlPipeServer* self = static_cast<CControlPipeServer*>(server);
    DWORD code = 0;
    while (self->queue.take(&code)) {
        self->forward(self->context, code);
    }
    return 0;
}

void CControlPipeServer::serve() {
    CTraceScope trace(logger, L"CExecutor::readFromPipe");
    OVERLAPPED overlapped = {};
    overlapped.hEvent = ioEvent.get();
    while (awaitClient(pipe.get(), &overlapped)) {
        // A connection that brings less than a whole code (the restart's
        // probes bring nothing) forwards nothing. The client is let go before
        // its code is forwarded, so that the pipe is free for the next one.
        DWORD code = 0;
        const bool whole = readCode(pipe.get(), &overlapped, &code);
        DisconnectNamedPipe(pipe.get());
        if (whole && !queue.put(code)) {
            break;
        }
    }
}

bool CControlPipeServer::awaitClient(HANDLE pipe, OVERLAPPED* overlapped) {
    if (WaitForSingleObject(stopEvent.get(), 0) == WAIT_OBJECT_0) {
        return false;
    }
    ResetEvent(overlapped->hEvent);
    if (ConnectNamedPipe(pipe, overlapped)) {
        return true;
    }
    DWORD error = GetLastError();
    // ERROR_NO_DATA: the client wrote and left before the connect; what it
    // wrote can still be read.
    if (error == ERROR_PIPE_CONNECTED || error == ERROR_NO_DATA) {
        return true;
    }
    DWORD ignored = 0;
    // No deadline for a client to come: the wait ends at the stop.
    if (error == ERROR_IO_PENDING) {
        if (finishPending(pipe, overlapped, INFINITE, &ignored)) {
            return true;
        }
        error = GetLastError();
        if (error == ERROR_OPERATION_ABORTED) {
            return false;
        }
    }
    logger->logMessage(L"Got an unexpected error, killing pipe thread rc =", static_cast<unsigned long>(error));
    return false;
}

bool CControlPipeServer::readCode(HANDLE pipe, OVERLAPPED* overlapped, DWORD* code) {
    unsigned char bytes[4] = {};
    DWORD total = 0;
    const ULONGLONG deadline = GetTickCount64() + kClientDeadlineMs;
    while (total < sizeof(bytes)) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) {
            break;
        }
        ResetEvent(overlapped->hEvent);
        DWORD got = 0;
        if (!ReadFile(pipe, bytes + total, sizeof(bytes) - total, &got, overlapped)) {
            if (GetLastError() != ERROR_IO_PENDING ||
                !finishPending(pipe, overlapped, static_cast<DWORD>(deadline - now), &got)) {
                break;
            }
        } else if (!GetOverlappedResult(pipe, overlapped, &got, FALSE)) {
            break;
        }
        if (got == 0) {
            break;
        }
        total += got;
    }
    if (total != sizeof(bytes)) {
        return false;
    }
    *code = decodeControlCode(bytes);
    return true;
}

bool CControlPipeServer::finishPending(HANDLE pipe, OVERLAPPED* overlapped, DWORD timeoutMs, DWORD* transferred) {
    const HANDLE events[] = {overlapped->hEvent, stopEvent.get()};
    if (WaitForMultipleObjects(2, events, FALSE, timeoutMs) != WAIT_OBJECT_0) {
        CancelIoEx(pipe, overlapped);
    }
    // Completed, or cancelled just now: the record is the system's until the
    // operation has finished either way, which a cancellation makes prompt.
    return GetOverlappedResult(pipe, overlapped, transferred, TRUE) != FALSE;
}
