#pragma once
// HotSpot's own output (thread dumps, -verbose:gc, warnings) when no
// verbose-output file is set: whole lines into the trace, and the text to
// standard output as well, where the JVM would have written it.
#include <cstdarg>

class CLogger;

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
