#include "log/CLogger.h"

#include <cwchar>

#include "common/CTextBuilder.h"

CLogger::CLogger(const CLogSink& sink, const wchar_t* tracePath) : sink(sink) { enableLogFile(tracePath); }

void CLogger::enableStdout(int value) { stdoutEnabled = value; }

void CLogger::enableLogFile(const wchar_t* path) {
    traceEnabled = 0;
    const unsigned long error = sink.openTrace != nullptr ? sink.openTrace(sink.context, path) : 0;
    if (error != 0) {
        logSystemError(error);
        return;
    }
    traceEnabled = sink.trace != nullptr && path != nullptr && path[0] != L'\0';
}

void CLogger::writeEntry(const wchar_t* text, const wchar_t* text2, const wchar_t* text3) {
    if (traceEnabled) {
        sink.trace(sink.context, text, text2, text3);
    }
}

void CLogger::logEntry(const wchar_t* name) {
    if (traceEnabled) {
        writeEntry(name, L" Entry", nullptr);
    }
}

void CLogger::logEntry(const wchar_t* name, int number) {
    if (traceEnabled) {
        wchar_t digits[30];
        std::swprintf(digits, 30, L"%d", number);
        writeEntry(name, L" Entry ", digits);
    }
}

void CLogger::logExit(const wchar_t* name, int number) {
    if (traceEnabled) {
        wchar_t digits[30];
        std::swprintf(digits, 30, L"%d", number);
        writeEntry(name, L" Exit ", digits);
    }
}

void CLogger::logMessage(const wchar_t* text) { logMessage(text, nullptr, nullptr); }

void CLogger::logMessage(const wchar_t* text, const wchar_t* text2) { logMessage(text, text2, nullptr); }

void CLogger::logMessage(const wchar_t* text, const wchar_t* text2, const wchar_t* text3) {
    if (!stdoutEnabled && !traceEnabled) {
        return;
    }
    if (stdoutEnabled && sink.print != nullptr) {
        sink.print(sink.context, text, text2, text3);
    }
    writeEntry(text, text2, text3);
}

void CLogger::logMessage(const wchar_t* text, unsigned long number) {
    if (!stdoutEnabled && !traceEnabled) {
        return;
    }
    wchar_t digits[30];
    std::swprintf(digits, 30, L" %d", static_cast<int>(number));
    logMessage(text, digits, nullptr);
}

void CLogger::logSystemError(unsigned long code) {
    if (!stdoutEnabled && !traceEnabled) {
        return;
    }
    CTextBuilder systemText;
    if (sink.describeError != nullptr && sink.describeError(sink.context, code, systemText) && !systemText.failed()) {
        logMessage(systemText.text());
        return;
    }
    // The system has no wording for this code: say so rather than print nothing.
    CTextBuilder text;
    text.append(L"No system text for error ").appendDecimal(static_cast<long long>(code));
    logMessage(text.text());
}

void logFailure(CLogger* logger, const wchar_t* text, unsigned long code) {
    logger->logMessage(text, code);
    logger->logSystemError(code);
}
