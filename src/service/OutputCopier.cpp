#include "service/OutputCopier.h"

#include <cwchar>
#include <new>

#include "common/CTextBuilder.h"
#include "common/HeapText.h"
#include "common/LogRotation.h"
#include "common/OwnedFile.h"
#include "common/SrwLockGuard.h"
#include "log/CLogger.h"
#include "log/LogFileRotation.h"
#include "service/ServiceEvents.h"

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
// Only the file itself, never through a link (common/OwnedFile.h).
HANDLE openForAppending(const wchar_t* name) {
    return openOwnedFile(name, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
}

std::uint64_t sizeOf(HANDLE file) {
    LARGE_INTEGER size = {};
    return GetFileSizeEx(file, &size) ? static_cast<std::uint64_t>(size.QuadPart) : 0;
}

}  // namespace

// Written by addFile, setRotation and start before the thread starts, then
// the thread's alone; other threads touch only the stop event and the flush
// requests after.
struct COutputCopier::CState {
    CLogger* logger = nullptr;
    CServiceEvents* events = nullptr;
    CKernelHandle stop;
    // Set (auto reset) when a flush is asked for.
    CKernelHandle flushWanted;
    // Flushers and the thread meet under flushLock: flushes asked and done
    // count up, flushStreams has a bit for each stream to flush, copying says
    // the thread runs, and stalled that a flusher stopped waiting for it.
    SRWLOCK flushLock = SRWLOCK_INIT;
    CONDITION_VARIABLE flushed = CONDITION_VARIABLE_INIT;
    std::uint64_t flushesAsked = 0;
    std::uint64_t flushesDone = 0;
    unsigned flushStreams = 0;
    bool copying = false;
    bool stalled = false;
    CCapturedFile files[kMaxStreams];
    CPipeStream streams[kMaxStreams];
    unsigned count = 0;
    std::uint64_t limitBytes = static_cast<std::uint64_t>(kDefaultLogRotateMiB) * 1024 * 1024;
    unsigned keep = kDefaultLogKeep;

    void run();
    // Copies what the streams asked for hold now, then tells the flushers.
    void serveFlush();
    void beginRead(CPipeStream& stream);
    // The bytes received.
    DWORD completeRead(CPipeStream& stream, BOOL wait);
    // Completes the read in progress, then copies what the pipe holds: until
    // it is empty when whole, else only the bytes it holds now.
    void drain(CPipeStream& stream, bool whole);
    void writeOut(CCapturedFile& file, const char* data, std::size_t length);
    void writeWhole(CCapturedFile& file, const char* data, std::size_t length);
    void rotate(CCapturedFile& file);
};

COutputCopier::COutputCopier() = default;

COutputCopier::~COutputCopier() { finish(kFinishPatienceMs); }

