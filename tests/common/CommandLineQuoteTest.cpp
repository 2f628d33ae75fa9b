#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/CTextBuilder.h"
#include "common/CommandLineQuote.h"
#include "common/DecimalText.h"
#include "support/ArgvSplit.h"

namespace {

std::wstring quoted(const wchar_t* argument) {
    CTextBuilder line;
    appendQuotedArgument(line, argument);
    return line.text();
}

}  // namespace

TEST(CommandLineQuote, LeavesPlainArgumentsAlone) {
    EXPECT_EQ(quoted(L"Echo"), L"Echo");
    EXPECT_EQ(quoted(L"C:\\pravik\\pravik.exe"), L"C:\\pravik\\pravik.exe");
}

TEST(CommandLineQuote, QuotesBlanksQuotesAndEmptyArguments) {
    EXPECT_EQ(quoted(L"C:\\Program Files\\pravik.exe"), L"\"C:\\Program Files\\pravik.exe\"");
    EXPECT_EQ(quoted(L""), L"\"\"");
    EXPECT_EQ(quoted(nullptr), L"\"\"");
    EXPECT_EQ(quoted(L"say \"hi\""), L"\"say \\\"hi\\\"\"");
    EXPECT_EQ(quoted(L"dir with trailing\\"), L"\"dir with trailing\\\\\"");
}

TEST(CommandLineQuote, EveryArgumentSurvivesTheRuntimesSplitting) {
    const std::vector<std::wstring> arguments = {
        L"My Service", L"-x", L"a\\\\b c\\", L"\"", L"\\\"", L"tab\there", L"", L"trailing\\\\", L"-s"};
    CTextBuilder line;
    line.append(L"pravik.exe");
    for (const auto& argument : arguments) {
        line.appendChar(L' ');
        appendQuotedArgument(line, argument.c_str());
    }
    std::vector<std::wstring> expected = {L"pravik.exe"};
    expected.insert(expected.end(), arguments.begin(), arguments.end());
    EXPECT_EQ(splitLikeTheRuntime(line.text()), expected);
}

TEST(DecimalText, ReadsTheLeadingIntegerLikeTheRuntime) {
    EXPECT_EQ(parseLeadingInteger(L"200"), 200);
    EXPECT_EQ(parseLeadingInteger(L"  \t-1"), -1);
    EXPECT_EQ(parseLeadingInteger(L"+42abc"), 42);
    EXPECT_EQ(parseLeadingInteger(L"xyz"), 0);
    EXPECT_EQ(parseLeadingInteger(L""), 0);
    EXPECT_EQ(parseLeadingInteger(nullptr), 0);
    EXPECT_EQ(parseLeadingInteger(L"99999999999999999999"), 2147483647L);
    EXPECT_EQ(parseLeadingInteger(L"-99999999999999999999"), -2147483647L - 1);
}
