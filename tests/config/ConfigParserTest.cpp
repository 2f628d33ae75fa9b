// The text side of the configuration file: lines, trimming, key=value
// recognition, the messages of bad lines, and large inputs.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "config/CConfigFile.h"
#include "config/CConfigOption.h"
#include "log/CLogger.h"
#include "support/LogRecorder.h"

namespace {

using COptionList = std::vector<std::pair<std::wstring, std::wstring>>;

COptionList optionsOf(const CConfigFile& file) {
    COptionList options;
    for (const auto& option : file.options()) {
        options.emplace_back(option->getName(), option->getValue());
    }
    return options;
}

const wchar_t* const kNoValue = L" has no value in configuration file. Operation failed.";

class ConfigParser : public ::testing::Test {
protected:
    ConfigParser() {
        clearLoggerRecord();
        logger.enableStdout(1);
    }

    // Parses a copy of text, which may hold zero characters of its own.
    int parse(const std::wstring& text) {
        std::vector<wchar_t> buffer(text.begin(), text.end());
        buffer.push_back(L'\0');
        return file.parseBuffer(buffer.data());
    }

    const std::vector<std::wstring>& messages() const { return loggerRecord().messages; }

    CLogger logger{recordingLogSink(), kRecordedTrace};
    CConfigFile file{&logger};
};

std::vector<std::wstring> allLines(std::wstring text) {
    std::vector<std::wstring> lines;
    wchar_t* cursor = text.data();
    while (wchar_t* line = CConfigFile::parseLine(&cursor)) {
        lines.emplace_back(line);
    }
    return lines;
}

}  // namespace

TEST(ConfigLines, SplitAtLineFeedsWithCarriageReturnsCut) {
    EXPECT_EQ(allLines(L"a=1\nb=2\n"), (std::vector<std::wstring>{L"a=1", L"b=2"}));
    EXPECT_EQ(allLines(L"a=1\r\nb=2\r\n"), (std::vector<std::wstring>{L"a=1", L"b=2"}));
    EXPECT_EQ(allLines(L"a=1\nlast"), (std::vector<std::wstring>{L"a=1", L"last"}));
    // Empty lines inside the text are lines, not its end.
    EXPECT_EQ(allLines(L"a\n\n\r\nb"), (std::vector<std::wstring>{L"a", L"", L"", L"b"}));
    // A CR alone starts no line: what follows it up to the LF is dropped.
    EXPECT_EQ(allLines(L"a=1\rb=2\rc=3\nd=4"), (std::vector<std::wstring>{L"a=1", L"d=4"}));
}

TEST(ConfigLines, CursorAdvancesPastEachLineFeedAndStopsAtTheEnd) {
    std::wstring text = L"one\ntwo";
    wchar_t* cursor = text.data();
    EXPECT_STREQ(CConfigFile::parseLine(&cursor), L"one");
    EXPECT_EQ(cursor, text.data() + 4);
    EXPECT_STREQ(CConfigFile::parseLine(&cursor), L"two");
    EXPECT_EQ(cursor, text.data() + 7);
    EXPECT_EQ(CConfigFile::parseLine(&cursor), nullptr);
    EXPECT_EQ(CConfigFile::parseLine(&cursor), nullptr);

    wchar_t empty[] = L"";
    wchar_t* atEmpty = empty;
    EXPECT_EQ(CConfigFile::parseLine(&atEmpty), nullptr);
    wchar_t* nowhere = nullptr;
    EXPECT_EQ(CConfigFile::parseLine(&nowhere), nullptr);
    EXPECT_EQ(CConfigFile::parseLine(nullptr), nullptr);
}

TEST(ConfigTrimming, BlanksAreSpacesAndTabsOnly) {
    wchar_t left[] = L" \t \u00A0x y ";
    EXPECT_STREQ(CConfigFile::trimLeft(left), L"\u00A0x y ");
    wchar_t noBlank[] = L"x";
    EXPECT_EQ(CConfigFile::trimLeft(noBlank), noBlank);

    wchar_t right[] = L" x \t y\t \t";
    EXPECT_EQ(CConfigFile::trimRight(right), right);
    EXPECT_STREQ(right, L" x \t y");
    wchar_t otherSpace[] = L"x\u00A0";
    EXPECT_STREQ(CConfigFile::trimRight(otherSpace), L"x\u00A0");
}

