#pragma once
// Native tests run the real logger with a sink that records its lines, so
// that they can compare the messages and the trace of the code under test.
#include <string>
#include <vector>

#include "log/LogSink.h"

struct CLoggerRecord {
    // What standard output would show: one entry per message line, without the line feed.
    std::vector<std::wstring> messages;
    // What the trace file would hold, without thread ids: entry and exit lines and every message.
    std::vector<std::wstring> trace;
};

// Shared by every recording logger of the test process; the tests run one at a time.
CLoggerRecord& loggerRecord();
void clearLoggerRecord();

// The sink that records into loggerRecord(); a logger made with it and
// kRecordedTrace traces from the start, as a process with a trace file does.
CLogSink recordingLogSink();
inline constexpr const wchar_t* kRecordedTrace = L"recorded";
