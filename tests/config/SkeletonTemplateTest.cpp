// The skeleton template: its shape (226 CR LF lines of 7-bit ASCII, the build
// date in the first line), its exact key, default and example lines, and that
// it parses back into just the three required options.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/BuildInfo.h"
#include "config/CConfigFile.h"
#include "config/CConfigOption.h"
#include "config/SkeletonTemplate.h"
#include "log/CLogger.h"
#include "support/LogRecorder.h"

namespace {

std::string templateText() {
    std::size_t length = 0;
    CHeapPtr<char> text = composeSkeletonText(&length);
    EXPECT_TRUE(text);
    EXPECT_EQ(std::strlen(text.get()), length);
    return std::string(text.get(), length);
}

// Lines without their CR LF; a text that does not end in CR LF yields a last line "<unterminated>".
std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find("\r\n", at);
        if (end == std::string::npos) {
            lines.push_back("<unterminated>");
            break;
        }
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

bool isKeyLine(const std::string& line) {
    const std::size_t equals = line.find("=$$");
    return equals != std::string::npos && line.size() >= 2 && line.compare(line.size() - 2, 2, "$$") == 0;
}

// The blocks of the template: runs of lines between empty lines.
std::vector<std::vector<std::string>> blocksOf(const std::vector<std::string>& lines) {
    std::vector<std::vector<std::string>> blocks(1);
    for (const std::string& line : lines) {
        if (line.empty()) {
            blocks.emplace_back();
        } else {
            blocks.back().push_back(line);
        }
    }
    return blocks;
}

const std::vector<std::string> kKeyLines = {
    "serviceDisplayName=$$DISPLAYNAME$$",
    "serviceName=$$SERVICENAME$$",
    "ipravikClass=$$SERVICECLASSNAME$$",
    "#interactiveService=$$TRUE | FALSE$$",
    "#startType=$$SERVICE_AUTO_START | SERVICE_DEMAND_START | SERVICE_DISABLED$$",
    "#errorControl=$$SERVICE_ERROR_IGNORE | SERVICE_ERROR_NORMAL | SERVICE_ERROR_SEVERE | SERVICE_ERROR_CRITICAL$$",
    "#binaryPath=$$BINARYPATH$$",
    "#serviceDependencies=$$DEPENDENCIES$$",
    "#description=$$DESCRIPTION$$",
    "#jvmDLL=$$DLL$$",
    "#jvmOption1=$$OPTION1$$",
    "#jvmOption2=$$OPTION2$$",
    "#commandLineParms=$$COMMAND_LINE$$",
    "#verboseOutput=$$FILENAME$$",
    "#preinitCommand=$$COMMAND$$",
    "#preinitWaitHint=$$HINTMILLISECONDS$$",
    "#stopTimeout=$$STOPMILLISECONDS$$",
    "#workingDirectory=$$WORKINGPATHNAME$$",
    "#standardOutput=$$FILENAME$$",
    "#standardError=$$FILENAME$$",
    "#delayedAutoStart=$$TRUE | FALSE$$",
    "#failureActions=$$ACTION/MILLISECONDS,...$$",
    "#failureResetPeriod=$$SECONDS$$",
    "#failureCommand=$$COMMAND$$",
    "#failureActionsOnNonCrashFailures=$$TRUE | FALSE$$",
    "#serviceSidType=$$NONE | UNRESTRICTED | RESTRICTED$$",
    "#preshutdownTimeout=$$PRESHUTDOWNMILLISECONDS$$",
    "#logRotateSize=$$MEBIBYTES$$",
    "#logKeep=$$COUNT$$",
    "#env.NAME=$$VALUE$$",
    "#secret.NAME=$$VALUE$$",
};

// The default line of each optional block, from interactiveService to secret.
const std::vector<std::string> kDefaultLines = {
    "# The default value is FALSE",
    "# The default value is SERVICE_DEMAND_START",
    "# The default value is SERVICE_ERROR_NORMAL",
    "# The default value is the binary that is run when installing the service",
    "# The default value is no dependencies for this service",
    "# The default value is no description",
    "# The default value is jvm.dll",
    "# The default value is no options.",
    "# The default value is no command line parameters",
    "# The default value is no file for verbose output",
    "# The default value is no preinitalization command.",
    "# The default value is 2000.",
    "# The default value is 30000.",
    "# The default value is the windows system directory such as c:\\windows\\system32.",
    "# The default value is no file: the output is lost.",
    "# The default value is no file: the output is lost.",
    "# The default value is FALSE",
    "# The default value is no action.",
    "# The default value is 86400.",
    "# The default value is no command.",
    "# The default value is FALSE",
    "# The default value is NONE",
    "# The default value is no preshutdown control.",
    "# The default value is 10.",
    "# The default value is 5.",
    "# The default value is no variables.",
    "# The default value is no secrets.",
};

const char* const kOptional = "# This is an optional config parameter.";
const char* const kRequired = "# This is a required config parameter.";

bool contains(const std::vector<std::string>& lines, const std::string& text) {
    for (const std::string& line : lines) {
        if (line.find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

int countOf(const std::vector<std::string>& lines, const std::string& line) {
    int count = 0;
    for (const std::string& each : lines) {
        count += each == line ? 1 : 0;
    }
    return count;
}

}  // namespace

TEST(SkeletonTemplate, TwoHundredTwentySixCrLfLinesOfSevenBitAscii) {
    const std::string text = templateText();
    for (unsigned char byte : text) {
        ASSERT_TRUE(byte >= 0x01 && byte <= 0x7F) << static_cast<int>(byte);
    }
    // No CR or LF outside a CR LF pair.
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] == '\r') {
            ASSERT_TRUE(at + 1 < text.size() && text[at + 1] == '\n') << at;
        } else if (text[at] == '\n') {
            ASSERT_TRUE(at > 0 && text[at - 1] == '\r') << at;
        }
    }
    const std::vector<std::string> lines = linesOf(text);
    ASSERT_EQ(lines.size(), 226u);
    EXPECT_NE(lines.back(), "<unterminated>");
    EXPECT_EQ(lines.back(), "#secret.NAME=$$VALUE$$");
}

