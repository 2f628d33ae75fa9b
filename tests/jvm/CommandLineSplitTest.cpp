// How the CommandLine setting of a service becomes the arguments of serviceMain.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/HeapText.h"
#include "jvm/CommandLineSplit.h"

namespace {

std::vector<std::wstring> split(const std::wstring& text) {
    const std::size_t capacity = commandLineBlockCapacity(text.size());
    CHeapText block = allocateZeroed<wchar_t>(capacity);
    const int count = splitCommandLine(text.c_str(), block.get());
    std::vector<std::wstring> arguments;
    const wchar_t* argument = block.get();
    for (int index = 0; index < count; ++index, argument = nextArgument(argument)) {
        EXPECT_LT(static_cast<std::size_t>(argument - block.get()), capacity) << "argument " << index;
        arguments.emplace_back(argument);
    }
    return arguments;
}

using Args = std::vector<std::wstring>;

}  // namespace

TEST(CommandLineSplit, QuotesGroupAndBackslashEscapesABlank) {
    EXPECT_EQ(split(L"-a \"b c\" d\\ e"), (Args{L"-a", L"b c", L"d e"}));
    EXPECT_EQ(split(L"one"), (Args{L"one"}));
    EXPECT_EQ(split(L"x=\"a b\"y z"), (Args{L"x=a by", L"z"}));
}

TEST(CommandLineSplit, EveryBlankOutsideQuotesEndsOneArgument) {
    EXPECT_EQ(split(L"a  b"), (Args{L"a", L"", L"b"}));
    EXPECT_EQ(split(L" a"), (Args{L"", L"a"}));
    EXPECT_EQ(split(L"a "), (Args{L"a", L""}));
    EXPECT_EQ(split(L""), (Args{L""}));
    EXPECT_EQ(split(L"   "), (Args{L"", L"", L"", L""}));
    // Tabs are ordinary characters.
    EXPECT_EQ(split(L"a\tb c"), (Args{L"a\tb", L"c"}));
}

TEST(CommandLineSplit, BackslashMakesTheNextCharacterLiteral) {
    EXPECT_EQ(split(L"say\\\"hi\\\""), (Args{L"say\"hi\""}));
    EXPECT_EQ(split(L"C:\\\\dir"), (Args{L"C:\\dir"}));
    EXPECT_EQ(split(L"\"in \\\" quotes\""), (Args{L"in \" quotes"}));
    // A backslash at the very end vanishes.
    EXPECT_EQ(split(L"end\\"), (Args{L"end"}));
    // Plain backslashes in a path are eaten too: the user doubles them.
    EXPECT_EQ(split(L"C:\\dir"), (Args{L"C:dir"}));
}

TEST(CommandLineSplit, AnUnclosedQuoteRunsToTheEnd) {
    EXPECT_EQ(split(L"a \"b c  d"), (Args{L"a", L"b c  d"}));
    EXPECT_EQ(split(L"\"\""), (Args{L""}));
    EXPECT_EQ(split(L"\"\" x"), (Args{L"", L"x"}));
}

TEST(CommandLineSplit, ReferencesAndNonAsciiPassUnchanged) {
    EXPECT_EQ(split(L"%TEMP%\\\\x %Y%"), (Args{L"%TEMP%\\x", L"%Y%"}));
    EXPECT_EQ(split(L"\u00e4\u00f6 \u20ac\u4e2d"), (Args{L"\u00e4\u00f6", L"\u20ac\u4e2d"}));
}

TEST(CommandLineSplit, TheBlockNeverOverflowsForLongText) {
    std::wstring text;
    for (int index = 0; index < 2000; ++index) {
        text += (index % 3 == 0) ? L"\\ " : L"ab ";
    }
    const Args arguments = split(text);
    EXPECT_EQ(arguments.size(), 1334u);
    EXPECT_EQ(arguments.front(), L" ab");
}
