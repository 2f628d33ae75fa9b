#pragma once
// Native unit tests link this stand-in for the process logger: every CLogger
// call is recorded as the real logger would print or trace it, so tests can
// compare the messages of the code under test.
#include <string>
#include <vector>

struct CLoggerRecord {
    // What standard output would show: one entry per message line, without the line feed.
    std::vector<std::wstring> messages;
    // What the trace file would hold, without thread ids: entry and exit lines and every message.
    std::vector<std::wstring> trace;
};

// Shared by every logger of the test process; the tests run one at a time.
CLoggerRecord& loggerRecord();
void clearLoggerRecord();

// Stand-in for the system's wording of an error code.
std::wstring systemErrorText(unsigned long code);
