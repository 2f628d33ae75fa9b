#pragma once
// What the JVM's hooks ("vfprintf", "exit") and Java's native methods share
// with the JVM host. They get no context to find it by, and there is one JVM
// per process, so there is one of it per process, owned here and reached
// through jvmProcessState(); the owner (JvmOwner), the thread dumps
// (JvmThreadDump) and the output hook (JvmOutputTrace) work on their fields.
#include <windows.h>

#include <jni.h>

#include <atomic>
#include <cstdio>

#include "common/CTextBuilder.h"
#include "common/HeapText.h"
#include "jvm/JvmOwner.h"

class CLogger;

struct CJvmProcessState {
    // Natives on Java threads call the owner while it may be going away: they
    // hold the lock shared, and the owner is changed under it held exclusively.
    SRWLOCK ownerLock = SRWLOCK_INIT;
    CJvmOwner owner;

    // Atomics: written at the JVM's creation and destruction and by the output
    // hook, read by the thread that dumps.
    std::atomic<JavaVM*> vm{nullptr};
    std::atomic<HMODULE> library{nullptr};
    std::atomic<ULONGLONG> lastOutput{0};
    std::atomic<unsigned long> outputs{0};

    // JVM threads print at the same time: the logger and the line being built are under the lock.
    SRWLOCK outputLock = SRWLOCK_INIT;
    CLogger* logger = nullptr;
    CTextBuilder line;

    // Held shared while the flush runs, so that the capture can take it away.
    SRWLOCK flushLock = SRWLOCK_INIT;
    void (*flush)(void* context) = nullptr;
    void* flushContext = nullptr;

    // Set before the JVM exists and only read by the hook afterwards: the
    // JVM's creation orders the two, no lock needed.
    CHeapText verboseFileName;
    // Opened at the JVM's first output, under the lock: JVM threads write at
    // the same time and must not open the file twice.
    SRWLOCK verboseFileLock = SRWLOCK_INIT;
    FILE* verboseFile = nullptr;
};

// The process's one instance. It is never destroyed: the JVM's threads run
// until the process ends and may print or exit after static destruction began.
CJvmProcessState& jvmProcessState();
