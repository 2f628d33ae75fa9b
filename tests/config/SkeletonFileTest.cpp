// "-c" end to end through pravik.exe, and the skeleton writer in process: the
// exact bytes in both encodings, the messages, an existing file left alone,
// and the written skeleton read back by the parser.
#include <windows.h>

#include <gtest/gtest.h>

#include "ConfigTestSupport.h"
#include "common/BuildInfo.h"
#include "common/Win32Handle.h"
#include "config/SkeletonTemplate.h"
#include "support/PravikRunner.h"
#include "support/TestRegistry.h"

namespace {

std::string skeletonBytes() {
    std::size_t length = 0;
    CHeapPtr<char> text = composeSkeletonText(&length);
    EXPECT_TRUE(text);
    return std::string(text.get(), length);
}

std::string skeletonUtf16Bytes() {
    const std::string text = skeletonBytes();
    return utf16Bytes(std::wstring(text.begin(), text.end()));
}

struct CParsed {
    int result = -1;
    COptionList options;
};

CParsed parseBack(const std::wstring& path, int unicode) {
    CLogger logger;
    CConfigFile file(&logger);
    CParsed parsed;
    parsed.result = file.parseConfigFile(path.c_str(), unicode);
    parsed.options = optionsOf(file);
    return parsed;
}

const COptionList kRequiredPlaceholders = {{L"serviceDisplayName", L"$$DISPLAYNAME$$"},
                                           {L"serviceName", L"$$SERVICENAME$$"},
                                           {L"ipravikClass", L"$$SERVICECLASSNAME$$"}};

// A skeleton reads back as the required placeholders in its own encoding; in the other, as no option and
// with that result.
void expectReadBack(const std::wstring& path, int unicode, int otherEncodingResult) {
    const CParsed parsed = parseBack(path, unicode);
    EXPECT_EQ(parsed.result, 0);
    EXPECT_EQ(parsed.options, kRequiredPlaceholders);
    const CParsed wrong = parseBack(path, 1 - unicode);
    EXPECT_EQ(wrong.result, otherEncodingResult);
    EXPECT_TRUE(wrong.options.empty());
}

}  // namespace

TEST(SkeletonFile, AnsiSkeletonByteForByteAndReadBack) {
    CTempDir directory;
    const std::wstring path = directory.file(L"skeleton.cfg");
    const CRunResult run = runPravik({L"-c", path});
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.output, crlf("Generating file " + narrow(path) + " \n"));
    const std::string bytes = readFileBytes(path);
    EXPECT_EQ(bytes, skeletonBytes());
    EXPECT_EQ(bytes.rfind("# Pravik Configuration file               (build " + std::string(PRAVIK_BUILD_DATE) + ")\r\n", 0),
              0u);

    // Read as UTF-16, the ASCII bytes make one line without "=".
    expectReadBack(path, 0, 5);
}

TEST(SkeletonFile, UnicodeSkeletonByteForByteAndReadBack) {
    CTempDir directory;
    const std::wstring path = directory.file(L"skeleton-w.cfg");
    const CRunResult run = runPravik({L"-w", L"-c", path});
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.output, crlf("Generating file " + narrow(path) + " using unicode.\n"));
    const std::string bytes = readFileBytes(path);
    EXPECT_EQ(bytes.size(), 2 * skeletonBytes().size());
    EXPECT_EQ(bytes, skeletonUtf16Bytes());
    EXPECT_EQ(bytes.substr(0, 4), std::string("#\0 \0", 4));

    // Read as ANSI, the text ends after its first "#": a comment, nothing else.
    expectReadBack(path, 1, 0);
}

TEST(SkeletonFile, ExistingFileIsLeftAlone) {
    CTempDir directory;
    const std::wstring path = directory.file(L"filled-in.cfg");
    writeFileBytes(path, "serviceName=Mine\r\n");
    for (bool unicode : {false, true}) {
        const CRunResult run =
            unicode ? runPravik({L"-c", path, L"-w"}) : runPravik({L"-c", path});
        EXPECT_EQ(run.exitCode, 0u);
        const std::string first = "Cannot open file " + narrow(path) + "\r\n";
        EXPECT_EQ(run.output.rfind(first, 0), 0u) << run.output;
        EXPECT_GT(run.output.size(), first.size() + 2) << "the system's text follows";
        EXPECT_EQ(run.output.find("Generating"), std::string::npos);
        EXPECT_EQ(readFileBytes(path), "serviceName=Mine\r\n");
    }
}

TEST(SkeletonFile, MissingDirectoryWritesNothing) {
    CTempDir directory;
    const std::wstring path = directory.file(L"no-such-dir\\skeleton.cfg");
    const CRunResult run = runPravik({L"-c", path});
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.output.rfind("Cannot open file " + narrow(path) + "\r\n", 0), 0u) << run.output;
    EXPECT_FALSE(fileExists(path));
}

