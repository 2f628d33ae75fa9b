// Several processes tracing into one file at once: the logger serialises its
// writes across processes, so every line arrives whole and none is lost.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/TestFiles.h"
#include "support/TestRegistry.h"

namespace {

const int kWriters = 4;
const int kLinesPerWriter = 10000;

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

}  // namespace

TEST(TraceStress, FourProcessesWritingTenThousandLinesEachLoseAndTearNone) {
    CTempDir dir;
    const std::wstring traceFile = dir.file(L"trace.log");
    CTraceSetting trace(traceFile);

    // Started suspended and let go together, so that their writes overlap.
    std::vector<PROCESS_INFORMATION> writers;
    for (int writer = 0; writer < kWriters; ++writer) {
        std::wstring commandLine =
            L"\"" + std::wstring(TRACE_WRITER_EXE) + L"\" " + std::to_wstring(writer) + L" " +
            std::to_wstring(kLinesPerWriter);
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                                   nullptr, &startup, &process))
            << GetLastError();
        writers.push_back(process);
    }
    for (const PROCESS_INFORMATION& process : writers) {
        ResumeThread(process.hThread);
    }
    for (const PROCESS_INFORMATION& process : writers) {
        // Bounded: a writer that hangs is ended and fails the test.
        if (WaitForSingleObject(process.hProcess, 100000) != WAIT_OBJECT_0) {
            TerminateProcess(process.hProcess, 99);
            ADD_FAILURE() << "a writer did not finish";
        }
        DWORD exitCode = STILL_ACTIVE;
        GetExitCodeProcess(process.hProcess, &exitCode);
        EXPECT_EQ(exitCode, 0u);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }

    const std::string bytes = readFileBytes(traceFile);
    std::vector<int> nextLine(kWriters, 0);
    int lines = 0;
    int broken = 0;
    std::string firstBroken;
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t end = bytes.find("\r\n", at);
        const std::string line = bytes.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? bytes.size() : end + 2;
        unsigned writer = 0;
        unsigned index = 0;
        char expected[128] = "";
        bool whole = line.size() > 9 && line[8] == ' ';
        for (int digit = 0; whole && digit < 8; ++digit) {
            whole = isHexDigit(line[static_cast<std::size_t>(digit)]);
        }
        // The switch is machine-wide: a whole line of a program another test started is not ours.
        if (whole && line.find("writer ") == std::string::npos && end != std::string::npos) {
            continue;
        }
        ++lines;
        whole = whole && std::sscanf(line.c_str() + 9, "writer %u line %u", &writer, &index) == 2 &&
                writer < static_cast<unsigned>(kWriters);
        if (whole) {
            std::snprintf(expected, sizeof expected, "writer %u line %05u ..........................................end",
                          writer, index);
            // Each writer's lines come in its own order, one after another.
            whole = line.compare(9, std::string::npos, expected) == 0 &&
                    static_cast<int>(index) == nextLine[writer] && end != std::string::npos;
        }
        if (whole) {
            ++nextLine[writer];
        } else if (broken++ == 0) {
            firstBroken = line;
        }
    }
    EXPECT_EQ(broken, 0) << "first broken line: " << firstBroken;
    EXPECT_EQ(lines, kWriters * kLinesPerWriter);
    for (int writer = 0; writer < kWriters; ++writer) {
        EXPECT_EQ(nextLine[writer], kLinesPerWriter) << "writer " << writer;
    }
}
