#include "support/CLoggerRecorder.h"

#include "log/CLogger.h"

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

}  // namespace

CLoggerRecord& loggerRecord() {
    static CLoggerRecord record;
    return record;
}

void clearLoggerRecord() {
    loggerRecord().messages.clear();
    loggerRecord().trace.clear();
}

std::wstring systemErrorText(unsigned long code) { return L"<system text for " + std::to_wstring(code) + L">"; }

// As if a trace file were configured: tracing is on, standard output waits for enableStdout.
CLogger::CLogger() { traceEnabled = 1; }

CLogger::~CLogger() = default;

void CLogger::enableStdout(int value) { stdoutEnabled = value; }

void CLogger::enableLogFile(const wchar_t* path) { traceEnabled = path != nullptr && path[0] != L'\0'; }

void CLogger::writeEntry(const wchar_t* text, const wchar_t* text2, const wchar_t* text3) {
    if (traceEnabled) {
        loggerRecord().trace.push_back(join(text, text2, text3));
    }
}

void CLogger::logEntry(const wchar_t* name) { writeEntry(name, L" Entry", nullptr); }

void CLogger::logEntry(const wchar_t* name, int number) {
    writeEntry(name, L" Entry ", std::to_wstring(number).c_str());
}

void CLogger::logExit(const wchar_t* name, int number) { writeEntry(name, L" Exit ", std::to_wstring(number).c_str()); }

void CLogger::logMessage(const wchar_t* text) { logMessage(text, nullptr, nullptr); }

void CLogger::logMessage(const wchar_t* text, const wchar_t* text2) { logMessage(text, text2, nullptr); }

void CLogger::logMessage(const wchar_t* text, const wchar_t* text2, const wchar_t* text3) {
    if (stdoutEnabled) {
        loggerRecord().messages.push_back(join(text, text2, text3));
    }
    writeEntry(text, text2, text3);
}

void CLogger::logMessage(const wchar_t* text, unsigned long number) {
    logMessage(text, (L" " + std::to_wstring(static_cast<int>(number))).c_str(), nullptr);
}

void CLogger::logSystemError(unsigned long code) { logMessage(systemErrorText(code).c_str()); }

void logFailure(CLogger* logger, const wchar_t* text, unsigned long code) {
    logger->logMessage(text, code);
    logger->logSystemError(code);
}
