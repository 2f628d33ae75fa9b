// Java's output when it runs as a service: lines per second written through
// the capture that pravik sets up (one file named for standardOutput and
// standardError; the pipe, the copier thread that appends to the file and
// checks its size for rotation) against the floor of WriteFile of the same
// lines to a file of the program's own, opened for appending as the capture's
// is. The capture's time runs until the copier has written the last line.
// Both paths of the capture are measured: the process's standard output
// handle, which a JVM on Windows writes System.out through, and the C
// runtime's descriptor 1, which native code prints through. One write per
// line, as System.out's println makes. A third figure is the price of
// appending itself: the same floor against plain writing at the file position.
//
// Arguments: a scratch directory, the number of runs.
#include <windows.h>

#include <io.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "log/CLogger.h"
#include "service/OutputCapture.h"

namespace {

const int kLinesPerRun = 20000;
// The defaults of logRotateSize and logKeep: the lines of a run stay below the size.
const std::uint64_t kRotateBytes = 10ull * 1024 * 1024;
const unsigned kKeep = 5;
// Far beyond the time a run takes.
const DWORD kDrainPatienceMs = 60000;

// A line as a service logs it; the C runtime's text mode makes LF into CR LF.
int formatLine(char* line, std::size_t size, int index, bool crlf) {
    return std::snprintf(line, size, "2026-12-08 16:24:10 INFO service: benchmark line %d%s", index,
                         crlf ? "\r\n" : "\n");
}

void writeThroughHandle(HANDLE handle) {
    char line[128];
    for (int index = 0; index < kLinesPerRun; ++index) {
        const int length = formatLine(line, sizeof line, index, true);
        DWORD written = 0;
        WriteFile(handle, line, static_cast<DWORD>(length), &written, nullptr);
    }
}

void writeThroughDescriptor() {
    char line[128];
    for (int index = 0; index < kLinesPerRun; ++index) {
        const int length = formatLine(line, sizeof line, index, false);
        _write(1, line, static_cast<unsigned>(length));
    }
}

double floorLinesPerSecond(const std::wstring& file, DWORD access) {
    DeleteFileW(file.c_str());
    HANDLE handle = CreateFileW(file.c_str(), access, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return -1;
    }
    const double began = nowMs();
    writeThroughHandle(handle);
    const double linesPerSecond = kLinesPerRun * 1000.0 / (nowMs() - began);
    CloseHandle(handle);
    return linesPerSecond;
}

double captureLinesPerSecond(const std::wstring& file, bool throughDescriptor) {
    DeleteFileW(file.c_str());
    std::fflush(stdout);
    // The figures go to this program's own standard output, which the capture takes over.
    const int ownOutput = _dup(1);
    double linesPerSecond = -1;
    {
        CLogger logger;
        COutputCapture capture;
        capture.capture(&logger, file.c_str(), file.c_str(), kRotateBytes, kKeep, nullptr);
        if (GetStdHandle(STD_OUTPUT_HANDLE) != INVALID_HANDLE_VALUE) {
            const double began = nowMs();
            if (throughDescriptor) {
                writeThroughDescriptor();
            } else {
                writeThroughHandle(GetStdHandle(STD_OUTPUT_HANDLE));
            }
            capture.finish(kDrainPatienceMs);
            linesPerSecond = kLinesPerRun * 1000.0 / (nowMs() - began);
        }
    }
    _dup2(ownOutput, 1);
    _close(ownOutput);
    return linesPerSecond;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: capturebench dir runs\n");
        return 2;
    }
    const std::wstring directory = argv[1];
    const int runs = static_cast<int>(std::wcstol(argv[2], nullptr, 10));
    const std::wstring floorFile = directory + L"\\bench-floor.log";
    const std::wstring captureFile = directory + L"\\bench-capture.log";
    std::vector<double> plainFloor, floor, handle, descriptor;
    for (int run = 0; run < runs; ++run) {
        plainFloor.push_back(floorLinesPerSecond(floorFile, GENERIC_WRITE));
        floor.push_back(floorLinesPerSecond(floorFile, FILE_APPEND_DATA));
        handle.push_back(captureLinesPerSecond(captureFile, false));
        descriptor.push_back(captureLinesPerSecond(captureFile, true));
    }
    DeleteFileW(floorFile.c_str());
    DeleteFileW(captureFile.c_str());
    printFigure("output capture, standard handle (lines/s)", median(floor), median(handle), "lines/s");
    printFigure("output capture, C runtime descriptor 1 (lines/s)", median(floor), median(descriptor), "lines/s");
    printFigure("bare WriteFile, plain vs appending (lines/s)", median(plainFloor), median(floor), "lines/s");
    return 0;
}