TEST(SkeletonTemplate, HeaderCarriesTheBuildDate) {
    const std::vector<std::string> lines = linesOf(templateText());
    ASSERT_EQ(std::strlen(PRAVIK_BUILD_DATE), 11u);
    EXPECT_EQ(lines[0], "# Pravik Configuration file               (build " + std::string(PRAVIK_BUILD_DATE) + ")");
    EXPECT_EQ(lines[1], "# ");
    const std::vector<std::vector<std::string>> blocks = blocksOf(lines);
    const std::vector<std::string>& header = blocks[0];
    ASSERT_EQ(header.size(), 8u);
    EXPECT_EQ(header[5], "#");
    for (std::size_t index : {2u, 3u, 4u, 6u, 7u}) {
        EXPECT_EQ(header[index].rfind("# ", 0), 0u) << header[index];
        EXPECT_GT(header[index].size(), 2u);
    }
    EXPECT_TRUE(contains(header, "adpater"));
    EXPECT_TRUE(lines[8].empty());
}

TEST(SkeletonTemplate, ThirtyKeyBlocksWithTheExactKeyAndDefaultLines) {
    const std::vector<std::string> lines = linesOf(templateText());
    std::vector<std::string> keyLines;
    for (const std::string& line : lines) {
        if (isKeyLine(line)) {
            keyLines.push_back(line);
        }
    }
    EXPECT_EQ(keyLines, kKeyLines);

    const std::vector<std::vector<std::string>> blocks = blocksOf(lines);
    ASSERT_EQ(blocks.size(), 31u);
    std::size_t keyIndex = 0;
    for (std::size_t number = 1; number < blocks.size(); ++number) {
        const std::vector<std::string>& block = blocks[number];
        const std::size_t keyCount = number == 11 ? 2 : 1;
        ASSERT_GT(block.size(), keyCount + 1) << number;
        const std::size_t prose = block.size() - keyCount;
        for (std::size_t index = 0; index < keyCount; ++index) {
            EXPECT_EQ(block[prose + index], kKeyLines[keyIndex++]) << number;
        }
        for (std::size_t index = 0; index < prose; ++index) {
            const std::string& line = block[index];
            const bool example = (number == 11 && line.rfind("#jvmOption", 0) == 0) ||
                                 (number == 29 && line.rfind("#env.", 0) == 0) ||
                                 (number == 30 && line.rfind("#secret.", 0) == 0);
            EXPECT_TRUE(example || line.rfind("# ", 0) == 0) << line;
            EXPECT_FALSE(isKeyLine(line)) << line;
        }
        if (number <= 3) {
            EXPECT_EQ(block[prose - 1], kRequired) << number;
            EXPECT_EQ(countOf(block, kOptional), 0) << number;
        } else {
            EXPECT_EQ(block[prose - 1], kDefaultLines[number - 4]) << number;
            EXPECT_EQ(block[prose - 2], kOptional) << number;
            EXPECT_EQ(countOf(block, kRequired), 0) << number;
        }
    }
    // The sentence stands twice in these two blocks.
    EXPECT_EQ(countOf(blocks[4], kOptional), 2);
    EXPECT_EQ(countOf(blocks[7], kOptional), 2);
    EXPECT_TRUE(contains(blocks[7], "(pravik.exe)"));
    EXPECT_TRUE(contains(blocks[14], "cmd.exe /c mycommand.bat"));
    EXPECT_TRUE(contains(blocks[14], "preinitWaitHint"));
}

