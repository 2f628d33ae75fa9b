#pragma once
// Thread dumps of the process's JVM (one per process). The JVM prints them
// through its output hook: into the verbose-output file, else the trace.
#include <windows.h>

#include <jni.h>

class CLogger;

using RaiseSignalProc = jboolean(JNICALL*)(jint signal);

// Ctrl+Break in the platform's signal numbering: HotSpot answers it with a dump.
inline constexpr jint kSignalBreak = 21;

// The JVM library's signal entry, or null when it has none.
RaiseSignalProc findRaiseSignal(HMODULE library);

// Kept from the JVM's creation until it has been destroyed (null then).
void rememberJvmForDumps(JavaVM* vm, HMODULE library);
// The JVM has printed something (its output hook ran).
void noteJvmOutput();

// Asks the JVM for a thread dump on a thread of its own and waits until the
// dump has been written, at most patienceMs. Nothing when no JVM is there or
// its library has no signal entry.
void dumpJvmThreads(CLogger* logger, DWORD patienceMs);
