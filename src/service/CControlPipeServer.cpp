#include "service/CControlPipeServer.h"

#include "common/HeapText.h"
#include "log/CLogger.h"
#include "log/TraceScope.h"
#include "service/ControlPipe.h"

namespace {

const DWORD kPipeOpenMode = PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED;
const DWORD kPipeMode = PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT;
const DWORD kPipeInstances = 2;
const DWORD kPipeBufferSize = 4;
const DWORD kPipeTimeoutMs = 500;
// How often the server looks at the stop event while no client comes.
const DWORD kConnectWaitMs = 500;

// Reads one message: up to four bytes, until the client has sent them or has
// closed its end. The pipe is overlapped, so the read goes through the record
// and is waited for. The number of bytes that arrived.
DWORD readMessage(HANDLE pipe, OVERLAPPED* overlapped, unsigned char (&bytes)[4]) {
    DWORD total = 0;
    while (total < sizeof(bytes)) {
        ResetEvent(overlapped->hEvent);
        overlapped->Offset = 0;
        overlapped->OffsetHigh = 0;
        DWORD got = 0;
        if (!ReadFile(pipe, bytes + total, sizeof(bytes) - total, &got, overlapped)) {
            if (GetLastError() != ERROR_IO_PENDING || !GetOverlappedResult(pipe, overlapped, &got, TRUE)) {
                break;
            }
        } else if (!GetOverlappedResult(pipe, overlapped, &got, TRUE)) {
            break;
        }
        if (got == 0) {
            break;
        }
        total += got;
    }
    return total;
}

}  // namespace

CControlPipeServer::CControlPipeServer(CLogger* logger, const wchar_t* serviceName, Forward forward, void* context)
    : logger(logger), serviceName(serviceName), forward(forward), context(context) {}

CControlPipeServer::~CControlPipeServer() { stop(); }

bool CControlPipeServer::start() {
    thread.reset(CreateThread(nullptr, 0, run, this, 0, nullptr));
    return thread.isValid();
}

void CControlPipeServer::stop() {
    SetEvent(stopEvent.get());
    if (thread) {
        WaitForSingleObject(thread.get(), INFINITE);
        thread.reset();
    }
}

DWORD WINAPI CControlPipeServer::run(LPVOID server) {
    static_cast<CControlPipeServer*>(server)->serve();
    return 0;
}

void CControlPipeServer::serve() {
    CHeapText pipeName(controlPipeName(serviceName));
    CTraceScope trace(logger, L"CExecutor::readFromPipe");
    if (!pipeName) {
        logger->logMessage(L"Memory Error");
        return;
    }
    CFileHandle pipe(CreateNamedPipeW(pipeName.get(), kPipeOpenMode, kPipeMode, kPipeInstances, kPipeBufferSize,
                                      kPipeBufferSize, kPipeTimeoutMs, nullptr));
    if (!pipe) {
        logFailure(logger, L"Could not create named pipe rc=", GetLastError());
        return;
    }
    CKernelHandle connectEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!connectEvent) {
        logFailure(logger, L"Could not create the control pipe's event rc=", GetLastError());
        return;
    }
    OVERLAPPED overlapped = {};
    overlapped.hEvent = connectEvent.get();
    if (WaitForSingleObject(stopEvent.get(), 0) != WAIT_OBJECT_0) {
        DWORD lastError = 0;
        BOOL connected = FALSE;
        for (bool done = false; !done;) {
            if (lastError != ERROR_IO_PENDING) {
                overlapped.Offset = 0;
                overlapped.OffsetHigh = 0;
                connected = ConnectNamedPipe(pipe.get(), &overlapped);
                if (!connected) {
                    lastError = GetLastError();
                }
            }
            bool clientHere = false;
            if (lastError == ERROR_IO_PENDING && WaitForSingleObject(connectEvent.get(), kConnectWaitMs) == WAIT_OBJECT_0) {
                clientHere = true;
            } else if (connected || lastError == ERROR_PIPE_CONNECTED || lastError == ERROR_NO_DATA) {
                // ERROR_NO_DATA: the client wrote and left before the connect;
                // what it wrote can still be read.
                clientHere = true;
            } else if (lastError != ERROR_IO_PENDING) {
                done = true;
                logger->logMessage(L"Got an unexpected error, killing pipe thread rc =",
                                   static_cast<unsigned long>(lastError));
            }
            if (clientHere) {
                unsigned char bytes[4] = {};
                // A connection that brings less than a whole code (the restart's
                // probes bring nothing) forwards nothing.
                if (readMessage(pipe.get(), &overlapped, bytes) == sizeof(bytes)) {
                    forward(context, decodeControlCode(bytes));
                }
                DisconnectNamedPipe(pipe.get());
                lastError = 0;
                connected = FALSE;
                ResetEvent(connectEvent.get());
            }
            if (!done && WaitForSingleObject(stopEvent.get(), 0) == WAIT_OBJECT_0) {
                done = true;
            }
        }
    }
    // The event and the pipe close before the Exit line, as they are made after the trace scope.
}
