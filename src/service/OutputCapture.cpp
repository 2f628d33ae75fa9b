#include "service/OutputCapture.h"

#include <fcntl.h>
#include <io.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>

#include "common/HeapText.h"
#include "common/RegistryLayout.h"
#include "log/CLogger.h"
#include "registry/ServiceParameters.h"

namespace {

// Appending only: every write lands at the end of the file, whoever else
// writes to it. Shared in every way, so that readers, other writers and a
// rotation that renames or deletes the file are not locked out.
HANDLE openForAppending(CLogger* logger, const wchar_t* name) {
    HANDLE file = CreateFileW(name, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        logger->logMessage(L"Cannot open the output file ", name);
        logFailure(logger, L"CreateFile failed ", error);
    }
    return file;
}

}  // namespace

COutputCapture::~COutputCapture() {
    if (outputCaptured) {
        SetStdHandle(STD_OUTPUT_HANDLE, previousOutput);
    }
    if (errorCaptured) {
        SetStdHandle(STD_ERROR_HANDLE, previousError);
    }
}

void COutputCapture::start(CLogger* logger, const wchar_t* serviceName) {
    CHeapText outputName(getRegServiceParam(serviceName, kStandardOutputValue, logger, 0, 1));
    CHeapText errorName(getRegServiceParam(serviceName, kStandardErrorValue, logger, 0, 1));
    capture(logger, outputName.get(), errorName.get());
}

void COutputCapture::capture(CLogger* logger, const wchar_t* outputName, const wchar_t* errorName) {
    logger->logEntry(L"COutputCapture::capture");
    previousOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    previousError = GetStdHandle(STD_ERROR_HANDLE);
    if (outputName != nullptr && *outputName != L'\0') {
        outputFile.reset(openForAppending(logger, outputName));
        if (outputFile) {
            redirect(logger, outputFile.get(), STD_OUTPUT_HANDLE, 1);
            outputCaptured = true;
        }
    }
    if (errorName != nullptr && *errorName != L'\0') {
        // One file named for both is opened once: both streams then append
        // through one handle, and their lines interleave in the order written.
        const bool shared = outputFile && _wcsicmp(outputName, errorName) == 0;
        HANDLE file = shared ? outputFile.get() : nullptr;
        if (!shared) {
            errorFile.reset(openForAppending(logger, errorName));
            file = errorFile.get();
        }
        if (file != nullptr && file != INVALID_HANDLE_VALUE) {
            redirect(logger, file, STD_ERROR_HANDLE, 2);
            errorCaptured = true;
        }
    }
    logger->logExit(L"COutputCapture::capture", 0);
}

void COutputCapture::redirect(CLogger* logger, HANDLE file, DWORD standardHandle, int descriptor) {
    SetStdHandle(standardHandle, file);
    // The C runtime's descriptor owns a handle of its own: _open_osfhandle
    // takes over the duplicate, _dup2 gives the descriptor another, and
    // closing the intermediate descriptor leaves the descriptor's. The handle
    // appends by itself; _O_APPEND would only add a seek to every write.
    CFileHandle duplicate;
    if (!DuplicateHandle(GetCurrentProcess(), file, GetCurrentProcess(), duplicate.put(), 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
        logFailure(logger, L"Cannot duplicate the output file's handle ", GetLastError());
        return;
    }
    std::fflush(descriptor == 1 ? stdout : stderr);
    const int intermediate = _open_osfhandle(reinterpret_cast<intptr_t>(duplicate.get()), _O_WRONLY);
    if (intermediate >= 0) {
        duplicate.detach();
    }
    if (intermediate < 0 || _dup2(intermediate, descriptor) != 0) {
        logger->logMessage(L"Cannot give the C runtime the output file, descriptor ",
                           static_cast<unsigned long>(descriptor));
    }
    if (intermediate >= 0) {
        _close(intermediate);
    }
}
