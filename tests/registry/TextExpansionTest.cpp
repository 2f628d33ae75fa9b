// Growing texts with appendText and expanding %NAME% references, natively under
// the sanitizers, with an environment given by the test.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cwchar>
#include <map>
#include <random>
#include <string>

#include "registry/TextExpansion.h"
#include "support/ExpansionModel.h"

namespace {

std::map<std::wstring, std::wstring>& environment() {
    static std::map<std::wstring, std::wstring> variables;
    return variables;
}

// Answers like GetEnvironmentVariableW: the length when the value fits, the
// size needed (terminator included) when it does not, 0 when undefined.
unsigned long lookup(const wchar_t* name, wchar_t* buffer, unsigned long capacity) {
    const auto found = environment().find(name);
    if (found == environment().end()) {
        return 0;
    }
    const std::wstring& value = found->second;
    if (value.size() + 1 > capacity) {
        return static_cast<unsigned long>(value.size() + 1);
    }
    std::wmemcpy(buffer, value.c_str(), value.size() + 1);
    return static_cast<unsigned long>(value.size());
}

// The expansion's result as a string, releasing it.
std::wstring expand(const std::wstring& text) {
    const CHeapText result = expandEnvStrings(text.c_str(), lookup);
    EXPECT_NE(result, nullptr) << "for text of " << text.size() << " characters";
    return result ? std::wstring(result.get()) : L"<null>";
}

class Expansion : public ::testing::Test {
protected:
    void SetUp() override {
        environment().clear();
        environment()[L"SystemRoot"] = L"C:\\WINNT";
        environment()[L"HOME"] = L"D:\\home";
        environment()[L"EMPTY"] = L"";
    }
    void TearDown() override { environment().clear(); }
};

}  // namespace

TEST(AppendText, StartsWithRoomForTheTextPlusAThousand) {
    unsigned long capacity = 0;
    wchar_t* buffer = appendText(nullptr, &capacity, L"abc");
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(capacity, 1003u);
    EXPECT_STREQ(buffer, L"abc");
    buffer = appendText(buffer, &capacity, L"def");
    EXPECT_EQ(capacity, 1003u);
    EXPECT_STREQ(buffer, L"abcdef");
    std::free(buffer);
}

TEST(AppendText, AbsentOrEmptyTextChangesNothing) {
    unsigned long capacity = 0;
    EXPECT_EQ(appendText(nullptr, &capacity, L""), nullptr);
    EXPECT_EQ(appendText(nullptr, &capacity, nullptr), nullptr);
    EXPECT_EQ(capacity, 0u);
    wchar_t* buffer = appendText(nullptr, &capacity, L"x");
    EXPECT_EQ(appendText(buffer, &capacity, L""), buffer);
    EXPECT_EQ(appendText(buffer, &capacity, nullptr), buffer);
    EXPECT_EQ(capacity, 1001u);
    EXPECT_STREQ(buffer, L"x");
    std::free(buffer);
}

TEST(AppendText, GrowsInStepsOfAThousandSoTheRoomAlwaysExceedsTheText) {
    unsigned long capacity = 0;
    wchar_t* buffer = appendText(nullptr, &capacity, std::wstring(10, L'a').c_str());
    ASSERT_EQ(capacity, 1010u);
    // 1000 characters into 1000 free: not larger, so one step of 1000.
    buffer = appendText(buffer, &capacity, std::wstring(1000, L'b').c_str());
    EXPECT_EQ(capacity, 2010u);
    // Exactly the room minus one fits without growing: the terminator still fits.
    buffer = appendText(buffer, &capacity, std::wstring(999, L'c').c_str());
    EXPECT_EQ(capacity, 2010u);
    // A long piece takes as many steps as it needs at once.
    buffer = appendText(buffer, &capacity, std::wstring(5500, L'd').c_str());
    EXPECT_EQ(capacity, 8010u);
    const std::wstring expected =
        std::wstring(10, L'a') + std::wstring(1000, L'b') + std::wstring(999, L'c') + std::wstring(5500, L'd');
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(std::wstring(buffer), expected);
    EXPECT_LT(expected.size(), capacity);
    std::free(buffer);
}

TEST(AppendText, ManySmallPiecesKeepEveryCharacter) {
    unsigned long capacity = 0;
    wchar_t* buffer = nullptr;
    std::wstring expected;
    for (int piece = 0; piece < 3000; ++piece) {
        const std::wstring text = std::to_wstring(piece) + L";";
        buffer = appendText(buffer, &capacity, text.c_str());
        expected += text;
        ASSERT_NE(buffer, nullptr);
        ASSERT_LT(expected.size(), capacity);
    }
    EXPECT_EQ(std::wstring(buffer), expected);
    std::free(buffer);
}

