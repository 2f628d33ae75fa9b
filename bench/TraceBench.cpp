// The trace of the real logger: lines per second with the trace on (every line
// flushed and locked against other processes) against the floor of a program
// that writes and flushes the same lines itself, and the cost of a traced
// operation's entry and exit lines with the trace off.
//
// Arguments: a scratch directory, the number of runs.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "common/RegistryLayout.h"
#include "log/CLogger.h"

namespace {

const int kLinesPerRun = 2000;
const int kOperationsPerRun = 1000000;

void setTraceValue(const std::wstring& path) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kProgramKeyPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) ==
        ERROR_SUCCESS) {
        if (path.empty()) {
            RegDeleteValueW(key, L"Trace");
        } else {
            RegSetValueExW(key, L"Trace", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                           static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
        }
        RegCloseKey(key);
    }
}

double loggerLinesPerSecond(const std::wstring& file) {
    DeleteFileW(file.c_str());
    setTraceValue(file);
    double elapsed = 0;
    {
        CLogger logger;
        const double began = nowMs();
        for (int line = 0; line < kLinesPerRun; ++line) {
            logger.logMessage(L"benchmark line ", static_cast<unsigned long>(line));
        }
        elapsed = nowMs() - began;
    }
    setTraceValue(L"");
    return kLinesPerRun * 1000.0 / elapsed;
}

// The same bytes a trace line has, formatted, written and flushed one by one.
double floorLinesPerSecond(const std::wstring& file) {
    DeleteFileW(file.c_str());
    HANDLE handle = CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return -1;
    }
    const double began = nowMs();
    char line[64];
    for (int index = 0; index < kLinesPerRun; ++index) {
        const int length = std::snprintf(line, sizeof line, "%08lX benchmark line %d\r\n", GetCurrentThreadId(), index);
        DWORD written = 0;
        WriteFile(handle, line, static_cast<DWORD>(length), &written, nullptr);
        FlushFileBuffers(handle);
    }
    const double elapsed = nowMs() - began;
    CloseHandle(handle);
    return kLinesPerRun * 1000.0 / elapsed;
}

double tracedOperationNanoseconds() {
    setTraceValue(L"");
    CLogger logger;
    const double began = nowMs();
    for (int operation = 0; operation < kOperationsPerRun; ++operation) {
        logger.logEntry(L"CBench::operation");
        logger.logExit(L"CBench::operation", operation);
    }
    return (nowMs() - began) * 1e6 / kOperationsPerRun;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: tracebench dir runs\n");
        return 2;
    }
    const std::wstring directory = argv[1];
    const int runs = static_cast<int>(std::wcstol(argv[2], nullptr, 10));
    std::vector<double> logger, floor, off;
    for (int run = 0; run < runs; ++run) {
        logger.push_back(loggerLinesPerSecond(directory + L"\\bench-trace.log"));
        floor.push_back(floorLinesPerSecond(directory + L"\\bench-floor.log"));
        off.push_back(tracedOperationNanoseconds());
    }
    DeleteFileW((directory + L"\\bench-trace.log").c_str());
    DeleteFileW((directory + L"\\bench-floor.log").c_str());
    printFigure("trace on: lines per second", median(floor), median(logger), "lines/s");
    printFigure("trace off: entry+exit of a traced operation (ns)", -1, median(off), "ns");
    return 0;
}
