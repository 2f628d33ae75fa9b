#pragma once
// One owner type for every kind of Win32 handle: a traits class names the
// handle type, its invalid value and how it is closed. Closing keeps the
// caller's last error, so an error captured after a failed call survives the
// cleanup of the handles around it.
#include <windows.h>
#include <ntsecapi.h>

template <typename Traits>
class CUniqueHandle {
public:
    using Type = typename Traits::Type;

    CUniqueHandle() noexcept : handle(Traits::invalid()) {}
    explicit CUniqueHandle(Type value) noexcept : handle(value) {}
    ~CUniqueHandle() { reset(); }
    CUniqueHandle(const CUniqueHandle&) = delete;
    CUniqueHandle& operator=(const CUniqueHandle&) = delete;
    CUniqueHandle(CUniqueHandle&& other) noexcept : handle(other.detach()) {}
    CUniqueHandle& operator=(CUniqueHandle&& other) noexcept {
        if (this != &other) {
            reset(other.detach());
        }
        return *this;
    }

    Type get() const noexcept { return handle; }
    bool isValid() const noexcept { return Traits::isValid(handle); }
    explicit operator bool() const noexcept { return isValid(); }

    // For out-parameters of the API: releases what is held and hands out the slot.
    Type* put() noexcept {
        reset();
        return &handle;
    }

    Type detach() noexcept {
        Type value = handle;
        handle = Traits::invalid();
        return value;
    }

    void reset(Type value = Traits::invalid()) noexcept {
        if (Traits::isValid(handle)) {
            const DWORD lastError = GetLastError();
            Traits::close(handle);
            SetLastError(lastError);
        }
        handle = value;
    }

private:
    Type handle;
};

// Kernel objects that use null for "none": events, mutexes, threads, processes.
struct CKernelHandleTraits {
    using Type = HANDLE;
    static Type invalid() noexcept { return nullptr; }
    static bool isValid(Type value) noexcept { return value != nullptr && value != INVALID_HANDLE_VALUE; }
    static void close(Type value) noexcept { CloseHandle(value); }
};

// Files and pipes, whose creation functions answer INVALID_HANDLE_VALUE.
struct CFileHandleTraits {
    using Type = HANDLE;
    static Type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool isValid(Type value) noexcept { return value != nullptr && value != INVALID_HANDLE_VALUE; }
    static void close(Type value) noexcept { CloseHandle(value); }
};

// Handles that use null for "none" and are closed by one function of the API.
template <typename T, auto Close>
struct CNullHandleTraits {
    using Type = T;
    static Type invalid() noexcept { return nullptr; }
    static bool isValid(Type value) noexcept { return value != nullptr; }
    static void close(Type value) noexcept { Close(value); }
};

inline void freeProcessHeapBlock(void* block) noexcept { HeapFree(GetProcessHeap(), 0, block); }

using CKernelHandle = CUniqueHandle<CKernelHandleTraits>;
using CFileHandle = CUniqueHandle<CFileHandleTraits>;
using CRegKey = CUniqueHandle<CNullHandleTraits<HKEY, RegCloseKey>>;
using CServiceHandle = CUniqueHandle<CNullHandleTraits<SC_HANDLE, CloseServiceHandle>>;
using CLsaHandle = CUniqueHandle<CNullHandleTraits<LSA_HANDLE, LsaClose>>;
// Memory that the system allocated for us (FormatMessageW and friends).
using CLocalMemory = CUniqueHandle<CNullHandleTraits<HLOCAL, LocalFree>>;
using CModule = CUniqueHandle<CNullHandleTraits<HMODULE, FreeLibrary>>;
// An event source opened for writing to the event log (RegisterEventSourceW).
using CEventSourceHandle = CUniqueHandle<CNullHandleTraits<HANDLE, DeregisterEventSource>>;
// A copy of the process's environment block (GetEnvironmentStringsW).
using CEnvironmentStrings = CUniqueHandle<CNullHandleTraits<wchar_t*, FreeEnvironmentStringsW>>;
// A block of the process heap (HeapAlloc).
using CProcessHeapBlock = CUniqueHandle<CNullHandleTraits<void*, freeProcessHeapBlock>>;

// The two handles of a process that CreateProcessW started, each owned.
struct CProcessInformation {
    explicit CProcessInformation(const PROCESS_INFORMATION& started) noexcept
        : process(started.hProcess), thread(started.hThread) {}

    CKernelHandle process;
    CKernelHandle thread;
};
