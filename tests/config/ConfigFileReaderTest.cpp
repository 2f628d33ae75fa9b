// Reading configuration files through the real file API: both encodings, the
// files read in the wrong one, and every failure with its messages and code.
#include <windows.h>

#include <gtest/gtest.h>

#include "ConfigTestSupport.h"
#include "common/Win32Handle.h"
#include "config/CConfigOption.h"

namespace {

struct CParsed {
    int result = -1;
    COptionList options;
    std::string trace;
};

CParsed parseWithTrace(const wchar_t* path, int unicode) {
    CTempDir traceDirectory;
    CParsed parsed;
    CTracedLogger logger(traceDirectory);
    CConfigFile file(logger.get());
    parsed.result = file.parseConfigFile(path, unicode);
    parsed.options = optionsOf(file);
    parsed.trace = logger.tracedLines();
    return parsed;
}

CParsed parseBytes(const std::string& bytes, int unicode) {
    CTempDir directory;
    const std::wstring path = directory.file(L"service.cfg");
    writeFileBytes(path, bytes);
    return parseWithTrace(path.c_str(), unicode);
}

std::string parseTrace(const std::string& inner, int result) {
    return "CConfigFile::parseConfigFile Entry\n"
           "CConfigFile::parseFile Entry\n" +
           inner + "CConfigFile::parseFile Exit " + std::to_string(result) +
           "\n"
           "CConfigFile::parseConfigFile Exit " +
           std::to_string(result) + "\n";
}

// The system's wording differs between Windows and Wine: only its presence is checked.
void expectSystemTextAfter(const std::string& trace, const std::string& line) {
    const std::size_t at = trace.find(line + "\n");
    ASSERT_NE(at, std::string::npos) << trace;
    const std::size_t next = at + line.size() + 1;
    const std::size_t end = trace.find('\n', next);
    ASSERT_NE(end, std::string::npos) << trace;
    EXPECT_GT(end, next) << trace;
}

}  // namespace

TEST(ConfigFileReading, AnsiFileWithCrLfLines) {
    const CParsed parsed = parseBytes(
        "# Service of the accounts team\r\n"
        "serviceName = Accounts \r\n"
        "serviceDisplayName=Caf\xE9 accounts\r\n"
        "\r\n"
        "jvmOption1=-Djava.class.path=.;C:\\myJavaClasses\r\n",
        0);
    EXPECT_EQ(parsed.result, 0);
    EXPECT_EQ(parsed.options, (COptionList{{L"serviceName", L"Accounts"},
                                           {L"serviceDisplayName", L"Caf\u00E9 accounts"},
                                           {L"jvmOption1", L"-Djava.class.path=.;C:\\myJavaClasses"}}));
    EXPECT_EQ(parsed.trace, parseTrace("CConfigFile::parseBuffer Entry\n"
                                       "serviceName=Accounts\n"
                                       "serviceDisplayName=Caf\xE9 accounts\n"
                                       "jvmOption1=-Djava.class.path=.;C:\\myJavaClasses\n"
                                       "CConfigFile::parseBuffer Exit 0\n",
                                       0));
}

TEST(ConfigFileReading, Utf16FileWithUnicodeFlag) {
    const CParsed parsed = parseBytes(utf16Bytes(L"serviceName=Zhe\u0416\nA=1\n"), 1);
    EXPECT_EQ(parsed.result, 0);
    EXPECT_EQ(parsed.options, (COptionList{{L"serviceName", L"Zhe\u0416"}, {L"A", L"1"}}));
}

TEST(ConfigFileReading, OddSizedUtf16FileStillEndsCleanly) {
    // The stray last byte becomes one character with the zero fill; the text still ends.
    const CParsed parsed = parseBytes(utf16Bytes(L"a=1\nb=2") + "3", 1);
    EXPECT_EQ(parsed.result, 0);
    EXPECT_EQ(parsed.options, (COptionList{{L"a", L"1"}, {L"b", L"23"}}));
}

TEST(ConfigFileReading, Utf16FileReadWithoutFlagEndsAtTheFirstZeroByte) {
    const CParsed comment = parseBytes(utf16Bytes(L"# comment\nserviceName=Svc\n"), 0);
    EXPECT_EQ(comment.result, 0);
    EXPECT_TRUE(comment.options.empty());

    const CParsed key = parseBytes(utf16Bytes(L"serviceName=Svc\n"), 0);
    EXPECT_EQ(key.result, 5);
    EXPECT_TRUE(key.options.empty());
    EXPECT_NE(key.trace.find("\ns has no value in configuration file. Operation failed.\n"), std::string::npos)
        << key.trace;
}

TEST(ConfigFileReading, AnsiFileReadWithUnicodeFlagYieldsNoOptions) {
    const CParsed parsed = parseBytes("serviceName=Svc\nA=1\n", 1);
    EXPECT_EQ(parsed.result, 5);
    EXPECT_TRUE(parsed.options.empty());
}

TEST(ConfigFileReading, ByteOrderMarkBelongsToTheFirstLine) {
    const CParsed comment = parseBytes("\xFF\xFE" + utf16Bytes(L"# comment\nserviceName=Svc\n"), 1);
    EXPECT_EQ(comment.result, 5);
    EXPECT_EQ(comment.options, (COptionList{{L"serviceName", L"Svc"}}));

    const CParsed key = parseBytes("\xFF\xFE" + utf16Bytes(L"serviceName=Svc\n"), 1);
    EXPECT_EQ(key.result, 0);
    EXPECT_EQ(key.options, (COptionList{{L"\uFEFFserviceName", L"Svc"}}));
}

