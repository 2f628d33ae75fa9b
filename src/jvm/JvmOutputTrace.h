#pragma once
// HotSpot's own output (thread dumps, -verbose:gc, warnings) when no
// verbose-output file is set: whole lines into the trace, and the text to
// standard output as well, where the JVM would have written it.
#include <cstdarg>

class CLogger;

// Null stops the tracing (the JVM may print after its host has gone).
void setJvmOutputTrace(CLogger* logger);
// The hook's text: formatted, then traced line by line. The printf count.
int traceJvmOutput(const char* format, va_list arguments);
