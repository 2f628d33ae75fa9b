// The failureActions text: what installation accepts and refuses, and that the
// export's text gives the same table again.
#include <gtest/gtest.h>

#include <string>

#include "common/DecimalText.h"
#include "common/FailureActionsText.h"

TEST(FailureActionsText, WordsInAnyCaseGiveTheTableAndFormatBackLowerCase) {
    CFailureActionList list;
    ASSERT_EQ(parseFailureActions(L"Restart/60000,REBOOT/0,run/4294967295,none/0", &list), 0);
    ASSERT_EQ(list.count, 4u);
    const CFailureAction expected[] = {
        {kActionRestart, 60000}, {kActionReboot, 0}, {kActionRunCommand, 4294967295UL}, {kActionNone, 0}};
    for (unsigned long index = 0; index < 4; ++index) {
        EXPECT_EQ(list.actions.get()[index].type, expected[index].type) << index;
        EXPECT_EQ(list.actions.get()[index].delay, expected[index].delay) << index;
    }
    const CHeapText text = formatFailureActions(list.actions.get(), list.count);
    ASSERT_TRUE(text);
    EXPECT_STREQ(text.get(), L"restart/60000,reboot/0,run/4294967295,none/0");
    CFailureActionList again;
    ASSERT_EQ(parseFailureActions(text.get(), &again), 0);
    EXPECT_EQ(again.count, 4u);
}

TEST(FailureActionsText, TheRefusedWordOrDelayIsHandedBack) {
    const struct {
        const wchar_t* text;
        int result;
        const wchar_t* refused;
    } cases[] = {
        {L"restart/100,rebot/0", kUnknownFailureAction, L"rebot"},
        {L"restart/100,", kUnknownFailureAction, L""},
        {L" restart/100", kUnknownFailureAction, L" restart"},
        {L"restart/1s", kMalformedFailureDelay, L"1s"},
        {L"restart/-1", kMalformedFailureDelay, L"-1"},
        {L"restart/", kMalformedFailureDelay, L""},
        {L"restart/4294967296", kMalformedFailureDelay, L"4294967296"},
        {L"none", kMalformedFailureDelay, L"none"},
    };
    for (const auto& each : cases) {
        CFailureActionList list;
        EXPECT_EQ(parseFailureActions(each.text, &list), each.result) << std::wstring(each.text).size();
        ASSERT_TRUE(list.refused);
        EXPECT_STREQ(list.refused.get(), each.refused);
        EXPECT_EQ(list.count, 0u);
    }
}

TEST(FailureActionsText, AnUnknownTypeIsNotFormatted) {
    const CFailureAction actions[] = {{kActionRestart, 1}, {7, 1}};
    EXPECT_FALSE(formatFailureActions(actions, 2));
}

TEST(DecimalText, DwordTakesDigitsOnlyUpTo32Bits) {
    unsigned long value = 5;
    EXPECT_TRUE(parseDecimalDword(L"0", &value));
    EXPECT_EQ(value, 0u);
    EXPECT_TRUE(parseDecimalDword(L"86400", &value));
    EXPECT_EQ(value, 86400u);
    for (const wchar_t* bad : {L"", L"+1", L" 1", L"1 ", L"0x10", L"99999999999"}) {
        EXPECT_FALSE(parseDecimalDword(bad, &value));
        EXPECT_EQ(value, 86400u);
    }
}
