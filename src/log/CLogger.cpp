#include "log/CLogger.h"

#include <cstdio>
#include <cwchar>

#include "common/CTextBuilder.h"
#include "registry/MbcsConversion.h"
#include "registry/RegistryReaders.h"

namespace {

const wchar_t* const kProgramKey = L"SOFTWARE\\Ulmarq\\Pravik";
const unsigned long kTraceValueBytes = 2000;

// Lines of all processes that share one trace file are kept apart by a lock on
// one byte far beyond any real file end, taken around seek-to-end and write.
const DWORD kLockOffsetHigh = 0x7FFFFFFF;

const wchar_t* orEmpty(const wchar_t* text) { return text != nullptr ? text : L""; }

std::size_t lengthOf(const wchar_t* text) { return text != nullptr ? std::wcslen(text) : 0; }

// The runtime's wide printing stops at the first character outside its own
// narrow set and drops the rest of the line; converting to the ANSI code page
// first keeps the whole line, with "?" for what the code page lacks.
void printToConsole(const wchar_t* text, const wchar_t* text2, const wchar_t* text3) {
    CTextBuilder line;
    line.append(text).append(text2).append(text3).appendChar(L'\n');
    CHeapPtr<char> narrow(line.failed() ? nullptr : convertToMBCS(line.text()));
    if (narrow) {
        std::fputs(narrow.get(), stdout);
    } else {
        std::wprintf(L"%ls%ls%ls\n", orEmpty(text), orEmpty(text2), orEmpty(text3));
    }
}

}  // namespace

CLogger::CLogger() {
    mutex.reset(CreateMutexW(nullptr, FALSE, nullptr));
    wchar_t path[kTraceValueBytes / sizeof(wchar_t) + 1] = {};
    enableLogFile(getRegStrValue(HKEY_LOCAL_MACHINE, kProgramKey, nullptr, L"Trace", path, kTraceValueBytes));
}

CLogger::~CLogger() = default;

void CLogger::enableStdout(int value) { stdoutEnabled = value; }

void CLogger::enableLogFile(const wchar_t* path) {
    traceEnabled = 0;
    traceFile.reset();
    if (path == nullptr || path[0] == L'\0') {
        return;
    }
    traceFile.reset(CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!traceFile) {
        logSystemError(GetLastError());
        return;
    }
    SetFilePointer(traceFile.get(), 0, nullptr, FILE_END);
    traceEnabled = 1;
}

void CLogger::writeEntry(const wchar_t* text, const wchar_t* text2, const wchar_t* text3) {
    if (!traceEnabled) {
        return;
    }
    WaitForSingleObject(mutex.get(), INFINITE);
    const std::size_t characters = lengthOf(text) + lengthOf(text2) + lengthOf(text3);
    const std::size_t needed = 100 + 2 * characters;
    if (lineCapacity < needed) {
        wideLine.reset(static_cast<wchar_t*>(std::calloc(needed + 10, 1)));
        narrowLine.reset(static_cast<char*>(std::calloc(needed + 10, 1)));
        lineCapacity = (wideLine && narrowLine) ? static_cast<unsigned long>(needed) : 0;
    }
    if (lineCapacity != 0) {
        // The line is built by hand rather than with wsprintfW, whose 1,024-character
        // limit would cut long entries (a whole exported configuration, say).
        wchar_t* line = wideLine.get();
        std::size_t at = 0;
        unsigned long threadId = GetCurrentThreadId();
        static const wchar_t hexDigits[] = L"0123456789ABCDEF";
        for (int shift = 28; shift >= 0; shift -= 4) {
            line[at++] = hexDigits[(threadId >> shift) & 0xF];
        }
        line[at++] = L' ';
        for (const wchar_t* part : {text, text2, text3}) {
            const std::size_t length = lengthOf(part);
            std::wmemcpy(line + at, orEmpty(part), length);
            at += length;
        }
        line[at++] = L'\r';
        line[at++] = L'\n';
        line[at] = L'\0';

        const char* bytes = narrowLine.get();
        DWORD byteCount = 0;
        const int converted = WideCharToMultiByte(CP_ACP, 0, line, -1, narrowLine.get(),
                                                  static_cast<int>(lineCapacity), nullptr, nullptr);
        if (converted > 0) {
            byteCount = static_cast<DWORD>(converted - 1);
        } else {
            bytes = reinterpret_cast<const char*>(line);
            byteCount = static_cast<DWORD>(at * sizeof(wchar_t));
        }
        OVERLAPPED lockRange = {};
        lockRange.OffsetHigh = kLockOffsetHigh;
        const BOOL locked = LockFileEx(traceFile.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &lockRange);
        SetFilePointer(traceFile.get(), 0, nullptr, FILE_END);
        DWORD written = 0;
        WriteFile(traceFile.get(), bytes, byteCount, &written, nullptr);
        FlushFileBuffers(traceFile.get());
        if (locked) {
            UnlockFileEx(traceFile.get(), 0, 1, 0, &lockRange);
        }
    }
    ReleaseMutex(mutex.get());
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
    if (stdoutEnabled) {
        printToConsole(text, text2, text3);
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
    wchar_t* systemText = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, code,
        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&systemText), 0, nullptr);
    CLocalMemory owner(systemText);
    if (length != 0 && systemText != nullptr) {
        logMessage(systemText);
    } else {
        // The system has no wording for this code: say so rather than print nothing.
        CTextBuilder text;
        text.append(L"No system text for error ").appendDecimal(static_cast<long long>(code));
        logMessage(text.text());
    }
}

void logFailure(CLogger* logger, const wchar_t* text, unsigned long code) {
    logger->logMessage(text, code);
    logger->logSystemError(code);
}
