// The logger against the real file system of the prefix.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

#include "log/CLogger.h"
#include "support/TestFiles.h"
#include "support/TestRegistry.h"

namespace {

std::string threadPrefix() {
    char prefix[16];
    snprintf(prefix, sizeof(prefix), "%08lX ", GetCurrentThreadId());
    return prefix;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find("\r\n", at);
        if (end == std::string::npos) {
            lines.push_back(text.substr(at));
            break;
        }
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

}  // namespace

TEST(Logger, TraceLinesCarryThreadIdAndTheThreeTexts) {
    CTempDir dir;
    const std::wstring trace = dir.file(L"trace.log");
    {
        CTraceSetting setting(trace);
        CLogger logger;
        logger.logEntry(L"CExample::run");
        logger.logEntry(L"CParameters::parseCommandLine", 3);
        logger.logExit(L"main", -7);
        logger.logMessage(L"Uninstall failed");
        logger.logMessage(L"-i", L" option requires config file name");
        logger.logMessage(L"serviceName", L"=", L"MyService");
        logger.logMessage(L"Cannot read config file ", 5UL);
        logger.logMessage(L"Big ", 4294967295UL);
    }
    const std::string p = threadPrefix();
    EXPECT_EQ(readFileBytes(trace), p + "CExample::run Entry\r\n" + p + "CParameters::parseCommandLine Entry 3\r\n" + p +
                                        "main Exit -7\r\n" + p + "Uninstall failed\r\n" + p +
                                        "-i option requires config file name\r\n" + p + "serviceName=MyService\r\n" +
                                        p + "Cannot read config file  5\r\n" + p + "Big  -1\r\n");
}

TEST(Logger, AppendsToAnExistingFile) {
    CTempDir dir;
    const std::wstring trace = dir.file(L"trace.log");
    writeFileBytes(trace, "earlier line\r\n");
    {
        CTraceSetting setting(trace);
        CLogger logger;
        logger.logMessage(L"later");
    }
    EXPECT_EQ(readFileBytes(trace), "earlier line\r\n" + threadPrefix() + "later\r\n");
}

TEST(Logger, TraceInAMissingDirectoryIsSilentlyOff) {
    CTempDir dir;
    const std::wstring trace = dir.file(L"no-such-dir\\trace.log");
    CTraceSetting setting(trace);
    CLogger logger;
    logger.logEntry(L"anything");
    logger.logMessage(L"still works");
    EXPECT_FALSE(fileExists(trace));
}

TEST(Logger, LongEntriesAreWrittenWhole) {
    CTempDir dir;
    const std::wstring trace = dir.file(L"trace.log");
    const std::wstring longText(5000, L'x');
    {
        CTraceSetting setting(trace);
        CLogger logger;
        logger.logMessage(L"short");
        logger.logMessage(L"<", longText.c_str(), L">");
        logger.logMessage(L"short again");
    }
    const std::vector<std::string> lines = splitLines(readFileBytes(trace));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], threadPrefix() + "<" + std::string(5000, 'x') + ">");
    EXPECT_EQ(lines[2], threadPrefix() + "short again");
}

// Threads of one logger, and two loggers with their own handles on one file (as
// two processes have), never tear or lose a line.
TEST(Logger, ConcurrentWritersKeepEveryLineWhole) {
    CTempDir dir;
    const std::wstring trace = dir.file(L"trace.log");
    const int linesPerThread = 400;
    {
        CTraceSetting setting(trace);
        CLogger first;
        CLogger second;
        std::vector<std::thread> threads;
        for (int writer = 0; writer < 4; ++writer) {
            CLogger* logger = writer % 2 == 0 ? &first : &second;
            threads.emplace_back([logger, writer, linesPerThread] {
                const std::wstring tag = L"writer" + std::to_wstring(writer) + L" line ";
                for (int line = 0; line < linesPerThread; ++line) {
                    logger->logMessage(tag.c_str(), std::to_wstring(line).c_str(), L" end");
                }
            });
        }
        for (auto& thread : threads) {
            thread.join();
        }
    }
    const std::vector<std::string> lines = splitLines(readFileBytes(trace));
    ASSERT_EQ(lines.size(), 4u * linesPerThread);
    std::set<std::string> seen;
    for (const std::string& line : lines) {
        ASSERT_GT(line.size(), 9u);
        ASSERT_EQ(line[8], ' ') << line;
        const std::string body = line.substr(9);
        ASSERT_EQ(body.rfind("writer", 0), 0u) << line;
        ASSERT_EQ(body.substr(body.size() - 4), " end") << line;
        seen.insert(body);
    }
    EXPECT_EQ(seen.size(), 4u * linesPerThread);
}

// Past 20 MiB the trace rotates before the next line: each generation moves
// one older, the fourth is deleted, and the line starts a fresh file.
TEST(Logger, TraceRotatesPastTwentyMiBKeepingThree) {
    CTempDir dir;
    const std::wstring trace = dir.file(L"trace.log");
    const std::string full(20 * 1024 * 1024 - 4, 'f');
    writeFileBytes(trace, full);
    writeFileBytes(trace + L".1", "one");
    writeFileBytes(trace + L".2", "two");
    writeFileBytes(trace + L".3", "three");
    {
        CTraceSetting setting(trace);
        CLogger logger;
        logger.logMessage(L"fresh");
    }
    EXPECT_EQ(readFileBytes(trace), threadPrefix() + "fresh\r\n");
    EXPECT_TRUE(readFileBytes(trace + L".1") == full);
    EXPECT_EQ(readFileBytes(trace + L".2"), "one");
    EXPECT_EQ(readFileBytes(trace + L".3"), "two");
    EXPECT_FALSE(fileExists(trace + L".4"));
}

// A reader that holds the trace without delete sharing blocks its rotation:
// lines go on to the file as it is.
TEST(Logger, TraceThatCannotRotateGrowsOn) {
    CTempDir dir;
    const std::wstring trace = dir.file(L"trace.log");
    const std::string full(20 * 1024 * 1024, 'f');
    writeFileBytes(trace, full);
    CFileHandle reader(CreateFileW(trace.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(reader);
    {
        CTraceSetting setting(trace);
        CLogger logger;
        logger.logMessage(L"still here");
        logger.logMessage(L"and here");
    }
    EXPECT_TRUE(readFileBytes(trace) == full + threadPrefix() + "still here\r\n" + threadPrefix() + "and here\r\n");
    EXPECT_FALSE(fileExists(trace + L".1"));
}
