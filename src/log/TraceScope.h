#pragma once
// The Entry line of a traced operation when made, and its Exit line with the
// result when the scope ends, so that the operation can return early.
#include "log/CLogger.h"

class CTraceScope {
public:
    CTraceScope(CLogger* logger, const wchar_t* name) : logger(logger), name(name) { logger->logEntry(name); }
    // The Entry line shows the operation's argument, such as a control code.
    CTraceScope(CLogger* logger, const wchar_t* name, int argument) : logger(logger), name(name) {
        logger->logEntry(name, argument);
    }
    ~CTraceScope() { logger->logExit(name, result); }
    CTraceScope(const CTraceScope&) = delete;
    CTraceScope& operator=(const CTraceScope&) = delete;

    // Sets the result that the Exit line shows and answers it: "return trace.exit(code);".
    int exit(int value) {
        result = value;
        return value;
    }

private:
    CLogger* logger;
    const wchar_t* name;
    int result = 0;
};