TEST(SkeletonTemplate, JvmOptionExamplesHaveNoBlankAfterTheHash) {
    const std::vector<std::string> lines = linesOf(templateText());
    int commentedWithoutBlank = 0;
    for (const std::string& line : lines) {
        if (line.size() > 1 && line[0] == '#' && line[1] != ' ' && !isKeyLine(line)) {
            ++commentedWithoutBlank;
        }
    }
    // Only the four examples; the header's lone "#" is the one other line without the blank.
    EXPECT_EQ(commentedWithoutBlank, 4);
    EXPECT_EQ(countOf(lines, "#env.JAVA_TOOL_OPTIONS=-Xmx512m"), 1);
    EXPECT_EQ(countOf(lines, "#secret.DB_PASSWORD=s3cr3t"), 1);
    EXPECT_EQ(countOf(lines, "#jvmOption1=-Djava.class.path=.;C:\\myJavaClasses"), 1);
    EXPECT_EQ(countOf(lines, "#jvmOption2=-Djava.compiler=NONE"), 1);
    EXPECT_EQ(countOf(lines, "#"), 1);
}

TEST(SkeletonTemplate, ParsesBackIntoTheThreeRequiredOptions) {
    clearLoggerRecord();
    CLogger logger{recordingLogSink(), kRecordedTrace};
    logger.enableStdout(1);
    const std::string text = templateText();
    std::wstring wide(text.begin(), text.end());
    CConfigFile file(&logger);
    EXPECT_EQ(file.parseBuffer(wide.data()), 0);
    ASSERT_EQ(file.getOptionCount(), 3);
    const auto options = file.options();
    auto option = options.begin();
    EXPECT_STREQ((*option)->getName(), L"serviceDisplayName");
    EXPECT_STREQ((*option)->getValue(), L"$$DISPLAYNAME$$");
    ++option;
    EXPECT_STREQ((*option)->getName(), L"serviceName");
    EXPECT_STREQ((*option)->getValue(), L"$$SERVICENAME$$");
    ++option;
    EXPECT_STREQ((*option)->getName(), L"ipravikClass");
    EXPECT_STREQ((*option)->getValue(), L"$$SERVICECLASSNAME$$");
    EXPECT_EQ(option + 1, options.end());
    EXPECT_EQ(loggerRecord().messages,
              (std::vector<std::wstring>{L"serviceDisplayName=$$DISPLAYNAME$$", L"serviceName=$$SERVICENAME$$",
                                         L"ipravikClass=$$SERVICECLASSNAME$$"}));
}
