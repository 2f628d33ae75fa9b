#include "service/OutputCapture.h"

#include <fcntl.h>
#include <io.h>

#include <cstdint>
#include <cstdio>

#include "common/HeapText.h"
#include "common/LogRotation.h"
#include "common/RegistryLayout.h"
#include "jvm/JvmOutputTrace.h"
#include "log/CLogger.h"
#include "log/TraceScope.h"
#include "registry/StartSettings.h"

namespace {

// A Parameters number of the service, or its default when it is absent. The
// installer refuses values out of range; one written by hand is reported.
unsigned long logSetting(CLogger* logger, const CHeapText& text, const wchar_t* valueName, unsigned long maximum,
                         unsigned long fallback) {
    unsigned long value = fallback;
    if (text && !parseLogSetting(text.get(), maximum, &value)) {
        logger->logMessage(L"Ignoring the value of ", valueName, L", which is not a number in range");
        value = fallback;
    }
    return value;
}

bool named(const wchar_t* fileName) { return fileName != nullptr && *fileName != L'\0'; }

// A JVM thread that printed waits at most this long for a stalled disk, once.
const DWORD kJvmOutputPatienceMs = 1000;

}  // namespace

COutputCapture::~COutputCapture() {
    if (outputPipe != nullptr) {
        setJvmOutputFlush(nullptr, nullptr);
        SetStdHandle(STD_OUTPUT_HANDLE, previousOutput);
    }
    if (errorCaptured) {
        SetStdHandle(STD_ERROR_HANDLE, previousError);
    }
}

void COutputCapture::start(CLogger* logger, const CStartSettings& settings, CServiceEvents* events) {
    const CHeapText& outputName = settings.standardOutput;
    const CHeapText& errorName = settings.standardError;
    if (!named(outputName.get()) && !named(errorName.get())) {
        return;  // nothing to capture: the rotation settings are not looked at
    }
    const unsigned long rotateMiB =
        logSetting(logger, settings.logRotateSize, kLogRotateSizeValue, kMaxLogRotateMiB, kDefaultLogRotateMiB);
    const unsigned long keep = logSetting(logger, settings.logKeep, kLogKeepValue, kMaxLogKeep, kDefaultLogKeep);
    capture(logger, outputName.get(), errorName.get(), static_cast<std::uint64_t>(rotateMiB) * 1024 * 1024, keep,
            events);
}

void COutputCapture::capture(CLogger* logger, const wchar_t* outputName, const wchar_t* errorName,
                             std::uint64_t rotateBytes, unsigned keep, CServiceEvents* events) {
    CTraceScope trace(logger, L"COutputCapture::capture");
    previousOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    previousError = GetStdHandle(STD_ERROR_HANDLE);
    // One file named for both gets one pipe: both streams' lines then
    // interleave in the order written.
    if (named(outputName)) {
        HANDLE pipe = copier.addFile(logger, outputName, events);
        if (pipe != nullptr) {
            redirect(logger, pipe, STD_OUTPUT_HANDLE, 1);
            outputPipe = pipe;
        }
    }
    if (named(errorName)) {
        HANDLE pipe = copier.addFile(logger, errorName, events);
        if (pipe != nullptr) {
            redirect(logger, pipe, STD_ERROR_HANDLE, 2);
            errorCaptured = true;
        }
    }
    copier.setRotation(rotateBytes, keep);
    copier.start(logger, events);
    // The hook writes to standard output only.
    if (outputPipe != nullptr) {
        setJvmOutputFlush(flushForJvm, this);
    }
}

void COutputCapture::flushForJvm(void* capture) {
    auto* self = static_cast<COutputCapture*>(capture);
    self->copier.flush(self->outputPipe, kJvmOutputPatienceMs);
}

void COutputCapture::redirect(CLogger* logger, HANDLE pipe, DWORD standardHandle, int descriptor) {
    SetStdHandle(standardHandle, pipe);
    // The C runtime's descriptor owns a handle of its own: _open_osfhandle
    // takes over the duplicate, _dup2 gives the descriptor another, and
    // closing the intermediate descriptor leaves the descriptor's.
    CFileHandle duplicate;
    if (!DuplicateHandle(GetCurrentProcess(), pipe, GetCurrentProcess(), duplicate.put(), 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
        logFailure(logger, L"Cannot duplicate the output pipe's handle ", GetLastError());
        return;
    }
    std::fflush(descriptor == 1 ? stdout : stderr);
    const int intermediate = _open_osfhandle(reinterpret_cast<intptr_t>(duplicate.get()), _O_WRONLY);
    if (intermediate >= 0) {
        duplicate.detach();
    }
    if (intermediate < 0 || _dup2(intermediate, descriptor) != 0) {
        logger->logMessage(L"Cannot give the C runtime the output pipe, descriptor ",
                           static_cast<unsigned long>(descriptor));
    }
    if (intermediate >= 0) {
        _close(intermediate);
    }
}
