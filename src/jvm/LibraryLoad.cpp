#include "jvm/LibraryLoad.h"

#include <cwchar>

#include "common/HeapText.h"
#include "jvm/JdkLayout.h"

namespace {

using AddDllDirectoryProc = DLL_DIRECTORY_COOKIE(WINAPI*)(PCWSTR);

// Present where LoadLibraryExW takes the LOAD_LIBRARY_SEARCH flags (Windows 8,
// or 7 with its update KB2533623); null elsewhere.
AddDllDirectoryProc findAddDllDirectory() {
    return reinterpret_cast<AddDllDirectoryProc>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "AddDllDirectory")));
}

}  // namespace

bool hasFolderPart(const wchar_t* name) { return std::wcspbrk(name, L"\\/:") != nullptr; }

HMODULE loadLibraryOutsideCurrentDirectory(const wchar_t* name) {
    // The flags bound this load alone. The process's own search stays as the
    // system has it, PATH included (HotSpot loads a JNI library with a plain
    // LoadLibrary of its path, and its imports are found as under java.exe),
    // but for the current directory, which Windows takes out of it with
    // SetDllDirectoryW. Wine 8 keeps it in: the JVM library's own load relies
    // on the flags.
    const AddDllDirectoryProc addDllDirectory = findAddDllDirectory();
    const bool searchFlags = addDllDirectory != nullptr;
    if (!hasFolderPart(name)) {
        SetDllDirectoryW(L"");
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
    // A JDK keeps the C runtime DLLs that jvm.dll imports in bin, above
    // bin\server. That folder joins the process's search for its life, in the
    // current directory's place, as java.exe's own folder: the JVM later loads
    // its libraries from bin, which import the same DLLs. AddDllDirectory adds
    // it to this load's flags.
    const CHeapText folder(jdkImportFolder(fullPath.get()));
    SetDllDirectoryW(folder ? folder.get() : L"");
    // Should it fail, loading fails with the missing import's error.
    if (folder && searchFlags) {
        addDllDirectory(folder.get());
    }
    return LoadLibraryExW(fullPath.get(), nullptr,
                          searchFlags ? LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS
                                      : LOAD_WITH_ALTERED_SEARCH_PATH);
}
