#include "service/OutputCopier.h"

#include <cwchar>
#include <new>

#include "common/CTextBuilder.h"
#include "common/HeapText.h"
#include "common/LogRotation.h"
#include "common/SrwLockGuard.h"
#include "log/CLogger.h"
#include "log/LogFileRotation.h"

namespace {

// The pipe's buffer and the copier's reads: large enough that a busy writer
// rarely waits for the copier, small enough for two streams.
const DWORD kPipeBytes = 64 * 1024;

// After a read that found little, output gathers in the pipe this long before
// the next read: a read waiting in the pipe makes every write of a line wake
// this thread, which costs a writer under Wine twenty times a file write.
const DWORD kGatherMs = 5;

// Standard output and standard error.
const unsigned kMaxStreams = 2;

// One file the copier writes to.
struct CCapturedFile {
    CHeapText name;
    CFileHandle handle;
    // Bytes the size limit counts: the file's size, or what came after a failed rotation.
    std::uint64_t countedSize = 0;
    // The last byte written ended a line: the file may rotate here.
    bool atLineStart = true;
    bool rotationFailureLogged = false;
};

// One pipe and the file it goes to.
struct CPipeStream {
    CFileHandle readEnd;
    CFileHandle writeEnd;
    CKernelHandle readDone;
    OVERLAPPED overlapped = {};
    bool reading = false;
    bool ended = false;
    CHeapPtr<char> buffer;
    CCapturedFile* file = nullptr;
};

// Appending only, shared in every way: readers are not locked out, and a
// reader that opens the file without delete sharing only delays its rotation.
HANDLE openForAppending(const wchar_t* name) {
    return CreateFileW(name, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::uint64_t sizeOf(HANDLE file) {
    LARGE_INTEGER size = {};
    return GetFileSizeEx(file, &size) ? static_cast<std::uint64_t>(size.QuadPart) : 0;
}

}  // namespace

// Written by addFile and setRotation before the thread starts, then the
// thread's alone; the stop event is the only part other threads touch after.
struct COutputCopier::CState {
    CLogger* logger = nullptr;
    CKernelHandle stop;
    CCapturedFile files[kMaxStreams];
    CPipeStream streams[kMaxStreams];
    unsigned count = 0;
    std::uint64_t limitBytes = static_cast<std::uint64_t>(kDefaultLogRotateMiB) * 1024 * 1024;
    unsigned keep = kDefaultLogKeep;

    void run();
    void beginRead(CPipeStream& stream);
    // The bytes received.
    DWORD completeRead(CPipeStream& stream, BOOL wait);
    void drain(CPipeStream& stream);
    void writeOut(CCapturedFile& file, const char* data, std::size_t length);
    void writeWhole(CCapturedFile& file, const char* data, std::size_t length);
    void rotate(CCapturedFile& file);
};

COutputCopier::COutputCopier() = default;

COutputCopier::~COutputCopier() { finish(kFinishPatienceMs); }

HANDLE COutputCopier::addFile(CLogger* logger, const wchar_t* name) {
    if (!state) {
        state.reset(new (std::nothrow) CState);
        if (state) {
            state->stop.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        }
        if (!state || !state->stop) {
            logFailure(logger, L"Cannot prepare the output files ", GetLastError());
            state.reset();
            return nullptr;
        }
        state->logger = logger;
    }
    for (unsigned index = 0; index < state->count; ++index) {
        if (_wcsicmp(state->files[index].name.get(), name) == 0) {
            return state->streams[index].writeEnd.get();
        }
    }
    if (state->count == kMaxStreams) {
        return nullptr;
    }
    CCapturedFile& file = state->files[state->count];
    CPipeStream& stream = state->streams[state->count];
    file.handle.reset(openForAppending(name));
    if (!file.handle) {
        const DWORD error = GetLastError();
        logger->logMessage(L"Cannot open the output file ", name);
        logFailure(logger, L"CreateFile failed ", error);
        return nullptr;
    }
    file.countedSize = sizeOf(file.handle.get());
    file.name = duplicateText(name);
    // A named pipe rather than CreatePipe's: only its read end can be read
    // overlapped, so that one thread serves both streams and wakes for the
    // stop while writers still hold the write end. The name is this
    // process's own; a single instance, connected at once, admits no one else.
    static LONG pipeNumber = 0;
    CTextBuilder pipeName;
    pipeName.append(L"\\\\.\\pipe\\pravik-output-")
        .appendDecimal(GetCurrentProcessId())
        .appendChar(L'-')
        .appendDecimal(InterlockedIncrement(&pipeNumber));
    stream.readEnd.reset(CreateNamedPipeW(pipeName.text(),
                                          PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                          PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 0, kPipeBytes, 0,
                                          nullptr));
    if (stream.readEnd) {
        stream.writeEnd.reset(
            CreateFileW(pipeName.text(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    stream.readDone.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    stream.buffer = allocateZeroed<char>(kPipeBytes);
    if (!file.name || !stream.readEnd || !stream.writeEnd || !stream.readDone || !stream.buffer) {
        logFailure(logger, L"Cannot make the pipe for the output file ", GetLastError());
        file = CCapturedFile();
        stream.readEnd.reset();
        stream.writeEnd.reset();
        return nullptr;
    }
    stream.overlapped.hEvent = stream.readDone.get();
    stream.file = &file;
    ++state->count;
    return stream.writeEnd.get();
}

void COutputCopier::setRotation(std::uint64_t limitBytes, unsigned keep) {
    if (state) {
        state->limitBytes = limitBytes;
        state->keep = keep;
    }
}

bool COutputCopier::start(CLogger* logger) {
    if (!state || state->count == 0) {
        return true;
    }
    thread.reset(CreateThread(nullptr, 0, copy, state.get(), 0, nullptr));
    if (!thread) {
        logFailure(logger, L"Cannot start the thread that writes the output files ", GetLastError());
        return false;
    }
    return true;
}

void COutputCopier::finish(DWORD patienceMs) {
    // A second caller waits for the first, within the first one's patience.
    CSrwLockGuard held(&finishLock);
    if (!thread || !state) {
        return;
    }
    SetEvent(state->stop.get());
    if (WaitForSingleObject(thread.get(), patienceMs) != WAIT_OBJECT_0) {
        // The thread is stuck in a write and may yet finish it while the
        // process ends: it keeps what it uses.
        static_cast<void>(state.release());
    }
}

DWORD WINAPI COutputCopier::copy(LPVOID state) {
    static_cast<CState*>(state)->run();
    return 0;
}

void COutputCopier::CState::run() {
    HANDLE waits[1 + kMaxStreams] = {stop.get()};
    for (unsigned index = 0; index < count; ++index) {
        waits[1 + index] = streams[index].readDone.get();
        beginRead(streams[index]);
    }
    for (;;) {
        // Unbounded: finish sets the stop event, and output wakes it meanwhile.
        const DWORD woken = WaitForMultipleObjects(1 + count, waits, FALSE, INFINITE);
        if (woken <= WAIT_OBJECT_0 || woken > WAIT_OBJECT_0 + count) {
            break;
        }
        CPipeStream& stream = streams[woken - WAIT_OBJECT_0 - 1];
        if (completeRead(stream, FALSE) < kPipeBytes / 2 &&
            WaitForSingleObject(stop.get(), kGatherMs) == WAIT_OBJECT_0) {
            break;
        }
        beginRead(stream);
    }
    for (unsigned index = 0; index < count; ++index) {
        drain(streams[index]);
    }
}

void COutputCopier::CState::beginRead(CPipeStream& stream) {
    if (stream.ended) {
        return;
    }
    stream.reading = ReadFile(stream.readEnd.get(), stream.buffer.get(), kPipeBytes, nullptr, &stream.overlapped) ||
                     GetLastError() == ERROR_IO_PENDING;
    if (!stream.reading) {
        // No writer is left (or the pipe failed): nothing will come, and the
        // event must not wake the thread again.
        stream.ended = true;
        ResetEvent(stream.readDone.get());
    }
}

DWORD COutputCopier::CState::completeRead(CPipeStream& stream, BOOL wait) {
    DWORD received = 0;
    const BOOL done = GetOverlappedResult(stream.readEnd.get(), &stream.overlapped, &received, wait);
    stream.reading = false;
    if (done) {
        writeOut(*stream.file, stream.buffer.get(), received);
    } else if (GetLastError() != ERROR_OPERATION_ABORTED) {
        stream.ended = true;
        ResetEvent(stream.readDone.get());
    }
    return done ? received : 0;
}

void COutputCopier::CState::drain(CPipeStream& stream) {
    // What a read in progress has received counts; the rest is still in the pipe.
    if (stream.reading) {
        CancelIo(stream.readEnd.get());
        completeRead(stream, TRUE);
    }
    DWORD available = 0;
    while (!stream.ended && PeekNamedPipe(stream.readEnd.get(), nullptr, 0, nullptr, &available, nullptr) &&
           available > 0) {
        beginRead(stream);
        if (stream.reading) {
            completeRead(stream, TRUE);
        }
    }
}

void COutputCopier::CState::writeOut(CCapturedFile& file, const char* data, std::size_t length) {
    // Ends: a rotation leaves a file that is empty or, when it failed, counted from 0.
    while (length > 0) {
        const std::size_t before = bytesBeforeRotation(file.countedSize, file.atLineStart, data, length, limitBytes);
        if (before == 0) {
            rotate(file);
            continue;
        }
        writeWhole(file, data, before);
        data += before;
        length -= before;
    }
}

void COutputCopier::CState::writeWhole(CCapturedFile& file, const char* data, std::size_t length) {
    if (!file.handle) {
        file.handle.reset(openForAppending(file.name.get()));
    }
    file.countedSize += length;
    file.atLineStart = data[length - 1] == '\n';
    while (length > 0 && file.handle) {
        DWORD written = 0;
        if (!WriteFile(file.handle.get(), data, static_cast<DWORD>(length), &written, nullptr) || written == 0) {
            // A full disk: the output is lost, as it would be without a copier.
            return;
        }
        data += written;
        length -= written;
    }
}

void COutputCopier::CState::rotate(CCapturedFile& file) {
    file.handle.reset();
    const DWORD failure = rotateLogFile(file.name.get(), keep);
    file.handle.reset(openForAppending(file.name.get()));
    file.countedSize = file.handle ? sizeOf(file.handle.get()) : 0;
    if (failure != 0) {
        // Output goes on to the file as it is; the next try is one whole size later.
        file.countedSize = 0;
        if (!file.rotationFailureLogged) {
            file.rotationFailureLogged = true;
            logger->logMessage(L"Cannot rotate the output file ", file.name.get());
            logFailure(logger, L"It grows on until it can be rotated ", failure);
        }
    }
    if (!file.handle) {
        logFailure(logger, L"Cannot open the output file again after rotating it ", GetLastError());
    }
}
