// Lookups by key: the first match in file order, letter case ignored for A-Z
// only; string defaults passed through; the words TRUE and FALSE.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/CConfigFile.h"
#include "config/CConfigOption.h"
#include "log/CLogger.h"
#include "support/LogRecorder.h"

namespace {

class ConfigLookup : public ::testing::Test {
protected:
    ConfigLookup() {
        logger.enableStdout(1);
        std::wstring text =
            L"SERVICENAME=Upper\n"
            L"serviceName=Second\n"
            L"\u00C9tat=accented\n"
            L"at@sign=one\n"
            L"bracket[=two\n"
            L"yes1=TRUE\n"
            L"yes2=true\n"
            L"yes3=TrUe\n"
            L"no1=FALSE\n"
            L"no2=false\n"
            L"odd1=yes\n"
            L"odd2=TRUEX\n"
            L"odd3=\u0130RUE\n";
        EXPECT_EQ(file.parseBuffer(text.data()), 0);
        clearLoggerRecord();
    }

    const std::vector<std::wstring>& messages() const { return loggerRecord().messages; }

    CLogger logger{recordingLogSink(), kRecordedTrace};
    CConfigFile file{&logger};
};

}  // namespace

TEST_F(ConfigLookup, FirstMatchIgnoringTheCaseOfAsciiLettersOnly) {
    const CConfigOption* option = file.getOption(L"serviceName");
    ASSERT_NE(option, nullptr);
    EXPECT_STREQ(option->getName(), L"SERVICENAME");
    EXPECT_STREQ(option->getValue(), L"Upper");
    EXPECT_EQ(file.getOption(L"servicename"), option);

    EXPECT_NE(file.getOption(L"\u00C9TAT"), nullptr);
    EXPECT_EQ(file.getOption(L"\u00E9tat"), nullptr);
    // Characters 0x20 apart that are not letters stay distinct.
    EXPECT_NE(file.getOption(L"AT@SIGN"), nullptr);
    EXPECT_EQ(file.getOption(L"at`sign"), nullptr);
    EXPECT_EQ(file.getOption(L"bracket{"), nullptr);

    EXPECT_EQ(file.getOption(L"serviceNam"), nullptr);
    EXPECT_EQ(file.getOption(L"serviceNameX"), nullptr);
    EXPECT_EQ(file.getOption(L""), nullptr);
    EXPECT_EQ(file.getOption(nullptr), nullptr);
    EXPECT_TRUE(messages().empty());
}

TEST_F(ConfigLookup, StringValueOrExactlyTheDefaultPointer) {
    const wchar_t* fallback = L"fallback";
    EXPECT_EQ(file.getStrOptionValue(L"serviceName", fallback), file.getOption(L"serviceName")->getValue());
    EXPECT_EQ(file.getStrOptionValue(L"absent", fallback), fallback);
    EXPECT_EQ(file.getStrOptionValue(L"absent", nullptr), nullptr);
    EXPECT_TRUE(messages().empty());
}

TEST_F(ConfigLookup, BooleanWordsAndDefaults) {
    EXPECT_EQ(file.getBoolOptionValue(L"yes1", 0), 1);
    EXPECT_EQ(file.getBoolOptionValue(L"yes2", 0), 1);
    EXPECT_EQ(file.getBoolOptionValue(L"YES3", 0), 1);
    EXPECT_EQ(file.getBoolOptionValue(L"no1", 1), 0);
    EXPECT_EQ(file.getBoolOptionValue(L"no2", 1), 0);
    // An absent key takes the default without a word.
    EXPECT_EQ(file.getBoolOptionValue(L"absent", 1), 1);
    EXPECT_EQ(file.getBoolOptionValue(L"absent", 0), 0);
    EXPECT_TRUE(messages().empty());

    EXPECT_EQ(file.getBoolOptionValue(L"odd1", 1), 1);
    EXPECT_EQ(file.getBoolOptionValue(L"odd2", 0), 0);
    EXPECT_EQ(file.getBoolOptionValue(L"odd3", 0), 0);
    EXPECT_EQ(messages(), (std::vector<std::wstring>{L"odd1 has an unrecognized value, using default: TRUE",
                                                     L"odd2 has an unrecognized value, using default: FALSE",
                                                     L"odd3 has an unrecognized value, using default: FALSE"}));
}