TEST(SkeletonFile, EmptyFileNameDoesNothing) {
    const CRunResult run = runPravik({L"-c", L""});
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.output, "");
}

TEST(SkeletonFile, TraceOfTheSkeletonAction) {
    CTempDir directory;
    const std::wstring path = directory.file(L"traced.cfg");
    const std::wstring tracePath = directory.file(L"trace.log");
    {
        CTraceSetting setting(tracePath);
        const CRunResult run = runPravik({L"-c", path});
        EXPECT_EQ(run.exitCode, 0u);
    }
    const std::string trace = stripThreadIds(readFileBytes(tracePath));
    const std::string expected =
        "generateSkeletonFile Entry\n"
        "Generating file " + narrow(path) + " \n"
        "writeSkeletonFile Entry\n"
        "writeSkeletonFile Exit 0\n"
        "generateSkeletonFile Exit 0\n"
        "main Exit 0\n";
    ASSERT_GE(trace.size(), expected.size()) << trace;
    EXPECT_EQ(trace.substr(trace.size() - expected.size()), expected) << trace;
    EXPECT_EQ(readFileBytes(path), skeletonBytes());
}

TEST(SkeletonFile, WriterInProcessWritesOnlyToNewFiles) {
    CTempDir directory;
    CTempDir traceDirectory;
    CTracedLogger logger(traceDirectory);
    CConfigFile skeleton(logger.get());
    const std::wstring ansi = directory.file(L"a.cfg");
    const std::wstring wide = directory.file(L"w.cfg");
    skeleton.generateSkeletonFile(ansi.c_str(), 0);
    skeleton.generateSkeletonFile(wide.c_str(), 1);
    skeleton.generateSkeletonFile(nullptr, 0);
    EXPECT_EQ(readFileBytes(ansi), skeletonBytes());
    EXPECT_EQ(readFileBytes(wide), skeletonUtf16Bytes());
    EXPECT_EQ(skeleton.getOptionCount(), 0);
    EXPECT_EQ(logger.tracedLines(),
              "generateSkeletonFile Entry\n"
              "Generating file " + narrow(ansi) + " \n"
              "writeSkeletonFile Entry\n"
              "writeSkeletonFile Exit 0\n"
              "generateSkeletonFile Exit 0\n"
              "generateSkeletonFile Entry\n"
              "Generating file " + narrow(wide) + " using unicode.\n"
              "writeSkeletonFile Entry\n"
              "writeSkeletonFile Exit 0\n"
              "generateSkeletonFile Exit 0\n"
              "generateSkeletonFile Entry\n");
}

TEST(SkeletonFile, WriteFailureIsReported) {
    CTempDir directory;
    CTempDir traceDirectory;
    const std::wstring path = directory.file(L"read-only-handle.cfg");
    writeFileBytes(path, "");
    CFileHandle readOnly = openShared(path, GENERIC_READ);
    ASSERT_TRUE(readOnly);
    CTracedLogger logger(traceDirectory);
    CConfigFile skeleton(logger.get());
    skeleton.writeSkeletonFile(readOnly.get(), 1);
    const std::string trace = logger.tracedLines();
    const std::string failure = "Cannot write file  " + std::to_string(ERROR_ACCESS_DENIED) + "\n";
    EXPECT_EQ(trace.rfind("writeSkeletonFile Entry\n" + failure, 0), 0u) << trace;
    EXPECT_NE(trace.find("\nwriteSkeletonFile Exit 0\n"), std::string::npos) << trace;
    EXPECT_EQ(readFileBytes(path), "");
}

TEST(SkeletonFile, SkeletonComesAfterDisplayAndListingAndBeforeInstall) {
    CTempDir directory;
    const std::wstring path = directory.file(L"order.cfg");
    const std::wstring other = directory.file(L"other.cfg");

    // Install and uninstall requests on the same command line are not acted on.
    const CRunResult first = runPravik({L"-i", other, L"-c", path, L"-r", L"NoSuchPravikService"});
    EXPECT_EQ(first.exitCode, 0u);
    EXPECT_EQ(first.output, crlf("Generating file " + narrow(path) + " \n"));
    EXPECT_EQ(readFileBytes(path), skeletonBytes());
    EXPECT_FALSE(fileExists(other));

    const std::wstring later = directory.file(L"later.cfg");
    const CRunResult listing = runPravik({L"-c", later, L"-b"});
    EXPECT_EQ(listing.exitCode, 0u);
    EXPECT_EQ(listing.output.find("Generating file"), std::string::npos);
    EXPECT_FALSE(fileExists(later));
}