TEST(ConfigTrimming, TrimRightKeepsTheFirstCharacterAndLeavesEmptyTextAlone) {
    wchar_t blanks[] = L"   ";
    EXPECT_STREQ(CConfigFile::trimRight(blanks), L" ");
    wchar_t tab[] = L"\t";
    EXPECT_STREQ(CConfigFile::trimRight(tab), L"\t");
    wchar_t empty[] = L"\0x";
    EXPECT_STREQ(CConfigFile::trimRight(empty), L"");
    EXPECT_EQ(empty[1], L'x');
}

TEST(ConfigValues, ValueStartsAfterTheFirstEqualsSign) {
    wchar_t line[] = L"key \t= \t value = more ";
    const wchar_t* value = CConfigFile::parseValue(line);
    EXPECT_STREQ(value, L"value = more ");
    EXPECT_STREQ(line, L"key \t");

    wchar_t noEquals[] = L"just words";
    EXPECT_EQ(CConfigFile::parseValue(noEquals), nullptr);
    EXPECT_STREQ(noEquals, L"just words");

    wchar_t empty[] = L"key=";
    EXPECT_EQ(CConfigFile::parseValue(empty), nullptr);
    EXPECT_STREQ(empty, L"key");
    wchar_t blanks[] = L"key = \t ";
    EXPECT_EQ(CConfigFile::parseValue(blanks), nullptr);
    EXPECT_STREQ(blanks, L"key ");
}

TEST_F(ConfigParser, KeysAndValuesAreTrimmedWithInnerBlanksKept) {
    EXPECT_EQ(parse(L"serviceName = My Service \n"
                    L"\tjvmOption1=-Djava.class.path=.;C:\\myJavaClasses\n"
                    L"quoted = \"a b\" # not a comment\t\n"),
              0);
    EXPECT_EQ(optionsOf(file), (COptionList{{L"serviceName", L"My Service"},
                                            {L"jvmOption1", L"-Djava.class.path=.;C:\\myJavaClasses"},
                                            {L"quoted", L"\"a b\" # not a comment"}}));
    EXPECT_EQ(file.getOptionCount(), 3);
    // Every accepted option is echoed as key=value.
    EXPECT_EQ(messages(), (std::vector<std::wstring>{L"serviceName=My Service",
                                                     L"jvmOption1=-Djava.class.path=.;C:\\myJavaClasses",
                                                     L"quoted=\"a b\" # not a comment"}));
    EXPECT_EQ(loggerRecord().trace.front(), L"CConfigFile::parseBuffer Entry");
    EXPECT_EQ(loggerRecord().trace.back(), L"CConfigFile::parseBuffer Exit 0");
}

TEST_F(ConfigParser, CommentsOnlyInTheFirstColumnAndBlankLinesAreSkipped) {
    EXPECT_EQ(parse(L"#serviceName=Hidden\n"
                    L"\n"
                    L" \t \n"
                    L"\r\n"
                    L"# a comment line\n"
                    L"  #word\n"
                    L"name=value\n"),
              5);
    EXPECT_EQ(optionsOf(file), (COptionList{{L"name", L"value"}}));
    EXPECT_EQ(file.getOption(L"serviceName"), nullptr);
    EXPECT_EQ(messages(), (std::vector<std::wstring>{std::wstring(L"#word") + kNoValue, L"name=value"}));
}

TEST_F(ConfigParser, EveryBadLineIsReportedAndTheGoodOnesAreStillKept) {
    EXPECT_EQ(parse(L"first=1\n"
                    L"description=\n"
                    L"description =  \t\n"
                    L"middle=2\n"
                    L"  no equals sign at all  \n"
                    L"=\n"
                    L"last=3"),
              5);
    EXPECT_EQ(optionsOf(file), (COptionList{{L"first", L"1"}, {L"middle", L"2"}, {L"last", L"3"}}));
    // The key is reported as written up to the "=": blanks before the "=" stay.
    EXPECT_EQ(messages(), (std::vector<std::wstring>{L"first=1", std::wstring(L"description") + kNoValue,
                                                     std::wstring(L"description ") + kNoValue, L"middle=2",
                                                     std::wstring(L"no equals sign at all  ") + kNoValue,
                                                     kNoValue, L"last=3"}));
    EXPECT_EQ(loggerRecord().trace.back(), L"CConfigFile::parseBuffer Exit 5");
}

