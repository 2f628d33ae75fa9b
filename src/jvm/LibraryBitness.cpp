#include "jvm/LibraryBitness.h"

#include <windows.h>

#include "common/Win32Handle.h"
#include "jvm/LibraryLoad.h"
#include "log/CLogger.h"

namespace {

#if defined(_M_ARM64) || defined(__aarch64__)
constexpr bool kArm64 = true;
#else
constexpr bool kArm64 = false;
#endif

bool readAt(HANDLE file, LONG offset, void* buffer, DWORD size) {
    DWORD read = 0;
    return SetFilePointer(file, offset, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
           ReadFile(file, buffer, size, &read, nullptr) && read == size;
}

// The machine field of a PE image's file header; 0 when path is none.
WORD imageMachine(const wchar_t* path) {
    const CFileHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    IMAGE_DOS_HEADER dosHeader = {};
    if (!file || !readAt(file.get(), 0, &dosHeader, sizeof(dosHeader)) || dosHeader.e_magic != IMAGE_DOS_SIGNATURE ||
        dosHeader.e_lfanew < 0) {
        return 0;
    }
    struct {
        DWORD signature;
        WORD machine;
    } __attribute__((packed)) start = {};
    if (!readAt(file.get(), dosHeader.e_lfanew, &start, sizeof(start)) || start.signature != IMAGE_NT_SIGNATURE) {
        return 0;
    }
    return start.machine;
}

}  // namespace

bool reportOtherBitness(const wchar_t* path, CLogger* logger) {
    if (!hasFolderPart(path)) {
        return false;
    }
    constexpr bool kSixtyFour = sizeof(void*) == 8;
    const WORD machine = imageMachine(path);
    if (machine == (kSixtyFour ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_AMD64)) {
        logger->logMessage(path,
                           kSixtyFour ? L" is a 32-bit JVM library and this pravik.exe is 64-bit: use a 64-bit JDK "
                                        L"or the 32-bit pravik.exe"
                                      : L" is a 64-bit JVM library and this pravik.exe is 32-bit: use a 32-bit JDK "
                                        L"or the 64-bit pravik.exe");
        return true;
    }
    // Windows on ARM runs this x86 pravik.exe emulated, and an emulated process
    // loads only x86 or x64 libraries: an ARM64 JDK needs an ARM64 pravik.exe.
    if (!kArm64 && machine == IMAGE_FILE_MACHINE_ARM64) {
        logger->logMessage(path,
                           kSixtyFour ? L" is an ARM64 JVM library and this pravik.exe is 64-bit x86: use a 64-bit "
                                        L"x86 JDK or an ARM64 pravik.exe"
                                      : L" is an ARM64 JVM library and this pravik.exe is 32-bit x86: use a 32-bit "
                                        L"x86 JDK or an ARM64 pravik.exe");
        return true;
    }
    return false;
}
