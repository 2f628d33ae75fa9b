#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/CTextBuilder.h"
#include "common/CommandLineQuote.h"
#include "common/DecimalText.h"

namespace {

std::wstring quoted(const wchar_t* argument) {
    CTextBuilder line;
    appendQuotedArgument(line, argument);
    return line.text();
}

// The runtime's splitting rules for one argument (as CommandLineToArgvW and the
// C runtime's start-up code apply them), to check that quoting round-trips.
std::vector<std::wstring> split(const std::wstring& line) {
    std::vector<std::wstring> arguments;
    size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && (line[at] == L' ' || line[at] == L'\t')) {
            ++at;
        }
        if (at == line.size()) {
            break;
        }
        std::wstring argument;
        bool inQuotes = false;
        while (at < line.size() && (inQuotes || (line[at] != L' ' && line[at] != L'\t'))) {
            size_t backslashes = 0;
            while (at < line.size() && line[at] == L'\\') {
                ++backslashes;
                ++at;
            }
            if (at < line.size() && line[at] == L'"') {
                argument.append(backslashes / 2, L'\\');
                if (backslashes % 2 == 1) {
                    argument.push_back(L'"');
                } else {
                    inQuotes = !inQuotes;
                }
                ++at;
            } else {
                argument.append(backslashes, L'\\');
                if (at < line.size() && (inQuotes || (line[at] != L' ' && line[at] != L'\t'))) {
                    argument.push_back(line[at++]);
                }
            }
        }
        arguments.push_back(argument);
    }
    return arguments;
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
    EXPECT_EQ(split(line.text()), expected);
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
