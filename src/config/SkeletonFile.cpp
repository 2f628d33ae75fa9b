// Writing the skeleton configuration file that "-c" asks for.
#include <windows.h>

#include "common/HeapText.h"
#include "common/Win32Handle.h"
#include "config/CConfigFile.h"
#include "config/SkeletonTemplate.h"
#include "log/CLogger.h"
#include "log/TraceScope.h"

void CConfigFile::generateSkeletonFile(const wchar_t* fileName, int unicode) {
    logger->logEntry(L"generateSkeletonFile");
    if (fileName == nullptr || fileName[0] == L'\0') {
        return;
    }
    // CREATE_NEW: an existing file, perhaps already filled in, is never overwritten.
    CFileHandle file(
        CreateFileW(fileName, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD code = GetLastError();
        logger->logMessage(L"Cannot open file ", fileName);
        logger->logSystemError(code);
    } else {
        logger->logMessage(L"Generating file ", fileName, unicode != 0 ? L" using unicode." : L" ");
        writeSkeletonFile(file.get(), unicode);
    }
    logger->logExit(L"generateSkeletonFile", 0);
}

void CConfigFile::writeSkeletonFile(void* file, int unicode) {
    CTraceScope trace(logger, L"writeSkeletonFile");
    std::size_t length = 0;
    CHeapPtr<char> text = composeSkeletonText(&length);
    CHeapPtr<wchar_t> wide;
    if (!text) {
        logger->logMessage(L"Memory error.");
    } else {
        const void* bytes = text.get();
        DWORD byteCount = static_cast<DWORD>(length);
        if (unicode != 0) {
            const std::size_t capacity = length + 4;
            wide = allocateZeroed<wchar_t>(capacity);
            const int converted = wide ? MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text.get(), -1, wide.get(),
                                                             static_cast<int>(capacity))
                                       : 0;
            if (converted > 0) {
                bytes = wide.get();
                byteCount = static_cast<DWORD>(length * sizeof(wchar_t));
            } else {
                logFailure(logger, L"Cannot write file as Unicode ",
                           wide ? GetLastError() : static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
            }
        }
        DWORD written = 0;
        if (!WriteFile(static_cast<HANDLE>(file), bytes, byteCount, &written, nullptr)) {
            logFailure(logger, L"Cannot write file ", GetLastError());
        }
    }
}
