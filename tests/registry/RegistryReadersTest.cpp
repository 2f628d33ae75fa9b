// The value readers against the prefix's real registry.
#include <gtest/gtest.h>

#include "common/RegistryReaders.h"
#include "support/TestRegistry.h"

namespace {

const std::wstring kKey = L"SOFTWARE\\PravikReaderTest";

class RegistryReaders : public ::testing::Test {
protected:
    void SetUp() override { deleteHklmTree(kKey); }
    void TearDown() override { deleteHklmTree(kKey); }
    wchar_t buffer[1100] = {};
};

}  // namespace

TEST_F(RegistryReaders, ListsAreJoinedWithTheSeparator) {
    setHklmMultiString(kKey, L"Three", {L"A", L"B", L"C"});
    setHklmMultiString(kKey, L"One", {L"Alone"});
    setHklmMultiString(kKey, L"None", {});
    EXPECT_STREQ(getRegStrListValue(HKEY_LOCAL_MACHINE, kKey.c_str(), nullptr, L"Three", buffer, 2000, L','),
                 L"A,B,C");
    std::fill(std::begin(buffer), std::end(buffer), L'\0');
    EXPECT_STREQ(getRegStrListValue(HKEY_LOCAL_MACHINE, kKey.c_str(), nullptr, L"One", buffer, 2000, L','), L"Alone");
    std::fill(std::begin(buffer), std::end(buffer), L'\0');
    const wchar_t* empty = getRegStrListValue(HKEY_LOCAL_MACHINE, kKey.c_str(), nullptr, L"None", buffer, 2000, L',');
    ASSERT_NE(empty, nullptr);
    EXPECT_STREQ(empty, L"");
    EXPECT_EQ(getRegStrListValue(HKEY_LOCAL_MACHINE, kKey.c_str(), nullptr, L"Missing", buffer, 2000, L','), nullptr);
}

TEST_F(RegistryReaders, NumbersFallBackToTheDefault) {
    setHklmDword(kKey, L"Start", 3);
    setHklmString(kKey, L"Text", L"not a number");
    EXPECT_EQ(getRegDwValue(HKEY_LOCAL_MACHINE, kKey.c_str(), nullptr, L"Start", 0x10), 3u);
    EXPECT_EQ(getRegDwValue(HKEY_LOCAL_MACHINE, kKey.c_str(), nullptr, L"Missing", 0xFFFFFFFFUL), 0xFFFFFFFFUL);
    EXPECT_EQ(getRegDwValue(HKEY_LOCAL_MACHINE, kKey.c_str(), nullptr, L"Text", 0x10), 0x10u);
    EXPECT_EQ(getRegDwValue(HKEY_LOCAL_MACHINE, L"SOFTWARE\\PravikNoSuchKey", nullptr, L"Start", 7), 7u);
}

TEST_F(RegistryReaders, SubkeyIsJoinedWithABackslash) {
    setHklmString(kKey, L"Where", L"top");
    setHklmString(kKey + L"\\Parameters", L"Where", L"below");
    EXPECT_STREQ(getRegStrValue(HKEY_LOCAL_MACHINE, kKey.c_str(), nullptr, L"Where", buffer, 2000), L"top");
    std::fill(std::begin(buffer), std::end(buffer), L'\0');
    EXPECT_STREQ(getRegStrValue(HKEY_LOCAL_MACHINE, kKey.c_str(), L"Parameters", L"Where", buffer, 2000), L"below");
    EXPECT_EQ(getRegStrValue(HKEY_LOCAL_MACHINE, kKey.c_str(), L"Nope", L"Where", buffer, 2000), nullptr);
}

TEST_F(RegistryReaders, ValueLargerThanTheCapacityCountsAsMissing) {
    setHklmString(kKey, L"Long", std::wstring(1049, L'y'));  // 2,100 bytes with the terminator
    EXPECT_EQ(getRegStrValue(HKEY_LOCAL_MACHINE, kKey.c_str(), nullptr, L"Long", buffer, 2000), nullptr);
    EXPECT_NE(getRegStrValue(HKEY_LOCAL_MACHINE, kKey.c_str(), nullptr, L"Long", buffer, 2100), nullptr);
}
