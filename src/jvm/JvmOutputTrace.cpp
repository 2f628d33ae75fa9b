#include "jvm/JvmOutputTrace.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>
#include <utility>

#include "common/CTextBuilder.h"
#include "common/HeapText.h"
#include "common/OwnedFile.h"
#include "common/SrwLockGuard.h"
#include "jvm/JvmThreadDump.h"
#include "log/CLogger.h"

namespace {

// JVM threads print at the same time; the logger and the line being built are under the lock.
SRWLOCK g_outputLock = SRWLOCK_INIT;
CLogger* g_logger = nullptr;
CTextBuilder g_line;

// Held shared while the flush runs, so that the capture can take it away.
SRWLOCK g_flushLock = SRWLOCK_INIT;
void (*g_flush)(void* context) = nullptr;
void* g_flushContext = nullptr;

// The verbose file's name, set before the JVM exists and read by the hook;
// its stream, opened at the JVM's first output, under the lock: JVM threads
// write at the same time and must not open the file twice.
CHeapText g_verboseFileName;
SRWLOCK g_verboseFileLock = SRWLOCK_INIT;
FILE* g_verboseFile = nullptr;

// The verbose file as a stream for appending, opened only as itself (common/OwnedFile.h); null when refused.
FILE* openVerboseFile(const wchar_t* name) {
    CFileHandle handle(openOwnedFile(name, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE));
    if (!handle) {
        return nullptr;
    }
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle.get()), _O_APPEND | _O_TEXT);
    if (descriptor == -1) {
        return nullptr;
    }
    // The descriptor owns the handle now, and the stream the descriptor.
    handle.detach();
    FILE* stream = _fdopen(descriptor, "a");
    if (stream == nullptr) {
        _close(descriptor);
    }
    return stream;
}

}  // namespace

void setJvmVerboseFile(CHeapText name) { g_verboseFileName = std::move(name); }

extern "C" jint JNICALL jvmOutputHook(FILE* stream, const char* format, va_list arguments) {
    (void)stream;
    noteJvmOutput();
    if (g_verboseFileName == nullptr) {
        return traceJvmOutput(format, arguments);
    }
    FILE* file = nullptr;
    {
        CSrwLockGuard held(&g_verboseFileLock);
        if (g_verboseFile == nullptr) {
            g_verboseFile = openVerboseFile(g_verboseFileName.get());
        }
        file = g_verboseFile;
    }
    if (file == nullptr) {
        return -1;
    }
    const int written = std::vfprintf(file, format, arguments);
    std::fflush(file);
    return written;
}

void setJvmOutputTrace(CLogger* logger) {
    CSrwLockGuard held(&g_outputLock);
    g_logger = logger;
    g_line.clear();
}

void setJvmOutputFlush(void (*flush)(void* context), void* context) {
    CSrwLockGuard held(&g_flushLock);
    g_flush = flush;
    g_flushContext = context;
}

int traceJvmOutput(const char* format, va_list arguments) {
    va_list measure;
    va_copy(measure, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length < 0) {
        return length;
    }
    CHeapPtr<char> text = allocateZeroed<char>(static_cast<std::size_t>(length) + 1);
    if (!text) {
        return -1;
    }
    std::vsnprintf(text.get(), static_cast<std::size_t>(length) + 1, format, arguments);
    // Descriptor 1, not the stream stdout: a process that started without a
    // console (a service) has a stdout stream that stays unusable after the
    // output capture has given descriptor 1 its pipe.
    _write(1, text.get(), static_cast<unsigned>(length));
    // HotSpot prints a line in pieces, its end last: a wait for each line.
    if (std::memchr(text.get(), '\n', static_cast<std::size_t>(length)) != nullptr) {
        CSrwSharedGuard held(&g_flushLock);
        if (g_flush != nullptr) {
            g_flush(g_flushContext);
        }
    }

    // HotSpot prints in the ANSI code page, a line often in several pieces.
    const int wideLength = MultiByteToWideChar(CP_ACP, 0, text.get(), length, nullptr, 0);
    CHeapText wide = allocateZeroed<wchar_t>(static_cast<std::size_t>(wideLength) + 1);
    if (!wide || MultiByteToWideChar(CP_ACP, 0, text.get(), length, wide.get(), wideLength) != wideLength) {
        return length;
    }
    CSrwLockGuard held(&g_outputLock);
    if (g_logger == nullptr) {
        return length;
    }
    for (int index = 0; index < wideLength; ++index) {
        const wchar_t character = wide.get()[index];
        if (character == L'\n') {
            g_logger->writeEntry(g_line.text(), nullptr, nullptr);
            g_line.clear();
        } else if (character != L'\r') {
            g_line.appendChar(character);
        }
    }
    return length;
}
