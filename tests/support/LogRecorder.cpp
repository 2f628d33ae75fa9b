#include "support/LogRecorder.h"

namespace {

std::wstring join(const wchar_t* text, const wchar_t* text2, const wchar_t* text3) {
    std::wstring line;
    for (const wchar_t* part : {text, text2, text3}) {
        if (part != nullptr) {
            line += part;
        }
    }
    return line;
}

void recordMessage(void*, const wchar_t* text, const wchar_t* text2, const wchar_t* text3) {
    loggerRecord().messages.push_back(join(text, text2, text3));
}

unsigned long openRecordedTrace(void*, const wchar_t*) { return 0; }

void recordTrace(void*, const wchar_t* text, const wchar_t* text2, const wchar_t* text3) {
    loggerRecord().trace.push_back(join(text, text2, text3));
}

}  // namespace

CLoggerRecord& loggerRecord() {
    static CLoggerRecord record;
    return record;
}

void clearLoggerRecord() {
    loggerRecord().messages.clear();
    loggerRecord().trace.clear();
}

CLogSink recordingLogSink() { return CLogSink{nullptr, recordMessage, openRecordedTrace, recordTrace, nullptr}; }
