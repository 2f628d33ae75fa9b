// Reading a configuration file from disk, in the ANSI code page or as UTF-16.
#include <windows.h>

#include <cstdint>

#include "common/ExitCodes.h"
#include "common/HeapText.h"
#include "common/Win32Handle.h"
#include "config/CConfigFile.h"
#include "log/CLogger.h"
#include "log/TraceScope.h"

namespace {

// The zero bytes kept behind the data: a terminating zero character in either encoding.
const std::size_t kTerminatorBytes = 4;

}  // namespace

int CConfigFile::parseConfigFile(const wchar_t* fileName, int unicode) {
    CTraceScope trace(logger, L"CConfigFile::parseConfigFile");
    if (fileName == nullptr) {
        logger->logMessage(L"missing configuration file");
        return trace.exit(kNoConfigFileName);
    }
    CFileHandle file(CreateFileW(fileName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD code = GetLastError();
        logger->logMessage(L"Cannot open config file : ", fileName);
        logger->logSystemError(code);
        return trace.exit(kConfigFileUnreadable);
    }
    return trace.exit(parseFile(file.get(), unicode));
}

int CConfigFile::parseFile(void* file, int unicode) {
    CTraceScope trace(logger, L"CConfigFile::parseFile");
    const DWORD size = GetFileSize(static_cast<HANDLE>(file), nullptr);
    if (size == INVALID_FILE_SIZE) {
        logFailure(logger, L"Config file is bad ", GetLastError());
        return trace.exit(kConfigFileUnreadable);
    }
    if (size == 0) {
        logger->logMessage(L"Empty config file");
        return trace.exit(0);
    }
    // On 32-bit builds the sizes below could wrap for a file near 4 GB: treat that as memory shortage.
    const bool sizesFit = size <= (SIZE_MAX - kTerminatorBytes) / 2;
    CHeapPtr<char> bytes = sizesFit ? allocateZeroed<char>(std::size_t{size} + kTerminatorBytes) : nullptr;
    DWORD got = 0;
    if (!bytes) {
        logger->logMessage(L"Memory error.");
        return trace.exit(kMemoryError);
    }
    if (!ReadFile(static_cast<HANDLE>(file), bytes.get(), size, &got, nullptr)) {
        logFailure(logger, L"Cannot read config file ", GetLastError());
        return trace.exit(kConfigFileUnreadable);
    }
    if (got == 0) {
        // A read that succeeds with nothing sets no error code of its own: name what happened.
        logFailure(logger, L"Cannot read config file ", ERROR_HANDLE_EOF);
        return trace.exit(kConfigFileUnreadable);
    }
    if (unicode != 0) {
        return trace.exit(parseBuffer(reinterpret_cast<wchar_t*>(bytes.get())));
    }
    // The text ends at its first zero byte, so it never converts to more than size + 1 characters.
    const std::size_t capacity = std::size_t{size} + kTerminatorBytes / 2;
    CHeapPtr<wchar_t> wide = allocateZeroed<wchar_t>(capacity);
    if (!wide) {
        logger->logMessage(L"Memory error.");
        return trace.exit(kMemoryError);
    }
    const int converted =
        MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, bytes.get(), -1, wide.get(), static_cast<int>(capacity));
    if (converted <= 0) {
        // Only the unconverted bytes are at hand: nothing usable, the file counts as unreadable.
        logFailure(logger, L"Cannot convert file to Unicode ", GetLastError());
        return trace.exit(kConfigFileUnreadable);
    }
    return trace.exit(parseBuffer(wide.get()));
}
