// ANSI text in a double-byte code page: this program runs with the system
// code page 932 (a Japanese locale), where one character can take two bytes.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/HeapText.h"
#include "common/MbcsConversion.h"
#include "support/PravikRunner.h"
#include "support/TestFiles.h"
#include "support/TestRegistry.h"

namespace {

// "日本語のテキスト" and its code page 932 bytes.
const wchar_t* const kJapanese = L"\u65e5\u672c\u8a9e\u306e\u30c6\u30ad\u30b9\u30c8";
const char* const kJapaneseAnsi = "\x93\xfa\x96\x7b\x8c\xea\x82\xcc\x83\x65\x83\x4c\x83\x58\x83\x67";

// A fresh key of a pravik service with the Japanese display name; the key's path.
std::wstring seedJapaneseService(const std::wstring& name) {
    const std::wstring serviceKey = std::wstring(kServicesKey) + L"\\" + name;
    deleteHklmTree(serviceKey);
    setHklmString(serviceKey, L"DisplayName", kJapanese);
    setHklmString(serviceKey + L"\\Parameters", L"IPravikClass", L"com/example/Japanese");
    return serviceKey;
}

}  // namespace

TEST(DoubleByteCodePage, ConversionIsSizedForTwoBytesPerCharacter) {
    ASSERT_EQ(GetACP(), 932u) << "the test runs in a Japanese locale";
    CHeapPtr<char> converted(convertToMBCS(kJapanese));
    ASSERT_NE(converted, nullptr);
    EXPECT_EQ(std::string(converted.get()), std::string(kJapaneseAnsi));

    // Mixed with single-byte characters, and long.
    std::wstring mixed;
    std::string expected;
    for (int piece = 0; piece < 500; ++piece) {
        mixed += std::wstring(L"-Dname=") + kJapanese + L";";
        expected += std::string("-Dname=") + kJapaneseAnsi + ";";
    }
    CHeapPtr<char> mixedAnsi(convertToMBCS(mixed.c_str()));
    ASSERT_NE(mixedAnsi, nullptr);
    EXPECT_EQ(std::string(mixedAnsi.get()), expected);
}

TEST(DoubleByteCodePage, AnsiExportIsWholeInTheCodePage) {
    ASSERT_EQ(GetACP(), 932u) << "the test runs in a Japanese locale";
    const std::wstring serviceKey = seedJapaneseService(L"PravikCodePageExport");
    setHklmString(serviceKey + L"\\Parameters", L"CommandLine", kJapanese);
    CTempDir directory;
    const std::wstring file = directory.file(L"japanese.cfg");
    const CRunResult run = runPravik({L"-e", L"PravikCodePageExport", file});
    deleteHklmTree(serviceKey);
    EXPECT_NE(run.output.find("Generating file "), std::string::npos) << run.output;
    EXPECT_EQ(readFileBytes(file), std::string("serviceDisplayName=") + kJapaneseAnsi +
                                       "\r\nserviceName=PravikCodePageExport\r\n"
                                       "ipravikClass=com/example/Japanese\r\n"
                                       "commandLineParms=" + kJapaneseAnsi + "\r\n");
}

TEST(DoubleByteCodePage, ListingShowsDisplayNamesInTheCodePage) {
    ASSERT_EQ(GetACP(), 932u) << "the test runs in a Japanese locale";
    const std::wstring serviceKey = seedJapaneseService(L"PravikCodePageListed");
    const CRunResult run = runPravik({L"-b"});
    deleteHklmTree(serviceKey);
    EXPECT_NE(run.output.find(std::string("\nPravikCodePageListed : ") + kJapaneseAnsi + "\r\n"), std::string::npos)
        << run.output;
}