TEST(ConfigFileReading, LinesWithoutValueGiveFiveAfterAllLines) {
    const CParsed parsed = parseBytes("a=1\ndescription=\nb=2\n", 0);
    EXPECT_EQ(parsed.result, 5);
    EXPECT_EQ(parsed.options, (COptionList{{L"a", L"1"}, {L"b", L"2"}}));
    EXPECT_EQ(parsed.trace,
              parseTrace("CConfigFile::parseBuffer Entry\n"
                         "a=1\n"
                         "description has no value in configuration file. Operation failed.\n"
                         "b=2\n"
                         "CConfigFile::parseBuffer Exit 5\n",
                         5));
}

TEST(ConfigFileReading, EmptyFileIsZeroWithItsMessage) {
    for (int unicode : {0, 1}) {
        const CParsed parsed = parseBytes("", unicode);
        EXPECT_EQ(parsed.result, 0);
        EXPECT_TRUE(parsed.options.empty());
        EXPECT_EQ(parsed.trace, parseTrace("Empty config file\n", 0));
    }
}

TEST(ConfigFileReading, MissingNameOrFileCannotBeRead) {
    const CParsed unnamed = parseWithTrace(nullptr, 0);
    EXPECT_EQ(unnamed.result, 3);
    EXPECT_EQ(unnamed.trace,
              "CConfigFile::parseConfigFile Entry\n"
              "missing configuration file\n"
              "CConfigFile::parseConfigFile Exit 3\n");

    CTempDir directory;
    const std::wstring missing = directory.file(L"missing.cfg");
    const CParsed absent = parseWithTrace(missing.c_str(), 0);
    EXPECT_EQ(absent.result, 4);
    EXPECT_EQ(absent.trace.rfind("CConfigFile::parseConfigFile Entry\n", 0), 0u);
    expectSystemTextAfter(absent.trace, "Cannot open config file : " + narrow(missing));
    EXPECT_EQ(absent.trace.find("parseFile"), std::string::npos);
    EXPECT_NE(absent.trace.find("\nCConfigFile::parseConfigFile Exit 4\n"), std::string::npos);

    // A directory cannot be opened as a file either.
    const CParsed folder = parseWithTrace(directory.path().c_str(), 0);
    EXPECT_EQ(folder.result, 4);
    expectSystemTextAfter(folder.trace, "Cannot open config file : " + narrow(directory.path()));
}

TEST(ConfigFileReading, HandleFailuresOfSizeAndRead) {
    CTempDir traceDirectory;
    CTempDir directory;
    const std::wstring path = directory.file(L"service.cfg");
    writeFileBytes(path, "serviceName=Svc\n");
    CTracedLogger logger(traceDirectory);
    CConfigFile file(logger.get());

    EXPECT_EQ(file.parseFile(nullptr, 0), 4);
    const std::string badSize = logger.tracedLines();
    expectSystemTextAfter(badSize, "Config file is bad  " + std::to_string(ERROR_INVALID_HANDLE));
    EXPECT_NE(badSize.find("\nCConfigFile::parseFile Exit 4\n"), std::string::npos);

    // Opened for writing only: the size is known, the read is refused.
    CFileHandle writeOnly = openShared(path, GENERIC_WRITE);
    ASSERT_TRUE(writeOnly);
    EXPECT_EQ(file.parseFile(writeOnly.get(), 0), 4);
    const std::string badRead = logger.tracedLines().substr(badSize.size());
    expectSystemTextAfter(badRead, "Cannot read config file  " + std::to_string(ERROR_ACCESS_DENIED));
    EXPECT_NE(badRead.find("\nCConfigFile::parseFile Exit 4\n"), std::string::npos);

    // Positioned at its end, the file reads nothing although it is not empty.
    CFileHandle atEnd = openShared(path, GENERIC_READ);
    ASSERT_TRUE(atEnd);
    SetFilePointer(atEnd.get(), 0, nullptr, FILE_END);
    const std::size_t before = logger.tracedLines().size();
    EXPECT_EQ(file.parseFile(atEnd.get(), 0), 4);
    const std::string nothingRead = logger.tracedLines().substr(before);
    expectSystemTextAfter(nothingRead, "Cannot read config file  " + std::to_string(ERROR_HANDLE_EOF));
    EXPECT_EQ(file.getOptionCount(), 0);
}

TEST(ConfigFileReading, FileOpenForWritingElsewhereCanBeRead) {
    CTempDir directory;
    const std::wstring path = directory.file(L"service.cfg");
    writeFileBytes(path, "serviceName=Svc\n");
    CFileHandle writer = openShared(path, GENERIC_WRITE);
    ASSERT_TRUE(writer);
    const CParsed parsed = parseWithTrace(path.c_str(), 0);
    EXPECT_EQ(parsed.result, 0);
    EXPECT_EQ(parsed.options, (COptionList{{L"serviceName", L"Svc"}}));
}

TEST(ConfigFileReading, LargeFileParsesWhole) {
    std::string text;
    const int lineCount = 50000;
    for (int index = 0; index < lineCount; ++index) {
        text += "key" + std::to_string(index) + " = " + std::string(100, 'v') + std::to_string(index) + "\r\n";
    }
    CTempDir directory;
    const std::wstring path = directory.file(L"large.cfg");
    writeFileBytes(path, text);
    for (int unicode : {0, 1}) {
        if (unicode != 0) {
            writeFileBytes(path, utf16Bytes(std::wstring(text.begin(), text.end())));
        }
        CLogger quiet;
        CConfigFile file(&quiet);
        EXPECT_EQ(file.parseConfigFile(path.c_str(), unicode), 0);
        EXPECT_EQ(file.getOptionCount(), lineCount);
        EXPECT_STREQ(file.getStrOptionValue(L"key49999", nullptr), (std::wstring(100, L'v') + L"49999").c_str());
    }
}
