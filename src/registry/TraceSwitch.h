#pragma once
class CLogger;

// Sets (a path) or deletes (null or "OFF" in any case) the trace file setting
// that every later process of the program reads when its logger starts.
void enableTracing(const wchar_t* path, CLogger* logger);
