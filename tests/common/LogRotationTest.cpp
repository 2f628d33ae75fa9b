// Size-bounded logs: when they rotate, how generations move, where output is cut.
#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>

#include "common/LogRotation.h"

TEST(LogRotation, SettingsAreWholeDecimalNumbersWithinTheirLimit) {
    unsigned long value = 99;
    EXPECT_TRUE(parseLogSetting(L"0", kMaxLogKeep, &value));
    EXPECT_EQ(value, 0u);
    EXPECT_TRUE(parseLogSetting(L"1048576", kMaxLogRotateMiB, &value));
    EXPECT_EQ(value, kMaxLogRotateMiB);
    for (const wchar_t* bad : {L"", L"-1", L"+5", L" 5", L"5 ", L"10M", L"1048577", L"99999999999999999999"}) {
        EXPECT_FALSE(parseLogSetting(bad, kMaxLogRotateMiB, &value)) << bad;
    }
}

TEST(LogRotation, RotatesOnlyANonEmptyFileThatWouldPassTheLimit) {
    EXPECT_FALSE(rotationDue(90, 10, 100));
    EXPECT_TRUE(rotationDue(91, 10, 100));
    // A line longer than the limit goes whole into a fresh file.
    EXPECT_FALSE(rotationDue(0, 500, 100));
    EXPECT_FALSE(rotationDue(1ull << 40, 1, 0));
}

TEST(LogRotation, GenerationsMoveOldestFirst) {
    ASSERT_EQ(rotationStepCount(3), 4u);
    const unsigned expected[][2] = {{3, kDeletedGeneration}, {2, 3}, {1, 2}, {0, 1}};
    for (unsigned index = 0; index < 4; ++index) {
        EXPECT_EQ(rotationStep(3, index).from, expected[index][0]);
        EXPECT_EQ(rotationStep(3, index).to, expected[index][1]);
    }
    // Nothing kept: the file itself is deleted.
    ASSERT_EQ(rotationStepCount(0), 1u);
    EXPECT_EQ(rotationStep(0, 0).from, 0u);
    EXPECT_EQ(rotationStep(0, 0).to, kDeletedGeneration);
}

TEST(LogRotation, GenerationNames) {
    EXPECT_STREQ(generationName(L"C:\\logs\\out.log", 0).get(), L"C:\\logs\\out.log");
    EXPECT_STREQ(generationName(L"C:\\logs\\out.log", 12).get(), L"C:\\logs\\out.log.12");
}

TEST(LogRotation, AFileRotatesOnlyBetweenLines) {
    const char* text = "ne\r\ntwo\nthree\n";
    const std::size_t length = std::strlen(text);
    // Room enough, or no limit: everything goes.
    EXPECT_EQ(bytesBeforeRotation(10, true, text, length, 100), length);
    EXPECT_EQ(bytesBeforeRotation(1000, false, text, length, 0), length);
    // The whole lines that fit go, then the file rotates.
    EXPECT_EQ(bytesBeforeRotation(90, true, text, length, 100), 8u);
    EXPECT_EQ(bytesBeforeRotation(98, true, text, length, 100), 0u);
    EXPECT_EQ(bytesBeforeRotation(120, true, text, length, 100), 0u);
    // A line begun in the file ends there, past the limit if need be.
    EXPECT_EQ(bytesBeforeRotation(99, false, text, length, 100), 4u);
    EXPECT_EQ(bytesBeforeRotation(99, false, "no line feed", 12, 100), 12u);
}
