// Class names reach JNI in modified UTF-8.
#include <gtest/gtest.h>

#include <string>

#include "jvm/ModifiedUtf8.h"

namespace {

std::string bytesOf(const wchar_t* text) {
    CHeapPtr<char> converted = toModifiedUtf8(text);
    return converted ? std::string(converted.get()) : std::string("<null>");
}

}  // namespace

TEST(ModifiedUtf8, AsciiIsUnchanged) {
    EXPECT_EQ(bytesOf(L"com/velsor/sample/SampleService"), "com/velsor/sample/SampleService");
    EXPECT_EQ(bytesOf(L""), "");
    EXPECT_EQ(bytesOf(L"\x7f"), "\x7f");
}

TEST(ModifiedUtf8, TwoAndThreeByteForms) {
    EXPECT_EQ(bytesOf(L"a/\u00e9t\u00e9"), "a/\xc3\xa9t\xc3\xa9");
    EXPECT_EQ(bytesOf(L"\u0080\u07ff"), "\xc2\x80\xdf\xbf");
    EXPECT_EQ(bytesOf(L"\u0800\u20ac\uffff"), "\xe0\xa0\x80\xe2\x82\xac\xef\xbf\xbf");
    EXPECT_EQ(bytesOf(L"\u4e2d\u6587/Dienst"), "\xe4\xb8\xad\xe6\x96\x87/Dienst");
}

TEST(ModifiedUtf8, CharactersBeyondTheBasicPlaneBecomeTwoSurrogateSequences) {
    // U+1F600 is the pair D83D DE00 in UTF-16; standard UTF-8 would give F0 9F 98 80.
    const wchar_t pair[] = {0xD83D, 0xDE00, 0};
    EXPECT_EQ(bytesOf(pair), "\xed\xa0\xbd\xed\xb8\x80");
    if (sizeof(wchar_t) == 4) {
        const wchar_t wide[] = {static_cast<wchar_t>(0x1F600), L'x', 0};
        EXPECT_EQ(bytesOf(wide), "\xed\xa0\xbd\xed\xb8\x80x");
    }
}

TEST(ModifiedUtf8, NullGivesNull) { EXPECT_FALSE(toModifiedUtf8(nullptr)); }
