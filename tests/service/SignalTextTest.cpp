#include <gtest/gtest.h>

#include "service/SignalText.h"

namespace {

unsigned long codeOf(const wchar_t* text) {
    unsigned long code = 12345;
    EXPECT_EQ(parseSignalText(text, &code), ESignalText::code) << "refused";
    return code;
}

}  // namespace

TEST(SignalText, NamesAreMatchedWithoutRegardToCase) {
    EXPECT_EQ(codeOf(L"SERVICE_CONTROL_STOP"), 1u);
    EXPECT_EQ(codeOf(L"service_control_stop"), 1u);
    EXPECT_EQ(codeOf(L"Service_Control_Pause"), 2u);
    EXPECT_EQ(codeOf(L"SERVICE_CONTROL_NETBINDDISABLE"), 10u);
    EXPECT_EQ(codeOf(L"SERVICE_CONTROL_POWEREVENT"), 13u);
    EXPECT_EQ(codeOf(L"SERVICE_CONTROL_RESTART"), 128u);
    EXPECT_EQ(codeOf(L"ctrl_c_event"), 250u);
    EXPECT_EQ(codeOf(L"Ctrl_Break_Event"), 251u);
}

TEST(SignalText, UnknownNamesAreRefusedByTheirGroup) {
    unsigned long code = 0;
    EXPECT_EQ(parseSignalText(L"stop", &code), ESignalText::unknownServiceControl);
    EXPECT_EQ(parseSignalText(L"SERVICE_CONTROL_STOPX", &code), ESignalText::unknownServiceControl);
    EXPECT_EQ(parseSignalText(L"SERVICE_CONTROL_STO", &code), ESignalText::unknownServiceControl);
    EXPECT_EQ(parseSignalText(L"Cancel", &code), ESignalText::unknownControlSignal);
    EXPECT_EQ(parseSignalText(L"c", &code), ESignalText::unknownControlSignal);
}

TEST(SignalText, AnythingElseIsANumber) {
    EXPECT_EQ(codeOf(L"200"), 200u);
    EXPECT_EQ(codeOf(L"128"), 128u);
    EXPECT_EQ(codeOf(L"xyz"), 0u);
    EXPECT_EQ(codeOf(L""), 0u);
    EXPECT_EQ(codeOf(L"-1"), 0xFFFFFFFFu);
    EXPECT_EQ(codeOf(L" 7 and more"), 7u);
}
