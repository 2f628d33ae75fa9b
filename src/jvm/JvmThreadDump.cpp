#include "jvm/JvmThreadDump.h"

#include <atomic>

#include "common/Win32Handle.h"
#include "jvm/JniAttachment.h"
#include "log/CLogger.h"

namespace {

// The JVM writes the dump on a thread of its own after the signal: it counts
// as written once its output has been quiet this long.
const ULONGLONG kQuietMs = 300;
const DWORD kPollMs = 50;

// Written at the JVM's creation and destruction, read by the thread that dumps.
std::atomic<JavaVM*> g_vm{nullptr};
std::atomic<HMODULE> g_library{nullptr};
std::atomic<ULONGLONG> g_lastOutput{0};
std::atomic<unsigned long> g_outputs{0};

// HotSpot takes the calling thread's Java thread first: a thread it does not
// know (the watch's, the SCM's, the pipe's) must attach for the call.
DWORD WINAPI raiseDump(LPVOID) {
    JavaVM* vm = g_vm.load();
    RaiseSignalProc raiseSignal = findRaiseSignal(g_library.load());
    if (vm != nullptr && raiseSignal != nullptr) {
        const CJniAttachment attachment(vm);
        if (attachment) {
            raiseSignal(kSignalBreak);
        }
    }
    return 0;
}

}  // namespace

RaiseSignalProc findRaiseSignal(HMODULE library) {
    if (library == nullptr) {
        return nullptr;
    }
    // 32-bit JVM libraries export the decorated stdcall name, 64-bit ones the plain name.
    for (const char* name : {"_JVM_RaiseSignal@4", "JVM_RaiseSignal"}) {
        FARPROC found = GetProcAddress(library, name);
        if (found != nullptr) {
            return reinterpret_cast<RaiseSignalProc>(reinterpret_cast<void (*)()>(found));
        }
    }
    return nullptr;
}

void rememberJvmForDumps(JavaVM* vm, HMODULE library) {
    g_library.store(library);
    g_vm.store(vm);
}

void noteJvmOutput() {
    g_lastOutput.store(GetTickCount64());
    ++g_outputs;
}

void dumpJvmThreads(CLogger* logger, DWORD patienceMs) {
    if (g_vm.load() == nullptr || findRaiseSignal(g_library.load()) == nullptr) {
        return;
    }
    logger->logMessage(L"Asking the JVM for a thread dump.");
    const unsigned long before = g_outputs.load();
    const ULONGLONG start = GetTickCount64();
    // An attach can wait on a JVM that is busy shutting down: the raising
    // thread is not waited for beyond the patience.
    CKernelHandle raiser(CreateThread(nullptr, 0, raiseDump, nullptr, 0, nullptr));
    if (!raiser) {
        logFailure(logger, L"Error creating the thread dump thread", GetLastError());
        return;
    }
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if (now - start >= patienceMs) {
            return;
        }
        if (g_outputs.load() != before && now - g_lastOutput.load() >= kQuietMs) {
            return;
        }
        Sleep(kPollMs);
    }
}
