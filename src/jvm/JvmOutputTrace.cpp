#include "jvm/JvmOutputTrace.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>
#include <utility>

#include "common/HeapText.h"
#include "common/OwnedFile.h"
#include "common/SrwLockGuard.h"
#include "jvm/JvmProcessState.h"
#include "jvm/JvmThreadDump.h"
#include "log/CLogger.h"

namespace {

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

void setJvmVerboseFile(CHeapText name) { jvmProcessState().verboseFileName = std::move(name); }

extern "C" jint JNICALL jvmOutputHook(FILE* stream, const char* format, va_list arguments) {
    (void)stream;
    noteJvmOutput();
    CJvmProcessState& state = jvmProcessState();
    if (state.verboseFileName == nullptr) {
        return traceJvmOutput(format, arguments);
    }
    FILE* file = nullptr;
    {
        CSrwLockGuard held(&state.verboseFileLock);
        if (state.verboseFile == nullptr) {
            state.verboseFile = openVerboseFile(state.verboseFileName.get());
        }
        file = state.verboseFile;
    }
    if (file == nullptr) {
        return -1;
    }
    const int written = std::vfprintf(file, format, arguments);
    std::fflush(file);
    return written;
}

void setJvmOutputTrace(CLogger* logger) {
    CJvmProcessState& state = jvmProcessState();
    CSrwLockGuard held(&state.outputLock);
    state.logger = logger;
    state.line.clear();
}

void setJvmOutputFlush(void (*flush)(void* context), void* context) {
    CJvmProcessState& state = jvmProcessState();
    CSrwLockGuard held(&state.flushLock);
    state.flush = flush;
    state.flushContext = context;
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
    CJvmProcessState& state = jvmProcessState();
    // HotSpot prints a line in pieces, its end last: a wait for each line.
    if (std::memchr(text.get(), '\n', static_cast<std::size_t>(length)) != nullptr) {
        CSrwSharedGuard held(&state.flushLock);
        if (state.flush != nullptr) {
            state.flush(state.flushContext);
        }
    }

    // HotSpot prints in the ANSI code page, a line often in several pieces.
    const int wideLength = MultiByteToWideChar(CP_ACP, 0, text.get(), length, nullptr, 0);
    CHeapText wide = allocateZeroed<wchar_t>(static_cast<std::size_t>(wideLength) + 1);
    if (!wide || MultiByteToWideChar(CP_ACP, 0, text.get(), length, wide.get(), wideLength) != wideLength) {
        return length;
    }
    CSrwLockGuard held(&state.outputLock);
    if (state.logger == nullptr) {
        return length;
    }
    for (int index = 0; index < wideLength; ++index) {
        const wchar_t character = wide.get()[index];
        if (character == L'\n') {
            state.logger->writeEntry(state.line.text(), nullptr, nullptr);
            state.line.clear();
        } else if (character != L'\r') {
            state.line.appendChar(character);
        }
    }
    return length;
}
