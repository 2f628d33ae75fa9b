// Console mode: the service runs on the main thread, and a pipe thread takes
// the controls that other instances send over the control pipe.
#include <cwchar>

#include "common/CTextBuilder.h"
#include "common/HeapText.h"
#include "log/CLogger.h"
#include "log/TraceScope.h"
#include "service/CExecutor.h"

namespace {

const wchar_t kPipePrefix[] = L"\\\\.\\pipe\\";
const wchar_t kPipeSuffix[] = L"_PravikPipe";

const DWORD kPipeOpenMode = PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED;
const DWORD kPipeMode = PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT;
const DWORD kPipeInstances = 2;
const DWORD kPipeBufferSize = 4;
const DWORD kPipeTimeoutMs = 500;
// How often the server looks at the finished event while no client comes.
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

DWORD WINAPI pipeRoutine(LPVOID executor) {
    static_cast<CExecutor*>(executor)->readFromPipe();
    return 0;
}

void CExecutor::startDevModeService() {
    logger->logEntry(L"CExecutor::startDevModeService");
    CKernelHandle pipeThread(CreateThread(nullptr, 0, pipeRoutine, this, 0, nullptr));
    if (!pipeThread) {
        logger->logMessage(L"Error creating pipe thread, signalling is not available.");
    }
    // The exit code of a console-mode run is 0 whatever the service's result.
    startServiceTask();
    logger->logExit(L"CExecutor::startDevModeService", 0);
    SetEvent(finishedEvent.get());
    if (pipeThread) {
        WaitForSingleObject(pipeThread.get(), INFINITE);
    }
}

wchar_t* CExecutor::getPipeName() {
    CTextBuilder name;
    name.append(kPipePrefix).append(serviceName).append(kPipeSuffix);
    return name.release();
}

void CExecutor::readFromPipe() {
    CHeapText pipeName(getPipeName());
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
    if (WaitForSingleObject(finishedEvent.get(), 0) != WAIT_OBJECT_0) {
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
                    const DWORD code = static_cast<DWORD>(bytes[0]) | static_cast<DWORD>(bytes[1]) << 8 |
                                       static_cast<DWORD>(bytes[2]) << 16 | static_cast<DWORD>(bytes[3]) << 24;
                    forwardControl(code);
                }
                DisconnectNamedPipe(pipe.get());
                lastError = 0;
                connected = FALSE;
                ResetEvent(connectEvent.get());
            }
            if (!done && WaitForSingleObject(finishedEvent.get(), 0) == WAIT_OBJECT_0) {
                done = true;
            }
        }
    }
    // The event and the pipe close before the Exit line, as they are made after the trace scope.
}
