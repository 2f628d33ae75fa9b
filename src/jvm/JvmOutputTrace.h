#pragma once
// The owner of HotSpot's own output (thread dumps, -verbose:gc, warnings),
// which the JVM writes through its "vfprintf" hook: into the verbose-output
// file when one is set, else whole lines into the trace, and the text to
// standard output as well, where the JVM would have written it.
#include <jni.h>

#include <cstdarg>
#include <cstdio>

#include "common/HeapText.h"

class CLogger;

// The verbose-output file (VerboseFile; null: none), set before the JVM is
// created: the hook opens it at the JVM's first output.
void setJvmVerboseFile(CHeapText name);
// The "vfprintf" hook: the JVM writes its console output through it.
extern "C" jint JNICALL jvmOutputHook(FILE* stream, const char* format, va_list arguments);

// Null stops the tracing (the JVM may print after its host has gone).
void setJvmOutputTrace(CLogger* logger);
// What the hook calls once text that ends a line is in standard output, so
// that the line is in the file behind it when the hook returns: a JVM may end
// by _exit right after a message (-XX:+ExitOnOutOfMemoryError, a crash). The
// output capture sets it; null: none. Once this returns no call of the
// previous one is running.
void setJvmOutputFlush(void (*flush)(void* context), void* context);
// The hook's text: formatted, then traced line by line. The printf count.
int traceJvmOutput(const char* format, va_list arguments);