TEST_F(Expansion, TextWithoutPercentIsAnEqualCopy) {
    const wchar_t* text = L"C:\\Program Files\\app\\bin";
    const CHeapText copy = expandEnvStrings(text, lookup);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy.get(), text);
    EXPECT_STREQ(copy.get(), text);
    EXPECT_EQ(expand(L""), L"");
}

TEST_F(Expansion, ReferencesAreReplacedByTheirValues) {
    EXPECT_EQ(expand(L"%SystemRoot%\\logs"), L"C:\\WINNT\\logs");
    EXPECT_EQ(expand(L"%HOME%;%SystemRoot%"), L"D:\\home;C:\\WINNT");
    EXPECT_EQ(expand(L"<%HOME%%HOME%>"), L"<D:\\homeD:\\home>");
}

TEST_F(Expansion, UndefinedEmptyAndNamelessReferencesContributeNothing) {
    EXPECT_EQ(expand(L"a%UNDEFINED%b"), L"ab");
    EXPECT_EQ(expand(L"a%EMPTY%b"), L"ab");
    EXPECT_EQ(expand(L"a%%b"), L"ab");
    EXPECT_EQ(expand(L"100%% sure"), L"100 sure");
}

TEST_F(Expansion, EscapedPercentIsKeptWithoutItsBackslash) {
    EXPECT_EQ(expand(L"100\\%"), L"100%");
    EXPECT_EQ(expand(L"\\%HOME\\%"), L"%HOME%");
    // The escaped sign opens no reference; the next one does.
    EXPECT_EQ(expand(L"\\%%HOME%"), L"%D:\\home");
    // A backslash not before a percent sign stays.
    EXPECT_EQ(expand(L"C:\\%HOME%"), L"C:%HOME%");
    EXPECT_EQ(expand(L"C:\\ %HOME%"), L"C:\\ D:\\home");
}

TEST_F(Expansion, UnmatchedPercentAndWhatFollowsStayLiteral) {
    EXPECT_EQ(expand(L"a%b"), L"a%b");
    EXPECT_EQ(expand(L"%HOME%/50%"), L"D:\\home/50%");
    EXPECT_EQ(expand(L"%"), L"%");
    // Signs pair from the left: " of " is the first name, the last sign is unmatched.
    EXPECT_EQ(expand(L"50% of %X%"), L"50X%");
}

TEST_F(Expansion, ValuesOfFourThousandCharactersOrMoreContributeNothing) {
    environment()[L"FITS"] = std::wstring(3999, L'f');
    environment()[L"TOO_LONG"] = std::wstring(4000, L'g');
    environment()[L"HUGE"] = std::wstring(100000, L'h');
    EXPECT_EQ(expand(L"[%FITS%]"), L"[" + std::wstring(3999, L'f') + L"]");
    EXPECT_EQ(expand(L"[%TOO_LONG%]"), L"[]");
    EXPECT_EQ(expand(L"[%HUGE%]"), L"[]");
}

TEST_F(Expansion, NothingLeftGivesANewEmptyString) {
    for (const wchar_t* text : {L"%UNDEFINED%", L"%EMPTY%", L"%%", L"%UNDEFINED%%EMPTY%"}) {
        const CHeapText result = expandEnvStrings(text, lookup);
        ASSERT_NE(result, nullptr) << "for " << testing::PrintToString(std::wstring(text));
        EXPECT_STREQ(result.get(), L"");
    }
}

TEST_F(Expansion, LongTextsAndManyReferencesAreWhole) {
    environment()[L"V"] = std::wstring(1500, L'v');
    std::wstring text;
    std::wstring expected;
    for (int piece = 0; piece < 200; ++piece) {
        text += L"lit" + std::to_wstring(piece) + L"%V%";
        expected += L"lit" + std::to_wstring(piece) + std::wstring(1500, L'v');
    }
    text += std::wstring(70000, L'z') + L"%";
    expected += std::wstring(70000, L'z') + L"%";
    EXPECT_EQ(expand(text), expected);
}

TEST_F(Expansion, RandomTextsFollowTheRules) {
    environment()[L"A"] = L"alpha";
    environment()[L"B"] = std::wstring(3999, L'b');
    environment()[L"C"] = std::wstring(4001, L'c');
    const wchar_t alphabet[] = L"%%%\\\\ABCx ";
    std::mt19937 random(20061);
    std::uniform_int_distribution<int> pick(0, static_cast<int>(std::wcslen(alphabet)) - 1);
    std::uniform_int_distribution<int> size(0, 40);
    for (int round = 0; round < 20000; ++round) {
        std::wstring text;
        for (int length = size(random); length > 0; --length) {
            text += alphabet[pick(random)];
        }
        ASSERT_EQ(expand(text), expansionModel(text, [](const std::wstring& name) {
                      const auto found = environment().find(name);
                      return found != environment().end() ? &found->second : nullptr;
                  })) << "round " << round;
    }
}
