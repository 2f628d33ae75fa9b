#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "common/CTextBuilder.h"
#include "common/HeapText.h"

TEST(TextBuilder, BuildsNumbersAndTextOfAnyLength) {
    CTextBuilder builder;
    EXPECT_STREQ(builder.text(), L"");
    builder.append(L"id ").appendHex8(0x54C).appendChar(L' ').appendDecimal(LLONG_MIN).append(L" ").appendDecimal(0);
    EXPECT_STREQ(builder.text(), L"id 0000054C -9223372036854775808 0");

    std::wstring expected;
    CTextBuilder longer;
    for (int piece = 0; piece < 5000; ++piece) {
        longer.append(L"abc", 2).appendDecimal(piece);
        expected += L"ab" + std::to_wstring(piece);
    }
    EXPECT_FALSE(longer.failed());
    EXPECT_EQ(longer.length(), expected.size());
    CHeapText released(longer.release());
    EXPECT_EQ(std::wstring(released.get()), expected);
    EXPECT_STREQ(longer.text(), L"");
}

TEST(TextBuilder, NullPiecesAddNothingAndEmptyBuildsReleaseEmptyText) {
    CTextBuilder builder;
    builder.append(nullptr).append(L"", 0);
    CHeapText released(builder.release());
    ASSERT_NE(released, nullptr);
    EXPECT_STREQ(released.get(), L"");
}

TEST(HeapText, DuplicateCopiesAndPassesNullThrough) {
    EXPECT_EQ(duplicateText(nullptr), nullptr);
    CHeapText copy(duplicateText(L"Service Name"));
    EXPECT_STREQ(copy.get(), L"Service Name");
}
