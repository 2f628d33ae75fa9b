#include "jvm/LibraryLoad.h"

#include <cwchar>

#include "common/HeapText.h"
#include "jvm/JdkLayout.h"

namespace {

using SetDefaultDllDirectoriesProc = BOOL(WINAPI*)(DWORD);
using AddDllDirectoryProc = DLL_DIRECTORY_COOKIE(WINAPI*)(PCWSTR);

// True when the LOAD_LIBRARY_SEARCH flags exist (Windows 8, or 7 with its
// update KB2533623); without them SetDllDirectoryW(L"") is the way.
bool restrictDllSearch() {
    const auto setDefaultDllDirectories = reinterpret_cast<SetDefaultDllDirectoriesProc>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (setDefaultDllDirectories != nullptr && setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS)) {
        return true;
    }
    SetDllDirectoryW(L"");
    return false;
}

// A JDK keeps the C runtime DLLs that jvm.dll imports in bin, above
// bin\server. The folder stays on the search path for the life of the
// process: the JVM later loads its own libraries from bin, which import the
// same DLLs. Without the search flags SetDllDirectoryW is the way, and it
// keeps the current directory out as SetDllDirectoryW(L"") did.
void searchImportFolder(const wchar_t* libraryPath, bool searchFlags) {
    const CHeapText folder(jdkImportFolder(libraryPath));
    if (!folder) {
        return;
    }
    if (!searchFlags) {
        SetDllDirectoryW(folder.get());
        return;
    }
    const auto addDllDirectory = reinterpret_cast<AddDllDirectoryProc>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "AddDllDirectory")));
    // Should it fail, loading fails with the missing import's error.
    if (addDllDirectory != nullptr) {
        addDllDirectory(folder.get());
    }
}

}  // namespace

bool hasFolderPart(const wchar_t* name) { return std::wcspbrk(name, L"\\/:") != nullptr; }

HMODULE loadLibraryOutsideCurrentDirectory(const wchar_t* name) {
    const bool searchFlags = restrictDllSearch();
    if (!hasFolderPart(name)) {
        return LoadLibraryExW(name, nullptr, searchFlags ? LOAD_LIBRARY_SEARCH_DEFAULT_DIRS : 0);
    }
    // Both ways of searching the library's own folder want a full path.
    const DWORD needed = GetFullPathNameW(name, 0, nullptr, nullptr);
    if (needed == 0) {
        return nullptr;
    }
    const CHeapText fullPath = allocateZeroed<wchar_t>(needed);
    if (!fullPath) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    const DWORD length = GetFullPathNameW(name, needed, fullPath.get(), nullptr);
    if (length == 0 || length >= needed) {
        return nullptr;
    }
    searchImportFolder(fullPath.get(), searchFlags);
    return LoadLibraryExW(fullPath.get(), nullptr,
                          searchFlags ? LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS
                                      : LOAD_WITH_ALTERED_SEARCH_PATH);
}