TEST_F(ConfigParser, TheTextEndsAtItsFirstZeroCharacter) {
    EXPECT_EQ(parse(std::wstring(L"a=1\nb=2", 7) + L'\0' + L"\nc=3\nbad\n"), 0);
    EXPECT_EQ(optionsOf(file), (COptionList{{L"a", L"1"}, {L"b", L"2"}}));
}

TEST_F(ConfigParser, CarriageReturnOnlyFileIsOneLine) {
    EXPECT_EQ(parse(L"serviceName=One\rserviceDisplayName=Two\rbad line\r"), 0);
    EXPECT_EQ(optionsOf(file), (COptionList{{L"serviceName", L"One"}}));
}

TEST_F(ConfigParser, ByteOrderMarkIsPartOfTheFirstLine) {
    EXPECT_EQ(parse(L"\uFEFF# a comment\nserviceName=Svc\n"), 5);
    EXPECT_EQ(messages().front(), std::wstring(L"\uFEFF# a comment") + kNoValue);
    EXPECT_EQ(optionsOf(file), (COptionList{{L"serviceName", L"Svc"}}));

    CConfigFile marked(&logger);
    std::wstring text = L"\uFEFFserviceName=Svc\n";
    EXPECT_EQ(marked.parseBuffer(text.data()), 0);
    EXPECT_EQ(marked.getOption(L"serviceName"), nullptr);
    EXPECT_EQ(optionsOf(marked), (COptionList{{L"\uFEFFserviceName", L"Svc"}}));
}

TEST_F(ConfigParser, EmptyKeyIsAcceptedAsWritten) {
    EXPECT_EQ(parse(L"  = value\n"), 0);
    EXPECT_EQ(optionsOf(file), (COptionList{{L"", L"value"}}));
}

TEST_F(ConfigParser, EachParseAppendsInFileOrder) {
    EXPECT_EQ(parse(L"a=1\nb=2\n"), 0);
    EXPECT_EQ(parse(L"a=3\n"), 0);
    EXPECT_EQ(optionsOf(file), (COptionList{{L"a", L"1"}, {L"b", L"2"}, {L"a", L"3"}}));
    EXPECT_EQ(file.getOptionCount(), 3);
    EXPECT_STREQ(file.getStrOptionValue(L"a", nullptr), L"1");
}

TEST_F(ConfigParser, NamesAndValuesAreCopiesOfTheParsedText) {
    std::wstring text = L"key=value\n";
    EXPECT_EQ(file.parseBuffer(text.data()), 0);
    text.assign(text.size(), L'x');
    EXPECT_EQ(optionsOf(file), (COptionList{{L"key", L"value"}}));
}

TEST_F(ConfigParser, HugeLinesAreTakenWhole) {
    const std::wstring value(1 << 20, L'v');
    const std::wstring word(1 << 20, L'k');
    EXPECT_EQ(parse(L"big = " + value + L"  \n" + word + L"\n"), 5);
    ASSERT_EQ(file.getOptionCount(), 1);
    EXPECT_EQ(std::wstring(file.getStrOptionValue(L"big", L"")), value);
    ASSERT_EQ(messages().size(), 2u);
    EXPECT_EQ(messages()[1], word + kNoValue);
}

TEST_F(ConfigParser, ManyLinesKeepTheirOrder) {
    logger.enableStdout(0);
    logger.enableLogFile(nullptr);
    const int lineCount = 200000;
    std::wstring text;
    for (int index = 0; index < lineCount; ++index) {
        text += L"key" + std::to_wstring(index) + L"=value" + std::to_wstring(index) + L"\r\n";
    }
    EXPECT_EQ(parse(text), 0);
    ASSERT_EQ(file.getOptionCount(), lineCount);
    int index = 0;
    bool inOrder = true;
    for (const auto& option : file.options()) {
        inOrder = inOrder && option->getName() == L"key" + std::to_wstring(index) &&
                  option->getValue() == L"value" + std::to_wstring(index);
        ++index;
    }
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(index, lineCount);
    EXPECT_TRUE(loggerRecord().trace.empty());
}

