// The logger of a process with standard output and the trace switched off,
// for the native benchmarks: every call returns at once, as the real one does then.
#include "log/CLogger.h"

CLogger::CLogger() = default;
CLogger::~CLogger() = default;
void CLogger::writeEntry(const wchar_t*, const wchar_t*, const wchar_t*) {}
void CLogger::logEntry(const wchar_t*) {}
void CLogger::logEntry(const wchar_t*, int) {}
void CLogger::logExit(const wchar_t*, int) {}
void CLogger::logMessage(const wchar_t*) {}
void CLogger::logMessage(const wchar_t*, const wchar_t*) {}
void CLogger::logMessage(const wchar_t*, const wchar_t*, const wchar_t*) {}
void CLogger::logMessage(const wchar_t*, unsigned long) {}
void CLogger::logSystemError(unsigned long) {}
void CLogger::enableStdout(int) {}
void CLogger::enableLogFile(const wchar_t*) {}
void logFailure(CLogger*, const wchar_t*, unsigned long) {}
