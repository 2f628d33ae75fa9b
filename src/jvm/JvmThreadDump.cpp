#include "jvm/JvmThreadDump.h"

#include "common/Win32Handle.h"
#include "jvm/JniAttachment.h"
#include "jvm/JvmProcessState.h"
#include "log/CLogger.h"

namespace {

// The JVM writes the dump on a thread of its own after the signal: it counts
// as written once its output has been quiet this long.
const ULONGLONG kQuietMs = 300;
const DWORD kPollMs = 50;

// HotSpot takes the calling thread's Java thread first: a thread it does not
// know (the watch's, the SCM's, the pipe's) must attach for the call.
DWORD WINAPI raiseDump(LPVOID) {
    const CJvmProcessState& state = jvmProcessState();
    JavaVM* vm = state.vm.load();
    RaiseSignalProc raiseSignal = findRaiseSignal(state.library.load());
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
    CJvmProcessState& state = jvmProcessState();
    state.library.store(library);
    state.vm.store(vm);
}

void noteJvmOutput() {
    CJvmProcessState& state = jvmProcessState();
    state.lastOutput.store(GetTickCount64());
    ++state.outputs;
}

void dumpJvmThreads(CLogger* logger, DWORD patienceMs) {
    const CJvmProcessState& state = jvmProcessState();
    if (state.vm.load() == nullptr || findRaiseSignal(state.library.load()) == nullptr) {
        return;
    }
    logger->logMessage(L"Asking the JVM for a thread dump.");
    const unsigned long before = state.outputs.load();
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
        if (state.outputs.load() != before && now - state.lastOutput.load() >= kQuietMs) {
            return;
        }
        Sleep(kPollMs);
    }
}