TEST(ConfigOption, KeepsCopiesAndIgnoresNull) {
    CLogger logger{recordingLogSink(), kRecordedTrace};
    CConfigOption option(&logger);
    EXPECT_EQ(option.getName(), nullptr);
    EXPECT_EQ(option.getValue(), nullptr);

    wchar_t name[] = L"serviceName";
    option.setName(name);
    option.setValue(L"first");
    name[0] = L'X';
    EXPECT_STREQ(option.getName(), L"serviceName");
    EXPECT_NE(option.getName(), name);

    option.setValue(L"second");
    EXPECT_STREQ(option.getValue(), L"second");
    option.setName(nullptr);
    option.setValue(nullptr);
    EXPECT_STREQ(option.getName(), L"serviceName");
    EXPECT_STREQ(option.getValue(), L"second");
}

namespace {

bool isBlankCharacter(wchar_t character) { return character == L' ' || character == L'\t'; }

std::wstring trimmed(const std::wstring& text) {
    std::size_t first = 0;
    while (first < text.size() && isBlankCharacter(text[first])) {
        ++first;
    }
    std::size_t end = text.size();
    while (end > first && isBlankCharacter(text[end - 1])) {
        --end;
    }
    return text.substr(first, end - first);
}

// The format rules written out plainly, as the oracle for random texts.
int modelParse(std::wstring text, COptionList* options, std::vector<std::wstring>* messages) {
    int result = 0;
    text = text.substr(0, text.find(L'\0'));
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find(L'\n', at);
        if (end == std::wstring::npos) {
            end = text.size();
        }
        std::wstring line = text.substr(at, end - at);
        at = end + 1;
        line = line.substr(0, line.find(L'\r'));
        if (!line.empty() && line[0] == L'#') {
            continue;
        }
        std::size_t start = 0;
        while (start < line.size() && isBlankCharacter(line[start])) {
            ++start;
        }
        const std::wstring rest = line.substr(start);
        if (rest.empty()) {
            continue;
        }
        const std::size_t equals = rest.find(L'=');
        const std::wstring value = equals == std::wstring::npos ? L"" : trimmed(rest.substr(equals + 1));
        if (value.empty()) {
            messages->push_back(rest.substr(0, equals) + kNoValue);
            result = 5;
            continue;
        }
        const std::wstring key = trimmed(rest.substr(0, equals));
        messages->push_back(key + L"=" + value);
        options->emplace_back(key, value);
    }
    return result;
}

}  // namespace

TEST_F(ConfigParser, RandomTextsFollowTheFormatRules) {
    const wchar_t alphabet[] = {L'a', L'B', L'=', L'=', L'#', L' ', L' ', L'\t', L'\r', L'\n', L'\n', L'\0', L'\uFEFF', L'"'};
    unsigned long state = 12345;
    auto next = [&state]() {
        state = state * 1103515245UL + 12345UL;
        return (state >> 16) & 0x7FFF;
    };
    for (int round = 0; round < 3000; ++round) {
        std::wstring text;
        const unsigned long length = next() % 120;
        for (unsigned long index = 0; index < length; ++index) {
            text += alphabet[next() % (sizeof(alphabet) / sizeof(alphabet[0]))];
        }
        COptionList expectedOptions;
        std::vector<std::wstring> expectedMessages;
        const int expected = modelParse(text, &expectedOptions, &expectedMessages);

        clearLoggerRecord();
        CConfigFile fresh(&logger);
        std::vector<wchar_t> buffer(text.begin(), text.end());
        buffer.push_back(L'\0');
        ASSERT_EQ(fresh.parseBuffer(buffer.data()), expected) << round;
        ASSERT_EQ(optionsOf(fresh), expectedOptions) << round;
        ASSERT_EQ(fresh.getOptionCount(), static_cast<int>(expectedOptions.size())) << round;
        ASSERT_EQ(messages(), expectedMessages) << round;
    }
}