HANDLE COutputCopier::addFile(CLogger* logger, const wchar_t* name, CServiceEvents* events) {
    if (!state) {
        state.reset(new (std::nothrow) CState);
        if (state) {
            state->stop.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
            state->flushWanted.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
        }
        if (!state || !state->stop || !state->flushWanted) {
            logFailure(logger, L"Cannot prepare the output files ", GetLastError());
            state.reset();
            return nullptr;
        }
        state->logger = logger;
        shared = state.get();
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
        if (error == kFileNotOwnable) {
            logger->logMessage(kRefusedFileMessage, name);
            if (events != nullptr) {
                events->fileRefused(name);
            }
        }
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

bool COutputCopier::start(CLogger* logger, CServiceEvents* events) {
    if (!state || state->count == 0) {
        return true;
    }
    state->events = events;
    // No flusher yet: the capture hands flush on only after this returns.
    state->copying = true;
    thread.reset(CreateThread(nullptr, 0, copy, state.get(), 0, nullptr));
    if (!thread) {
        state->copying = false;
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

void COutputCopier::flush(HANDLE pipe, DWORD patienceMs) {
    if (shared == nullptr) {
        return;
    }
    // The streams are fixed once the thread runs.
    unsigned index = 0;
    while (index < shared->count && shared->streams[index].writeEnd.get() != pipe) {
        ++index;
    }
    CSrwLockGuard held(&shared->flushLock);
    if (index == shared->count || !shared->copying || shared->stalled) {
        return;
    }
    shared->flushStreams |= 1u << index;
    const std::uint64_t mine = ++shared->flushesAsked;
    SetEvent(shared->flushWanted.get());
    const ULONGLONG deadline = GetTickCount64() + patienceMs;
    while (shared->copying && shared->flushesDone < mine) {
        const ULONGLONG now = GetTickCount64();
        // Bounded: a thread stuck in a write on a stalled disk is waited for once.
        if (now >= deadline) {
            shared->stalled = true;
            return;
        }
        SleepConditionVariableSRW(&shared->flushed, &shared->flushLock, static_cast<DWORD>(deadline - now), 0);
    }
}

DWORD WINAPI COutputCopier::copy(LPVOID state) {
    static_cast<CState*>(state)->run();
    return 0;
}

void COutputCopier::CState::run() {
    // The stop first, then a flush, then the streams.
    HANDLE waits[2 + kMaxStreams] = {stop.get(), flushWanted.get()};
    for (unsigned index = 0; index < count; ++index) {
        waits[2 + index] = streams[index].readDone.get();
        beginRead(streams[index]);
    }
    for (;;) {
        // Unbounded: finish sets the stop event, and output and flushes wake it meanwhile.
        const DWORD woken = WaitForMultipleObjects(2 + count, waits, FALSE, INFINITE);
        if (woken == WAIT_OBJECT_0 + 1) {
            serveFlush();
            continue;
        }
        if (woken <= WAIT_OBJECT_0 || woken >= WAIT_OBJECT_0 + 2 + count) {
            break;
        }
        // Every stream whose read has completed, not only the first handle
        // signalled: a stream that always has output would keep the other
        // waiting, and its writers blocked once its pipe is full.
        DWORD largest = 0;
        for (unsigned index = 0; index < count; ++index) {
            CPipeStream& stream = streams[index];
            if (stream.reading && HasOverlappedIoCompleted(&stream.overlapped)) {
                const DWORD received = completeRead(stream, FALSE);
                largest = received > largest ? received : largest;
            }
        }
        const DWORD gathered =
            largest < kPipeBytes / 2 ? WaitForMultipleObjects(2, waits, FALSE, kGatherMs) : WAIT_TIMEOUT;
        if (gathered == WAIT_OBJECT_0) {
            break;
        }
        // The gathering took the flush's signal.
        if (gathered == WAIT_OBJECT_0 + 1) {
            serveFlush();
        }
        for (unsigned index = 0; index < count; ++index) {
            if (!streams[index].reading) {
                beginRead(streams[index]);
            }
        }
    }
    for (unsigned index = 0; index < count; ++index) {
        drain(streams[index], true);
    }
    {
        CSrwLockGuard held(&flushLock);
        copying = false;
    }
    WakeAllConditionVariable(&flushed);
}

void COutputCopier::CState::serveFlush() {
    std::uint64_t asked = 0;
    unsigned wanted = 0;
    {
        // A flush asked for after this signals the event again.
        CSrwLockGuard held(&flushLock);
        asked = flushesAsked;
        wanted = flushStreams;
        flushStreams = 0;
    }
    for (unsigned index = 0; index < count; ++index) {
        if ((wanted & (1u << index)) != 0) {
            drain(streams[index], false);
            beginRead(streams[index]);
        }
    }
    {
        CSrwLockGuard held(&flushLock);
        flushesDone = asked;
        stalled = false;
    }
    WakeAllConditionVariable(&flushed);
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

void COutputCopier::CState::drain(CPipeStream& stream, bool whole) {
    // What a read in progress has received counts; the rest is still in the pipe.
    if (stream.reading) {
        if (!HasOverlappedIoCompleted(&stream.overlapped)) {
            CancelIo(stream.readEnd.get());
        }
        completeRead(stream, TRUE);
    }
    DWORD available = 0;
    if (stream.ended || !PeekNamedPipe(stream.readEnd.get(), nullptr, 0, nullptr, &available, nullptr)) {
        return;
    }
    while (!stream.ended && available > 0) {
        beginRead(stream);
        const DWORD received = stream.reading ? completeRead(stream, TRUE) : 0;
        available -= received < available ? received : available;
        if (whole && available == 0 &&
            !PeekNamedPipe(stream.readEnd.get(), nullptr, 0, nullptr, &available, nullptr)) {
            return;
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
    unsigned blocked = 0;
    const DWORD failure = rotateLogFile(file.name.get(), keep, &blocked);
    file.handle.reset(openForAppending(file.name.get()));
    file.countedSize = file.handle ? sizeOf(file.handle.get()) : 0;
    if (failure != 0) {
        // Output goes on to the file as it is; the next try is one whole size later.
        file.countedSize = 0;
        if (!file.rotationFailureLogged) {
            file.rotationFailureLogged = true;
            const CHeapText blockedName = generationName(file.name.get(), blocked);
            const wchar_t* shown = blockedName ? blockedName.get() : file.name.get();
            logger->logMessage(L"Cannot rotate the output file ", file.name.get());
            logger->logMessage(L"The rotation stops at ", shown, L", which cannot be moved; nothing was replaced");
            logFailure(logger, L"It grows on until it can be rotated ", failure);
            if (events != nullptr) {
                events->rotationBlocked(shown);
            }
        }
    }
    if (!file.handle) {
        logFailure(logger, L"Cannot open the output file again after rotating it ", GetLastError());
    }
}
